#include "controls/XpToggle.h"

#include "controls/SkinSheet.h"

#include <QPainter>

namespace brevant {

XpToggle::XpToggle(const SkinSheet& skin, QWidget* parent)
    : SkinControl(parent)
    , m_skin(skin)
{}

void XpToggle::setBackColor(const QColor& color)
{
    m_backColor = color;
    update();
}

void XpToggle::setForeColor(const QColor& color)
{
    m_foreColor = color;
    update();
}

QSize XpToggle::sizeHint() const
{
    const QSize text = captionSize();
    return QSize(CaptionLeft + text.width() + 4, qMax(ImageSize, text.height()) + 4);
}

void XpToggle::valueChanged()
{
    showRestingLook();
    QAccessible::State changed;
    changed.checked = true;
    changed.checkStateMixed = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

int XpToggle::lookFor(Look look) const
{
    const std::optional<int> first = valueImages();
    return first ? *first + look : this->look();
}

void XpToggle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_backColor.isValid())
        painter.fillRect(rect(), m_backColor);
    const QSize square(ImageSize, ImageSize);
    m_skin.draw(painter, QRect(QPoint(0, (height() - ImageSize) / 2), square), stripCell(square, look()));

    const QRect caption(QPoint(CaptionLeft, (height() - captionSize().height()) / 2), captionSize());
    drawCaption(painter, caption.topLeft(), m_foreColor);
    if (focusMarkVisible())
        drawFocusMark(painter, QRectF(caption).adjusted(-3.5, -0.5, 3.5, 0.5));
}

} // namespace brevant
