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
    const bool negative = hundredths < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(hundredths) : quint64(hundredths);
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QChar(u'0'));
}
