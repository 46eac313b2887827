#include "platform/qt/QtSerialPort.h"

#include <QFileInfo>

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

Status QtSerialPort::open(int portNumber)
{
    const QString device = deviceName(portNumber);
    if (device.isEmpty())
        return Status::failure(
            QStringLiteral("COM%1 is not a serial port Brevant knows: choose COM1 to COM4.").arg(portNumber));
    if (m_port.isOpen())
        return Status::failure(QStringLiteral("%1 is open already.").arg(m_port.portName()));
    m_port.setPortName(device);
    // Write-only: no byte is ever exchanged, and without CREAD the port receives nothing.
    if (!m_port.open(QIODevice::WriteOnly))
        return Status::failure(whyNotOpened(portNumber, device));
    // DTR high asks the UPS to switch off. Linux raises DTR (and RTS) inside open(2) of a serial
    // device whose line speed is not B0, and again whenever the speed leaves B0; QSerialPort::open()
    // always sets a speed, and offers no way to set DTR before the descriptor exists. So the line
    // is lowered here, as the very first operation on the open descriptor (one TIOCMBIC ioctl),
    // before anything else can run: it was high only for the microseconds of the open call itself,
    // and stays low from then on until setDtr(true). A port whose DTR cannot be lowered is closed
    // again at once (the close hangs the line up, which drops DTR) and never used.
    if (!m_port.setDataTerminalReady(false)) {
        const QString reason = m_port.errorString();
        m_port.close();
        return Status::failure(
            QStringLiteral("COM%1 (%2): its DTR line could not be held low (%3), so it is not used: "
                           "DTR high would switch the UPS off.")
                .arg(portNumber)
                .arg(device, reason));
    }
    return Status::success();
}

// The open's failure as the user can act on it: the device, what went wrong, what to do.
QString QtSerialPort::whyNotOpened(int portNumber, const QString& device) const
{
    const QString port = QStringLiteral("COM%1 (%2)").arg(portNumber).arg(device);
    const QFileInfo file(device);
    if (!file.exists() || m_port.error() == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("%1 does not exist. Choose the port the UPS cable is plugged into, or name its "
                              "device in the environment variable BREVANT_COM%2 (for example /dev/ttyUSB0).")
            .arg(port)
            .arg(portNumber);
    if (m_port.error() == QSerialPort::PermissionError) {
        // The device refuses us, or another program holds it (its lock file, or exclusive use).
        if (!file.isWritable())
            return QStringLiteral("%1: permission denied. Add yourself to the group %2 that owns the device "
                                  "(sudo adduser $USER %2), log in again, then press Apply once more.")
                .arg(port, file.group().isEmpty() ? QStringLiteral("dialout") : file.group());
        return QStringLiteral(
                   "%1 is in use by another program. Close that program, then press Apply once more.")
            .arg(port);
    }
    return QStringLiteral("%1 could not be opened: %2.").arg(port, m_port.errorString());
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
