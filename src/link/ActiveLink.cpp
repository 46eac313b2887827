#include "link/ActiveLink.h"

#include "config/Settings.h"

namespace brevant {

ActiveLink::ActiveLink(const Settings& settings, UsbLink& usb, SerialLink& serial)
    : m_settings(settings)
    , m_usb(usb)
    , m_serial(serial)
{}

UpsLink& ActiveLink::current()
{
    if (m_settings.link().serial)
        return m_serial;
    return m_usb;
}

void ActiveLink::openAtStartup()
{
    const LinkChoice choice = m_settings.link();
    if (!choice.serial)
        return;
    m_serial.setCommPort(choice.port);
    m_serial.open();
}

bool ActiveLink::firstStatus()
{
    if (m_settings.link().serial)
        return true;
    m_usb.open();
    m_usb.usbExchange(UsbLink::StatusQuery);
    return m_usb.usbConnected();
}

void ActiveLink::switchToChosenLink()
{
    const LinkChoice choice = m_settings.link();
    if (choice.serial) {
        m_usb.close();
        m_serial.switchTo(choice.port);
        return;
    }
    m_serial.close();
    m_usb.setUsbConnected(false);
}

void ActiveLink::closeAtExit()
{
    if (m_settings.link().serial)
        m_serial.close();
    m_usb.close();
}

} // namespace brevant
