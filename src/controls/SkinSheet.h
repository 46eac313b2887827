#pragma once

#include <QHash>
#include <QImage>
#include <QMargins>
#include <QRect>
#include <QString>

class QPainter;

namespace brevant {

// One SVG skin resource whose pieces sit at fixed places (cells of a strip, frame pieces).
// The sheet is rasterised once per whole-number device scale, so pieces are crisp at any
// devicePixelRatio and drawing them costs an image copy.
class SkinSheet
{
public:
    explicit SkinSheet(QString resource);

    // Draws the piece `source` (in sheet units) stretched over `target`.
    void draw(QPainter& painter, const QRectF& target, const QRect& source) const;
    // Draws `source` over `target` keeping the borders given by `fixed` at their size and
    // stretching the edges and the centre (nine-part drawing; a zero border makes three slices).
    void drawSliced(QPainter& painter, const QRect& target, const QRect& source, const QMargins& fixed) const;

    // The whole sheet at the device scale of the painter, for reviewing the skin itself.
    QImage image(qreal devicePixelRatio) const;

private:
    QString m_resource;
    mutable QHash<int, QImage> m_rendered; // by whole-number scale
};

// Cell `index` of a strip whose cells of `cellSize` stand side by side from x = 0.
inline QRect stripCell(QSize cellSize, int index)
{
    return QRect(QPoint(index * cellSize.width(), 0), cellSize);
}

// The program's skins, loaded on first use.
const SkinSheet& buttonSkin();        // 90 x 21, five 18 x 21 cells
const SkinSheet& checkBoxSkin();      // twelve 16 x 16 images
const SkinSheet& radioSkin();         // eight 16 x 16 images
const SkinSheet& activeFrameSkin();   // frame pieces while the window is active
const SkinSheet& inactiveFrameSkin(); // the same pieces while it is not
const SkinSheet& windowFrameSkin();   // title and bottom elements of the program's own windows

} // namespace brevant
