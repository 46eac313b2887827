#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace halvic {

// A usage as the HID tables write it: usage page in the high 16 bits, usage ID in the low 16.
using HidUsage = uint32_t;

constexpr HidUsage hidUsage(uint16_t page, uint16_t id)
{
    return (HidUsage{page} << 16) | id;
}

enum class HidReportKind
{
    Input,
    Output,
    Feature
};

// One value of a report: where its bits are and what it means.
struct HidField
{
    HidReportKind kind = HidReportKind::Feature;
    uint8_t reportId = 0;
    // From the first bit after the report ID byte (or of the report, without report IDs).
    uint32_t bitOffset = 0;
    uint32_t bitSize = 0;
    HidUsage usage = 0;
    int32_t logicalMinimum = 0;
    int32_t logicalMaximum = 0;
    // The usages of the collections around the field, outermost first.
    std::vector<HidUsage> collections;
};

struct HidReportLayout
{
    std::vector<HidField> fields;
    std::vector<HidUsage> applications;
    bool usesReportIds = false;
    // Bits of each report, its ID byte not counted.
    std::map<std::pair<HidReportKind, uint8_t>, uint32_t> reportBits;

    // The report's length in bytes with the report ID byte that hidraw always puts first.
    size_t reportBytes(HidReportKind kind, uint8_t reportId) const;
};

// Parses a HID report descriptor: short items with their global (with push and pop) and local
// state, collections and report IDs. Variable fields are listed with their usage; array fields
// and padding only take their bits. Empty, with the reason in error, for a descriptor that breaks
// the format or the bounds of a real device (4096 bytes, 32 nested collections, 32-bit values).
std::optional<HidReportLayout> parseReportDescriptor(std::span<const uint8_t> descriptor,
                                                     std::string* error = nullptr);

} // namespace halvic
