#pragma once

#include <array>
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

// A unit as the Unit item codes it: a system nibble, then the exponents of length, mass, time,
// temperature, current and luminous intensity, one signed nibble each.
struct HidUnit
{
    enum class System : uint8_t
    {
        None = 0,
        SiLinear = 1,
        SiRotation = 2,
        EnglishLinear = 3,
        EnglishRotation = 4
    };

    System system = System::None;
    // Length, mass, time, temperature, current, luminous intensity.
    std::array<int8_t, 6> exponents{};

    static HidUnit decode(uint32_t code);
    bool isNone() const { return system == System::None; }
    // "s", "V", "A", "W", "Hz", "K"; "" without a unit; the exponents spelt out for a unit
    // without a common name ("SI L2 M1 T-2").
    std::string symbol() const;
    // The power of ten from the system's base units (cm, g) to SI's (m, kg): -7 for a volt.
    int siPowerOfTen() const;
    bool operator==(const HidUnit&) const = default;
};

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
    // Both 0 when the descriptor gives none: the physical value is then the logical one.
    int32_t physicalMinimum = 0;
    int32_t physicalMaximum = 0;
    HidUnit unit;
    // Power of ten the physical value is multiplied by, from the Unit Exponent item.
    int8_t unitExponent = 0;
    // Flagged Constant: the host reads it and never writes it.
    bool constant = false;
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
// state, collections and report IDs. Variable fields are listed with their usage, Constant ones too
// (read-only); array fields and padding (Constant items without a usage) only take their bits. Empty, with
// the reason in error, for a descriptor that breaks the format or the bounds of a real device (4096 bytes, 32
// nested collections, 32-bit values).
std::optional<HidReportLayout> parseReportDescriptor(std::span<const uint8_t> descriptor,
                                                     std::string* error = nullptr);

} // namespace halvic
