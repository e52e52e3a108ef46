#include "posting/InvoicePosting.h"

#include "billing/BillingQuery.h"
#include "core/CheckCell.h"
#include "core/Failure.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/GridOperations.h"
#include "core/Money.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/PeriodText.h"
#include "posting/PostingJournal.h"
#include "qbxml/QbxmlAnswer.h"

#include <QHash>
#include <QSet>
#include <limits>
#include <optional>

namespace {
const QString Successful = QStringLiteral("Successful");
const QString AlreadyThere = QStringLiteral("Successful, already in QuickBooks: not added again");
// Said of a write whose answer was lost.
const QString AskedNextRun =
    QStringLiteral(" Create Invoices again to finish this row: QuickBooks is asked first "
                   "whether the invoice was made, and it is never made twice.");
const QString EmailConfig =
    QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>");

QString errorText(const Failure& failure) {
    return QStringLiteral("Error %1: %2").arg(failure.number()).arg(failure.description()) +
           (QbError::answerLost(failure.number()) ? AskedNextRun : QString());
}

// The line amount: the cell's number in hundredths, an exact half going to the even one.
qint32 hundredthsOf(const QString& amountText) {
    const auto amount = FixedForms::readNumber(amountText);
    if (!amount)
        throw Failure::typeMismatch(
            QStringLiteral("the amount to bill \"%1\" is no number").arg(amountText));
    const auto hundredths = Money::toHundredths(*amount);
    if (!hundredths || *hundredths > std::numeric_limits<qint32>::max() ||
        *hundredths < std::numeric_limits<qint32>::min())
        throw Failure::overflow(QStringLiteral("the amount %1 is larger than an invoice line can "
                                               "carry (21,474,836.47 at most)")
                                    .arg(amountText));
    return qint32(*hundredths);
}

// The e-mail mark comes after the invoice exists. When it fails the invoice stays, marked to
// be printed, and the row must say both.
struct FollowUpFailed {
    Failure failure;
};

// A look-up before an add failed: nothing was added, and the row says what could not be
// looked up.
struct LookUpFailed {
    Failure failure;
    QString what;
};

// QuickBooks' answer to a look-up of a name it does not know.
constexpr qint32 CustomerNotFound = 500;
const QString NowMarked = QStringLiteral("Successful, already in QuickBooks: now marked to e-mail");
// QuickBooks refuses a change to an invoice changed since it was read.
constexpr qint32 EditSequenceOutOfDate = 3200;

// What a row's invoice is, as the run makes it.
struct RowInvoice {
    QString customer;
    QString txnDate;
    QString dueDate;
    QString item;
    QString description;
    qint32 hundredths = 0;
};

// One Create Invoices: the rows whose answers were lost are settled first, then the checked
// rows are walked from the top. Each invoice of QuickBooks that a row of this list owns is
// matched to that row alone, so two members billed alike each get their own invoice.
class Run {
public:
    Run(PostingHost& host, GridOperations& grid, InvoiceComponent& invoice,
        CustomerComponent& customer, const PostingItems& items, PostingJournal& journal)
        : m_host(host)
        , m_grid(grid)
        , m_invoice(invoice)
        , m_customer(customer)
        , m_items(items)
        , m_journal(journal)
        , m_owned(journal.invoices()) {
        m_invoice.forgetFound();
        m_customer.forgetLookUps();
    }

    // Asks QuickBooks which company it has open; a row whose answer is awaited from another
    // company stops the run before anything is asked for it.
    void checkCompany(int firstRow);
    // Asks QuickBooks for the stored answer of every write whose answer was lost, before any
    // other request; throws Failure, with m_row set, when a question fails.
    void askForLostAnswers();
    // Looks up, in as few requests as QuickBooks takes, every customer of the rows to post and
    // their invoices of the run's dates; throws LookUpFailed, with m_row set to the first of
    // them, when a look-up fails.
    void lookUp(const QList<int>& rows);
    void post(int row, bool selected);

