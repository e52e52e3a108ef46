#include "billing/ScheduleRules.h"

#include "core/Failure.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/Money.h"

namespace {
struct Terms {
    int periodMonths; // 0: no anniversary test
    int divisor;
};

Terms termsOf(ScheduleRules::Frequency frequency) {
    switch (frequency) {
    case ScheduleRules::Frequency::Monthly:
        return {0, 12};
    case ScheduleRules::Frequency::Quarterly:
        return {3, 4};
    case ScheduleRules::Frequency::SemiAnnual:
        return {6, 2};
    case ScheduleRules::Frequency::Annual:
        return {12, 1};
    case ScheduleRules::Frequency::None:
        break;
    }
    return {0, 0};
}

// The parts and texts of the window's month, the same for every record of a fill: worked out
// once for it rather than from the start's day number for every record.
struct WindowMonth {
    QDate start, firstOfMonth;
    int year = 0, month = 0, startDay = 0, days = 0;
    QDate monthlyDueDate;
};

const WindowMonth& windowMonthOf(const QDate& start) {
    thread_local WindowMonth window;
    if (window.start != start) {
        const QDate first(start.year(), start.month(), 1);
        window = {start,
                  first,
                  first.year(),
                  first.month(),
                  start.day(),
                  first.daysInMonth(),
                  QDate(first.year(), first.month(), 15)};
    }
    return window;
}
} // namespace

ScheduleRules::Frequency ScheduleRules::frequencyOf(const QVariant& frequencyField) {
    if (frequencyField.isNull())
        return Frequency::None;
    return BillingFrequencies::of(frequencyField.toString());
}

int ScheduleRules::monthsOf(Frequency frequency) {
    return BillingFrequencies::months(frequency);
}

bool ScheduleRules::isDue(Frequency frequency, const QVariant& anniversary, const QDate& start,
                          const QDate& end) {
    if (frequency == Frequency::None)
        return false;
    if (frequency == Frequency::Monthly)
        return true;
    const auto date = FixedForms::dateOf(anniversary);
    if (!date)
        return false;
    const WindowMonth& window = windowMonthOf(start);
    int month = 0, day = 0;
    date->getDate(nullptr, &month, &day);
    const int k = termsOf(frequency).periodMonths;
    return month % k == window.month % k && day >= window.startDay && day <= end.day();
}

ScheduleRules::NeverDue ScheduleRules::neverDue(Frequency frequency, const QVariant& anniversary) {
    if (frequency == Frequency::None)
        return NeverDue::UnknownFrequency;
    if (frequency != Frequency::Monthly && !FixedForms::dateOf(anniversary))
        return NeverDue::NoAnniversary;
    return NeverDue::No;
}

BillingLine ScheduleRules::lineFor(Frequency frequency, const QVariant& yearlyAmount,
                                   const QVariant& anniversary, const QDate& start) {
    // The statement admits only amounts above 0; anything else that comes back is a value the
    // database could not compare as a number (text in a number column reads as 0 through some
    // drivers), and billing it would bill nothing or a wrong sum.
    const auto amount = FixedForms::numberOf(yearlyAmount);
    if (!amount || !(*amount > 0))
        throw Failure::typeMismatch();
    const auto hundredths = Money::toHundredths(*amount / termsOf(frequency).divisor);
    const auto yearly = Money::toHundredths(*amount);
    if (!hundredths || !yearly)
        throw Failure::overflow();

    BillingLine line;
    line.frequency = frequency;
    line.amountToBill = *hundredths;
    line.yearlyAmount = *yearly;
    // The invoice date and a monthly row's due date are the window's, worked out once a fill.
    const WindowMonth& window = windowMonthOf(start);
    line.invoiceDate = window.firstOfMonth;
    const auto date = FixedForms::dateOf(anniversary);
    if (frequency == Frequency::Monthly) {
        // A monthly member's anniversary is shown whatever it holds: a date, or the field's
        // own text.
        if (date)
            line.anniversary = *date;
        else if (!anniversary.isNull() && !anniversary.toString().isEmpty())
            line.asWritten.insert(GridColumns::BillAnniv, anniversary.toString());
        line.dueDate = window.monthlyDueDate;
    } else {
        line.anniversary = date.value_or(window.firstOfMonth);
        // A due date never names a day its month lacks (29 February in a common year).
        const int day = qMin(line.anniversary.day(), window.days);
        line.dueDate = QDate(window.year, window.month, day);
    }
    return line;
}

std::optional<BillingLine> ScheduleRules::judge(Frequency frequency,
                                                const std::function<QVariant()>& yearlyAmount,
                                                const QVariant& anniversary, const QDate& start,
                                                const QDate& end) {
    if (!isDue(frequency, anniversary, start, end))
        return std::nullopt;
    return lineFor(frequency, yearlyAmount(), anniversary, start);
}
