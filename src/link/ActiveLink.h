#pragma once

#include "link/SerialLink.h"
#include "link/UsbLink.h"

namespace brevant {

class Settings;

// The two links and the one `[Mscomm] ComboPort` chooses (0 = USB, 1..4 = COM1..COM4). The choice
// is read from the settings file at every use, so a changed choice governs the next tick, the next
// countdown step and the next UPS-off without any other notice. Taking links into and out of use
// (start-up, a port switch, the exit) happens here, so that nothing else needs to know which
// link is which.
class ActiveLink
{
public:
    ActiveLink(const Settings& settings, UsbLink& usb, SerialLink& serial);

    // The link the settings choose now.
    UpsLink& current();

    // Start-up, before the records and the tray icon: the chosen serial port opens with RTS
    // raised and DTR low. The USB device waits for the first status.
    void openAtStartup();
    // Start-up, the first display: the USB device opens and is asked once. True when the UPS
    // answers; the serial link always does.
    bool firstStatus();
    // After the settings name a new link: a serial port closes the USB device and (re)opens the
    // port; USB closes the serial port and forgets that the device answered, so that the next
    // tick reopens it.
    void switchToChosenLink();
    // Exit: the serial port closes when it is the chosen link; the USB device closes in any case.
    void closeAtExit();

    UsbLink& usb() { return m_usb; }
    SerialLink& serial() { return m_serial; }

private:
    const Settings& m_settings;
    UsbLink& m_usb;
    SerialLink& m_serial;
};

} // namespace brevant
