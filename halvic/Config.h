#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace halvic {

inline constexpr const char* ConfigFileName = "Halvic.conf";
inline constexpr const char* DefaultSimFileName = "halvic-sim.state";

// Where the library finds its UPS. Each value comes from the environment variable HALVIC_<KEY>,
// else from "key = value" in Halvic.conf, else from the default.
struct Config
{
    std::string backend = "nut";
    std::string simFile;
    // "ups@host[:port]", "@host[:port]" or empty: empty names mean the server's first UPS.
    std::string nutUps;
    std::string nutUser;
    std::string nutPassword;
    // Empty: the library picks the best delayed UPS-off command the UPS offers.
    std::string nutOffCmd;
    // Seconds between the UPS-off command and the UPS cutting the power (ups.delay.shutdown).
    std::string nutOffDelay = "60";

    // Halvic.conf holds a password and other users may read it.
    bool passwordExposed = false;
    std::string passwordFile;

    bool operator==(const Config&) const = default;
};

inline constexpr int DefaultOffDelaySeconds = 60;
inline constexpr int MinimumOffDelaySeconds = 10;
inline constexpr int MaximumOffDelaySeconds = 3600;

// A whole number of seconds within the bounds above; empty otherwise.
std::optional<int> parseOffDelay(std::string_view text);

using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

std::optional<std::string> processEnvironment(const char* name);

// Keys are lower-cased; '#' and ';' start comment lines; unknown keys are reported on stderr.
std::map<std::string, std::string> parseConfigText(std::string_view text);

// Reads Halvic.conf in configDir (a missing file is no error) and applies the environment.
Config loadConfig(const std::string& configDir, const EnvironmentLookup& environment = processEnvironment);

} // namespace halvic
