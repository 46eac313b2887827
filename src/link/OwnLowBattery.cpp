#include "link/OwnLowBattery.h"

namespace brevant {

namespace {

// Whether a reported value is at or below its threshold raised by the margin; false when either
// is missing.
bool atOrBelow(const std::optional<double>& value, const std::optional<double>& threshold, double margin)
{
    return value && threshold && *value <= *threshold + margin;
}

std::optional<double> seconds(const std::optional<int>& minutes)
{
    return minutes ? std::optional<double>(*minutes * 60.0) : std::nullopt;
}

} // namespace

bool OwnLowBattery::follow(const UpsDetails& details, bool onBattery, const LowBatteryLimits& limits)
{
    if (!onBattery || !limits.any()) {
        m_low = false;
        return m_low;
    }
    const std::optional<double> charge = limits.chargePercent;
    const std::optional<double> runtime = seconds(limits.runtimeMinutes);
    const double chargeMargin = m_low ? ChargeMarginPercent : 0;
    const double runtimeMargin = m_low ? RuntimeMarginSeconds : 0;
    m_low = atOrBelow(details.chargePercent, charge, chargeMargin) ||
            atOrBelow(details.runtimeSeconds, runtime, runtimeMargin);
    return m_low;
}

} // namespace brevant
