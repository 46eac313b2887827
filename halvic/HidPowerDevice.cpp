#include "HidPowerDevice.h"

#include <algorithm>

namespace halvic {

namespace {

bool isPowerDevicePage(HidUsage usage)
{
    const auto page = usage >> 16;
    return page == hidusage::PowerDevicePage || page == hidusage::BatterySystemPage;
}

// Lower is better: a feature report in the power summary first.
int preference(const HidField& field)
{
    const bool inSummary =
        std::ranges::find(field.collections, hidusage::PowerSummary) != field.collections.end();
    return (field.kind == HidReportKind::Feature ? 0 : 2) + (inSummary ? 0 : 1);
}

std::optional<HidField> best(const HidReportLayout& layout, HidUsage usage)
{
    std::optional<HidField> chosen;
    for (const HidField& field : layout.fields) {
        if (field.usage == usage && field.kind != HidReportKind::Output &&
            (!chosen || preference(field) < preference(*chosen)))
            chosen = field;
    }
    return chosen;
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

PowerDeviceFields PowerDeviceFields::find(const HidReportLayout& layout)
{
    return {.acPresent = best(layout, hidusage::ACPresent),
            .discharging = best(layout, hidusage::Discharging),
            .belowRemainingCapacityLimit = best(layout, hidusage::BelowRemainingCapacityLimit),
            .shutdownImminent = best(layout, hidusage::ShutdownImminent),
            .remainingCapacity = best(layout, hidusage::RemainingCapacity),
            .remainingCapacityLimit = best(layout, hidusage::RemainingCapacityLimit),
            .delayBeforeShutdown = best(layout, hidusage::DelayBeforeShutdown),
            .delayBeforeStartup = best(layout, hidusage::DelayBeforeStartup)};
}

std::vector<HidField> PowerDeviceFields::statusFields() const
{
    std::vector<HidField> fields;
    for (const auto* field : {&acPresent, &discharging, &belowRemainingCapacityLimit, &shutdownImminent,
                              &remainingCapacity, &remainingCapacityLimit}) {
        if (*field)
            fields.push_back(**field);
    }
    return fields;
}

std::optional<UpsReading> readingFromFields(const PowerDeviceFields& fields, const FieldReader& read)
{
    const auto value = [&](const std::optional<HidField>& field) {
        return field ? read(*field) : std::optional<int64_t>();
    };
    const auto acPresent = value(fields.acPresent);
    const auto discharging = acPresent ? std::nullopt : value(fields.discharging);
    if (!acPresent && !discharging)
        return std::nullopt;
    const auto below = value(fields.belowRemainingCapacityLimit);
    const auto imminent = value(fields.shutdownImminent);
    bool low = below.value_or(0) != 0 || imminent.value_or(0) != 0;
    if (!below && !imminent) {
        const auto capacity = value(fields.remainingCapacity);
        const auto limit = value(fields.remainingCapacityLimit);
        low = capacity && limit && *capacity <= *limit;
    }
    return UpsReading{.onMains = acPresent ? *acPresent != 0 : *discharging == 0, .batteryLow = low};
}

} // namespace halvic
