#include "billing/ListCounts.h"

#include "core/GridOperations.h"
#include "core/Money.h"
#include "core/MoneyFormat.h"

QString ListCounts::text() const {
    return QStringLiteral("%1 listed, %2 checked, %3")
        .arg(listed)
        .arg(checked)
        .arg(MoneyFormat::display(hundredths));
}

ListCounts ListCounts::of(const GridOperations& grid) {
    ListCounts counts;
    for (int index = 0; index < grid.lineCount(); ++index) {
        const BillingLine& line = grid.line(index);
        ++counts.listed;
        if (!line.send)
            continue;
        ++counts.checked;
        // Each amount as its invoice bills it: to the cent.
        counts.hundredths += line.amountToBill.value_or(0);
    }
    return counts;
}
