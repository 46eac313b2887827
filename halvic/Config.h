#pragma once

#include <cstddef>
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
    // "primary" (sets the forced shutdown, waits for the other computers, switches the UPS off),
    // "secondary" (never switches the UPS off), or empty: primary only when the server is on
    // this machine and grants nut_user the primary right.
    std::string nutRole;
    // The longest a primary waits for the other computers to log out after setting the forced
    // shutdown, in seconds.
    std::string nutHostsync = "15";
    // A hidraw device node; empty: the first HID power device found.
    std::string hidDevice;
    // Seconds the HID UPS waits after the UPS-off command before it cuts the power.
    std::string hidOffDelay = "60";

    // The files read, in order, and why a file was refused (it exists but cannot be read, is no
    // regular file, is too large, or holds a password that other users can read). A refused
    // file means no UPS at all: its keys may have named another one.
    std::vector<std::string> files;
    std::vector<std::string> refusals;

    bool operator==(const Config&) const = default;
};

inline constexpr int DefaultOffDelaySeconds = 60;
inline constexpr int DefaultHostsyncSeconds = 15;
inline constexpr int MaximumHostsyncSeconds = 600;
inline constexpr int MinimumOffDelaySeconds = 10;
inline constexpr int MaximumOffDelaySeconds = 3600;

// A whole number of seconds within the bounds above; empty otherwise.
std::optional<int> parseOffDelay(std::string_view text);
// A whole number of seconds from 0 to MaximumHostsyncSeconds; empty otherwise.
std::optional<int> parseHostsync(std::string_view text);

// A configuration file holds at most this many bytes.
inline constexpr size_t MaxConfigFileBytes = 64 * 1024;

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