    int m_row = 0;

private:
    RowInvoice describe(int row) const;
    std::optional<InvoiceComponent::Existing> alreadyInQuickBooks(const RowInvoice& wanted);
    void add(int row, const RowInvoice& wanted, const QString& messageSetId);
    void added(int row, const QString& txnId, bool email);
    void markForEmail(int row, const QString& txnId, const QString& messageSetId,
                      bool setEmailFlag = false);
    bool emailed(const QString& customer);
    void recover(int row, const PostingJournal::Unanswered& lost, bool selected);
    void forget(const QString& messageSetId);

    PostingHost& m_host;
    GridOperations& m_grid;
    InvoiceComponent& m_invoice;
    CustomerComponent& m_customer;
    const PostingItems& m_items;
    PostingJournal& m_journal;
    QSet<QString> m_owned;
    QHash<int, QByteArray> m_stored;
    QString m_company;
    // What lookUp found: each customer's invoices of a date, by customer (any letter case)
    // and date.
    bool m_lookedUp = false;
    QHash<QPair<QString, QDate>, QList<InvoiceComponent::Existing>> m_found;
};

void Run::lookUp(const QList<int>& rows) {
    if (rows.isEmpty())
        return;
    m_row = rows.first();
    QStringList customers;
    QDate from, to;
    for (const int row : rows) {
        try {
            const RowInvoice wanted = describe(row);
            const auto date = FixedForms::readDate(wanted.txnDate);
            customers << wanted.customer;
            if (date && (!from.isValid() || *date < from))
                from = *date;
            if (date && (!to.isValid() || *date > to))
                to = *date;
        } catch (const Failure&) {
            // The row says what is wrong with it when the run gets there.
        }
    }
    const QString name = customers.value(0);
    try {
        m_customer.lookUpAll(customers);
    } catch (const Failure& failure) {
        throw LookUpFailed{
            failure, QStringLiteral("whether %1 is e-mailed could not be looked up").arg(name)};
    }
    QStringList known;
    for (const QString& customer : std::as_const(customers))
        if (m_customer.found(customer) && !known.contains(customer, Qt::CaseInsensitive))
            known << customer;
    if (!known.isEmpty() && from.isValid()) {
        try {
            for (const auto& existing : m_invoice.findInvoicesOf(known, from, to))
                m_found[{existing.customer.toCaseFolded(), existing.txnDate}] << existing;
        } catch (const Failure& failure) {
            throw LookUpFailed{failure, QStringLiteral("the invoices QuickBooks already holds "
                                                       "could not be looked up")};
        }
    }
    m_lookedUp = true;
}

// Whether the customer's invoice is e-mailed. QuickBooks not knowing the customer means no;
// any other failure of the look-up stops the run before the add.
bool Run::emailed(const QString& customer) {
    try {
        return InvoicePosting::CustomerQualifiesForEmail(m_customer, customer);
    } catch (const Failure& failure) {
        throw LookUpFailed{
            failure, QStringLiteral("whether %1 is e-mailed could not be looked up").arg(customer)};
    }
}

void Run::checkCompany(int firstRow) {
    m_row = firstRow;
    m_company = m_invoice.openCompanyName();
    for (const int row : m_journal.unansweredRows()) {
        const QString sentTo = m_journal.unanswered(row)->company;
        if (sentTo.isEmpty() || sentTo == m_company)
            continue;
        m_row = row;
        throw Failure(QbError::OtherCompanyOpen,
                      QStringLiteral("QuickBooks has the company %1 open, but this row's invoice "
                                     "was sent to %2 and its answer is still awaited: open %2 "
                                     "and Create Invoices again.")
                          .arg(m_company, sentTo));
    }
}

void Run::askForLostAnswers() {
    for (const int row : m_journal.unansweredRows()) {
        m_row = row;
        const PostingJournal::Unanswered& lost = *m_journal.unanswered(row);
        const auto stored = m_invoice.storedAnswer(lost.messageSetId);
        if (!stored)
            continue;
        m_stored.insert(row, *stored);
        if (lost.stage == PostingJournal::Unanswered::Add) {
            try {
                m_invoice.readAddAnswer(*stored);
                m_owned.insert(m_invoice.AddedInvoiceId());
            } catch (const Failure&) {
                // A refused add owns no invoice; its row says so when the walk reaches it.
            }
        }
    }
}

RowInvoice Run::describe(int row) const {
    using namespace GridColumns;
    RowInvoice wanted;
    const QString company = m_grid.CellText(row, Company);
    wanted.customer = company.isEmpty() ? m_grid.CellText(row, Contact) : company;
    wanted.txnDate = m_grid.CellText(row, InvoiceDate);
    wanted.dueDate = m_grid.CellText(row, DueDate);
    const QString organisation = m_host.listOrganisation();
    wanted.item =
        BillingQuery::isChamber(organisation) ? m_items.chamberItem : m_items.foundationItem;
    wanted.description = organisation + QStringLiteral(" Membership Dues ") +
                         PeriodText::of(wanted.dueDate, m_grid.CellText(row, BillAnniv),
                                        m_grid.CellText(row, BillFrequency));
    wanted.hundredths = hundredthsOf(m_grid.CellText(row, AmountToBill));
    return wanted;
}

// An invoice of the customer and date with the row's one line that no row of this list owns
// yet: the row's invoice, made by an earlier run or an earlier list of the same month.
std::optional<InvoiceComponent::Existing> Run::alreadyInQuickBooks(const RowInvoice& wanted) {
    const auto date = FixedForms::readDate(wanted.txnDate);
    const QList<InvoiceComponent::Existing> found =
        m_lookedUp ? m_found.value({wanted.customer.toCaseFolded(), date.value_or(QDate())})
                   : m_invoice.findInvoices(wanted.customer, wanted.txnDate);
    for (const auto& existing : found) {
        if (m_owned.contains(existing.txnId) || existing.lineCount != 1)
            continue;
        const auto amount = FixedForms::readNumber(existing.amount);
        const auto hundredths = amount ? Money::toHundredths(*amount) : std::nullopt;
        // Item names are unique in QuickBooks whatever their letter case.
        if (existing.item.compare(wanted.item, Qt::CaseInsensitive) == 0 &&
            existing.description == wanted.description && hundredths == wanted.hundredths)
            return existing;
    }
    return std::nullopt;
}

void Run::add(int row, const RowInvoice& wanted, const QString& messageSetId) {
    m_invoice.ClearInvoice();
    m_invoice.SetInvoiceCustomer(wanted.customer);
    m_invoice.SetTransactionDate(wanted.txnDate);
    m_invoice.SetDueDate(wanted.dueDate);
    m_invoice.SetToBePrinted(true);

    const int emailBox = m_host.emailBoxValue();
    const bool qualifies = emailed(m_invoice.InvoiceCustomer());
    const bool email = emailBox == PostingHost::Checked && qualifies;
    if (email) {
        m_invoice.SetRequestVersion(QStringLiteral("6.0"));
        m_invoice.ApplyConfig(EmailConfig);
    }
    m_invoice.SetLineCount(1);
    m_invoice.SetLineItem(0, wanted.item);
    m_invoice.SetLineDescription(0, wanted.description);
    m_invoice.SetLineQuantity(0, 1);
    m_invoice.SetLineAmount(0, wanted.hundredths);
    m_invoice.SetLineExtra(0, QString());
    m_invoice.setMessageSetId(messageSetId);
    try {
        m_invoice.AddInvoice();
    } catch (const Failure& failure) {
        if (QbError::answerLost(failure.number()))
            m_journal.setUnanswered(
                row, {messageSetId, PostingJournal::Unanswered::Add, {}, email, m_company});
        else
            m_journal.answered(row);
        throw;
    }
    m_journal.answered(row);
    added(row, m_invoice.AddedInvoiceId(), email);
}

void Run::added(int row, const QString& txnId, bool email) {
    m_owned.insert(txnId);
    m_journal.setInvoice(row, txnId);
    if (email)
        markForEmail(row, txnId, PostingJournal::newMessageSetId());
    m_grid.SetCellText(row, GridColumns::Result, Successful);
}

// The invoice is loaded from what the run knows of it (the add's answer, the look-up), so the
// mark costs one request; only when QuickBooks says the invoice changed meanwhile is it read
// again and the mark sent once more, under a new ID (the refusal is stored under the first).
// An invoice made without the e-mail flag gets it with the mark.
void Run::markForEmail(int row, const QString& txnId, const QString& messageSetId,
                       bool setEmailFlag) {
    QString id = messageSetId;
    try {
        for (int attempt = 0;; ++attempt) {
            m_invoice.ClearInvoice();
            m_invoice.LoadInvoice(txnId);
            if (setEmailFlag) {
                m_invoice.SetRequestVersion(QStringLiteral("6.0"));
                m_invoice.ApplyConfig(EmailConfig);
            }
            m_invoice.SetToBePrinted(false);
            m_invoice.setMessageSetId(id);
            try {
                m_invoice.UpdateInvoice();
                break;
            } catch (const Failure& failure) {
                if (QbError::answerLost(failure.number()))
                    m_journal.setUnanswered(row, {id, PostingJournal::Unanswered::EmailFollowUp,
                                                  txnId, true, m_company});
                if (failure.number() != EditSequenceOutOfDate || attempt > 0)
                    throw;
                id = PostingJournal::newMessageSetId();
            }
        }
    } catch (const Failure& failure) {
        throw FollowUpFailed{failure};
    }
    m_journal.answered(row);
}

void Run::forget(const QString& messageSetId) {
    try {
        m_invoice.forgetMessageSet(messageSetId);
    } catch (const Failure&) {
        // The row's outcome is known and written; a stored answer left behind harms nobody.
    }
}

void Run::recover(int row, const PostingJournal::Unanswered& lostWrite, bool selected) {
    const PostingJournal::Unanswered lost = lostWrite; // the journal entry changes below
    const auto stored = m_stored.constFind(row);
    if (stored == m_stored.constEnd()) {
        // Nothing was carried out: the write goes again under the same ID, if still wanted.
        if (lost.stage == PostingJournal::Unanswered::EmailFollowUp) {
            markForEmail(row, lost.txnId, lost.messageSetId);
            m_grid.SetCellText(row, GridColumns::Result, Successful);
        } else if (selected) {
            add(row, describe(row), lost.messageSetId);
        } else {
            m_journal.answered(row);
        }
        return;
    }
    // The answer QuickBooks kept is taken as if it had just arrived.
    m_journal.answered(row);
    if (lost.stage == PostingJournal::Unanswered::EmailFollowUp) {
        try {
            m_invoice.ReadUpdateAnswer(*stored);
        } catch (const Failure& failure) {
            forget(lost.messageSetId);
            throw FollowUpFailed{failure};
        }
        forget(lost.messageSetId);
        m_grid.SetCellText(row, GridColumns::Result, Successful);
        return;
    }
    try {
        m_invoice.readAddAnswer(*stored);
    } catch (const Failure&) {
        forget(lost.messageSetId);
        throw;
    }
    const QString txnId = m_invoice.AddedInvoiceId();
    m_journal.setInvoice(row, txnId);
    forget(lost.messageSetId);
    added(row, txnId, lost.email);
}

void Run::post(int row, bool selected) {
    m_row = row;
    if (const PostingJournal::Unanswered* lost = m_journal.unanswered(row)) {
        recover(row, *lost, selected);
        return;
    }
    const RowInvoice wanted = describe(row);
    if (const auto existing = alreadyInQuickBooks(wanted)) {
        m_owned.insert(existing->txnId);
        m_journal.setInvoice(row, existing->txnId);
        // An earlier run whose e-mail mark was lost left it marked to be printed.
        if (existing->toBePrinted && m_host.emailBoxValue() == PostingHost::Checked &&
            emailed(wanted.customer)) {
            markForEmail(row, existing->txnId, PostingJournal::newMessageSetId(), true);
            m_grid.SetCellText(row, GridColumns::Result, NowMarked);
            return;
        }
        m_grid.SetCellText(row, GridColumns::Result, AlreadyThere);
        return;
    }
    add(row, wanted, PostingJournal::newMessageSetId());
}
} // namespace

