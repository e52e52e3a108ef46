#include "billing/ListCounts.h"

#include "core/CheckCell.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/GridOperations.h"
#include "core/Money.h"
#include "core/MoneyFormat.h"

QString ListCounts::text() const {
    return QStringLiteral("%1 listed, %2 checked, %3")
        .arg(listed)
        .arg(checked)
        .arg(MoneyFormat::display(Money::hundredthsFixedText(hundredths)));
}

ListCounts ListCounts::of(const GridOperations& grid) {
    ListCounts counts;
    for (int row = 1; row < grid.RowCount(); ++row) {
        ++counts.listed;
        if (CheckCell::read(grid.CellText(row, GridColumns::Send)) != std::optional(true))
            continue;
        ++counts.checked;
        // Each amount as its invoice bills it: to the cent, halves to the even one.
        const auto amount = FixedForms::readNumber(grid.CellText(row, GridColumns::AmountToBill));
        if (const auto cents = amount ? Money::toHundredths(*amount) : std::nullopt)
            counts.hundredths += *cents;
    }
    return counts;
}
