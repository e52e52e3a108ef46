#include "posting/PeriodText.h"

#include "billing/ScheduleRules.h"
#include "core/Failure.h"
#include "core/FixedForms.h"

QString PeriodText::of(const QString& dueDate, const QString& anniversary,
                       const QString& frequency) {
    const auto due = FixedForms::readDate(dueDate);
    if (!due)
        throw Failure::typeMismatch(QStringLiteral("the due date \"%1\" is no date").arg(dueDate));
    const auto anniv = FixedForms::readDate(anniversary);
    if (anniversary.trimmed().isEmpty())
        throw Failure::typeMismatch(QStringLiteral("the billing anniversary is empty"));
    if (!anniv)
        throw Failure::typeMismatch(
            QStringLiteral("the billing anniversary \"%1\" is no date").arg(anniversary));
    const QDate firstOfMonth(due->year(), due->month(), 1);
    const QDate start(due->year(), due->month(), qMin(anniv->day(), firstOfMonth.daysInMonth()));
    // QDate::addMonths keeps the day, or takes the target month's last day where it is shorter.
    const QDate end =
        start.addMonths(ScheduleRules::monthsOf(ScheduleRules::frequencyOf(frequency)));
    return QStringLiteral("(%1 - %2)").arg(FixedForms::dateText(start), FixedForms::dateText(end));
}
