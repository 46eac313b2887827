// libFuzzer target: the words of the NUT network protocol as a server or a configuration gives
// them: UPS targets, reply lines, status words and offered commands.
#include "FuzzSupport.h"
#include "NutProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto target = halvic::parseNutTarget(text);
        target && (target->host.empty() || target->port == 0))
        fuzz::invariantBroken("a NUT target without host or port");

    const auto words = halvic::splitNutLine(text);
    for (const std::string& word : words) {
        if (halvic::splitNutLine(halvic::quotedNutWord(word)) != std::vector<std::string>{word})
            fuzz::invariantBroken("a quoted word does not split back into itself");
        static_cast<void>(halvic::isValidNutName(word));
    }
    if (const auto reading = halvic::readingFromUpsStatus(text);
        reading && reading->batteryLow && text.find("LB") == std::string_view::npos)
        fuzz::invariantBroken("battery low without LB");
    const std::string command = halvic::preferredOffCommand(words);
    if (!command.empty() && !halvic::isDelayedOffCommand(command))
        fuzz::invariantBroken("an off command that cuts the power at once");
    return 0;
}
