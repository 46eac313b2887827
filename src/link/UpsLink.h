#pragma once

#include "base/Result.h"
#include "link/UpsDetails.h"

namespace brevant {

// The UPS's state as one link sees it.
struct UpsState
{
    bool connected = false; // the UPS answered; the serial link has no notion of a lost UPS
    bool onBattery = false;
    bool batteryLow = false;
    // The UPS's server asks every computer the UPS powers to shut down now (NUT's FSD).
    bool forcedShutdown = false;

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

    // Takes the link into use, and out of use again. A failure is logged where it happens (once)
    // and returned; the start-up, exit and port switch carry on past it, and a link that could not
    // be opened reads as a UPS that does not answer (USB) or runs on mains (serial).
    virtual Status open() = 0;
    virtual Status close() = 0;

    // Asks the UPS afresh. USB: one status exchange, reopening the device first when the last
    // exchange went unanswered. Serial: nothing to ask, the lines are the state.
    virtual void query() = 0;
    // Whether the UPS answered, without asking it (always on the serial link).
    virtual bool answering() const = 0;
    // What the link knows now, without asking the UPS: USB the flags of the last exchange,
    // serial the lines read at this moment.
    virtual UpsState state() = 0;
    // What the UPS reported besides its state with the last exchange; nothing while it does not
    // answer, and never on the serial link.
    virtual UpsDetails details() const { return {}; }

    // How the UPS is told to switch itself off: the command goes out this many times, this far
    // apart. The shutdown sequence sends them on its timers, so nothing waits in between.
    struct UpsOffPlan
    {
        int commands = 1;
        int intervalMs = 0;
    };
    virtual UpsOffPlan upsOffPlan() const = 0;
    // What the UPS (or its server) said to one UPS-off command.
    enum class UpsOffReply
    {
        Accepted,
        UnderWay,        // ask again: a primary of a shared UPS waits for the other computers
        NotThisComputer, // a secondary of a shared UPS: its primary switches the UPS off
        NoAnswer
    };
    // One UPS-off command; nothing waits for the UPS.
    virtual UpsOffReply sendUpsOff() = 0;
};

} // namespace brevant
