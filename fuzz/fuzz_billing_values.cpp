// The readers of dates, amounts and check cells, the drivers' plain forms, the list's cells
// read from a row's text, and the rules that use them, on any text.
#include "billing/ScheduleRules.h"
#include "core/BillingLine.h"
#include "core/CheckCell.h"
#include "core/Failure.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/Money.h"
#include "core/MoneyFormat.h"
#include "posting/PeriodText.h"

#include <QLocale>
#include <QStringList>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QStringList parts = text.split(u'|');
    const QString a = parts.value(0), b = parts.value(1), c = parts.value(2);

    if (const auto date = FixedForms::readDate(a)) {
        // A date read back from its own text is the same date.
        if (FixedForms::readDate(FixedForms::dateText(*date)) != date)
            __builtin_trap();
    }
    if (const auto number = FixedForms::readNumber(a)) {
        if (const auto hundredths = Money::toHundredths(*number))
            Money::hundredthsText(*hundredths);
    }
    // The drivers' plain forms, read from bytes, agree with the general readers.
    const QByteArray bytes = a.toUtf8();
    const std::string_view view(bytes.constData(), size_t(bytes.size()));
    if (const auto plain = FixedForms::plainNumber(view)) {
        bool ok = false;
        if (QLocale::c().toDouble(a, &ok) != *plain || !ok)
            __builtin_trap();
    }
    if (const auto plain = FixedForms::plainIsoDate(view)) {
        if (QDate::fromString(a, Qt::ISODate) != *plain)
            __builtin_trap();
    }
    CheckCell::read(a);
    MoneyFormat::display(a);
    try {
        ScheduleRules::judge(a, b, c, QDate(2027, 3, 1), QDate(2027, 3, 31));
    } catch (const Failure&) {
    }
    // A row given as text: every cell read once into its value, and each value written back
    // reads as the same value.
    const BillingLine line = BillingCells::fromRowText(text);
    for (int column = 0; column < GridColumns::Count; ++column) {
        BillingLine again;
        again.frequency = line.frequency; // the anniversary's form follows it
        BillingCells::setText(again, column, BillingCells::text(line, column));
        if (BillingCells::text(again, column) != BillingCells::text(line, column) ||
            BillingCells::textLength(line, column) != BillingCells::text(line, column).size())
            __builtin_trap();
    }
    if (line.dueDate.isValid() && line.anniversary.isValid())
        PeriodText::of(line.dueDate, line.anniversary, BillingFrequencies::months(line.frequency));
    return 0;
}
