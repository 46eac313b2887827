#include "link/SerialLink.h"

#include "platform/SerialPort.h"

namespace brevant {

SerialLink::SerialLink(SerialPort& port)
    : m_port(port)
{}

void SerialLink::openAtStartup(int portNumber)
{
    if (!m_port.isOpen())
        m_port.open(portNumber);
    m_port.setRts(true);
    m_port.setDtr(false);
}

void SerialLink::switchTo(int portNumber)
{
    close();
    if (m_port.open(portNumber))
        m_port.setRts(true);
}

void SerialLink::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialLink::raiseDtr()
{
    m_port.setDtr(true);
}

bool SerialLink::onBattery()
{
    return m_port.cts();
}

bool SerialLink::batteryLow()
{
    return m_port.dcd();
}

bool SerialLink::isOpen() const
{
    return m_port.isOpen();
}

} // namespace brevant
