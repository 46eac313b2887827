#pragma once

#include "base/Result.h"

#include <functional>

namespace brevant {

// Shuts the operating system down (forced, no questions asked of other programs). Both calls
// answer through a callback, at once or later from the event loop, so that a slow system service
// never blocks the caller; a failure carries the system's reason.
class SystemPowerOff
{
public:
    using Answer = std::function<void(Status)>;

    virtual ~SystemPowerOff() = default;
    // Whether a power-off asked for now would be carried out.
    virtual void checkAllowed(Answer answer) = 0;
    // Asks for the power-off; the answer says whether the request was refused.
    virtual void shutDownSystem(Answer answer) = 0;
};

} // namespace brevant
