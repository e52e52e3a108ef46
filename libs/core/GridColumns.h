#pragma once

#include <QString>
#include <QStringList>

// The billing grid's ten columns. Row 0 holds the header texts; data rows follow.
namespace GridColumns {

enum Column {
    Send = 0,
    Company = 1,
    Contact = 2,
    AmountToBill = 3,
    AnnualDues = 4,
    BillAnniv = 5,
    BillFrequency = 6,
    InvoiceDate = 7,
    DueDate = 8,
    Result = 9,
};

constexpr int Count = 10;

// Column types, numbered as the earlier version's grid numbered them (its variant type codes:
// 7 a date, 11 a Boolean), so that the fill's calls read as they always have. TypeBoolean
// makes a column of check boxes; TypeDate changes nothing here (a kept call): the cells are
// already dates in their text form, and the grid does not sort.
constexpr int TypeDate = 7;
constexpr int TypeBoolean = 11;

// Whom a row bills: its company, or its contact where it has none. The list's fill, the
// invoice's customer and the window's words for a row all follow this one rule.
inline QString customerOf(const QString& company, const QString& contact) {
    return company.isEmpty() ? contact : company;
}

inline const QString& moneyFormat() {
    static const QString format = QStringLiteral("$#,##0.00");
    return format;
}

inline const QStringList& headerTexts() {
    static const QStringList texts{
        QStringLiteral("Send"),           QStringLiteral("Company"),
        QStringLiteral("Contact"),        QStringLiteral("Amount to Bill"),
        QStringLiteral("Annual Dues"),    QStringLiteral("Bill Anniv."),
        QStringLiteral("Bill Frequency"), QStringLiteral("Invoice Date"),
        QStringLiteral("Due Date"),       QStringLiteral("Result"),
    };
    return texts;
}

} // namespace GridColumns
