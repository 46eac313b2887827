#include "UpsValues.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <halvic/Halvic.h>

namespace halvic {

bool isValueName(std::string_view name)
{
    return !name.empty() && std::ranges::all_of(name, [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-';
    });
}

bool isValueText(std::string_view value)
{
    return !value.empty() &&
           std::ranges::none_of(value, [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

int writeValueLines(const UpsValues& values, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return 0;
    size_t written = 0;
    const auto room = static_cast<size_t>(size) - 1;
    for (const auto& [name, value] : values) {
        if (!isValueName(name) || !isValueText(value))
            continue;
        const std::string line = name + ' ' + value + '\n';
        if (line.size() > room - written)
            continue;
        std::memcpy(buffer + written, line.data(), line.size());
        written += line.size();
    }
    buffer[written] = '\0';
    return static_cast<int>(written);
}

void addUpsOff(UpsValues& values, const UpsOff& upsOff)
{
    switch (upsOff.ability) {
    case OffAbility::Yes:
        values.emplace_back(HALVIC_VALUE_UPS_OFF, HALVIC_UPS_OFF_YES);
        return;
    case OffAbility::Secondary:
        values.emplace_back(HALVIC_VALUE_UPS_OFF, HALVIC_UPS_OFF_SECONDARY);
        return;
    case OffAbility::No:
        values.emplace_back(HALVIC_VALUE_UPS_OFF, HALVIC_UPS_OFF_NO);
        if (isValueText(upsOff.reason))
            values.emplace_back(HALVIC_VALUE_UPS_OFF_REASON, upsOff.reason);
        return;
    }
}

std::optional<OffAbility> offAbilityIn(const UpsValues& values)
{
    const auto found =
        std::ranges::find(values, std::string_view(HALVIC_VALUE_UPS_OFF), &UpsValues::value_type::first);
    if (found == values.end())
        return std::nullopt;
    if (found->second == HALVIC_UPS_OFF_YES)
        return OffAbility::Yes;
    if (found->second == HALVIC_UPS_OFF_NO)
        return OffAbility::No;
    if (found->second == HALVIC_UPS_OFF_SECONDARY)
        return OffAbility::Secondary;
    return std::nullopt;
}

std::optional<double> valueNumberFromText(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string valueNumber(double number, int decimals)
{
    if (!std::isfinite(number))
        return {};
    std::array<char, 64> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), number,
                                            std::chars_format::fixed, decimals);
    std::string text(digits.data(), error == std::errc() ? end : digits.data());
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

} // namespace halvic
