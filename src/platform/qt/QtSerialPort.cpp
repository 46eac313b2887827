#include "platform/qt/QtSerialPort.h"

namespace brevant {

QString QtSerialPort::deviceName(int portNumber)
{
    if (portNumber < 1 || portNumber > 4)
        return {};
    const QString configured =
        qEnvironmentVariable(qPrintable(QStringLiteral("BREVANT_COM%1").arg(portNumber)));
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

bool QtSerialPort::open(int portNumber)
{
    const QString device = deviceName(portNumber);
    if (device.isEmpty() || m_port.isOpen())
        return false;
    m_port.setPortName(device);
    // Write-only: no byte is ever exchanged, and without CREAD the port receives nothing.
    if (!m_port.open(QIODevice::WriteOnly))
        return false;
    // DTR high asks the UPS to switch off. Linux raises DTR (and RTS) inside open(2) of a serial
    // device whose line speed is not B0, and again whenever the speed leaves B0; QSerialPort::open()
    // always sets a speed, and offers no way to set DTR before the descriptor exists. So the line
    // is lowered here, as the very first operation on the open descriptor (one TIOCMBIC ioctl),
    // before anything else can run: it was high only for the microseconds of the open call itself,
    // and stays low from then on until setDtr(true).
    m_port.setDataTerminalReady(false);
    return true;
}

void QtSerialPort::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialPort::isOpen() const
{
    return m_port.isOpen();
}

void QtSerialPort::setRts(bool high)
{
    if (m_port.isOpen())
        m_port.setRequestToSend(high);
}

void QtSerialPort::setDtr(bool high)
{
    if (m_port.isOpen())
        m_port.setDataTerminalReady(high);
}

bool QtSerialPort::cts()
{
    return asserted(QSerialPort::ClearToSendSignal);
}

bool QtSerialPort::dcd()
{
    return asserted(QSerialPort::DataCarrierDetectSignal);
}

// A port that is not open, or whose lines cannot be read, reports no line asserted.
bool QtSerialPort::asserted(QSerialPort::PinoutSignal line)
{
    if (!m_port.isOpen())
        return false;
    m_port.clearError();
    const QSerialPort::PinoutSignals lines = m_port.pinoutSignals();
    return m_port.error() == QSerialPort::NoError && lines.testFlag(line);
}

} // namespace brevant
