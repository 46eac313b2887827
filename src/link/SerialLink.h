#pragma once

#include "base/Result.h"
#include "link/UpsLink.h"

namespace brevant {

class SerialPort;

// The serial link: CTS = on battery, DCD = battery low, RTS raised while open, DTR raised = UPS off.
// DTR stays low from every open on until the UPS-off request: SerialPort::open() itself keeps it
// low, so a port opened by a port switch in a run that started on USB comes up with DTR low too.
// A port that could not be opened reads both lines as not asserted (UPS on mains).
class SerialLink final : public UpsLink
{
public:
    explicit SerialLink(SerialPort& port);

    // The port number (COMn) the next open uses.
    void setCommPort(int portNumber) { m_commPort = portNumber; }
    int commPort() const { return m_commPort; }

    Kind kind() const override { return Kind::Serial; }
    // Opens COMn when it is not open, raises RTS and lowers DTR.
    Status open() override;
    Status close() override;
    void query() override {}
    bool answering() const override { return true; }
    UpsState state() override { return {true, onBattery(), batteryLow()}; }
    // Raises DTR: one write, nothing waited for.
    UpsOffPlan upsOffPlan() const override { return {1, 0}; }
    UpsOffReply sendUpsOff() override;

    // A port switch: closes the port if open, then opens COMn and raises RTS. DTR is not written
    // and stays low.
    void switchTo(int portNumber);
    // The outcome of the last attempt to open the port: why it is not open, when it failed.
    const Status& lastOpen() const { return m_lastOpen; }

    bool onBattery();
    bool batteryLow();
    bool isOpen() const;

private:
    bool tryOpen(int portNumber);

    SerialPort& m_port;
    int m_commPort = 1;
    Status m_lastOpen = Status::success();
};

} // namespace brevant
