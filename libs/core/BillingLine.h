#pragma once

#include <QDate>
#include <QMap>
#include <QString>
#include <optional>

// How often a member is billed. The texts are compared exactly (letter case and blanks count).
enum class BillingFrequency : quint8 { None, Monthly, Quarterly, SemiAnnual, Annual };

namespace BillingFrequencies {
// "Monthly Invoice", "Quarterly", "Semi-Annual", "Annual"; None for any other text.
BillingFrequency of(QStringView text);
QString text(BillingFrequency frequency);
// The length of a billing period: 1, 3, 6 or 12 months, 0 for None.
int months(BillingFrequency frequency);
} // namespace BillingFrequencies

// One member of the billing list as the list keeps it: values, not texts. The texts the clerk
// sees are made from them (BillingCells). A text that comes from outside (a row given as
// text, a cell written as text) is read once where it comes in; where it holds no value of its
// column it is kept as written, so that what is shown is what was given and the run can say
// which value it could not use.
struct BillingLine {
    bool send = false;
    BillingFrequency frequency = BillingFrequency::None;
    QString company;
    QString contact;
    // In hundredths: exactly as the invoice bills them.
    std::optional<qint64> amountToBill;
    std::optional<qint64> yearlyAmount;
    QDate anniversary;
    QDate invoiceDate;
    QDate dueDate;
    QString result;
    // Cells, by column, whose texts hold no value of their column (a monthly member's
    // anniversary that is no date, a "Send" text that is no Boolean); rare, so kept apart.
    QMap<int, QString> asWritten;

    // Whom the line bills: its company, or its contact where it has none.
    QString customer() const;
};

// The texts of a line's cells, and a cell's text read back into the line: the one place the
// list's values and texts meet.
namespace BillingCells {

// A cell's text as the list writes it: "True", "83.33", "06/15/2005", "3/1/2027"...
QString text(const BillingLine& line, int column);
// The cell's text read into its value; a text that holds none is kept as written.
void setText(BillingLine& line, int column, const QString& text);
// The amount a money cell holds, in hundredths; nullopt for an empty cell, one whose text is
// no amount, and every other column.
std::optional<qint64> money(const BillingLine& line, int column);
// A line from its cells' texts, separated by tabs (the earlier grid's row text).
BillingLine fromRowText(const QString& tabSeparatedCells);
// The length of text(line, column), worked out without writing the text: the list's widths
// are measured on its longest cells.
qsizetype textLength(const BillingLine& line, int column);

} // namespace BillingCells
