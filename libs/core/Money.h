#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Rounding of money with an exact half going to the even neighbour, decided on the real
// value of the double (1.125 is an exact half; 2.675 is a little below one).
namespace Money {

// value × 100, rounded to a whole number of hundredths; nullopt when not finite.
std::optional<qint64> toHundredths(double value);

// "83.33", "100", "83.3": hundredths as plain decimal text without trailing zeros.
QString hundredthsText(qint64 hundredths);

// "83.33", "100.00": always two decimals, as qbXML amounts are written.
QString hundredthsFixedText(qint64 hundredths);

} // namespace Money
