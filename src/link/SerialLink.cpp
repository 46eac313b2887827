#include "link/SerialLink.h"

#include "base/Logging.h"
#include "platform/SerialPort.h"

namespace brevant {

SerialLink::SerialLink(SerialPort& port)
    : m_port(port)
{}

Status SerialLink::open()
{
    if (!m_port.isOpen())
        tryOpen(m_commPort);
    m_port.setRts(true);
    m_port.setDtr(false);
    return m_lastOpen;
}

void SerialLink::switchTo(int portNumber)
{
    static_cast<void>(close());
    m_commPort = portNumber;
    if (tryOpen(portNumber))
        m_port.setRts(true);
}

bool SerialLink::tryOpen(int portNumber)
{
    m_lastOpen = m_port.open(portNumber);
    if (!m_lastOpen.ok())
        qCWarning(lcLink).noquote()
            << QStringLiteral("serial port COM%1 could not be opened:").arg(portNumber) << m_lastOpen.error();
    return m_lastOpen.ok();
}

Status SerialLink::close()
{
    if (m_port.isOpen())
        m_port.close();
    return Status::success();
}

UpsLink::UpsOffReply SerialLink::sendUpsOff()
{
    m_port.setDtr(true);
    return UpsOffReply::Accepted;
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
