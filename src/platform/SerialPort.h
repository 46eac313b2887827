#pragma once

#include "base/Result.h"

namespace brevant {

// The modem-control lines of one serial port. No data bytes are ever exchanged.
// A port that is not open, or whose lines cannot be read, reads every input line as not asserted.
class SerialPort
{
public:
    virtual ~SerialPort() = default;

    // Opens COMn (n = 1..4, mapped to a device by the implementation) with DTR kept low. A failure
    // says, in words for the user, which device it was and what to do about it.
    virtual Status open(int portNumber) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual void setRts(bool high) = 0;
    virtual void setDtr(bool high) = 0;

    virtual bool cts() = 0; // asserted: the UPS runs on battery
    virtual bool dcd() = 0; // asserted: the UPS battery is low
};

} // namespace brevant
