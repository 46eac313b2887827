#include "platform/sim/SimulatedSerialPort.h"

namespace brevant {

bool SimulatedSerialPort::open(int portNumber)
{
    if (m_open || m_openFails || portNumber < 1 || portNumber > 4)
        return false;
    m_open = true;
    m_portNumber = portNumber;
    m_dtr = false; // as the real port: DTR low from the open on
    m_rts = false;
    ++m_openCount;
    return true;
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
