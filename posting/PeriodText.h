#pragma once

#include <QString>

// The billing period in an invoice line's description: "(3/7/2027 - 6/7/2027)". It starts in
// the due date's month and year on the anniversary's day (the month's last day where the month
// is shorter) and runs for the frequency's number of months.
namespace PeriodText {

// Throws Failure (Type mismatch) when the due date or the anniversary is no date.
QString of(const QString& dueDate, const QString& anniversary, const QString& frequency);

} // namespace PeriodText
