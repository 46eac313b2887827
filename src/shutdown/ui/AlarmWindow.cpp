#include "shutdown/ui/AlarmWindow.h"

#include "art/ArtCatalogue.h"
#include "controls/WindowFunctions.h"
#include "controls/XpCmdButton.h"
#include "shutdown/AlarmController.h"
#include "shutdown/ui/WindowParts.h"

#include <QLabel>
#include <QPainter>

namespace brevant {

namespace {

constexpr QSize WindowSize(480, 222);
constexpr int BarHeight = 19;

// A picture of the art catalogue, at the widget's device scale.
QPixmap picture(const QWidget* widget, const QString& path, QSize size)
{
    return art::pixmap(path, size, widget->devicePixelRatioF());
}

// A fixed picture, drawn at the scale of the screen it is on.
class Picture : public QWidget
{
public:
    Picture(QString path, QSize size, QWidget* parent)
        : QWidget(parent)
        , m_path(std::move(path))
    {
        setFixedSize(size);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, picture(this, m_path, size()));
    }

private:
    QString m_path;
};

// Fills the window's inner area with vertical lines whose colour runs from `left` at x = 0 to
// `right` at the right edge.
void PaintGradient(QPainter& painter, const QSize& inner, QColor left, QColor right)
{
    const int w = inner.width();
    if (w <= 0)
        return;
    const auto part = [w](int from, int to, int x) { return from + x * (to - from) / w; };
    for (int x = 0; x <= w; ++x) {
        painter.setPen(QColor(part(left.red(), right.red(), x), part(left.green(), right.green(), x),
                              part(left.blue(), right.blue(), x)));
        painter.drawLine(x, 0, x, inner.height());
    }
}

} // namespace

// The 415 x 19 progress bar (picpgb2), drawn from the slices of its source picture (imgpgb1): the
// left end, the track stretched between the ends, the right end, and a chunk at every x the model
// has reported since the bar was last emptied.
class AlarmWindow::Bar : public QWidget
{
public:
    explicit Bar(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("picpgb2"));
        setFixedSize(AlarmController::BarWidth, BarHeight);
        setAccessibleName(QStringLiteral("Time left before the shutdown"));
    }
    void reset()
    {
        m_chunks.clear();
        update();
    }
    void addChunk(int x)
    {
        m_chunks.append(x);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QPixmap source = picture(this, art::alarmBarSource(), art::AlarmBarSourceSize);
        const auto slice = [&](const QRectF& target, const QRect& piece) {
            const qreal scale = source.devicePixelRatio();
            painter.drawPixmap(
                target, source,
                QRectF(piece.x() * scale, piece.y() * scale, piece.width() * scale, piece.height() * scale));
        };
        const int w = width();
        slice(QRectF(0, 0, 4, BarHeight), art::alarmBar::LeftEnd);
        slice(QRectF(4, 0, w - 9, BarHeight), art::alarmBar::Track);
        slice(QRectF(w - 5, 0, 5, BarHeight), art::alarmBar::RightEnd);
        for (int x : m_chunks)
            slice(QRectF(x, 4, art::alarmBar::Chunk.width(), art::alarmBar::Chunk.height()),
                  art::alarmBar::Chunk);
    }

private:
    QList<int> m_chunks;
};

AlarmWindow::AlarmWindow(AlarmController& alarm, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_bar(new Bar(this))
{
    setObjectName(QStringLiteral("frmAlarm"));
    setWindowTitle(QStringLiteral("ALarm Message"));
    setFixedSize(WindowSize);

    createStillSkinFrame(this, QStringLiteral("Alarm Message"));

    // The picture, the text and the bar share the bar's left and right edges.
    const int left = (width() - AlarmController::BarWidth) / 2;
    auto* image = new Picture(art::alarmPicture(), art::AlarmPictureSize, this);
    image->setObjectName(QStringLiteral("Image1"));
    image->move(left, TitleBand + 18);

    auto* message =
        new QLabel(QStringLiteral("Please save all files , System will shutdown after five seconds"), this);
    message->setObjectName(QStringLiteral("Label1"));
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold = message->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    message->setFont(bold);
    QPalette white = message->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    message->setPalette(white);
    const int textLeft = image->geometry().right() + 1 + 18;
    message->setGeometry(textLeft, image->y(), width() - textLeft - left, image->height());

    m_bar->move(left, image->geometry().bottom() + 1 + 16);

    auto* shutdown = new XpCmdButton(QStringLiteral("&Shutdown"), this);
    shutdown->setObjectName(QStringLiteral("xpcmdbutton1"));
    auto* cancel = new XpCmdButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("xpcmdbutton2"));
    // On the bottom band, right-aligned with the bar.
    placeOnBottomBand(cancel, m_bar->geometry().right() + 1);
    placeOnBottomBand(shutdown, cancel->x() - 8);
    setTabOrder(shutdown, cancel);

    ApplySkinFrame(this);
    SetTopMost(this, true);

    // A window gone from the screen must not let the bar run on to a shutdown.
    closeActsAs(
        this, [&alarm] { return alarm.isVisible(); }, [&alarm] { alarm.pressCancel(); });
    connect(shutdown, &XpCmdButton::Click, &alarm, &AlarmController::pressShutdown);
    connect(cancel, &XpCmdButton::Click, &alarm, &AlarmController::pressCancel);
    connect(&alarm, &AlarmController::barReset, m_bar, [this] { m_bar->reset(); });
    connect(&alarm, &AlarmController::chunkDrawn, m_bar, [this](int x) { m_bar->addChunk(x); });
    connect(&alarm, &AlarmController::shown, this, [this, cancel] {
        show();
        raise();
        activateWindow();
        // The safe answer is the one a stray Enter or Space gives.
        cancel->setFocus(Qt::OtherFocusReason);
    });
    connect(&alarm, &AlarmController::hidden, this, &QWidget::hide);
    connect(&alarm, &AlarmController::unloaded, this, &QWidget::hide);
}

void AlarmWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(Background));
    PaintGradient(painter, size(), QColor(GradientLeft), QColor(GradientRight));
}

} // namespace brevant
