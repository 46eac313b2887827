#pragma once

#include "HidDescriptor.h"

#include <cstdint>
#include <span>
#include <vector>

namespace halvic {

// A known fault of a family's firmware, and where it is shown in public.
struct HidQuirk
{
    enum class Fix
    {
        // Voltages carry another field's logical range; they span what their bits hold.
        VoltageRangeFromFieldSize,
        // Voltages in tenths of a volt are declared with Unit Exponent 1 instead of 6 (the unit's
        // own step is 10^-7 V).
        VoltageExponentTenths
    };

    uint16_t vendorId;
    uint16_t productId;
    Fix fix;
    const char* what;
    const char* source;
};

std::span<const HidQuirk> hidQuirks();

// Corrects the layout of the device with these IDs; the rows that applied, for the log.
std::vector<const HidQuirk*> applyHidQuirks(uint16_t vendorId, uint16_t productId, HidReportLayout& layout);

} // namespace halvic
