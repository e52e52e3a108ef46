#pragma once

#include "core/BillingLine.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

// Whether a member is due to be billed in the chosen window, and what the row shows.
// The window runs from start to end within one month: its month and year are the start's,
// and only the day numbers of start and end bound it.
namespace ScheduleRules {

using Frequency = BillingFrequency;

// Exact comparison: letter case and blanks count; null matches nothing.
Frequency frequencyOf(const QVariant& frequencyField);

// The length of a billing period: 1, 3, 6 or 12 months, 0 for no frequency.
int monthsOf(Frequency frequency);

// Monthly records are always due; the others when the anniversary's month recurs in the
// window's month and its day lies between the start and end days.
bool isDue(Frequency frequency, const QVariant& anniversary, const QDate& start, const QDate& end);

// Whether a record can be due in no month at all, whatever the window: its frequency is none
// of the four, or it is billed by anniversary and has no anniversary date.
enum class NeverDue { No, UnknownFrequency, NoAnniversary };
NeverDue neverDue(Frequency frequency, const QVariant& anniversary);

// The values of a due record's line: its frequency, amounts, anniversary and dates (the
// company and contact are the fill's). Throws Failure (Type mismatch) when the yearly amount
// is no number above 0, and (Overflow) when it is too large to bill.
BillingLine lineFor(Frequency frequency, const QVariant& yearlyAmount, const QVariant& anniversary,
                    const QDate& start);

// The whole decision for one record, as the fill makes it: nullopt when it is not due. The
// yearly amount is asked for only when the record is due.
std::optional<BillingLine> judge(Frequency frequency, const std::function<QVariant()>& yearlyAmount,
                                 const QVariant& anniversary, const QDate& start, const QDate& end);
inline std::optional<BillingLine> judge(const QVariant& frequencyField,
                                        const QVariant& yearlyAmount, const QVariant& anniversary,
                                        const QDate& start, const QDate& end) {
    return judge(
        frequencyOf(frequencyField), [&] { return yearlyAmount; }, anniversary, start, end);
}

} // namespace ScheduleRules
