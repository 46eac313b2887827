#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvic {

inline constexpr const char* ConfigFileName = "Halvic.conf";
inline constexpr const char* DefaultSimFileName = "halvic-sim.state";
inline constexpr const char* SystemConfigDir = "/etc/brevant";

// Where the library finds its UPS. Each value comes from the environment variable HALVIC_<KEY>,
// else from "key = value" in the configuration files (see loadConfig), else from the default.
struct Config
{
    // "sim", "nut", "hid", or empty: a HID UPS when one is plugged in, else NUT.
    std::string backend;
    std::string simFile;
    // "ups@host[:port]", "@host[:port]" or empty: empty names mean the server's first UPS.
    std::string nutUps;
    std::string nutUser;
    std::string nutPassword;
    // Empty: the library picks the best delayed UPS-off command the UPS offers.
    std::string nutOffCmd;
    // Seconds between the UPS-off command and the UPS cutting the power (ups.delay.shutdown).
    std::string nutOffDelay = "60";
    // A hidraw device node; empty: the first HID power device found.
    std::string hidDevice;
    // Seconds the HID UPS waits after the UPS-off command before it cuts the power.
    std::string hidOffDelay = "60";

    // The files read, in order, and those refused because they hold a password that other
    // users can read.
    std::vector<std::string> files;
    std::vector<std::string> refusedFiles;

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

// The configuration files, later ones overriding keys of earlier ones: the one HALVIC_CONF names;
// else Halvic.conf beside the library when there is one (a portable folder, a build tree); else
// <systemDir>/Halvic.conf and then the user's $XDG_CONFIG_HOME/brevant/Halvic.conf (default
// ~/.config). The environment overrides them all. A relative sim_file is relative to the file
// that names it; without one the simulated UPS lives beside the library when its folder is
// writable, else in the user's configuration folder.
Config loadConfig(const std::string& libraryDir, const EnvironmentLookup& environment = processEnvironment,
                  const std::string& systemDir = SystemConfigDir);

} // namespace halvic
