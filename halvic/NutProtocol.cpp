#include "NutProtocol.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace halvic {

const std::vector<std::string>& nutValueVariables()
{
    static const std::vector<std::string> names{
        "battery.charge", "battery.runtime", "ups.load",  "input.voltage", "output.voltage", "device.mfr",
        "ups.mfr",        "device.model",    "ups.model", "device.serial", "ups.serial"};
    return names;
}

std::optional<std::string> varFromAnswer(std::string_view answer, std::string_view ups, std::string_view name)
{
    const auto words = splitNutLine(answer);
    if (words.size() != 4 || words[0] != "VAR" || words[1] != ups || words[2] != name)
        return std::nullopt;
    return words[3];
}

UpsValues valuesFromAnswers(const std::vector<std::string>& answers, std::string_view ups)
{
    const auto& names = nutValueVariables();
    UpsValues values;
    for (size_t i = 0; i < names.size() && i < answers.size(); ++i) {
        const auto value = varFromAnswer(answers[i], ups, names[i]);
        if (!value || !isValueText(*value))
            continue;
        // ups.mfr, ups.model, ups.serial: the older names of device.*, asked after them.
        const bool older = names[i].starts_with("ups.") && names[i] != "ups.load";
        const std::string name = older ? "device." + names[i].substr(4) : names[i];
        if (std::ranges::find(values, name, &UpsValues::value_type::first) == values.end())
            values.emplace_back(name, *value);
    }
    return values;
}

namespace {

std::optional<uint16_t> parsePort(std::string_view text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

std::optional<NutTarget> parseNutTarget(std::string_view text)
{
    NutTarget target;
    const auto at = text.find('@');
    target.ups = std::string(text.substr(0, at));
    if (at == std::string_view::npos)
        return target;
    std::string_view address = text.substr(at + 1);
    std::string_view portText;
    if (address.starts_with('[')) {
        const auto close = address.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        const std::string_view rest = address.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return std::nullopt;
        portText = rest.empty() ? rest : rest.substr(1);
        address = address.substr(1, close - 1);
    } else if (const auto colon = address.find(':'); colon != std::string_view::npos) {
        portText = address.substr(colon + 1);
        address = address.substr(0, colon);
    }
    if (address.empty())
        return std::nullopt;
    target.host = std::string(address);
    target.hostNamed = true;
    if (!portText.empty()) {
        const auto port = parsePort(portText);
        if (!port)
            return std::nullopt;
        target.port = *port;
    }
    return target;
}

bool isValidNutName(std::string_view name)
{
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.';
    };
    return !name.empty() && name.size() <= 64 && name.front() != '-' && std::ranges::all_of(name, allowed);
}

std::vector<std::string> splitNutLine(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t' || c == '\r' || c == '\n') && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string quotedNutWord(std::string_view word)
{
    std::string result = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + '"';
}

std::optional<UpsReading> readingFromUpsStatus(std::string_view status)
{
    bool online = false;
    bool onBattery = false;
    bool low = false;
    bool forced = false;
    // The value has been unquoted once already, with its reply line; a quote or backslash left in
    // it is part of a word.
    constexpr std::string_view Blanks = " \t\r\n";
    for (size_t start = status.find_first_not_of(Blanks); start != std::string_view::npos;) {
        const size_t end = std::min(status.find_first_of(Blanks, start), status.size());
        const std::string_view token = status.substr(start, end - start);
        start = status.find_first_not_of(Blanks, end);
        online = online || token == "OL";
        onBattery = onBattery || token == "OB";
        low = low || token == "LB";
        forced = forced || token == "FSD";
    }
    if (online == onBattery && !forced)
        return std::nullopt;
    return UpsReading{
        .onMains = online, .batteryLow = low, .forcedShutdown = forced, .powerKnown = online != onBattery};
}

namespace {

constexpr std::array<std::string_view, 3> DelayedOffCommands{"shutdown.return", "shutdown.stayoff",
                                                             "load.off.delay"};

} // namespace

bool isDelayedOffCommand(std::string_view command)
{
    return std::ranges::find(DelayedOffCommands, command) != DelayedOffCommands.end();
}

std::optional<std::vector<std::string>> commandsFromList(const std::optional<std::vector<std::string>>& lines,
                                                         std::string_view ups)
{
    if (!lines)
        return std::nullopt;
    std::vector<std::string> commands;
    for (const std::string& line : *lines) {
        const auto words = splitNutLine(line);
        if (words.size() == 3 && words[0] == "CMD" && words[1] == ups)
            commands.push_back(words[2]);
    }
    return commands;
}

std::optional<int> loginCountFromAnswer(std::string_view answer, std::string_view ups)
{
    const auto words = splitNutLine(answer);
    int count = -1;
    if (words.size() != 3 || words[0] != "NUMLOGINS" || words[1] != ups)
        return std::nullopt;
    const std::string& number = words[2];
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), count);
    if (error != std::errc() || end != number.data() + number.size() || count < 0)
        return std::nullopt;
    return count;
}

std::string preferredOffCommand(const std::vector<std::string>& offered)
{
    for (const std::string_view command : DelayedOffCommands) {
        if (std::ranges::find(offered, command) != offered.end())
            return std::string(command);
    }
    return {};
}

std::string joinedNutLines(const std::vector<std::string>& lines)
{
    std::string joined;
    for (const std::string& line : lines)
        joined += (joined.empty() ? "" : "\n") + line;
    return joined;
}

} // namespace halvic
