#include "HidQuirks.h"

#include "HidPowerDevice.h"

#include <algorithm>
#include <limits>

namespace halvic {

namespace {

constexpr const char* CyberPowerVoltages =
    "output Voltage declared with the high transfer point's logical range, input Voltage with 0..255";
constexpr const char* CyberPowerSource =
    "Network UPS Tools drivers/cps-hid.c cps_fix_report_desc; networkupstools/nut issue 439, pull 1245, "
    "issue 1512";

constexpr const char* TenthsOfVolts = "voltages in tenths of a volt declared with Unit Exponent 1";

constexpr HidQuirk quirks[] = {
    {0x0764, 0x0501, HidQuirk::Fix::VoltageRangeFromFieldSize, CyberPowerVoltages, CyberPowerSource},
    {0x0764, 0x0601, HidQuirk::Fix::VoltageRangeFromFieldSize, CyberPowerVoltages, CyberPowerSource},
    {0x09ae, 0x3016, HidQuirk::Fix::VoltageExponentTenths, TenthsOfVolts,
     "networkupstools/nut issue 414: input Voltage report 31 be 04 (1214) on a 120 V line"},
    {0x1cb0, 0x0032, HidQuirk::Fix::VoltageExponentTenths, TenthsOfVolts,
     "networkupstools/nut issue 3540: input Voltage report 31 58 09 (2392) and output 1b 68 09 (2408) on a "
     "230 V line"},
};

void fix(HidQuirk::Fix fix, HidField& field)
{
    if (field.usage != hidusage::Voltage)
        return;
    switch (fix) {
    case HidQuirk::Fix::VoltageRangeFromFieldSize:
        field.logicalMinimum = 0;
        field.logicalMaximum = field.bitSize >= 31 ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>((int64_t{1} << field.bitSize) - 1);
        break;
    case HidQuirk::Fix::VoltageExponentTenths:
        if (field.unitExponent == 1)
            field.unitExponent = 6;
        break;
    }
}

} // namespace

std::span<const HidQuirk> hidQuirks()
{
    return quirks;
}

std::vector<const HidQuirk*> applyHidQuirks(uint16_t vendorId, uint16_t productId, HidReportLayout& layout)
{
    std::vector<const HidQuirk*> applied;
    for (const HidQuirk& quirk : quirks) {
        if (quirk.vendorId != vendorId || quirk.productId != productId)
            continue;
        for (HidField& field : layout.fields)
            fix(quirk.fix, field);
        applied.push_back(&quirk);
    }
    return applied;
}

} // namespace halvic
