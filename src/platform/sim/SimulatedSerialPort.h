#pragma once

#include "platform/SerialPort.h"

namespace brevant {

// A serial port with a signalling cable to a UPS on one of COM1..COM4, whose input lines are set
// by hand: for the fire drill and tests. Every other port has nothing attached.
class SimulatedSerialPort : public SerialPort
{
public:
    explicit SimulatedSerialPort(int upsPort = 1)
        : m_upsPort(upsPort)
    {}

    void setUpsPort(int portNumber) { m_upsPort = portNumber; }
    void setCts(bool asserted) { m_cts = asserted; }
    void setDcd(bool asserted) { m_dcd = asserted; }
    // While set, every open fails as for a missing port or one in use by another program.
    void setOpenFails(bool fails) { m_openFails = fails; }

    int portNumber() const { return m_portNumber; }
    bool dtr() const { return m_open && m_dtr; }
    bool rts() const { return m_open && m_rts; }
    int openCount() const { return m_openCount; }
    // How often DTR was set high on an open port: each one is a UPS-off request.
    int dtrRaiseCount() const { return m_dtrRaises; }

    Status open(int portNumber) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void setRts(bool high) override;
    void setDtr(bool high) override;
    bool cts() override { return onUpsPort() && m_cts; }
    bool dcd() override { return onUpsPort() && m_dcd; }

private:
    bool onUpsPort() const { return m_open && m_portNumber == m_upsPort; }

    int m_upsPort;
    bool m_cts = false;
    bool m_dcd = false;
    bool m_openFails = false;
    bool m_open = false;
    int m_portNumber = 0;
    bool m_dtr = false;
    bool m_rts = false;
    int m_openCount = 0;
    int m_dtrRaises = 0;
};

} // namespace brevant
