#pragma once

#include "Backend.h"
#include "HidDescriptor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace halvic {

// Usages of the USB HID power device class: the Power Device page (0x84) and the Battery System
// page (0x85).
namespace hidusage {
inline constexpr uint16_t PowerDevicePage = 0x84;
inline constexpr uint16_t BatterySystemPage = 0x85;
inline constexpr HidUsage PowerSummary = hidUsage(PowerDevicePage, 0x24);
inline constexpr HidUsage DelayBeforeStartup = hidUsage(PowerDevicePage, 0x56);
inline constexpr HidUsage DelayBeforeShutdown = hidUsage(PowerDevicePage, 0x57);
inline constexpr HidUsage ShutdownImminent = hidUsage(PowerDevicePage, 0x69);
inline constexpr HidUsage RemainingCapacityLimit = hidUsage(BatterySystemPage, 0x29);
inline constexpr HidUsage BelowRemainingCapacityLimit = hidUsage(BatterySystemPage, 0x42);
inline constexpr HidUsage Discharging = hidUsage(BatterySystemPage, 0x45);
inline constexpr HidUsage RemainingCapacity = hidUsage(BatterySystemPage, 0x66);
inline constexpr HidUsage ACPresent = hidUsage(BatterySystemPage, 0xD0);
} // namespace hidusage

// A descriptor with an application collection of the Power Device or Battery System page.
bool isPowerDevice(const HidReportLayout& layout);

// The value of a field in a report as hidraw hands reports over: the report ID byte (0 for a
// device that does not number its reports), then the data. Empty when the report is too short.
std::optional<int64_t> fieldValue(const HidField& field, std::span<const uint8_t> report);
// Writes value into the field's bits of the report.
void setFieldValue(const HidField& field, std::vector<uint8_t>& report, uint32_t value);

// Where a power device keeps what the library needs. Each usage is taken from a feature report,
// which can be asked for at any time, before an input report, and from the power summary before
// other collections.
struct PowerDeviceFields
{
    std::optional<HidField> acPresent;
    std::optional<HidField> discharging;
    std::optional<HidField> belowRemainingCapacityLimit;
    std::optional<HidField> shutdownImminent;
    std::optional<HidField> remainingCapacity;
    std::optional<HidField> remainingCapacityLimit;
    std::optional<HidField> delayBeforeShutdown;
    std::optional<HidField> delayBeforeStartup;

    static PowerDeviceFields find(const HidReportLayout& layout);
    // The fields a status reading uses.
    std::vector<HidField> statusFields() const;
    bool canReadStatus() const { return acPresent || discharging; }
};

// Reads a field's current value; empty when the device does not tell.
using FieldReader = std::function<std::optional<int64_t>(const HidField&)>;

// On mains: ACPresent, else not Discharging. Battery low: BelowRemainingCapacityLimit or
// ShutdownImminent, else RemainingCapacity at or below RemainingCapacityLimit. Empty without
// a mains value.
std::optional<UpsReading> readingFromFields(const PowerDeviceFields& fields, const FieldReader& read);

} // namespace halvic
