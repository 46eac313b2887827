#include "controls/XpCheckBox.h"

#include "controls/SkinSheet.h"

namespace brevant {

XpCheckBox::XpCheckBox(QWidget* parent)
    : XpToggle(checkBoxSkin(), parent)
{}

XpCheckBox::XpCheckBox(const QString& caption, QWidget* parent)
    : XpCheckBox(parent)
{
    setCaption(caption);
}

void XpCheckBox::setValue(int value)
{
    m_value = value;
    valueChanged();
}

std::optional<Qt::CheckState> XpCheckBox::accessibleCheckState() const
{
    switch (m_value) {
    case Checked:
        return Qt::Checked;
    case Grey:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

std::optional<int> XpCheckBox::valueImages() const
{
    if (m_value < Clear || m_value > Grey)
        return std::nullopt;
    return 4 * m_value;
}

void XpCheckBox::afterClick()
{
    if (m_value == Clear)
        setValue(Checked);
    else if (m_value == Checked || m_value == Grey)
        setValue(Clear);
}

} // namespace brevant
