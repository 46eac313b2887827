#pragma once

#include "link/OwnLowBattery.h"
#include "link/UpsLink.h"
#include "platform/HalvicApi.h"

namespace brevant {

class MessageBoxPresenter;

// The USB link: one command/reply exchange at a time through the Halvic library, and the three
// link status flags the last exchange left.
class UsbLink final : public UpsLink
{
public:
    static constexpr int StatusQuery = HALVIC_COMMAND_STATUS;
    static constexpr int UpsOff = HALVIC_COMMAND_UPS_OFF;

    UsbLink(HalvicApi& library, MessageBoxPresenter& messages);

    Kind kind() const override { return Kind::Usb; }
    // HidHandle and CloseHandleDevice. A call that cannot be made is logged once, not shown.
    Status open() override;
    Status close() override;
    // Reopens a device that went silent (CloseHandleDevice, HidHandle), then one status exchange.
    void query() override;
    bool answering() const override { return m_usbConnected; }
    // Battery low by the UPS's own flag, or by the user's thresholds (OwnLowBattery).
    UpsState state() override
    {
        return {m_usbConnected, m_usbOnBattery, m_usbLowBattery || m_ownLowBattery.low(),
                m_usbForcedShutdown};
    }
    UpsDetails details() const override { return m_usbConnected ? m_details : UpsDetails{}; }
    // The UPS-off command three times, 10 ms apart.
    UpsOffPlan upsOffPlan() const override { return {3, 10}; }
    UpsOffReply sendUpsOff() override;

    Status hidHandle();
    Status closeHandleDevice();

    // One exchange; a status query also reads the library's values (one call). It reports through the flags,
    // and says what the UPS answered to a UPS-off command. A library call that cannot be made shows the
    // platform's error text in a message box and leaves every flag as it was.
    UpsOffReply usbExchange(int command);

    bool usbConnected() const { return m_usbConnected; }
    bool usbOnBattery() const { return m_usbOnBattery; }
    bool usbLowBattery() const { return m_usbLowBattery; }

    // The user's thresholds, for the next status query on.
    void setLowBatteryLimits(const LowBatteryLimits& limits) { m_lowBatteryLimits = limits; }

    // Switching to USB clears it, so that the next poll reopens the device.
    void setUsbConnected(bool connected) { m_usbConnected = connected; }

private:
    bool failed(const Status& call);
    void logOnce(const Status& call);
    void interpretStatusBlock(const char* statusBlock);

    HalvicApi& m_library;
    MessageBoxPresenter& m_messages;
    bool m_usbConnected = false;
    bool m_usbOnBattery = false;
    bool m_usbLowBattery = false;
    bool m_usbForcedShutdown = false;
    UpsDetails m_details;
    LowBatteryLimits m_lowBatteryLimits;
    OwnLowBattery m_ownLowBattery;
    QString m_lastLoggedFailure;
};

} // namespace brevant
