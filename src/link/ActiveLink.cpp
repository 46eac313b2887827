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
    // A port that cannot be opened is logged by the link and read as on mains; SerialLink::lastOpen keeps
    // why.
    static_cast<void>(m_serial.open());
}

bool ActiveLink::firstStatus()
{
    if (m_settings.link().serial)
        return true;
    static_cast<void>(m_usb.open()); // logged once by the link; the exchange finds the UPS silent
    m_usb.usbExchange(UsbLink::StatusQuery);
    return m_usb.usbConnected();
}

void ActiveLink::switchToChosenLink()
{
    const LinkChoice choice = m_settings.link();
    // Closing is logged by the links; the switch goes on past a failure.
    if (choice.serial) {
        static_cast<void>(m_usb.close());
        m_serial.switchTo(choice.port);
        return;
    }
    static_cast<void>(m_serial.close());
    m_usb.setUsbConnected(false);
}

void ActiveLink::closeAtExit()
{
    if (m_settings.link().serial)
        static_cast<void>(m_serial.close());
    static_cast<void>(m_usb.close());
}

} // namespace brevant
