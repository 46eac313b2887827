// Renders every skinned control in every look, a window framed by XpCanvas (active and
// inactive), a window framed by ApplySkinFrame and the program's pictures (ArtSheets.h) to PNG
// files, without a display.
//
//   gallery [output directory] [--scale N]

#include "ArtSheets.h"
#include "base/CommandLine.h"
#include "controls/SkinFrameElements.h"
#include "controls/SkinPalette.h"
#include "controls/SkinSheet.h"
#include "controls/WindowFunctions.h"
#include "controls/XpCanvas.h"
#include "controls/XpCheckBox.h"
#include "controls/XpCmdButton.h"
#include "controls/XpRadioButton.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTextStream>

using namespace brevant;

namespace {

QString g_outputDir;

void save(const QImage& image, const QString& name)
{
    const QString path = QDir(g_outputDir).filePath(name);
    image.save(path);
    QTextStream(stdout) << path << '\n';
}

void save(QWidget* widget, const QString& name)
{
    save(widget->grab().toImage(), name);
}

// A shown window with the program's surface colour, for the pieces of one picture.
QWidget* surface(const QSize& size = {})
{
    auto* window = new QWidget;
    window->setAutoFillBackground(true);
    QPalette colours = window->palette();
    colours.setColor(QPalette::Window, QColor(skinPalette::WindowSurface));
    window->setPalette(colours);
    if (size.isValid())
        window->resize(size);
    return window;
}

void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF at(4, 4);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void hover(QWidget* widget)
{
    sendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
}

void press(QWidget* widget)
{
    sendMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, QColor(0x5B, 0x64, 0x72));
    label->setPalette(colours);
    return label;
}

// The skins themselves, enlarged, with each image's index beneath it.
void renderSkins()
{
    struct Strip
    {
        const SkinSheet& sheet;
        QSize cell;
        int count;
        QString name;
    };
    const Strip strips[] = {{buttonSkin(), {18, 21}, 5, QStringLiteral("button skin (look)")},
                            {checkBoxSkin(), {16, 16}, 12, QStringLiteral("check box (4 x Value + look)")},
                            {radioSkin(), {16, 16}, 8, QStringLiteral("radio button (4 x Value + look)")}};
    constexpr int zoom = 4;
    QImage picture(QSize(12 * 18 * zoom + 40, 3 * (21 * zoom + 60)), QImage::Format_ARGB32);
    picture.fill(QColor(skinPalette::WindowSurface));
    QPainter painter(&picture);
    int y = 10;
    for (const Strip& strip : strips) {
        painter.setPen(Qt::black);
        painter.drawText(20, y + 12, strip.name);
        y += 20;
        for (int index = 0; index < strip.count; ++index) {
            const QRect cell = stripCell(strip.cell, index);
            const QRect target(20 + cell.x() * zoom + index * 4, y, cell.width() * zoom,
                               cell.height() * zoom);
            QImage enlarged(target.size(), QImage::Format_ARGB32_Premultiplied);
            enlarged.fill(Qt::transparent);
            enlarged.setDevicePixelRatio(zoom);
            QPainter cellPainter(&enlarged);
            strip.sheet.draw(cellPainter, QRectF(QPointF(), QSizeF(cell.size())), cell);
            cellPainter.end();
            enlarged.setDevicePixelRatio(1);
            painter.drawImage(target.topLeft(), enlarged);
            painter.drawText(QRect(target.left(), target.bottom() + 4, target.width(), 16), Qt::AlignHCenter,
                             QString::number(index));
        }
        y += strip.cell.height() * zoom + 40;
    }
    painter.end();
    save(picture, QStringLiteral("skins.png"));
}

