#pragma once

#include "platform/SerialPort.h"

#include <QSerialPort>

namespace brevant {

// SerialPort over QSerialPort. COMn (n = 1..4) is /dev/ttyS<n-1> on Linux and COMn on Windows;
// the environment variable BREVANT_COMn names another device instead (e.g. /dev/ttyUSB0).
class QtSerialPort : public SerialPort
{
public:
    // The device of COMn, or an empty text for a number outside 1..4.
    static QString deviceName(int portNumber);

    Status open(int portNumber) override;
    void close() override;
    bool isOpen() const override;

    void setRts(bool high) override;
    void setDtr(bool high) override;

    bool cts() override;
    bool dcd() override;

private:
    bool asserted(QSerialPort::PinoutSignal line);
    QString whyNotOpened(int portNumber, const QString& device) const;

    QSerialPort m_port;
};

} // namespace brevant
