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
    long double rounded = below;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(below, 2.0L) != 0.0L))
        rounded = below + 1.0L;
    return static_cast<qint64>(rounded);
}

QString Money::hundredthsText(qint64 hundredths) {
    QString text = hundredthsFixedText(hundredths);
    if (text.endsWith(QLatin1String(".00")))
        text.chop(3);
    else if (text.endsWith(u'0'))
        text.chop(1);
    return text;
}

QString Money::hundredthsFixedText(qint64 hundredths) {
    // Written by hand: every listed row and every invoice line writes amounts.
    const bool negative = hundredths < 0;
    quint64 magnitude = negative ? quint64(0) - quint64(hundredths) : quint64(hundredths);
    char16_t buffer[32];
    char16_t* const end = buffer + 32;
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
    return QString(reinterpret_cast<const QChar*>(at), end - at);
}