void renderButtons()
{
    QWidget* window = surface();
    auto* grid = new QGridLayout(window);
    grid->setContentsMargins(20, 16, 20, 20);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(6);
    const QStringList looks = {QStringLiteral("Normal"),   QStringLiteral("Pressed"),
                               QStringLiteral("Disabled"), QStringLiteral("Hover"),
                               QStringLiteral("Selected"), QStringLiteral("Focus")};
    QList<XpCmdButton*> buttons;
    for (int column = 0; column < looks.size(); ++column) {
        grid->addWidget(heading(looks.at(column), window), 0, column);
        auto* button =
            new XpCmdButton(column == 0 ? QStringLiteral("&Apply") : QStringLiteral("Shutdown"), window);
        button->setFixedSize(96, 23);
        grid->addWidget(button, 1, column);
        buttons.append(button);
    }
    const QStringList pages = {QStringLiteral("Status"), QStringLiteral("Log Record"),
                               QStringLiteral("Event Record"), QStringLiteral("Closed Applications"),
                               QStringLiteral("Event Manager")};
    auto* pageRow = new QHBoxLayout;
    pageRow->setSpacing(4);
    for (const QString& page : pages) {
        auto* button = new XpCmdButton(page, window);
        button->setFixedSize(button->sizeHint().width(), 27);
        button->setState(page == pages.first() ? 1 : 0);
        pageRow->addWidget(button);
    }
    pageRow->addStretch();
    grid->addWidget(heading(QStringLiteral("Page buttons, the first selected"), window), 2, 0, 1, 6);
    grid->addLayout(pageRow, 3, 0, 1, 6);
    grid->addWidget(heading(QStringLiteral("A caption wider than its button is cut evenly"), window), 4, 0, 1,
                    6);
    auto* narrow = new XpCmdButton(QStringLiteral("Save all applications before shutdown"), window);
    narrow->setFixedSize(120, 23);
    grid->addWidget(narrow, 5, 0, 1, 2);

    window->show();
    QApplication::setActiveWindow(window);
    press(buttons.at(1));
    buttons.at(2)->setEnabled(false);
    hover(buttons.at(3));
    buttons.at(4)->setState(1);
    buttons.at(5)->setFocus(Qt::TabFocusReason);
    save(window, QStringLiteral("buttons.png"));
    delete window;
}

// One row of a toggle's four looks for one value; the looks are set once the row is laid out.
template <typename Toggle, typename Value>
QList<SkinControl*> addToggleRow(QGridLayout* grid, int row, const QString& caption, Value value)
{
    QList<SkinControl*> toggles;
    for (int look = 0; look < 4; ++look) {
        auto* toggle = new Toggle(caption, grid->parentWidget());
        toggle->setValue(value);
        grid->addWidget(toggle, row, look);
        toggles.append(toggle);
    }
    return toggles;
}

void renderToggles()
{
    QWidget* window = surface();
    auto* grid = new QGridLayout(window);
    grid->setContentsMargins(20, 16, 20, 20);
    grid->setHorizontalSpacing(18);
    const QStringList looks = {QStringLiteral("Normal"), QStringLiteral("Hover"), QStringLiteral("Pressed"),
                               QStringLiteral("Disabled")};
    for (int column = 0; column < looks.size(); ++column)
        grid->addWidget(heading(looks.at(column), window), 0, column);
    const QList<QList<SkinControl*>> rows = {
        addToggleRow<XpCheckBox>(grid, 1, QStringLiteral("Enable for record logs"), int(XpCheckBox::Clear)),
        addToggleRow<XpCheckBox>(grid, 2, QStringLiteral("Enable for this event"), int(XpCheckBox::Checked)),
        addToggleRow<XpCheckBox>(grid, 3, QStringLiteral("Disable on all events"), int(XpCheckBox::Grey)),
        addToggleRow<XpRadioButton>(grid, 4, QStringLiteral("UPS On Battery"), false),
        addToggleRow<XpRadioButton>(grid, 5, QStringLiteral("UPS Low Battery"), true)};
    auto* focused = new XpCheckBox(QStringLiteral("Save all apllications before shutdown of system"), window);
    grid->addWidget(heading(QStringLiteral("Keyboard focus"), window), 6, 0);
    grid->addWidget(focused, 7, 0, 1, 3);

    window->show();
    grid->activate();
    QApplication::setActiveWindow(window);
    for (const QList<SkinControl*>& row : rows) {
        hover(row.at(1));
        press(row.at(2));
        row.at(3)->setEnabled(false);
    }
    focused->setFocus(Qt::TabFocusReason);
    save(window, QStringLiteral("toggles.png"));
    delete window;
}

