#pragma once

namespace brevant {

class SerialPort;

// The serial link: CTS = on battery, DCD = battery low, RTS raised while open, DTR raised = UPS off.
// DTR stays low from every open on until raiseDtr(): SerialPort::open() itself keeps it low, so a
// port opened by the port Apply in a run that started on USB comes up with DTR low as well.
// A port that could not be opened reads both lines as not asserted (UPS on mains).
class SerialLink
{
public:
    explicit SerialLink(SerialPort& port);

    // Start-up: open COMn, raise RTS, lower DTR.
    void openAtStartup(int portNumber);
    // Port Apply to a serial port: close the port if open, then open COMn and raise RTS. DTR is
    // not written and stays low.
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
