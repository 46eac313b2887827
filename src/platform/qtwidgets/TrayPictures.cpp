#include "platform/qtwidgets/TrayPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace brevant {
namespace {

constexpr int Sizes[] = {16, 22, 24, 32, 48, 64};

void drawBattery(QPainter& p, int size, QColor color, double level)
{
    const double s = size / 16.0;
    const QRectF body(1.5 * s, 4 * s, 11.5 * s, 8 * s);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), std::max(1.0, s)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(body, 1.5 * s, 1.5 * s);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    p.drawRect(QRectF(13 * s, 6.5 * s, 1.5 * s, 3 * s));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const QRectF inner = body.adjusted(1.5 * s, 1.5 * s, -1.5 * s, -1.5 * s);
    p.drawRect(QRectF(inner.topLeft(), QSizeF(inner.width() * level, inner.height())));
}

void drawPlug(QPainter& p, int size)
{
    const double s = size / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x6f, 0xd1));
    p.drawRoundedRect(QRectF(0.5 * s, 0.5 * s, 15 * s, 15 * s), 3.5 * s, 3.5 * s);
    QPainterPath bolt;
    bolt.moveTo(9.2 * s, 2.2 * s);
    bolt.lineTo(4.2 * s, 9 * s);
    bolt.lineTo(7.6 * s, 9 * s);
    bolt.lineTo(6.6 * s, 13.8 * s);
    bolt.lineTo(11.8 * s, 6.8 * s);
    bolt.lineTo(8.3 * s, 6.8 * s);
    bolt.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(bolt);
}

QPixmap render(TrayPicture picture, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (picture) {
    case TrayPicture::ImaMain:
        drawPlug(p, size);
        break;
    case TrayPicture::ImaSOk:
        drawBattery(p, size, QColor(0xf0, 0x8a, 0x00), 0.6);
        break;
    case TrayPicture::ImaSLow:
        drawBattery(p, size, QColor(0xd9, 0x21, 0x21), 0.2);
        break;
    }
    return pixmap;
}

} // namespace

QIcon trayPicture(TrayPicture picture)
{
    QIcon icon;
    for (int size : Sizes)
        icon.addPixmap(render(picture, size));
    return icon;
}

} // namespace brevant
