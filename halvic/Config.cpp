#include "Config.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>

namespace halvic {

namespace {

struct Key
{
    const char* fileKey;
    const char* environmentName;
    std::string Config::*field;
};

const std::array<Key, 7> Keys{{
    {"backend", "HALVIC_BACKEND", &Config::backend},
    {"sim_file", "HALVIC_SIM_FILE", &Config::simFile},
    {"nut_ups", "HALVIC_NUT_UPS", &Config::nutUps},
    {"nut_user", "HALVIC_NUT_USER", &Config::nutUser},
    {"nut_password", "HALVIC_NUT_PASSWORD", &Config::nutPassword},
    {"nut_offcmd", "HALVIC_NUT_OFFCMD", &Config::nutOffCmd},
    {"nut_off_delay", "HALVIC_NUT_OFF_DELAY", &Config::nutOffDelay},
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

std::optional<std::string> readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool readableByOthers(const std::string& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::string besideConfig(const std::string& configDir, const std::string& path)
{
    return !path.empty() && path.front() == '/' ? path : configDir + '/' + path;
}

} // namespace

std::optional<std::string> processEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

std::optional<int> parseOffDelay(std::string_view text)
{
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < MinimumOffDelaySeconds ||
        seconds > MaximumOffDelaySeconds)
        return std::nullopt;
    return seconds;
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
            std::cerr << "Halvic: ignoring line without '=' in " << ConfigFileName << ": " << content << '\n';
            continue;
        }
        const std::string key = lowerCase(trimmed(content.substr(0, equals)));
        if (!isKnownKey(key))
            std::cerr << "Halvic: unknown key '" << key << "' in " << ConfigFileName << '\n';
        values[key] = std::string(trimmed(content.substr(equals + 1)));
    }
    return values;
}

Config loadConfig(const std::string& configDir, const EnvironmentLookup& environment)
{
    Config config;
    const std::string filePath = configDir + '/' + ConfigFileName;
    const auto fileValues = parseConfigText(readWholeFile(filePath).value_or(std::string()));
    for (const Key& key : Keys) {
        if (const auto it = fileValues.find(key.fileKey); it != fileValues.end())
            config.*key.field = it->second;
        if (auto value = environment(key.environmentName))
            config.*key.field = std::move(*value);
    }
    config.backend = lowerCase(config.backend);
    config.simFile = besideConfig(configDir, config.simFile.empty() ? DefaultSimFileName : config.simFile);
    const auto password = fileValues.find("nut_password");
    config.passwordExposed =
        password != fileValues.end() && !password->second.empty() && readableByOthers(filePath);
    config.passwordFile = filePath;
    return config;
}

} // namespace halvic
