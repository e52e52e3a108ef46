#pragma once

#include <QDate>
#include <QString>
#include <QVariant>
#include <optional>
#include <string_view>

// The fixed text forms of dates and numbers that the program writes and later reads back:
// month/day/year and a decimal point, whatever the user's locale.
namespace FixedForms {

// "M/D/YYYY": no leading zeros, four-digit year.
QString dateText(const QDate& date);
// "MM/DD/YYYY".
QString paddedDateText(const QDate& date);
// Accepts "M/D/YYYY" (with or without leading zeros), "YYYY-MM-DD" and an ISO date-time.
std::optional<QDate> readDate(const QString& text);
// A date or date-time value, or a text that readDate accepts.
std::optional<QDate> dateOf(const QVariant& value);

// The shortest plain decimal text: "83.33", "100", "1234.5"; no exponent, no separators.
QString numberText(double value);
// A plain decimal text with a point (blanks around it allowed).
std::optional<double> readNumber(const QString& text);
// A numeric value, or a text that readNumber accepts.
std::optional<double> numberOf(const QVariant& value);

// The plain forms database drivers write, read straight from their bytes: "-1234.5" (digits,
// at most one point with digits on both sides, an optional leading minus) and "2027-03-01".
// Anything else is nullopt, for the general readers to judge.
std::optional<double> plainNumber(std::string_view bytes);
std::optional<QDate> plainIsoDate(std::string_view bytes);

} // namespace FixedForms
