#pragma once

#include "controls/XpToggle.h"

namespace brevant {

// The check box of the settings pages. Value 0 is clear, 1 checked, 2 grey; the image shown is
// 4 x Value + look. A click raises Click while Value is still the old one, then changes it
// (clear and grey become checked and clear: 0 -> 1, 1 -> 0, 2 -> 0). Setting Value from code
// raises no Click.
class XpCheckBox : public XpToggle
{
    Q_OBJECT
    Q_PROPERTY(int Value READ value WRITE setValue)

public:
    enum CheckValue
    {
        Clear = 0,
        Checked = 1,
        Grey = 2
    };
    Q_ENUM(CheckValue)

    explicit XpCheckBox(QWidget* parent = nullptr);
    explicit XpCheckBox(const QString& caption, QWidget* parent = nullptr);

    int value() const { return m_value; }
    void setValue(int value);

    QAccessible::Role accessibleRole() const override { return QAccessible::CheckBox; }
    std::optional<Qt::CheckState> accessibleCheckState() const override;

protected:
    std::optional<int> valueImages() const override;
    void afterClick() override;

private:
    int m_value = Clear;
};

} // namespace brevant
