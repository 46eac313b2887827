#include "controls/XpCmdButton.h"

#include "controls/SkinPalette.h"
#include "controls/SkinSheet.h"

#include <QPainter>

namespace brevant {

namespace {

constexpr QSize CellSize(18, 21);
constexpr int SkinBorder = 3;

// Centred with the overflow split evenly: a caption wider than the button loses the same
// amount on both sides (floor keeps that true for negative room as well).
int centred(int room, int size)
{
    return (room - size) >> 1;
}

} // namespace

XpCmdButton::XpCmdButton(QWidget* parent)
    : SkinControl(parent)
{}

XpCmdButton::XpCmdButton(const QString& caption, QWidget* parent)
    : XpCmdButton(parent)
{
    setCaption(caption);
}

void XpCmdButton::setState(int state)
{
    m_state = state;
    if (state == 1)
        m_normalLook = Selected;
    else if (state == 0)
        m_normalLook = Normal;
    showRestingLook();
}

QSize XpCmdButton::sizeHint() const
{
    const QSize text = captionSize();
    return QSize(qMax(text.width() + 24, 75), qMax(text.height() + 6, CellSize.height()));
}

void XpCmdButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    buttonSkin().drawSliced(painter, rect(), stripCell(CellSize, look()),
                            QMargins(SkinBorder, SkinBorder, SkinBorder, SkinBorder));
    const QSize text = captionSize();
    drawCaption(painter, QPoint(centred(width(), text.width()), centred(height(), text.height())),
                QColor(skinPalette::Caption));
    if (focusMarkVisible())
        drawFocusMark(painter, QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

} // namespace brevant
