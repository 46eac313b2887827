#include "platform/sim/SimulatedSerialPort.h"

namespace brevant {

Status SimulatedSerialPort::open(int portNumber)
{
    if (portNumber < 1 || portNumber > 4)
        return Status::failure(QStringLiteral("COM%1 is not a serial port.").arg(portNumber));
    if (m_open)
        return Status::failure(QStringLiteral("COM%1 is open already.").arg(m_portNumber));
    if (m_openFails)
        return Status::failure(
            QStringLiteral("COM%1 (simulated) is in use by another program.").arg(portNumber));
    m_open = true;
    m_portNumber = portNumber;
    m_dtr = false; // as the real port: DTR low from the open on
    m_rts = false;
    ++m_openCount;
    return Status::success();
}

void SimulatedSerialPort::close()
{
    m_open = false;
}

void SimulatedSerialPort::setRts(bool high)
{
    if (m_open)
        m_rts = high;
}

void SimulatedSerialPort::setDtr(bool high)
{
    if (!m_open)
        return;
    if (high)
        ++m_dtrRaises;
    m_dtr = high;
}

} // namespace brevant
