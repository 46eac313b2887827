#pragma once

#include "base/Result.h"

#include <QString>
#include <functional>

namespace brevant {

// Whether the system would power off for this user now, without asking it to. When it would not,
// the reason and what to do about it, in words fit for the user.
struct PowerOffReadiness
{
    bool ready = true;
    QString reason; // "the system asks for a password to power off while other users are logged in"
    QString remedy; // "Add this user to the group brevant: adduser USER brevant"

    static PowerOffReadiness yes() { return {}; }
    static PowerOffReadiness no(QString reason, QString remedy)
    {
        return {false, std::move(reason), std::move(remedy)};
    }
};

// Shuts the operating system down (forced, no questions asked of other programs). Every call
// answers through a callback, at once or later from the event loop, so that a slow system service
// never blocks the caller; a failure carries the system's reason.
class SystemPowerOff
{
public:
    using Answer = std::function<void(Status)>;
    using ReadinessAnswer = std::function<void(PowerOffReadiness)>;

    virtual ~SystemPowerOff() = default;
    // Whether a power-off asked for now would be carried out. Asked right before the UPS is
    // switched off: where a person present must confirm, this is the moment it is asked.
    virtual void checkAllowed(Answer answer) = 0;
    // Asks for the power-off; the answer says whether the request was refused.
    virtual void shutDownSystem(Answer answer) = 0;
    // Read-only, for the readiness check ahead of any outage: never asks anybody anything.
    virtual void checkReadiness(ReadinessAnswer answer) = 0;
};

} // namespace brevant
