#pragma once

#include "controls/SkinControl.h"

namespace brevant {

class SkinSheet;

// What the check box and the radio button share: a 16 x 16 state image at the left, centred
// vertically, and the caption to its right; the image is chosen from the skin by value and look
// (four looks per value), and a click raises Click before the value changes.
class XpToggle : public SkinControl
{
    Q_OBJECT
    Q_PROPERTY(QColor BackColor READ backColor WRITE setBackColor)
    Q_PROPERTY(QColor ForeColor READ foreColor WRITE setForeColor)

public:
    // Looks within one value's group of four images.
    enum Look
    {
        Normal = 0,
        Hover = 1,
        Pressed = 2,
        Disabled = 3
    };
    Q_ENUM(Look)

    static constexpr int ImageSize = 16;
    static constexpr int CaptionLeft = 32; // the designs' 480 twips

    // An invalid colour (the default) lets the holder's background show through.
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);
    // The caption colour while enabled; a disabled control shows the disabled grey instead.
    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor& color);

    QSize sizeHint() const override;
    // A check box with half its caption reads wrongly; unlike a button, it is never cut.
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    XpToggle(const SkinSheet& skin, QWidget* parent);

    // First of the four images of the current value, or nothing for a value without images
    // (the control then keeps the image it shows).
    virtual std::optional<int> valueImages() const = 0;
    // Redraws at rest and tells assistive tools; call after every change of the value.
    void valueChanged();

    int restingLook() const override { return lookFor(isEnabled() ? Normal : Disabled); }
    int hoverLook() const override { return lookFor(Hover); }
    int pressedLook() const override { return lookFor(Pressed); }
    void paintEvent(QPaintEvent* event) override;

private:
    int lookFor(Look look) const;

    const SkinSheet& m_skin;
    QColor m_backColor;
    QColor m_foreColor = Qt::black;
};

} // namespace brevant
