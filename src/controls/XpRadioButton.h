#pragma once

#include "controls/XpToggle.h"

namespace brevant {

// The radio button of the settings pages. All radio buttons of one window form one group,
// whatever frame or page holds them: a click raises Click, clears every other radio button of
// the window and sets this one (clicking the one already set keeps it set). Images 0 to 3 show
// False, 4 to 7 True.
class XpRadioButton : public XpToggle
{
    Q_OBJECT
    Q_PROPERTY(bool Value READ value WRITE setValue)

public:
    explicit XpRadioButton(QWidget* parent = nullptr);
    explicit XpRadioButton(const QString& caption, QWidget* parent = nullptr);

    bool value() const { return m_value; }
    void setValue(bool value);

    QAccessible::Role accessibleRole() const override { return QAccessible::RadioButton; }
    std::optional<Qt::CheckState> accessibleCheckState() const override;

protected:
    std::optional<int> valueImages() const override { return m_value ? 4 : 0; }
    void afterClick() override;

private:
    bool m_value = false;
};

} // namespace brevant
