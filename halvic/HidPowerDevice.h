#pragma once

#include "Backend.h"
#include "HidDescriptor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace halvic {

// Usages of the USB HID power device class: the Power Device page (0x84) and the Battery System
// page (0x85).
namespace hidusage {
inline constexpr uint16_t PowerDevicePage = 0x84;
inline constexpr uint16_t BatterySystemPage = 0x85;
inline constexpr HidUsage Input = hidUsage(PowerDevicePage, 0x1A);
inline constexpr HidUsage Output = hidUsage(PowerDevicePage, 0x1C);
inline constexpr HidUsage PowerSummary = hidUsage(PowerDevicePage, 0x24);
inline constexpr HidUsage Voltage = hidUsage(PowerDevicePage, 0x30);
inline constexpr HidUsage PercentLoad = hidUsage(PowerDevicePage, 0x35);
inline constexpr HidUsage DelayBeforeStartup = hidUsage(PowerDevicePage, 0x56);
inline constexpr HidUsage DelayBeforeShutdown = hidUsage(PowerDevicePage, 0x57);
inline constexpr HidUsage ShutdownImminent = hidUsage(PowerDevicePage, 0x69);
inline constexpr HidUsage RemainingCapacityLimit = hidUsage(BatterySystemPage, 0x29);
inline constexpr HidUsage BelowRemainingCapacityLimit = hidUsage(BatterySystemPage, 0x42);
inline constexpr HidUsage Discharging = hidUsage(BatterySystemPage, 0x45);
inline constexpr HidUsage RemainingCapacity = hidUsage(BatterySystemPage, 0x66);
inline constexpr HidUsage RunTimeToEmpty = hidUsage(BatterySystemPage, 0x68);
inline constexpr HidUsage ACPresent = hidUsage(BatterySystemPage, 0xD0);
} // namespace hidusage

// A descriptor with an application collection of the Power Device or Battery System page.
bool isPowerDevice(const HidReportLayout& layout);

// The value of a field in a report as hidraw hands reports over: the report ID byte (0 for a
// device that does not number its reports), then the data. Empty when the report is too short.
std::optional<int64_t> fieldValue(const HidField& field, std::span<const uint8_t> report);
// Writes value into the field's bits of the report.
void setFieldValue(const HidField& field, std::vector<uint8_t>& report, uint32_t value);

// A logical value in SI units (seconds, volts; percent and counts as they are): mapped from the
// logical onto the physical range when the field has one, times ten to the unit exponent and to
// the step from the unit system's centimetres and grams.
double physicalValue(const HidField& field, int64_t logical);
// The smallest logical value whose physical value holds at least physical: a delay is rounded up
// to the field's step. Empty when it lies outside the logical range.
std::optional<int64_t> logicalValueAtLeast(const HidField& field, double physical);

// "DelayBeforeShutdown holds 0 s to 18 s, not the 60 s the computer needs": a delay the field
// cannot hold.
std::string delayOutOfRange(const char* name, const HidField& field, int seconds);

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
    std::optional<HidField> runTimeToEmpty;
    std::optional<HidField> percentLoad;
    std::optional<HidField> inputVoltage;
    std::optional<HidField> outputVoltage;
    std::optional<HidField> delayBeforeShutdown;
    std::optional<HidField> delayBeforeStartup;

    static PowerDeviceFields find(const HidReportLayout& layout);
    // The fields a reading uses.
    std::vector<HidField> readFields() const;
    bool canReadStatus() const { return acPresent || discharging; }
};

// What one reading of a HID power device learns: the status the library reports, and the
// measures and names beside it, in %, s and V.
struct HidReading
{
    UpsReading status{};
    std::optional<double> remainingCapacityPercent{};
    std::optional<double> runTimeToEmptySeconds{};
    std::optional<double> percentLoad{};
    std::optional<double> inputVolts{};
    std::optional<double> outputVolts{};
    std::string manufacturer{};
    std::string product{};
    std::string serialNumber{};
};

// Reads a field's current logical value; empty when the device does not tell.
using FieldReader = std::function<std::optional<int64_t>(const HidField&)>;

// On mains: ACPresent, else not Discharging. Battery low: BelowRemainingCapacityLimit or
// ShutdownImminent, else RemainingCapacity at or below RemainingCapacityLimit. A value outside its
// field's logical range counts as not told. Empty without a mains value.
std::optional<HidReading> readingFromFields(const PowerDeviceFields& fields, const FieldReader& read);

// Whether the device can be told to switch itself off offDelaySeconds from now: it has a writable
// DelayBeforeShutdown (a feature that is not constant) that holds that delay.
UpsOff upsOffAbility(const PowerDeviceFields& fields, int offDelaySeconds);

// A reading's measures and USB strings under NUT's names and units: battery.charge (%),
// battery.runtime (s), ups.load (%), input.voltage and output.voltage (V), device.mfr,
// device.model and device.serial; what the device did not tell is left out.
UpsValues nutValues(const HidReading& reading);

} // namespace halvic
