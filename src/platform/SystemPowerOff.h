#pragma once

namespace brevant {

// Shuts the operating system down (forced, no questions asked of other programs).
class SystemPowerOff
{
public:
    virtual ~SystemPowerOff() = default;
    virtual void shutDownSystem() = 0;
};

} // namespace brevant
