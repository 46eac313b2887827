#pragma once

namespace brevant {

class SerialPort;

// The serial link: CTS = on battery, DCD = battery low, RTS raised while open, DTR raised = UPS off.
class SerialLink
{
public:
    explicit SerialLink(SerialPort& port);

    // Start-up: open COMn, raise RTS, lower DTR.
    void openAtStartup(int portNumber);
    // Port Apply to a serial port: close the port if open, then open COMn and raise RTS. DTR stays low.
    void switchTo(int portNumber);
    void close();

    // The UPS-off request: one write, nothing waited for.
    void raiseDtr();

    bool onBattery();
    bool batteryLow();
    bool isOpen() const;

private:
    SerialPort& m_port;
};

} // namespace brevant
