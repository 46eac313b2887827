#pragma once

#include "Backend.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvic {

inline constexpr uint16_t DefaultNutPort = 3493;

// Which UPS of which server: "ups@host[:port]"; "@host[:port]" or "" for the server's first UPS;
// a bare "ups" lives on localhost. An IPv6 host is written in brackets: "ups@[::1]:3493".
struct NutTarget
{
    std::string ups;
    std::string host = "localhost";
    uint16_t port = DefaultNutPort;
    // False when the text named no server: localhost was taken by default.
    bool hostNamed = false;

    bool operator==(const NutTarget&) const = default;
};

std::optional<NutTarget> parseNutTarget(std::string_view text);

// A UPS or command name that can go into a request as one plain word: letters, digits, '_', '-'
// and '.', at most 64 characters, not starting with '-'.
bool isValidNutName(std::string_view name);

// Splits a line of the network protocol into words; double quotes group, backslash escapes.
std::vector<std::string> splitNutLine(std::string_view line);
// The word as the protocol expects an argument: quoted and escaped.
std::string quotedNutWord(std::string_view word);

// ups.status: OL on mains, OB on battery, LB battery low, FSD the server's forced shutdown. A
// status that says neither OL nor OB, or both, is not a reading, unless it says FSD: then it is a
// forced shutdown whose power is no news.
std::optional<UpsReading> readingFromUpsStatus(std::string_view status);

// The variables a status poll asks for besides ups.status, in the order asked.
const std::vector<std::string>& nutValueVariables();
// Requests sent at once: one text, a line each, without the last line end.
std::string joinedNutLines(const std::vector<std::string>& lines);

// The value in "VAR <ups> <name> \"<value>\"", the answer to GET VAR; empty for any other answer
// ("ERR VAR-NOT-SUPPORTED", "ERR DATA-STALE").
std::optional<std::string> varFromAnswer(std::string_view answer, std::string_view ups,
                                         std::string_view name);
// The values among the answers to nutValueVariables(), as NUT names them; the maker, model and
// serial number as device.mfr, device.model and device.serial, from ups.mfr and so on when the
// server has no device.* (NUT before 2.7).
UpsValues valuesFromAnswers(const std::vector<std::string>& answers, std::string_view ups);

// The UPS-off commands that leave the computer time to shut down, best first: off after
// ups.delay.shutdown and back on when mains returns, off after that delay for good, off after it.
// "load.off" cuts the power at once and is never chosen. Empty when the UPS offers none of them.
std::string preferredOffCommand(const std::vector<std::string>& offered);
// True for the commands above: they wait ups.delay.shutdown seconds before cutting the power.
bool isDelayedOffCommand(std::string_view command);
// The command names in the lines of LIST CMD <ups> ("CMD <ups> <command>"); empty without a list.
std::optional<std::vector<std::string>> commandsFromList(const std::optional<std::vector<std::string>>& lines,
                                                         std::string_view ups);

// The count in "NUMLOGINS <ups> <count>", the answer to GET NUMLOGINS.
std::optional<int> loginCountFromAnswer(std::string_view answer, std::string_view ups);

} // namespace halvic
