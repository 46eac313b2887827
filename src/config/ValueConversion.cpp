#include "config/ValueConversion.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace brevant::conversion {
namespace {

__extension__ typedef __int128 Wide;

qint32 roundHalfEvenClamped(double value)
{
    constexpr double lo = std::numeric_limits<qint32>::min();
    constexpr double hi = std::numeric_limits<qint32>::max();
    if (value <= lo)
        return std::numeric_limits<qint32>::min();
    if (value >= hi)
        return std::numeric_limits<qint32>::max();
    // nearbyint follows the default rounding mode, round-to-nearest-even.
    return static_cast<qint32>(std::nearbyint(value));
}

// Plain decimal text ("2", "-0.075") converted without binary rounding, so that an exact half
// second goes to the even neighbour as written. Other forms fall back to double arithmetic.
std::optional<qint32> exactMinutesToSeconds(const QString& t)
{
    static const QRegularExpression plain(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
    const auto m = plain.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const QString digits = m.captured(2) + m.captured(3);
    const qsizetype scale = m.captured(3).size();
    if (digits.size() > 30 || scale > 30)
        return std::nullopt;
    Wide mantissa = 0;
    for (const QChar c : digits)
        mantissa = mantissa * 10 + (c.unicode() - u'0');
    Wide divisor = 1;
    for (qsizetype i = 0; i < scale; ++i)
        divisor *= 10;
    const Wide scaled = mantissa * 60;
    Wide whole = scaled / divisor;
    const Wide twiceRest = (scaled % divisor) * 2;
    if (twiceRest > divisor || (twiceRest == divisor && whole % 2 != 0))
        ++whole;
    if (m.captured(1) == u"-")
        whole = -whole;
    if (whole > std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    if (whole < std::numeric_limits<qint32>::min())
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(whole);
}

} // namespace

std::optional<double> number(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    for (const QChar c : t) {
        if (!(c.isDigit() || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E'))
            return std::nullopt; // rules out "inf", "nan", hex and locale separators
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool numberEquals(const QString& text, int value)
{
    const auto n = number(text);
    return n && *n == value;
}

std::optional<bool> boolean(const QString& text)
{
    if (const auto n = number(text))
        return *n != 0.0;
    const QString t = text.trimmed();
    if (t.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

std::optional<qint32> wholeNumber(const QString& text)
{
    const auto n = number(text);
    if (!n)
        return std::nullopt;
    return roundHalfEvenClamped(*n);
}

std::optional<qint32> minutesToSeconds(const QString& text)
{
    const auto n = number(text);
    if (!n)
        return std::nullopt;
    if (const auto exact = exactMinutesToSeconds(text.trimmed()))
        return exact;
    return roundHalfEvenClamped(*n * 60.0);
}

} // namespace brevant::conversion
