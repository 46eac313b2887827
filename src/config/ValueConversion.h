#pragma once

#include <QString>
#include <optional>

namespace brevant::conversion {

// The settings file holds decimal text. These are the only conversions the program applies to it.

// The text as a number: surrounding blanks ignored, optional sign, decimal digits with an
// optional fraction and exponent ("01" is 1, "0.5", "-2", "1e2"), independent of the locale.
// Empty and non-numeric text ("abc", "0x1", "inf", "1,5") has no number; a number too large for
// a double is ±infinity.
std::optional<double> number(const QString& text);

// Numeric comparison with a whole number; text without a number equals nothing.
bool numberEquals(const QString& text, int value);

// Boolean: any non-zero number is true; "True"/"False" in any case are accepted too.
std::optional<bool> boolean(const QString& text);

// Whole number, rounded to the nearest integer with an exact half to the even neighbour, clamped
// to the 32-bit signed range.
std::optional<qint32> wholeNumber(const QString& text);

// Minutes to whole seconds: minutes × 60 rounded half to even, clamped to the 32-bit signed range.
std::optional<qint32> minutesToSeconds(const QString& text);

} // namespace brevant::conversion
