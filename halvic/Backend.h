#pragma once

#include "UpsValues.h"
#include "Wait.h"

#include <optional>

namespace halvic {

// What one status query learns from the UPS.
struct UpsReading
{
    bool onMains = true;
    bool batteryLow = false;
    // The UPS's server asks every computer the UPS powers to shut down now.
    bool forcedShutdown = false;
    // False when the UPS said only that a shutdown is forced, not where its power comes from:
    // onMains and batteryLow are then no news.
    bool powerKnown = true;
    // What else the UPS said in the same exchange; empty when the backend or the UPS knows nothing more.
    UpsValues values{};

    bool operator==(const UpsReading&) const = default;
};

// What a request to switch the UPS off came to.
enum class OffReply
{
    NoAnswer,
    // The command reached the UPS or its server.
    Accepted,
    // Still under way (waiting for the other computers, or the command on its way): ask again.
    UnderWay,
    // This computer does not switch the UPS off by design: another one does.
    NotMine,
};

// One way of reaching a UPS. Constructing a backend opens the device, destroying it closes it.
class Backend
{
public:
    virtual ~Backend() = default;

    // Empty when no UPS answers.
    virtual std::optional<UpsReading> readStatus() = 0;
    // True when the UPS accepted the command to switch itself off.
    virtual bool switchOff() = 0;
    // A backend that may wait before the command or decline it by its role says so here; for the
    // others the command is either accepted or not answered.
    virtual OffReply requestSwitchOff() { return switchOff() ? OffReply::Accepted : OffReply::NoAnswer; }

    // A status query in two halves, for a device that usually answers within a millisecond (a
    // server on loopback): the caller's thread asks and reads a quick answer itself, and leaves a
    // slow one to the worker thread. Only a device that is ready for it (connected, idle) says so;
    // startStatus sends the question by the deadline, continueStatus reads the answer until
    // waitUntil, without sleeping until spinUntil: Done with the reading (empty when the UPS gave
    // none), Pending to be continued, Failed when the device has to be opened again.
    virtual bool readyToStartStatus() const { return false; }
    virtual bool startStatus(Deadline /*sendBy*/) { return false; }
    virtual Progress continueStatus(Deadline /*spinUntil*/, Deadline /*waitUntil*/,
                                    std::optional<UpsReading>& /*reading*/)
    {
        return Progress::Failed;
    }

    // After a Done status query of the caller's: the next query is due a rhythm after this one.
    // A device that can have its answer ready by then (sent by the kernel at departAt, without a
    // thread of its own) asks for it; the next startStatus takes it if it left at most maxAge before.
    virtual void prefetchStatus(Deadline /*departAt*/, Clock::duration /*rhythm*/, Clock::duration /*maxAge*/)
    {}
    // The caller closed the device and may open it again with the same configuration soon.
    virtual void suspend() {}
    virtual void resume() {}
};

} // namespace halvic
