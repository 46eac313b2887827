#include "controls/XpRadioButton.h"

#include "controls/SkinSheet.h"

namespace brevant {

XpRadioButton::XpRadioButton(QWidget* parent)
    : XpToggle(radioSkin(), parent)
{}

XpRadioButton::XpRadioButton(const QString& caption, QWidget* parent)
    : XpRadioButton(parent)
{
    setCaption(caption);
}

void XpRadioButton::setValue(bool value)
{
    m_value = value;
    valueChanged();
}

std::optional<Qt::CheckState> XpRadioButton::accessibleCheckState() const
{
    return m_value ? Qt::Checked : Qt::Unchecked;
}

void XpRadioButton::afterClick()
{
    QWidget* holder = window();
    const auto radios = holder->findChildren<XpRadioButton*>();
    for (XpRadioButton* radio : radios) {
        if (radio != this && radio->window() == holder)
            radio->setValue(false);
    }
    setValue(true);
}

} // namespace brevant
