#include "core/BillingLine.h"

#include "core/CheckCell.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/Money.h"

namespace {
std::optional<qint64> hundredthsOf(const QString& text) {
    const auto number = FixedForms::readNumber(text);
    return number ? Money::toHundredths(*number) : std::nullopt;
}

qsizetype digits(qint64 value) {
    qsizetype count = 1;
    for (quint64 rest = quint64(value < 0 ? -value : value); rest >= 10; rest /= 10)
        ++count;
    return count;
}

qsizetype dateLength(const QDate& date, bool padded) {
    if (!date.isValid())
        return 0;
    if (padded || date.year() < 0)
        return FixedForms::paddedDateText(date).size();
    return digits(date.month()) + digits(date.day()) + qMax<qsizetype>(4, digits(date.year())) + 2;
}

qsizetype moneyLength(qint64 hundredths) {
    // "83.33", "100", "83.3": the whole part, and the cents without trailing zeros.
    const qint64 cents = (hundredths < 0 ? -hundredths : hundredths) % 100;
    return (hundredths < 0 ? 1 : 0) + digits(hundredths / 100) +
           (cents == 0        ? 0
            : cents % 10 == 0 ? 2
                              : 3);
}

// The anniversary of a member billed monthly is shown as a date is written; of the others
// with leading zeros, as the schedule's texts have always had it.
bool paddedAnniversary(const BillingLine& line) {
    return line.frequency != BillingFrequency::Monthly && line.frequency != BillingFrequency::None;
}
} // namespace

BillingFrequency BillingFrequencies::of(QStringView text) {
    if (text == u"Monthly Invoice")
        return BillingFrequency::Monthly;
    if (text == u"Quarterly")
        return BillingFrequency::Quarterly;
    if (text == u"Semi-Annual")
        return BillingFrequency::SemiAnnual;
    if (text == u"Annual")
        return BillingFrequency::Annual;
    return BillingFrequency::None;
}

QString BillingFrequencies::text(BillingFrequency frequency) {
    switch (frequency) {
    case BillingFrequency::Monthly:
        return QStringLiteral("Monthly Invoice");
    case BillingFrequency::Quarterly:
        return QStringLiteral("Quarterly");
    case BillingFrequency::SemiAnnual:
        return QStringLiteral("Semi-Annual");
    case BillingFrequency::Annual:
        return QStringLiteral("Annual");
    case BillingFrequency::None:
        break;
    }
    return QString();
}

int BillingFrequencies::months(BillingFrequency frequency) {
    switch (frequency) {
    case BillingFrequency::Monthly:
        return 1;
    case BillingFrequency::Quarterly:
        return 3;
    case BillingFrequency::SemiAnnual:
        return 6;
    case BillingFrequency::Annual:
        return 12;
    case BillingFrequency::None:
        break;
    }
    return 0;
}

QString BillingLine::customer() const {
    return GridColumns::customerOf(company, contact);
}

QString BillingCells::text(const BillingLine& line, int column) {
    using namespace GridColumns;
    if (const auto written = line.asWritten.constFind(column); written != line.asWritten.cend())
        return *written;
    switch (column) {
    case Send:
        return CheckCell::text(line.send);
    case Company:
        return line.company;
    case Contact:
        return line.contact;
    case AmountToBill:
        return line.amountToBill ? Money::hundredthsText(*line.amountToBill) : QString();
    case AnnualDues:
        return line.yearlyAmount ? Money::hundredthsText(*line.yearlyAmount) : QString();
    case BillAnniv:
        if (!line.anniversary.isValid())
            return QString();
        return paddedAnniversary(line) ? FixedForms::paddedDateText(line.anniversary)
                                       : FixedForms::dateText(line.anniversary);
    case BillFrequency:
        return BillingFrequencies::text(line.frequency);
    case InvoiceDate:
        return line.invoiceDate.isValid() ? FixedForms::dateText(line.invoiceDate) : QString();
    case DueDate:
        return line.dueDate.isValid() ? FixedForms::dateText(line.dueDate) : QString();
    case Result:
        return line.result;
    default:
        return QString();
    }
}

std::optional<qint64> BillingCells::money(const BillingLine& line, int column) {
    if (line.asWritten.contains(column))
        return std::nullopt;
    if (column == GridColumns::AmountToBill)
        return line.amountToBill;
    if (column == GridColumns::AnnualDues)
        return line.yearlyAmount;
    return std::nullopt;
}

qsizetype BillingCells::textLength(const BillingLine& line, int column) {
    using namespace GridColumns;
    if (const auto written = line.asWritten.constFind(column); written != line.asWritten.cend())
        return written->size();
    switch (column) {
    case Company:
        return line.company.size();
    case Contact:
        return line.contact.size();
    case AmountToBill:
        return line.amountToBill ? moneyLength(*line.amountToBill) : 0;
    case AnnualDues:
        return line.yearlyAmount ? moneyLength(*line.yearlyAmount) : 0;
    case BillAnniv:
        return dateLength(line.anniversary, paddedAnniversary(line));
    case InvoiceDate:
        return dateLength(line.invoiceDate, false);
    case DueDate:
        return dateLength(line.dueDate, false);
    case Result:
        return line.result.size();
    default:
        return text(line, column).size();
    }
}

void BillingCells::setText(BillingLine& line, int column, const QString& text) {
    using namespace GridColumns;
    line.asWritten.remove(column);
    // Where the text holds a value of the column the value is kept; an empty text is an empty
    // cell; any other text stays as written.
    const auto keep = [&](bool read) {
        if (!read && !text.isEmpty())
            line.asWritten.insert(column, text);
    };
    switch (column) {
    case Send: {
        const auto checked = CheckCell::read(text);
        line.send = checked.value_or(false);
        // An empty "Send" is no Boolean either: a run must not take it for unchecked.
        if (!checked)
            line.asWritten.insert(column, text);
        break;
    }
    case Company:
        line.company = text;
        break;
    case Contact:
        line.contact = text;
        break;
    case AmountToBill:
    case AnnualDues: {
        auto& amount = column == AmountToBill ? line.amountToBill : line.yearlyAmount;
        amount = hundredthsOf(text);
        keep(amount.has_value());
        break;
    }
    case BillFrequency:
        line.frequency = BillingFrequencies::of(text);
        keep(line.frequency != BillingFrequency::None);
        break;
    case BillAnniv:
    case InvoiceDate:
    case DueDate: {
        QDate& date = column == BillAnniv     ? line.anniversary
                      : column == InvoiceDate ? line.invoiceDate
                                              : line.dueDate;
        date = FixedForms::readDate(text).value_or(QDate());
        keep(date.isValid());
        break;
    }
    case Result:
        line.result = text;
        break;
    default:
        break;
    }
}

BillingLine BillingCells::fromRowText(const QString& tabSeparatedCells) {
    BillingLine line;
    const QStringList cells = tabSeparatedCells.split(u'\t');
    for (int column = 0; column < cells.size() && column < GridColumns::Count; ++column)
        setText(line, column, cells[column]);
    // A row that ends before its "Send" cell leaves it unchecked, as the earlier grid did.
    return line;
}
