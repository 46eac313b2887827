#include "HidPowerDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace halvic {

namespace {

bool isPowerDevicePage(HidUsage usage)
{
    const auto page = usage >> 16;
    return page == hidusage::PowerDevicePage || page == hidusage::BatterySystemPage;
}

bool within(const HidField& field, HidUsage collection)
{
    return std::ranges::find(field.collections, collection) != field.collections.end();
}

// Lower is better: a feature report in the power summary first.
int preference(const HidField& field)
{
    return (field.kind == HidReportKind::Feature ? 0 : 2) + (within(field, hidusage::PowerSummary) ? 0 : 1);
}

std::optional<HidField> best(const HidReportLayout& layout, HidUsage usage, HidUsage collection = 0)
{
    std::optional<HidField> chosen;
    for (const HidField& field : layout.fields) {
        if (field.usage == usage && field.kind != HidReportKind::Output &&
            (collection == 0 || within(field, collection)) &&
            (!chosen || preference(field) < preference(*chosen)))
            chosen = field;
    }
    return chosen;
}

bool hasPhysicalRange(const HidField& field)
{
    return (field.physicalMinimum != 0 || field.physicalMaximum != 0) &&
           field.logicalMaximum != field.logicalMinimum;
}

double scale(const HidField& field)
{
    return std::pow(10.0, field.unitExponent + field.unit.siPowerOfTen());
}

} // namespace

bool isPowerDevice(const HidReportLayout& layout)
{
    return std::ranges::any_of(layout.applications, isPowerDevicePage);
}

std::optional<int64_t> fieldValue(const HidField& field, std::span<const uint8_t> report)
{
    constexpr size_t first = 1;
    if ((field.bitOffset + field.bitSize + 7) / 8 + first > report.size() || field.bitSize == 0)
        return std::nullopt;
    uint64_t raw = 0;
    for (uint32_t bit = 0; bit < field.bitSize; ++bit) {
        const uint32_t at = field.bitOffset + bit;
        raw |= uint64_t{(report[first + at / 8] >> (at % 8)) & 1u} << bit;
    }
    const bool negative = field.logicalMinimum < 0 && ((raw >> (field.bitSize - 1)) & 1) != 0;
    return negative ? static_cast<int64_t>(raw) - (int64_t{1} << field.bitSize) : static_cast<int64_t>(raw);
}

void setFieldValue(const HidField& field, std::vector<uint8_t>& report, uint32_t value)
{
    constexpr size_t first = 1;
    for (uint32_t bit = 0; bit < field.bitSize; ++bit) {
        const uint32_t at = field.bitOffset + bit;
        const size_t byte = first + at / 8;
        if (byte >= report.size())
            return;
        const auto mask = static_cast<uint8_t>(1u << (at % 8));
        const bool set = bit < 32 && ((value >> bit) & 1u) != 0;
        report[byte] = static_cast<uint8_t>(set ? report[byte] | mask : report[byte] & ~mask);
    }
}

double physicalValue(const HidField& field, int64_t logical)
{
    double value = static_cast<double>(logical);
    if (hasPhysicalRange(field)) {
        const double span = double(field.physicalMaximum) - double(field.physicalMinimum);
        value = (value - field.logicalMinimum) * span /
                    (double(field.logicalMaximum) - double(field.logicalMinimum)) +
                field.physicalMinimum;
    }
    return value * scale(field);
}

std::optional<int64_t> logicalValueAtLeast(const HidField& field, double physical)
{
    double logical = physical / scale(field);
    if (hasPhysicalRange(field)) {
        const double span = double(field.physicalMaximum) - double(field.physicalMinimum);
        if (span == 0)
            return std::nullopt;
        logical = (logical - field.physicalMinimum) *
                      (double(field.logicalMaximum) - double(field.logicalMinimum)) / span +
                  field.logicalMinimum;
    }
    // A rounding error in the last digits must not take a whole step more.
    const double rounded = std::ceil(logical - 1e-9);
    if (!std::isfinite(rounded) || rounded < field.logicalMinimum || rounded > field.logicalMaximum)
        return std::nullopt;
    return static_cast<int64_t>(rounded);
}

std::string delayOutOfRange(const char* name, const HidField& field, int seconds)
{
    const auto text = [](double value) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%g s", value);
        return std::string(digits);
    };
    return std::string(name) + " holds " + text(physicalValue(field, field.logicalMinimum)) + " to " +
           text(physicalValue(field, field.logicalMaximum)) + ", not the " + std::to_string(seconds) +
           " s the computer needs";
}