bool InvoicePosting::isPosted(const QString& result) {
    return result == Successful || result.startsWith(Successful + u',');
}

bool InvoicePosting::CustomerQualifiesForEmail(CustomerComponent& customer, const QString& name) {
    try {
        customer.LookupCustomer(name);
        return !customer.LookupResultText().isEmpty();
    } catch (const Failure& failure) {
        // A customer QuickBooks does not know is not e-mailed. A look-up that failed on its
        // way says nothing about the customer: it is not taken for "no e-mail address".
        if (failure.number() == CustomerNotFound)
            return false;
        throw;
    }
}

void InvoicePosting::CreateInvoices(PostingHost& host, GridOperations& grid,
                                    InvoiceComponent& invoice, CustomerComponent& customer,
                                    const PostingItems& items, PostingJournal& journal) {
    const QString organisation = host.listOrganisation();
    if (!host.confirm(QStringLiteral("Please make sure you have the Quickbooks file open for %1 "
                                     "and logged in as Admin. Continue?")
                          .arg(organisation),
                      QStringLiteral("QB File Open")))
        return;
    host.setBusy(true);

    Run run(host, grid, invoice, customer, items, journal);
    // The rows this run will post, for its progress; a "Send" cell that is no check mark
    // stops the walk when it gets there.
    const int rows = grid.RowCount();
    const auto walked = [&](int row, const std::optional<bool>& send) {
        return (send && *send && !isPosted(grid.CellText(row, GridColumns::Result))) ||
               journal.unanswered(row);
    };
    int total = 0;
    int first = 0;
    for (int row = 1; row < rows; ++row) {
        const bool walks = walked(row, CheckCell::read(grid.CellText(row, GridColumns::Send)));
        total += walks;
        if (walks && first == 0)
            first = row;
    }
    int done = 0;
    try {
        if (total > 0)
            run.checkCompany(first);
        run.askForLostAnswers();
        QList<int> toPost;
        for (int row = 1; row < rows; ++row) {
            const auto send = CheckCell::read(grid.CellText(row, GridColumns::Send));
            if (send && *send && !isPosted(grid.CellText(row, GridColumns::Result)) &&
                !journal.unanswered(row))
                toPost << row;
        }
        run.lookUp(toPost);
        for (int row = 1; row < rows; ++row) {
            run.m_row = row;
            const auto send = CheckCell::read(grid.CellText(row, GridColumns::Send));
            if (!send)
                throw Failure::typeMismatch(
                    QStringLiteral("the Send cell \"%1\" is neither checked nor unchecked")
                        .arg(grid.CellText(row, GridColumns::Send)));
            if (!walked(row, send))
                continue;
            const QString company = grid.CellText(row, GridColumns::Company);
            host.progress(done, total,
                          company.isEmpty() ? grid.CellText(row, GridColumns::Contact) : company);
            run.post(row, *send && !isPosted(grid.CellText(row, GridColumns::Result)));
            host.rowFinished(row);
            ++done;
            if (host.stopRequested())
                break;
        }
    } catch (const LookUpFailed& lookUp) {
        grid.SetCellText(run.m_row, GridColumns::Result,
                         QStringLiteral("Error %1: %2: %3; nothing was added.")
                             .arg(lookUp.failure.number())
                             .arg(lookUp.failure.description(), lookUp.what));
    } catch (const FollowUpFailed& followUp) {
        grid.SetCellText(run.m_row, GridColumns::Result,
                         Successful + QStringLiteral(", not marked to e-mail: ") +
                             errorText(followUp.failure));
    } catch (const Failure& failure) {
        grid.SetCellText(run.m_row, GridColumns::Result, errorText(failure));
    }

    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.SetFixedRows(1);
    grid.SetFixedColumns(0);
    grid.Repaint();
    host.setBusy(false);
}
