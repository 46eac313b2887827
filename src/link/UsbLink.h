#pragma once

namespace brevant {

class HalvicApi;
class MessageBoxPresenter;

// The USB link: one command/reply exchange at a time through the Halvic library, and the three
// link status flags the last exchange left.
class UsbLink
{
public:
    static constexpr int StatusQuery = 1;
    static constexpr int UpsOff = 2;

    UsbLink(HalvicApi& library, MessageBoxPresenter& messages);

    // Open and close the device. Failures are the caller's to ignore (they are not reported here).
    void hidHandle();
    void closeHandleDevice();

    void usbExchange(int command);

    bool usbConnected() const { return m_usbConnected; }
    bool usbOnBattery() const { return m_usbOnBattery; }
    bool usbLowBattery() const { return m_usbLowBattery; }

    // The port Apply switching to USB clears it, so that the next poll reopens the device.
    void setUsbConnected(bool connected) { m_usbConnected = connected; }

private:
    HalvicApi& m_library;
    MessageBoxPresenter& m_messages;
    bool m_usbConnected = false;
    bool m_usbOnBattery = false;
    bool m_usbLowBattery = false;
};

} // namespace brevant
