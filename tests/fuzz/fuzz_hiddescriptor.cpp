// libFuzzer target: a report descriptor as a device could send it, then the reports it describes.
// The first two bytes split the input into descriptor and report bytes.
#include "HidDescriptor.h"
#include "HidPowerDevice.h"

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
    const auto layout = halvic::parseReportDescriptor(descriptor);
    if (!layout)
        return 0;
    const auto fields = halvic::PowerDeviceFields::find(*layout);
    halvic::readingFromFields(
        fields, [&](const halvic::HidField& field) { return halvic::fieldValue(field, report); });
    std::vector<uint8_t> written(report.begin(), report.end());
    for (const halvic::HidField& field : fields.statusFields()) {
        halvic::setFieldValue(field, written, 60);
        [[maybe_unused]] const size_t bytes = layout->reportBytes(field.kind, field.reportId);
    }
    return 0;
}
