#include "posting/PeriodText.h"

#include "core/FixedForms.h"

QString PeriodText::of(const QDate& dueDate, const QDate& anniversary, int months) {
    const QDate firstOfMonth(dueDate.year(), dueDate.month(), 1);
    const QDate start(dueDate.year(), dueDate.month(),
                      qMin(anniversary.day(), firstOfMonth.daysInMonth()));
    // QDate::addMonths keeps the day, or takes the target month's last day where it is shorter.
    const QDate end = start.addMonths(months);
    return QStringLiteral("(%1 - %2)").arg(FixedForms::dateText(start), FixedForms::dateText(end));
}