UpsOff upsOffAbility(const PowerDeviceFields& fields, int offDelaySeconds)
{
    const auto& shutdown = fields.delayBeforeShutdown;
    if (!shutdown || shutdown->kind != HidReportKind::Feature || shutdown->constant)
        return {OffAbility::No, "the UPS has no writable DelayBeforeShutdown"};
    if (!logicalValueAtLeast(*shutdown, offDelaySeconds))
        return {OffAbility::No, delayOutOfRange("DelayBeforeShutdown", *shutdown, offDelaySeconds)};
    return {OffAbility::Yes};
}

PowerDeviceFields PowerDeviceFields::find(const HidReportLayout& layout)
{
    using namespace hidusage;
    return {.acPresent = best(layout, ACPresent),
            .discharging = best(layout, Discharging),
            .belowRemainingCapacityLimit = best(layout, BelowRemainingCapacityLimit),
            .shutdownImminent = best(layout, ShutdownImminent),
            .remainingCapacity = best(layout, RemainingCapacity),
            .remainingCapacityLimit = best(layout, RemainingCapacityLimit),
            .runTimeToEmpty = best(layout, RunTimeToEmpty),
            .percentLoad = best(layout, PercentLoad),
            .inputVoltage = best(layout, Voltage, Input),
            .outputVoltage = best(layout, Voltage, Output),
            .delayBeforeShutdown = best(layout, DelayBeforeShutdown),
            .delayBeforeStartup = best(layout, DelayBeforeStartup)};
}

std::vector<HidField> PowerDeviceFields::readFields() const
{
    std::vector<HidField> fields;
    for (const auto* field :
         {&acPresent, &discharging, &belowRemainingCapacityLimit, &shutdownImminent, &remainingCapacity,
          &remainingCapacityLimit, &runTimeToEmpty, &percentLoad, &inputVoltage, &outputVoltage}) {
        if (*field)
            fields.push_back(**field);
    }
    return fields;
}

std::optional<HidReading> readingFromFields(const PowerDeviceFields& fields, const FieldReader& read)
{
    const auto value = [&](const std::optional<HidField>& field) -> std::optional<int64_t> {
        if (!field)
            return std::nullopt;
        const auto logical = read(*field);
        if (!logical || *logical < field->logicalMinimum || *logical > field->logicalMaximum)
            return std::nullopt;
        return logical;
    };
    const auto physical = [&](const std::optional<HidField>& field) -> std::optional<double> {
        const auto logical = value(field);
        return logical ? std::optional(physicalValue(*field, *logical)) : std::nullopt;
    };
    const auto acPresent = value(fields.acPresent);
    const auto discharging = acPresent ? std::nullopt : value(fields.discharging);
    if (!acPresent && !discharging)
        return std::nullopt;
    HidReading reading;
    reading.remainingCapacityPercent = physical(fields.remainingCapacity);
    reading.runTimeToEmptySeconds = physical(fields.runTimeToEmpty);
    reading.percentLoad = physical(fields.percentLoad);
    reading.inputVolts = physical(fields.inputVoltage);
    reading.outputVolts = physical(fields.outputVoltage);
    const auto below = value(fields.belowRemainingCapacityLimit);
    const auto imminent = value(fields.shutdownImminent);
    bool low = below.value_or(0) != 0 || imminent.value_or(0) != 0;
    if (!below && !imminent) {
        const auto limit = physical(fields.remainingCapacityLimit);
        low = reading.remainingCapacityPercent && limit && *reading.remainingCapacityPercent <= *limit;
    }
    reading.status = {.onMains = acPresent ? *acPresent != 0 : *discharging == 0, .batteryLow = low};
    return reading;
}

UpsValues nutValues(const HidReading& reading)
{
    UpsValues values;
    const auto number = [&](const char* name, const std::optional<double>& measure, int decimals) {
        if (measure)
            values.emplace_back(name, valueNumber(*measure, decimals));
    };
    number("battery.charge", reading.remainingCapacityPercent, 1);
    number("battery.runtime", reading.runTimeToEmptySeconds, 0);
    number("ups.load", reading.percentLoad, 1);
    number("input.voltage", reading.inputVolts, 1);
    number("output.voltage", reading.outputVolts, 1);
    for (const auto& [name, text] :
         {std::pair("device.mfr", &reading.manufacturer), std::pair("device.model", &reading.product),
          std::pair("device.serial", &reading.serialNumber)}) {
        if (!text->empty())
            values.emplace_back(name, *text);
    }
    return values;
}

} // namespace halvic
