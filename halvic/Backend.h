#pragma once

#include <optional>

namespace halvic {

// What one status query learns from the UPS.
struct UpsReading
{
    bool onMains = true;
    bool batteryLow = false;

    bool operator==(const UpsReading&) const = default;
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

    // The caller closed the device and may open it again with the same configuration soon.
    virtual void suspend() {}
    virtual void resume() {}
};

} // namespace halvic
