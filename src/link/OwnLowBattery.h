#pragma once

#include "link/UpsDetails.h"

#include <optional>

namespace brevant {

// The user's own battery-low thresholds (`[Battery] LowCharge` in %, `LowRuntime` in minutes);
// each is off when not set.
struct LowBatteryLimits
{
    std::optional<int> chargePercent;
    std::optional<int> runtimeMinutes;

    bool operator==(const LowBatteryLimits&) const = default;
    bool any() const { return chargePercent || runtimeMinutes; }
};

// Battery low by the user's thresholds, from the charge and runtime the UPS reports, so that the
// low-battery event can come before the UPS's own flag. Only on battery: a battery recharging on
// the mains is no reason for a shutdown. Raised when a reported value is at or below its
// threshold; cleared, so that a value wavering at its threshold does not flicker, only when every
// reported value with a threshold is above it by a margin (charge 5 %, runtime 2 minutes), or the
// mains is back, or no threshold is set.
class OwnLowBattery
{
public:
    static constexpr double ChargeMarginPercent = 5;
    static constexpr double RuntimeMarginSeconds = 120;

    // The reading of one answered status query; returns whether the battery counts as low.
    bool follow(const UpsDetails& details, bool onBattery, const LowBatteryLimits& limits);
    bool low() const { return m_low; }

private:
    bool m_low = false;
};

} // namespace brevant
