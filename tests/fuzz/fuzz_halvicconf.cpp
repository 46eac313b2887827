// libFuzzer target: Halvic.conf as an administrator may have written it, read the way the library
// reads it at load, and the values it gives to the NUT and HID backends.
#include "Config.h"
#include "FuzzSupport.h"
#include "NutProtocol.h"

using fuzz::invariantBroken;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& dir = fuzz::scratchDir();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const auto& [key, value] : halvic::parseConfigText(text)) {
        if (key.find('\n') != std::string::npos || value.find('\n') != std::string::npos)
            invariantBroken("a key or value that spans lines");
    }

    const std::string file = fuzz::scratchFile("Halvic.conf", data, size);
    const auto environment = [&file](const char* name) {
        return std::string_view(name) == "HALVIC_CONF" ? std::optional(file) : std::nullopt;
    };
    const halvic::Config config = halvic::loadConfig(dir, environment, dir + "/system");
    if (config.files.size() + config.refusals.size() > 1)
        invariantBroken("one named file read more than once");
    if (config.simFile.empty() || config.simFile.front() != '/')
        invariantBroken("a simulated UPS file that is not an absolute path");
    static_cast<void>(halvic::parseNutTarget(config.nutUps));
    static_cast<void>(halvic::parseOffDelay(config.nutOffDelay));
    static_cast<void>(halvic::parseOffDelay(config.hidOffDelay));
    static_cast<void>(halvic::parseHostsync(config.nutHostsync));
    return 0;
}
