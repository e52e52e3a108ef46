#pragma once

#include <QDate>
#include <QString>

// The billing period in an invoice line's description: "(3/7/2027 - 6/7/2027)". It starts in
// the due date's month and year on the anniversary's day (the month's last day where the month
// is shorter) and runs for the frequency's number of months.
namespace PeriodText {

// Both dates valid (the run says which one a line lacks before it gets here).
QString of(const QDate& dueDate, const QDate& anniversary, int months);

} // namespace PeriodText
