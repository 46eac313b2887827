// libFuzzer target: a report descriptor as a device could send it, then the reports it describes.
// The first two bytes split the input into descriptor and report bytes; the next four are taken
// as the device's vendor and product IDs, so that the quirks table is run too. Every field's
// value goes through the unit conversions both ways.
#include "HidDescriptor.h"
#include "HidPowerDevice.h"
#include "HidQuirks.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t split = std::min<size_t>(size - 2, (size_t{data[0]} << 8) | data[1]);
    const std::span<const uint8_t> descriptor(data + 2, split);
    const std::span<const uint8_t> report(data + 2 + split, size - 2 - split);
    auto layout = halvic::parseReportDescriptor(descriptor);
    if (!layout)
        return 0;
    if (report.size() >= 4)
        halvic::applyHidQuirks(uint16_t(report[0] << 8 | report[1]), uint16_t(report[2] << 8 | report[3]),
                               *layout);
    const auto fields = halvic::PowerDeviceFields::find(*layout);
    halvic::readingFromFields(
        fields, [&](const halvic::HidField& field) { return halvic::fieldValue(field, report); });
    std::vector<uint8_t> written(report.begin(), report.end());
    for (const halvic::HidField& field : layout->fields) {
        [[maybe_unused]] const auto symbol = field.unit.symbol();
        const auto value = halvic::fieldValue(field, report).value_or(60);
        if (const auto logical = halvic::logicalValueAtLeast(field, halvic::physicalValue(field, value)))
            halvic::setFieldValue(field, written, static_cast<uint32_t>(*logical));
        [[maybe_unused]] const size_t bytes = layout->reportBytes(field.kind, field.reportId);
    }
    return 0;
}
