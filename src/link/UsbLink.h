#pragma once

#include "platform/HalvicApi.h"

namespace brevant {

class MessageBoxPresenter;

// The USB link: one command/reply exchange at a time through the Halvic library, and the three
// link status flags the last exchange left.
class UsbLink
{
public:
    static constexpr int StatusQuery = HALVIC_COMMAND_STATUS;
    static constexpr int UpsOff = HALVIC_COMMAND_UPS_OFF;

    UsbLink(HalvicApi& library, MessageBoxPresenter& messages);

    // Open and close the device. Failures are returned for the caller to ignore or act on; they
    // are not shown to the user here.
    Status hidHandle();
    Status closeHandleDevice();

    // One exchange; it reports only through the flags. A library call that cannot be made shows
    // the platform's error text in a message box and leaves every flag as it was.
    void usbExchange(int command);

    bool usbConnected() const { return m_usbConnected; }
    bool usbOnBattery() const { return m_usbOnBattery; }
    bool usbLowBattery() const { return m_usbLowBattery; }

    // The port Apply switching to USB clears it, so that the next poll reopens the device.
    void setUsbConnected(bool connected) { m_usbConnected = connected; }

private:
    bool failed(const Status& call);
    void interpretStatusBlock(const char* statusBlock);

    HalvicApi& m_library;
    MessageBoxPresenter& m_messages;
    bool m_usbConnected = false;
    bool m_usbOnBattery = false;
    bool m_usbLowBattery = false;
};

} // namespace brevant
