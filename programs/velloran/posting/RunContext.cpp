#include "posting/RunContext.h"

#include "billing/Organisation.h"
#include "core/GridColumns.h"
#include "core/GridOperations.h"
#include "core/Money.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PeriodText.h"
#include "qbxml/QbxmlAnswer.h"

#include <limits>

const QString RunResults::Successful = QStringLiteral("Successful");
const QString RunResults::AlreadyInQuickBooks = QStringLiteral("Successful, already in QuickBooks");
const QString RunResults::AlreadyThere = AlreadyInQuickBooks + QStringLiteral(": not added again");
const QString RunResults::NowMarked =
    AlreadyInQuickBooks + QStringLiteral(": now marked to e-mail");
const QString RunResults::NotMarked = QStringLiteral("Successful, not marked to e-mail: ");

QString RunResults::errorText(const Failure& failure) {
    // Said of a write whose answer was lost.
    static const QString askedNextRun =
        QStringLiteral(" Create Invoices again to finish this row: QuickBooks is asked first "
                       "whether the invoice was made, and it is never made twice.");
    return QStringLiteral("Error %1: %2").arg(failure.number()).arg(failure.description()) +
           (QbError::answerLost(failure.number()) ? askedNextRun : QString());
}

QString RunResults::sentence(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() || trimmed.endsWith(u'.') || trimmed.endsWith(u'!') ||
                   trimmed.endsWith(u'?')
               ? trimmed
               : trimmed + u'.';
}

QString RunResults::unasked(const Failure& failure, const QString& what) {
    return sentence(
               QStringLiteral("Error %1: %2").arg(failure.number()).arg(failure.description())) +
           u' ' + what.left(1).toUpper() + what.mid(1) + QStringLiteral("; nothing was added.");
}

bool RunResults::neverAnswered(const Failure& failure) {
    return QbError::answerLost(failure.number()) || failure.number() == QbError::CouldNotStart;
}

int Batch::firstAdd() const {
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].kind == BatchEntry::Add)
            return i;
    return -1;
}

QStringList Batch::customers(BatchEntry::Kind kind) const {
    QStringList names;
    for (const BatchEntry& entry : entries)
        if (entry.kind == kind)
            names << entry.wanted.customer;
    return names;
}

// The organisation of the list: the one it was filled for (the window's choice before the
// first fill, when the list has no row to bill).
QString RunContext::organisation() const {
    const QString filled = grid.facts().organisation;
    return filled.isEmpty() ? host.listOrganisation() : filled;
}

void RunContext::write(int line, const QString& result) {
    if (line < 0 || line >= grid.lineCount())
        return;
    grid.setResult(line, result);
    written(line);
}

void RunContext::owns(int line, const QString& txnId) {
    owned.insert(txnId);
    journal.setInvoice(line, txnId);
}

bool RunContext::walks(int line) const {
    const BillingLine& row = grid.line(line);
    const bool noCheckMark = row.asWritten.contains(GridColumns::Send);
    return ((row.send || noCheckMark) && !InvoicePosting::isPosted(row.result)) ||
           journal.unanswered(line);
}

bool RunContext::emailed(const QString& name) const {
    if (!email || lookUpRefused)
        return false;
    try {
        return InvoicePosting::CustomerQualifiesForEmail(customer, name);
    } catch (const Failure&) {
        return false; // every customer was looked up before: only an unknown one is left
    }
}

QString RunContext::made(const RowInvoice& wanted) const {
    if (!email || !lookUpRefused)
        return RunResults::Successful;
    return RunResults::NotMarked +
           QStringLiteral("whether %1 is e-mailed could not be looked up. Error %2: %3")
               .arg(wanted.customer)
               .arg(lookUpRefused->number())
               .arg(lookUpRefused->description());
}

namespace {
// A value the line lacks: its cell is empty, or holds a text that is no value of its kind.
QString missing(const BillingLine& line, int column, const QString& what, const QString& kind) {
    const QString text = BillingCells::text(line, column);
    return RunResults::errorText(Failure::typeMismatch(
        text.trimmed().isEmpty() ? QStringLiteral("the %1 is empty").arg(what)
                                 : QStringLiteral("the %1 \"%2\" is no %3").arg(what, text, kind)));
}
} // namespace

std::optional<RowInvoice> RunContext::describe(int index, QString* failure) const {
    using namespace GridColumns;
    const BillingLine& line = grid.line(index);
    const QString date = QStringLiteral("date");
    if (line.asWritten.contains(Send)) {
        *failure = RunResults::errorText(Failure::typeMismatch(
            QStringLiteral("the Send cell \"%1\" is neither checked nor unchecked")
                .arg(line.asWritten.value(Send))));
        return std::nullopt;
    }
    if (!line.invoiceDate.isValid())
        *failure = missing(line, InvoiceDate, QStringLiteral("invoice date"), date);
    else if (!line.dueDate.isValid())
        *failure = missing(line, DueDate, QStringLiteral("due date"), date);
    else if (!line.anniversary.isValid())
        *failure = missing(line, BillAnniv, QStringLiteral("billing anniversary"), date);
    else if (line.frequency == BillingFrequency::None)
        *failure = missing(line, BillFrequency, QStringLiteral("billing frequency"),
                           QStringLiteral("frequency"));
    else if (!line.amountToBill)
        *failure =
            missing(line, AmountToBill, QStringLiteral("amount to bill"), QStringLiteral("number"));
    else if (*line.amountToBill > std::numeric_limits<qint32>::max() ||
             *line.amountToBill < std::numeric_limits<qint32>::min())
        // An invoice line carries 32 bits of hundredths.
        *failure = RunResults::errorText(
            Failure::overflow(QStringLiteral("the amount %1 is larger than an invoice line can "
                                             "carry (21,474,836.47 at most)")
                                  .arg(Money::hundredthsText(*line.amountToBill))));
    else {
        RowInvoice wanted;
        wanted.customer = line.customer();
        wanted.txnDate = line.invoiceDate;
        wanted.dueDate = line.dueDate;
        const QString billed = organisation();
        wanted.item = Organisations::of(billed) == Organisation::Chamber ? items.chamberItem
                                                                         : items.foundationItem;
        wanted.period = PeriodText::of(line.dueDate, line.anniversary,
                                       BillingFrequencies::months(line.frequency));
        wanted.description = billed + QStringLiteral(" Membership Dues ") + wanted.period;
        wanted.hundredths = qint32(*line.amountToBill);
        wanted.email = emailed(wanted.customer);
        return wanted;
    }
    return std::nullopt;
}
