#include "controls/SkinSheet.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>

namespace brevant {

namespace {

int wholeScale(qreal devicePixelRatio)
{
    return qMax(1, qCeil(devicePixelRatio));
}

} // namespace

SkinSheet::SkinSheet(QString resource)
    : m_resource(std::move(resource))
{}

QImage SkinSheet::image(qreal devicePixelRatio) const
{
    const int scale = wholeScale(devicePixelRatio);
    auto found = m_rendered.constFind(scale);
    if (found != m_rendered.constEnd())
        return *found;

    QSvgRenderer renderer(m_resource);
    QImage image(renderer.defaultSize() * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    image.setDevicePixelRatio(scale);
    m_rendered.insert(scale, image);
    return image;
}

void SkinSheet::draw(QPainter& painter, const QRectF& target, const QRect& source) const
{
    const QImage sheet = image(painter.device()->devicePixelRatioF());
    const qreal scale = sheet.devicePixelRatio();
    const QRectF pixels(source.x() * scale, source.y() * scale, source.width() * scale,
                        source.height() * scale);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, sheet, pixels);
    painter.restore();
}

void SkinSheet::drawSliced(QPainter& painter, const QRect& target, const QRect& source,
                           const QMargins& fixed) const
{
    // Column and row edges in the source and in the target: fixed, stretched, fixed.
    const int sx[] = {source.left(), source.left() + fixed.left(), source.right() + 1 - fixed.right(),
                      source.right() + 1};
    const int sy[] = {source.top(), source.top() + fixed.top(), source.bottom() + 1 - fixed.bottom(),
                      source.bottom() + 1};
    const int tx[] = {target.left(), target.left() + fixed.left(), target.right() + 1 - fixed.right(),
                      target.right() + 1};
    const int ty[] = {target.top(), target.top() + fixed.top(), target.bottom() + 1 - fixed.bottom(),
                      target.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect from(QPoint(sx[column], sy[row]), QPoint(sx[column + 1] - 1, sy[row + 1] - 1));
            const QRect to(QPoint(tx[column], ty[row]), QPoint(tx[column + 1] - 1, ty[row + 1] - 1));
            if (!from.isEmpty() && !to.isEmpty())
                draw(painter, to, from);
        }
    }
}

const SkinSheet& buttonSkin()
{
    static const SkinSheet sheet(QStringLiteral(":/controls/skins/button.svg"));
    return sheet;
}

const SkinSheet& checkBoxSkin()
{
    static const SkinSheet sheet(QStringLiteral(":/controls/skins/checkbox.svg"));
    return sheet;
}

const SkinSheet& radioSkin()
{
    static const SkinSheet sheet(QStringLiteral(":/controls/skins/radio.svg"));
    return sheet;
}

const SkinSheet& activeFrameSkin()
{
    static const SkinSheet sheet(QStringLiteral(":/controls/skins/frame-active.svg"));
    return sheet;
}

const SkinSheet& inactiveFrameSkin()
{
    static const SkinSheet sheet(QStringLiteral(":/controls/skins/frame-inactive.svg"));
    return sheet;
}

const SkinSheet& windowFrameSkin()
{
    static const SkinSheet sheet(QStringLiteral(":/controls/skins/window-frame.svg"));
    return sheet;
}

} // namespace brevant
