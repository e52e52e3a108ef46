#include "core/Money.h"

#include <cmath>
#include <limits>

// A double's 53-bit significand times 100 (7 bits) fits a 64-bit significand exactly.
static_assert(std::numeric_limits<long double>::digits >= 60,
              "exact money rounding needs an extended long double");

std::optional<qint64> Money::toHundredths(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9.0e16)
        return std::nullopt;
    const long double scaled = static_cast<long double>(value) * 100.0L;
    const long double below = std::floor(scaled);
    const long double fraction = scaled - below;
    // Below 9.0e18 in size, below is a whole number a qint64 holds: its parity is read there
    // rather than by the floating-point remainder, which is slow.
    const qint64 whole = static_cast<qint64>(below);
    return fraction > 0.5L || (fraction == 0.5L && whole % 2 != 0) ? whole + 1 : whole;
}

namespace {
// Writes hundredths as "-1234.56" backwards, ending at end; returns where the text starts.
// Written by hand: every listed row and every invoice line writes amounts.
char16_t* writeHundredths(qint64 hundredths, char16_t* end) {
    const bool negative = hundredths < 0;
    quint64 magnitude = negative ? quint64(0) - quint64(hundredths) : quint64(hundredths);
    char16_t* at = end;
    *--at = char16_t(u'0' + magnitude % 10);
    *--at = char16_t(u'0' + magnitude / 10 % 10);
    *--at = u'.';
    magnitude /= 100;
    do {
        *--at = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        *--at = u'-';
    return at;
}

QString textOf(const char16_t* begin, const char16_t* end) {
    return QString(reinterpret_cast<const QChar*>(begin), end - begin);
}
} // namespace

QString Money::hundredthsText(qint64 hundredths) {
    char16_t buffer[32];
    char16_t* end = buffer + 32;
    char16_t* const at = writeHundredths(hundredths, end);
    if (end[-1] == u'0')
        end -= end[-2] == u'0' ? 3 : 1; // "100.00" -> "100", "83.30" -> "83.3"
    return textOf(at, end);
}

QString Money::hundredthsFixedText(qint64 hundredths) {
    char16_t buffer[32];
    return textOf(writeHundredths(hundredths, buffer + 32), buffer + 32);
}
