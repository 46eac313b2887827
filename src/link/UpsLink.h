#pragma once

class QString;

namespace brevant {

// The UPS's state as one link sees it.
struct UpsState
{
    bool connected = false; // the UPS answered; the serial link has no notion of a lost UPS
    bool onBattery = false;
    bool batteryLow = false;

    bool operator==(const UpsState&) const = default;
};

// One way of reaching the UPS: over USB through the Halvic library, or over a serial port's
// modem lines. The engine speaks to whichever the settings choose (ActiveLink) through this.
class UpsLink
{
public:
    enum class Kind
    {
        Usb,
        Serial
    };

    virtual ~UpsLink() = default;

    virtual Kind kind() const = 0;

    // Takes the link into use, and out of use again. Failures are logged, not returned: the
    // start-up, exit and port switch carry on past them, and a link that could not be opened
    // reads as a UPS that does not answer (USB) or runs on mains (serial).
    virtual void open() = 0;
    virtual void close() = 0;

    // Asks the UPS afresh. USB: one status exchange, reopening the device first when the last
    // exchange went unanswered. Serial: nothing to ask, the lines are the state.
    virtual void query() = 0;
    // Whether the UPS answered, without asking it (always on the serial link).
    virtual bool answering() const = 0;
    // What the link knows now, without asking the UPS: USB the flags of the last exchange,
    // serial the lines read at this moment.
    virtual UpsState state() = 0;

    // How the UPS is told to switch itself off: the command goes out this many times, this far
    // apart. The shutdown sequence sends them on its timers, so nothing waits in between.
    struct UpsOffPlan
    {
        int commands = 1;
        int intervalMs = 0;
    };
    virtual UpsOffPlan upsOffPlan() const = 0;
    // One UPS-off command; nothing waits for an acknowledgement.
    virtual void sendUpsOff() = 0;
};

} // namespace brevant