// The confirmation window as XpCanvas frames it, active and inactive.
void renderCanvas()
{
    QWidget* window = surface(QSize(380, 170));
    window->setWindowFlag(Qt::FramelessWindowHint);
    auto* canvas = new XpCanvas(window);
    canvas->setCaption(QStringLiteral("System Information"));
    canvas->setFixedSingle(true);
    auto* message = new QLabel(QStringLiteral("Are you sure you want to shut down the system now?"), window);
    message->setGeometry(28, 56, 330, 20);
    auto* yes = new XpCmdButton(QStringLiteral("&YES"), window);
    auto* no = new XpCmdButton(QStringLiteral("&NO"), window);
    yes->setGeometry(104, 112, 80, 23);
    no->setGeometry(196, 112, 80, 23);
    window->show();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(window, &activate);
    save(window, QStringLiteral("canvas-active.png"));
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(window, &deactivate);
    save(window, QStringLiteral("canvas-inactive.png"));
    delete window;
}

// A main-window-like frame: the frame elements laid out by ApplySkinFrame, corners rounded.
void renderSkinFrame()
{
    QWidget* window = surface(QSize(400, 300));
    createSkinFrameElements(window, QStringLiteral("Brevant System "));
    const QStringList pages = {QStringLiteral("Status"), QStringLiteral("Log Record"),
                               QStringLiteral("Event Record")};
    int x = 14;
    for (const QString& page : pages) {
        auto* button = new XpCmdButton(page, window);
        button->setGeometry(x, 42, button->sizeHint().width(), 25);
        button->setState(page == pages.first() ? 1 : 0);
        x += button->width() + 4;
    }
    auto* status = new QLabel(QStringLiteral("UPS is on AC power"), window);
    status->setGeometry(18, 90, 300, 20);
    auto* record = new XpCheckBox(QStringLiteral("Enable for record logs"), window);
    record->setGeometry(18, 124, 220, 20);
    record->setValue(XpCheckBox::Checked);
    auto* battery = new XpRadioButton(QStringLiteral("UPS On Battery"), window);
    battery->setGeometry(18, 152, 220, 20);
    battery->setValue(true);
    auto* low = new XpRadioButton(QStringLiteral("UPS Low Battery"), window);
    low->setGeometry(18, 176, 220, 20);
    auto* shutdown = new XpCmdButton(QStringLiteral("Shutdown"), window);
    shutdown->setGeometry(296, 222, 88, 25);
    ApplySkinFrame(window);
    window->show();

    QImage picture(window->size() * window->devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(window->devicePixelRatioF());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setClipRegion(window->mask());
    painter.drawPixmap(0, 0, window->grab());
    painter.end();
    save(picture, QStringLiteral("window.png"));
    delete window;
}

} // namespace

int main(int argc, char* argv[])
{
    {
        // Read before QApplication exists: the scale must be in the environment when it starts.
        const QCoreApplication parsing(argc, argv);
        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Renders every skinned control in every look, and framed windows, to PNG files."));
        parser.addPositionalArgument(QStringLiteral("directory"),
                                     QStringLiteral("Where the PNG files go (default: gallery)."));
        const QCommandLineOption scale(QStringLiteral("scale"),
                                       QStringLiteral("Render at this scale factor (QT_SCALE_FACTOR)."),
                                       QStringLiteral("N"));
        parser.addOption(scale);
        if (const std::optional<int> exitCode = parseCommandLine(parser, QCoreApplication::arguments(), 1))
            return *exitCode;
        if (parser.isSet(scale))
            qputenv("QT_SCALE_FACTOR", parser.value(scale).toLocal8Bit());
        g_outputDir = parser.positionalArguments().value(0, QStringLiteral("gallery"));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir().mkpath(g_outputDir);

    renderSkins();
    renderButtons();
    renderToggles();
    renderCanvas();
    renderSkinFrame();
    gallery::renderArtSheets(app.devicePixelRatio(),
                             [](const QImage& image, const QString& name) { save(image, name); });
    return 0;
}
