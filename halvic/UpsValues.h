#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvic {

// What the UPS knows besides its state, as (name, value) in Network UPS Tools' vocabulary and
// units, in the order the backend learnt them.
using UpsValues = std::vector<std::pair<std::string, std::string>>;

// Whether the UPS-off command could switch the UPS off now, as a backend knows without sending it.
enum class OffAbility
{
    Yes,
    No,
    // This computer never switches the UPS off: another one does.
    Secondary,
};

struct UpsOff
{
    OffAbility ability = OffAbility::Yes;
    // With No: why, in words for the administrator.
    std::string reason{};
};

// Adds the lines HALVIC_VALUE_UPS_OFF and, with No, HALVIC_VALUE_UPS_OFF_REASON.
void addUpsOff(UpsValues& values, const UpsOff& upsOff);
// What the lines among the values say; empty without them.
std::optional<OffAbility> offAbilityIn(const UpsValues& values);

// A value's name is one NUT word (letters, digits, '.', '_', '-'); its text is not empty and holds
// no control character.
bool isValueName(std::string_view name);
bool isValueText(std::string_view value);

// Writes "name value\n" lines, whole lines only, and a terminating zero into size bytes; returns
// the bytes written before the zero. A name that is not one NUT word, or a value with a control
// character, is left out rather than breaking the line format.
int writeValueLines(const UpsValues& values, char* buffer, int size);

// A finite number written with '.' as the decimal point and nothing around it; empty otherwise.
std::optional<double> valueNumberFromText(std::string_view text);

// A number with '.' as the decimal point and at most the given decimals, trailing zeros dropped
// ("230.5", "87"), whatever the locale; empty (a value left out) when it is not finite or too
// large to write.
std::string valueNumber(double number, int decimals = 1);

} // namespace halvic
