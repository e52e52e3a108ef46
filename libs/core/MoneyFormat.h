#pragma once

#include <QString>

// Shows a number text in the grid's money format "$#,##0.00": thousands separators, two
// decimals, a minus sign before the dollar sign for negatives. A text that is no number is
// shown as written.
namespace MoneyFormat {

QString display(const QString& text);
// The same for an amount in hundredths.
QString display(qint64 hundredths);

} // namespace MoneyFormat
