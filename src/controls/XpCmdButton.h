#pragma once

#include "controls/SkinControl.h"

namespace brevant {

// The push button of every window: a skinned face in five looks with a centred caption.
// State 1 marks the button as selected (the page that is showing); State 0 is an ordinary
// button; any other value keeps the look that 0 or 1 chose last.
class XpCmdButton : public SkinControl
{
    Q_OBJECT
    Q_PROPERTY(int State READ state WRITE setState)

public:
    // Cells of the button skin, in their order in the skin.
    enum Look
    {
        Normal = 0,
        Pressed = 1,
        Disabled = 2,
        Hover = 3,
        Selected = 4
    };
    Q_ENUM(Look)

    explicit XpCmdButton(QWidget* parent = nullptr);
    explicit XpCmdButton(const QString& caption, QWidget* parent = nullptr);

    int state() const { return m_state; }
    void setState(int state);

    QSize sizeHint() const override;
    QAccessible::Role accessibleRole() const override { return QAccessible::Button; }

protected:
    int restingLook() const override { return isEnabled() ? m_normalLook : Disabled; }
    int hoverLook() const override { return Hover; }
    int pressedLook() const override { return Pressed; }
    void paintEvent(QPaintEvent* event) override;

private:
    int m_state = 0;
    int m_normalLook = Normal;
};

} // namespace brevant
