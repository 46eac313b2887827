#include "Config.h"

#include "Log.h"
#include "SmallFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace halvic {

namespace {

struct Key
{
    const char* fileKey;
    const char* environmentName;
    std::string Config::*field;
};

const std::array<Key, 11> Keys{{
    {"backend", "HALVIC_BACKEND", &Config::backend},
    {"sim_file", "HALVIC_SIM_FILE", &Config::simFile},
    {"nut_ups", "HALVIC_NUT_UPS", &Config::nutUps},
    {"nut_user", "HALVIC_NUT_USER", &Config::nutUser},
    {"nut_password", "HALVIC_NUT_PASSWORD", &Config::nutPassword},
    {"nut_offcmd", "HALVIC_NUT_OFFCMD", &Config::nutOffCmd},
    {"nut_off_delay", "HALVIC_NUT_OFF_DELAY", &Config::nutOffDelay},
    {"nut_role", "HALVIC_NUT_ROLE", &Config::nutRole},
    {"nut_hostsync", "HALVIC_NUT_HOSTSYNC", &Config::nutHostsync},
    {"hid_device", "HALVIC_HID_DEVICE", &Config::hidDevice},
    {"hid_off_delay", "HALVIC_HID_OFF_DELAY", &Config::hidOffDelay},
}};

std::string_view trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string lowerCase(std::string_view text)
{
    std::string result(text);
    std::ranges::transform(result, result.begin(), [](unsigned char c) { return std::tolower(c); });
    return result;
}

bool isKnownKey(const std::string& key)
{
    return std::ranges::any_of(Keys, [&](const Key& known) { return key == known.fileKey; });
}

bool readableByOthers(const std::string& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string besideFile(const std::string& file, const std::string& path)
{
    return !path.empty() && path.front() == '/' ? path : directoryOf(file) + '/' + path;
}

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::string userConfigDir(const EnvironmentLookup& environment)
{
    if (const auto xdg = environment("XDG_CONFIG_HOME"); xdg && xdg->starts_with('/'))
        return *xdg + "/brevant";
    if (const auto home = environment("HOME"); home && home->starts_with('/'))
        return *home + "/.config/brevant";
    return {};
}

std::vector<std::string> configFiles(const std::string& libraryDir, const std::string& systemDir,
                                     const EnvironmentLookup& environment)
{
    if (const auto named = environment("HALVIC_CONF"); named && !named->empty())
        return {*named};
    const std::string portable = libraryDir + '/' + ConfigFileName;
    if (exists(portable))
        return {portable};
    std::vector<std::string> files{systemDir + '/' + ConfigFileName};
    if (const std::string user = userConfigDir(environment); !user.empty())
        files.push_back(user + '/' + ConfigFileName);
    return files;
}

} // namespace

std::optional<std::string> processEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

namespace {

std::optional<int> parseSeconds(std::string_view text, int minimum, int maximum)
{
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < minimum || seconds > maximum)
        return std::nullopt;
    return seconds;
}

} // namespace

std::optional<int> parseOffDelay(std::string_view text)
{
    return parseSeconds(text, MinimumOffDelaySeconds, MaximumOffDelaySeconds);
}

std::optional<int> parseHostsync(std::string_view text)
{
    return parseSeconds(text, 0, MaximumHostsyncSeconds);
}

std::map<std::string, std::string> parseConfigText(std::string_view text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#' || content.front() == ';')
            continue;
        const auto equals = content.find('=');
        if (equals == std::string_view::npos) {
            logOnce("config", "ignoring a line without '=' in " + std::string(ConfigFileName) + ": " +
                                  std::string(content));
            continue;
        }
        const std::string key = lowerCase(trimmed(content.substr(0, equals)));
        if (!isKnownKey(key))
            logOnce("config", "unknown key '" + key + "' in " + ConfigFileName);
        values[key] = std::string(trimmed(content.substr(equals + 1)));
    }
    return values;
}

Config loadConfig(const std::string& libraryDir, const EnvironmentLookup& environment,
                  const std::string& systemDir)
{
    Config config;
    std::string simFileOrigin;
    for (const std::string& file : configFiles(libraryDir, systemDir, environment)) {
        const auto text = readSmallFile(file, MaxConfigFileBytes);
        if (!text) {
            if (exists(file) || file == environment("HALVIC_CONF"))
                config.refusals.push_back(file + " cannot be read, or is no regular file of at most " +
                                          std::to_string(MaxConfigFileBytes / 1024) + " KB");
            continue;
        }
        const auto values = parseConfigText(*text);
        const auto password = values.find("nut_password");
        if (password != values.end() && !password->second.empty() && readableByOthers(file)) {
            config.refusals.push_back(
                file + " holds a password and other users can read it; restrict it with chmod 600");
            continue;
        }
        config.files.push_back(file);
        for (const Key& key : Keys) {
            if (const auto it = values.find(key.fileKey); it != values.end())
                config.*key.field = it->second;
        }
        if (values.contains("sim_file"))
            simFileOrigin = file;
    }
    for (const Key& key : Keys) {
        if (auto value = environment(key.environmentName)) {
            config.*key.field = std::move(*value);
            if (key.field == &Config::simFile)
                simFileOrigin = libraryDir + "/.";
        }
    }
    config.backend = lowerCase(config.backend);
    if (!config.simFile.empty()) {
        config.simFile = besideFile(simFileOrigin, config.simFile);
    } else {
        const bool portable = ::access(libraryDir.c_str(), W_OK) == 0;
        const std::string dir = portable ? libraryDir : userConfigDir(environment);
        config.simFile = (dir.empty() ? libraryDir : dir) + '/' + DefaultSimFileName;
    }
    return config;
}

} // namespace halvic
