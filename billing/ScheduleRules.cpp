#include "billing/ScheduleRules.h"

#include "core/Failure.h"
#include "core/FixedForms.h"
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

// The anniversary text of a monthly row: a date in M/D/YYYY form, or whatever else the field
// holds as its own text.
QString monthlyAnniversaryText(const QVariant& anniversary) {
    if (anniversary.isNull())
        return QString();
    if (const auto date = FixedForms::dateOf(anniversary))
        return FixedForms::dateText(*date);
    return anniversary.toString();
}

// The parts and texts of the window's month, the same for every record of a fill: worked out
// once for it rather than from the start's day number for every record.
struct WindowMonth {
    QDate start, firstOfMonth;
    int year = 0, month = 0, startDay = 0, days = 0;
    QString invoiceDate, monthlyDueDate;
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
                  FixedForms::dateText(first),
                  FixedForms::dateText(QDate(first.year(), first.month(), 15))};
    }
    return window;
}
} // namespace

ScheduleRules::Frequency ScheduleRules::frequencyOf(const QVariant& frequencyField) {
    if (frequencyField.isNull())
        return Frequency::None;
    const QString text = frequencyField.toString();
    if (text == u"Monthly Invoice")
        return Frequency::Monthly;
    if (text == u"Quarterly")
        return Frequency::Quarterly;
    if (text == u"Semi-Annual")
        return Frequency::SemiAnnual;
    if (text == u"Annual")
        return Frequency::Annual;
    return Frequency::None;
}

int ScheduleRules::monthsOf(Frequency frequency) {
    switch (frequency) {
    case Frequency::Monthly:
        return 1;
    case Frequency::Quarterly:
        return 3;
    case Frequency::SemiAnnual:
        return 6;
    case Frequency::Annual:
        return 12;
    default:
        return 0;
    }
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

ScheduleRules::BillingLine ScheduleRules::lineFor(Frequency frequency, const QVariant& yearlyAmount,
                                                  const QVariant& anniversary, const QDate& start) {
    // The statement admits only amounts above 0; anything else that comes back is a value the
    // database could not compare as a number (text in a number column reads as 0 through some
    // drivers), and billing it would bill nothing or a wrong sum.
    const auto amount = FixedForms::numberOf(yearlyAmount);
    if (!amount || !(*amount > 0))
        throw Failure::typeMismatch();
    const auto hundredths = Money::toHundredths(*amount / termsOf(frequency).divisor);
    if (!hundredths)
        throw Failure::overflow();

    BillingLine line;
    line.amountToBill = Money::hundredthsText(*hundredths);
    line.yearlyAmount = FixedForms::numberText(*amount);
    // The invoice date and a monthly row's due date are the window's, written once a fill.
    const WindowMonth& window = windowMonthOf(start);
    line.invoiceDate = window.invoiceDate;
    if (frequency == Frequency::Monthly) {
        line.anniversary = monthlyAnniversaryText(anniversary);
        line.dueDate = window.monthlyDueDate;
    } else {
        const QDate date = FixedForms::dateOf(anniversary).value_or(window.firstOfMonth);
        line.anniversary = FixedForms::paddedDateText(date);
        // A due date never names a day its month lacks (29 February in a common year).
        const int day = qMin(date.day(), window.days);
        line.dueDate = FixedForms::dateText(QDate(window.year, window.month, day));
    }
    return line;
}

std::optional<ScheduleRules::BillingLine>
ScheduleRules::judge(Frequency frequency, const std::function<QVariant()>& yearlyAmount,
                     const QVariant& anniversary, const QDate& start, const QDate& end) {
    if (!isDue(frequency, anniversary, start, end))
        return std::nullopt;
    return lineFor(frequency, yearlyAmount(), anniversary, start);
}
