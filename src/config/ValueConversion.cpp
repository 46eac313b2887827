#include "config/ValueConversion.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace brevant::conversion {
namespace {

__extension__ typedef __int128 Wide;

constexpr qint32 Int32Min = std::numeric_limits<qint32>::min();
constexpr qint32 Int32Max = std::numeric_limits<qint32>::max();

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal text split into its parts: sign, digits before and after the point, exponent text.
struct Decimal
{
    bool negative = false;
    QByteArray whole;
    QByteArray fraction;
    QByteArray exponent; // without the 'e'; empty when there is none
};

std::optional<Decimal> splitDecimal(const QString& text)
{
    const QByteArray t = text.trimmed().toLatin1();
    Decimal d;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        d.negative = t[i++] == '-';
    while (i < t.size() && isAsciiDigit(t[i]))
        d.whole += t[i++];
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isAsciiDigit(t[i]))
            d.fraction += t[i++];
    }
    if (d.whole.isEmpty() && d.fraction.isEmpty())
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        d.exponent = t.sliced(++i);
        const qsizetype signs = !d.exponent.isEmpty() && (d.exponent[0] == '+' || d.exponent[0] == '-');
        if (d.exponent.size() == signs)
            return std::nullopt;
        for (qsizetype j = signs; j < d.exponent.size(); ++j) {
            if (!isAsciiDigit(d.exponent[j]))
                return std::nullopt;
        }
        i = t.size();
    }
    if (i != t.size())
        return std::nullopt;
    return d;
}

// Power of ten of the leading significant digit, for telling an overflow from an underflow.
long long leadingPower(const Decimal& d)
{
    long long power = 0;
    qsizetype firstNonZero = 0;
    while (firstNonZero < d.whole.size() && d.whole[firstNonZero] == '0')
        ++firstNonZero;
    if (firstNonZero < d.whole.size()) {
        power = d.whole.size() - firstNonZero - 1;
    } else {
        qsizetype zeros = 0;
        while (zeros < d.fraction.size() && d.fraction[zeros] == '0')
            ++zeros;
        power = -zeros - 1;
    }
    if (!d.exponent.isEmpty()) {
        const char* begin = d.exponent.constData() + (d.exponent[0] == '+' ? 1 : 0);
        long long e = 0;
        if (std::from_chars(begin, d.exponent.constData() + d.exponent.size(), e).ec != std::errc())
            e = d.exponent[0] == '-' ? -(1LL << 40) : (1LL << 40);
        power += e;
    }
    return power;
}

qint32 roundHalfEvenClamped(double value)
{
    if (value <= Int32Min)
        return Int32Min;
    if (value >= Int32Max)
        return Int32Max;
    // nearbyint follows the default rounding mode, round-to-nearest-even.
    return static_cast<qint32>(std::nearbyint(value));
}

qint32 clampWide(Wide value)
{
    if (value > Int32Max)
        return Int32Max;
    if (value < Int32Min)
        return Int32Min;
    return static_cast<qint32>(value);
}

// minutes × 60 computed on the decimal digits themselves, so that an exact half second (0.025
// minutes is 1.5 s) goes to the even neighbour as written rather than as the nearest double.
// Only for plain decimals short enough for 128-bit arithmetic.
std::optional<qint32> exactMinutesToSeconds(const Decimal& d)
{
    if (!d.exponent.isEmpty())
        return std::nullopt;
    QByteArrayView whole = d.whole;
    while (!whole.isEmpty() && whole.front() == '0')
        whole = whole.sliced(1);
    QByteArrayView fraction = d.fraction;
    while (!fraction.isEmpty() && fraction.back() == '0')
        fraction.chop(1);
    if (whole.size() > 12) // far beyond the 32-bit range of seconds
        return d.negative ? Int32Min : Int32Max;
    if (whole.size() + fraction.size() > 30)
        return std::nullopt;
    Wide mantissa = 0;
    for (const char c : whole)
        mantissa = mantissa * 10 + (c - '0');
    Wide divisor = 1;
    for (const char c : fraction) {
        mantissa = mantissa * 10 + (c - '0');
        divisor *= 10;
    }
    const Wide scaled = mantissa * 60;
    Wide seconds = scaled / divisor;
    const Wide twiceRest = (scaled % divisor) * 2;
    if (twiceRest > divisor || (twiceRest == divisor && seconds % 2 != 0))
        ++seconds;
    return clampWide(d.negative ? -seconds : seconds);
}

} // namespace

std::optional<double> number(const QString& text)
{
    const auto d = splitDecimal(text);
    if (!d)
        return std::nullopt;
    QByteArray plain = d->whole + '.' + d->fraction;
    if (!d->exponent.isEmpty())
        plain += 'e' + d->exponent;
    double value = 0;
    const auto [end, ec] = std::from_chars(plain.constData(), plain.constData() + plain.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = leadingPower(*d) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (ec != std::errc() || end != plain.constData() + plain.size())
        return std::nullopt;
    return d->negative ? -value : value;
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
    const auto d = splitDecimal(text);
    if (!d)
        return std::nullopt;
    if (const auto exact = exactMinutesToSeconds(*d))
        return exact;
    return roundHalfEvenClamped(*number(text) * 60.0);
}

} // namespace brevant::conversion
