// libFuzzer target: every typed accessor of the settings over any settings file, and the value
// conversions over any text. The accessors must give an answer for every value, never fail.
#include "FuzzSupport.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"

#include <cmath>
#include <tuple>

using namespace brevant;

namespace {

void convert(const QString& text)
{
    const auto number = conversion::number(text);
    if (number && std::isnan(*number))
        fuzz::invariantBroken("a number that is not a number");
    static_cast<void>(std::tuple{conversion::boolean(text), conversion::numberEquals(text, 1)});
    const auto whole = conversion::wholeNumber(text);
    if (whole.has_value() != number.has_value())
        fuzz::invariantBroken("a whole number without a number, or the other way round");
    static_cast<void>(conversion::minutesToSeconds(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    convert(QString::fromUtf8(bytes));

    const Settings settings(QString::fromStdString(fuzz::scratchFile("UpsConfigure.ini", data, size)));
    const LinkChoice link = settings.link();
    if (link.serial && link.port < 1)
        fuzz::invariantBroken("a serial link without a port");
    for (const EventSection section : {EventSection::OnBattery, EventSection::LowBattery})
        static_cast<void>(std::tuple{settings.eventDisabled(section), settings.recordLog(section),
                                     settings.shutdownOnEvent(section), settings.delaySeconds(section)});
    static_cast<void>(settings.lowBatteryShutdownIsOne());
    static_cast<void>(std::tuple{settings.saveApplications(), settings.shutdownRequested(),
                                 settings.closeAppFlagSet(), settings.saveListWanted()});
    for (const RecordList list : {RecordList::Log, RecordList::Event, RecordList::Close}) {
        const double limit = settings.recordLimit(list);
        if (limit < 10 || limit > 1000)
            fuzz::invariantBroken("a record limit out of 10..1000");
    }
    if (settings.fileProblem().ok() && size == 0)
        fuzz::invariantBroken("an empty settings file said to be usable");
    return 0;
}
