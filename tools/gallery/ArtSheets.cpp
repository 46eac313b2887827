#include "ArtSheets.h"

#include "art/ArtCatalogue.h"
#include "controls/SkinPalette.h"
#include "controls/SkinSheet.h"
#include "monitor/StatusDisplay.h"

#include <QLinearGradient>
#include <QPainter>
#include <QtMath>
#include <array>
#include <optional>

namespace brevant::gallery {

namespace {

using art::StatusLayer;

constexpr QRgb Heading = qRgb(0x5B, 0x64, 0x72);
constexpr int Margin = 20;
constexpr int LabelHeight = 22;

// A sheet of `size` logical pixels at `scale`, filled with the windows' surface colour.
QImage sheet(QSize size, qreal scale, QRgb fill = skinPalette::WindowSurface)
{
    QImage image((QSizeF(size) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(fill);
    return image;
}

void label(QPainter& painter, int x, int y, const QString& text, QRgb colour = Heading)
{
    painter.setPen(QColor(colour));
    painter.drawText(QRect(x, y, 2000, LabelHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void drawPicture(QPainter& painter, QPointF at, const QString& path, QSize size, qreal scale)
{
    painter.drawPixmap(at, art::pixmap(path, size, scale));
}

// The Status page's picture with the given layers over the scene, as the page stacks them.
void drawScene(QPainter& painter, QPointF at, const QList<QString>& layers, qreal scale)
{
    drawPicture(painter, at, art::statusLayer(StatusLayer::Scene), art::StatusCanvas, scale);
    for (const QString& layer : layers)
        drawPicture(painter, at, layer, art::StatusCanvas, scale);
}

// One state of the Status page: the layers shown and what the page says beside the picture.
struct PowerState
{
    QString name;
    QList<QString> layers;
    QString message;
    quint32 messageColour;
    QList<art::StatusPicture> pictures;
};

QList<PowerState> powerStates()
{
    using art::StatusPicture;
    const QString ac1 = art::statusLayer(StatusLayer::AC1);
    const QString ac2 = art::statusLayer(StatusLayer::AC2);
    const QString disconnected = art::statusLayer(StatusLayer::Disconnected);
    return {
        {QStringLiteral("On line, resting (ImageAC1, flow frame 1)"),
         {ac1, art::flowFrame(1)},
         QStringLiteral("UPS is on-line"),
         StatusDisplay::Green,
         {}},
        {QStringLiteral("On line, flowing (ImageAC2, flow frame 4)"),
         {ac2, art::flowFrame(4)},
         QStringLiteral("UPS is on-line"),
         StatusDisplay::Green,
         {}},
        {QStringLiteral("On battery, bright phase (ImageDC1)"),
         {art::statusLayer(StatusLayer::DC1)},
         QStringLiteral("UPS is on Battery"),
         StatusDisplay::Orange,
         {StatusPicture::ImaSOk, StatusPicture::ImaAlarm}},
        {QStringLiteral("On battery, pale phase (ImageDC2)"),
         {art::statusLayer(StatusLayer::DC2)},
         QStringLiteral("UPS is on Battery"),
         StatusDisplay::Orange,
         {StatusPicture::ImaSOk, StatusPicture::ImaAlarm}},
        {QStringLiteral("Battery low, bright phase (ImageBL1)"),
         {art::statusLayer(StatusLayer::BL1)},
         QStringLiteral("UPS is Low Battery"),
         StatusDisplay::Red,
         {StatusPicture::ImaSLow, StatusPicture::ImaAlarm}},
        {QStringLiteral("Battery low, pale phase (ImageBL2)"),
         {art::statusLayer(StatusLayer::BL2)},
         QStringLiteral("UPS is Low Battery"),
         StatusDisplay::Red,
         {StatusPicture::ImaSLow, StatusPicture::ImaAlarm}},
        {QStringLiteral("USB link lost after on battery (ImageAC1, flow frame 1, disconnected)"),
         {ac1, art::flowFrame(1), disconnected},
         QStringLiteral("UPS Disconnect"),
         StatusDisplay::Orange,
         {StatusPicture::ImaAlarm}},
    };
}

// Each picture of a group alone, rendered at 1x and at 2x (the 2x one shown pixel for pixel).
void renderPictures(const QList<art::Picture>& pictures, const QString& name, const SaveImage& save)
{
    int width = 0;
    int height = Margin;
    for (const art::Picture& picture : pictures) {
        width = qMax(width, 3 * picture.size.width() + 3 * Margin);
        height += LabelHeight + 2 * picture.size.height() + Margin;
    }
    QImage image = sheet(QSize(width, height), 1);
    QPainter painter(&image);
    int y = Margin;
    for (const art::Picture& picture : pictures) {
        const QSize size = picture.size;
        label(
            painter, Margin, y,
            QStringLiteral("%1  (%2 x %3)   1x | 2x").arg(picture.name).arg(size.width()).arg(size.height()));
        y += LabelHeight;
        drawPicture(painter, QPointF(Margin, y), picture.path, size, 1);
        QImage twice = art::pixmap(picture.path, size, 2).toImage();
        twice.setDevicePixelRatio(1);
        painter.drawImage(QPointF(2 * Margin + size.width(), y), twice);
        y += 2 * size.height() + Margin;
    }
    painter.end();
    save(image, name);
}

void renderAllPictures(const SaveImage& save)
{
    QList<art::Picture> layers;
    QList<art::Picture> flow;
    QList<art::Picture> small;
    for (const art::Picture& picture : art::catalogue()) {
        if (picture.name.startsWith(QStringLiteral("status/flow")))
            flow.append(picture);
        else if (picture.size == art::StatusCanvas)
            layers.append(picture);
        else
            small.append(picture);
    }
    renderPictures(layers, QStringLiteral("art-pictures-layers.png"), save);
    renderPictures(flow, QStringLiteral("art-pictures-flow.png"), save);
    renderPictures(small, QStringLiteral("art-pictures-small.png"), save);
}

// The Status page's picture in each power state, with the status text and pictures beside it.
void renderStatusStates(qreal scale, const SaveImage& save)
{
    const QList<PowerState> states = powerStates();
    const QSize canvas = art::StatusCanvas;
    const int rowHeight = LabelHeight + canvas.height() + Margin;
    QImage image = sheet(QSize(canvas.width() + 260 + 2 * Margin, Margin + states.size() * rowHeight), scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    int y = Margin;
    for (const PowerState& state : states) {
        label(painter, Margin, y, state.name);
        y += LabelHeight;
        drawScene(painter, QPointF(Margin, y), state.layers, scale);
        const int x = Margin + canvas.width() + 20;
        QFont bold = painter.font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 1.2);
        painter.save();
        painter.setFont(bold);
        label(painter, x, y + 20, state.message, 0xFF000000 | state.messageColour);
        painter.restore();
        int pictureX = x;
        for (art::StatusPicture picture : state.pictures) {
            drawPicture(painter, QPointF(pictureX, y + 60), art::statusPicture(picture),
                        art::StatusPictureSize, scale);
            pictureX += art::StatusPictureSize.width() + 12;
        }
        y += canvas.height() + Margin;
    }
    painter.end();
    save(image, QStringLiteral("art-status.png"));
}

// The mains pipes in every flow frame, in the order the animation shows them, enlarged pixel by
// pixel.
void renderFlow(qreal scale, const SaveImage& save)
{
    const QRect pipes(88, 40, 264, 24);
    constexpr int zoom = 3;
    const int order[] = {6, 5, 4, 3, 2, 1, 6};
    const int rowHeight = pipes.height() * zoom + 8;
    QImage image = sheet(QSize(pipes.width() * zoom + 2 * Margin + 60, 2 * Margin + 7 * rowHeight), scale);
    QPainter painter(&image);
    int y = Margin;
    for (int frame : order) {
        QImage scene = sheet(art::StatusCanvas, scale);
        QPainter scenePainter(&scene);
        drawScene(scenePainter, QPointF(), {art::statusLayer(StatusLayer::AC2), art::flowFrame(frame)},
                  scale);
        scenePainter.end();
        const QRectF source(QPointF(pipes.topLeft()) * scale, QSizeF(pipes.size()) * scale);
        painter.drawImage(QRectF(Margin + 60, y, pipes.width() * zoom, pipes.height() * zoom), scene, source);
        label(painter, Margin, y + (pipes.height() * zoom - LabelHeight) / 2,
              QStringLiteral("frame %1").arg(frame));
        y += rowHeight;
    }
    painter.end();
    save(image, QStringLiteral("art-flow.png"));
}

// The tray pictures at tray sizes on a light and a dark panel, pixel for pixel and enlarged.
void renderTray(const SaveImage& save)
{
    const QStringList names = {QStringLiteral("ImaMain"), QStringLiteral("ImaSOk"),
                               QStringLiteral("ImaSLow")};
    const int sizes[] = {16, 22, 32};
    constexpr int zoom = 6;
    const QRgb panels[] = {qRgb(0xE5, 0xE7, 0xEB), qRgb(0x1F, 0x29, 0x37)};
    const int cell = 32 * zoom + 16;
    QImage image = sheet(QSize(2 * Margin + 3 * cell, Margin + 2 * (LabelHeight + 56 + 3 * cell)), 1);
    QPainter painter(&image);
    int y = Margin;
    for (QRgb panel : panels) {
        label(painter, Margin, y,
              panel == panels[0] ? QStringLiteral("Light panel: 16, 22 and 32 px, then enlarged x6")
                                 : QStringLiteral("Dark panel"));
        y += LabelHeight;
        painter.fillRect(QRect(Margin, y, 3 * cell, 48 + 3 * cell), QColor(panel));
        int x = Margin + 8;
        for (const QString& name : names) {
            for (int size : sizes) {
                drawPicture(painter, QPointF(x, y + 8 + (32 - size) / 2), art::trayPicture(name),
                            QSize(size, size), 1);
                x += size + 10;
            }
            x += 40;
        }
        int row = y + 48;
        for (int size : sizes) {
            int column = Margin + 8;
            for (const QString& name : names) {
                const QImage small = art::pixmap(art::trayPicture(name), QSize(size, size), 1).toImage();
                painter.drawImage(QRect(column, row, size * zoom, size * zoom), small);
                column += cell;
            }
            row += cell;
        }
        y += 56 + 3 * cell;
    }
    painter.end();
    save(image, QStringLiteral("art-tray.png"));
}

// The alarm window's picture and progress bar on its gradient; the bar drawn from the source's
// slices as the window draws it: empty, part filled and full.
void renderAlarm(qreal scale, const SaveImage& save)
{
    constexpr int barWidth = 415;
    constexpr int barHeight = 19;
    const QSize size(barWidth + 2 * Margin + 120, 330); // room for the message beside the picture
    QImage image = sheet(size, scale);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), 0);
    gradient.setColorAt(0, QColor(131, 166, 244));
    gradient.setColorAt(1, QColor(33, 120, 224));
    painter.fillRect(QRect(QPoint(), size), gradient);
    drawPicture(painter, QPointF(Margin, Margin), art::alarmPicture(), art::AlarmPictureSize, scale);
    QFont bold = painter.font();
    bold.setBold(true);
    painter.setFont(bold);
    label(painter, Margin + 80, Margin + 20,
          QStringLiteral("Please save all files , System will shutdown after five seconds"),
          qRgb(255, 255, 255));

    const SkinSheet bar(art::alarmBarSource());
    const int chunkCounts[] = {0, 20, 41};
    int y = 110;
    for (int chunks : chunkCounts) {
        label(painter, Margin, y, QStringLiteral("%1 chunks").arg(chunks), qRgb(255, 255, 255));
        y += LabelHeight;
        namespace slice = art::alarmBar;
        painter.save();
        painter.translate(Margin, y);
        bar.draw(painter, QRectF(0, 0, slice::LeftEnd.width(), barHeight), slice::LeftEnd);
        bar.draw(painter, QRectF(slice::LeftEnd.width(), 0, barWidth - 9, barHeight), slice::Track);
        bar.draw(painter, QRectF(barWidth - slice::RightEnd.width(), 0, slice::RightEnd.width(), barHeight),
                 slice::RightEnd);
        for (int chunk = 0, x = 4; chunk < chunks; ++chunk, x += 10)
            bar.draw(painter, QRectF(x, 4, slice::Chunk.width(), slice::Chunk.height()), slice::Chunk);
        painter.restore();
        y += barHeight + 30;
    }
    painter.end();
    save(image, QStringLiteral("art-alarm.png"));
}

void renderSplash(qreal scale, const SaveImage& save)
{
    QImage image = sheet(art::SplashSize, scale);
    QPainter painter(&image);
    drawPicture(painter, QPointF(), art::splash(), art::SplashSize, scale);
    painter.end();
    save(image, QStringLiteral("art-splash.png"));
}

// How eyes without one kind of cone see a colour: the simulation of Machado, Oliveira and
// Fernandes (2009) at full severity, in linear light; no matrix stands for seeing no colour at
// all (the luminance alone).
using ColourMatrix = std::optional<std::array<double, 9>>;

double toLinear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : qPow((c + 0.055) / 1.055, 2.4);
}

int fromLinear(double value)
{
    const double c = qBound(0.0, value, 1.0);
    const double encoded = c <= 0.0031308 ? c * 12.92 : 1.055 * qPow(c, 1 / 2.4) - 0.055;
    return qRound(encoded * 255);
}

QImage simulate(const QImage& source, const ColourMatrix& matrix)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double r = toLinear(qRed(line[x]));
            const double g = toLinear(qGreen(line[x]));
            const double b = toLinear(qBlue(line[x]));
            if (!matrix) {
                const int grey = fromLinear(0.2126 * r + 0.7152 * g + 0.0722 * b);
                line[x] = qRgb(grey, grey, grey);
                continue;
            }
            const auto& m = *matrix;
            line[x] =
                qRgb(fromLinear(m[0] * r + m[1] * g + m[2] * b), fromLinear(m[3] * r + m[4] * g + m[5] * b),
                     fromLinear(m[6] * r + m[7] * g + m[8] * b));
        }
    }
    return image;
}

void renderColourBlind(const SaveImage& save)
{
    struct Vision
    {
        QString name;
        ColourMatrix matrix;
    };
    const Vision visions[] = {
        {QStringLiteral("protanopia"), std::array{0.152286, 1.052583, -0.204868, 0.114503, 0.786281, 0.099216,
                                                  -0.003882, -0.048116, 1.051998}},
        {QStringLiteral("deuteranopia"), std::array{0.367322, 0.860646, -0.227968, 0.280085, 0.672501,
                                                    0.047413, -0.011820, 0.042940, 0.968881}},
        {QStringLiteral("tritanopia"), std::array{1.255528, -0.076749, -0.178779, -0.078411, 0.930809,
                                                  0.147602, 0.004733, 0.691367, 0.303900}},
        {QStringLiteral("no colour"), std::nullopt},
    };
    const QList<PowerState> states = powerStates();
    const int rows[] = {0, 2, 4, 6}; // on line, on battery, battery low, link lost
    const QSize canvas = art::StatusCanvas;
    QImage image = sheet(
        QSize(Margin + 5 * (canvas.width() + 10), Margin + 4 * (LabelHeight + canvas.height() + 10)), 1);
    QPainter painter(&image);
    int y = Margin;
    for (int row : rows) {
        QImage scene = sheet(canvas, 1);
        QPainter scenePainter(&scene);
        drawScene(scenePainter, QPointF(), states.at(row).layers, 1);
        scenePainter.end();
        label(painter, Margin, y, states.at(row).name);
        y += LabelHeight;
        painter.drawImage(QPoint(Margin, y), scene);
        int x = Margin + canvas.width() + 10;
        for (const Vision& vision : visions) {
            painter.drawImage(QPoint(x, y), simulate(scene, vision.matrix));
            label(painter, x, y - LabelHeight, vision.name);
            x += canvas.width() + 10;
        }
        y += canvas.height() + 10;
    }
    painter.end();
    save(image, QStringLiteral("art-colourblind.png"));
}

} // namespace

void renderArtSheets(qreal scale, const SaveImage& save)
{
    renderAllPictures(save);
    renderStatusStates(scale, save);
    renderFlow(scale, save);
    renderTray(save);
    renderAlarm(scale, save);
    renderSplash(scale, save);
    renderColourBlind(save);
}

} // namespace brevant::gallery
