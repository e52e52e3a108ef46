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
#include "posting/RunLease.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <exception>
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

// The batch sizes of a run: small at first, so that the first rows' results show at once.
int batchSize(int index) {
    constexpr int First[] = {1, 4, 10};
    return index < 3 ? First[index] : InvoicePosting::MaxBatch;
}

// A row of the batch in hand, and how its outcome is written once the batch is answered.
struct Entry {
    enum Kind {
        Add,         // added in the batch
        Found,       // already in QuickBooks
        Mark,        // already in QuickBooks, its e-mail mark to be made (a request of its own)
        Settled,     // added by a lost batch whose answer QuickBooks kept
        SettledMark, // a lost e-mail mark whose answer QuickBooks kept
    };
    Kind kind = Add;
    int row = 0;
    RowInvoice wanted;
    int add = -1; // an Add's place among the batch's adds
    InvoiceComponent::Existing existing;
    PostingJournal::Unanswered lost; // a lost write's journal entry
    QString txnId;                   // what a Settled row owns
};

// One Create Invoices. The rows whose answers were lost are settled from the answers
// QuickBooks kept; then the checked rows are walked from the top in batches. Before each
// batch QuickBooks is asked for its rows' invoices, and the batch goes as one message set
// behind the renewal of the run's lease. Each invoice of QuickBooks that a row of this list
// owns is matched to that row alone, so two members billed alike each get their own invoice.
class Run {
public:
    Run(PostingHost& host, GridOperations& grid, InvoiceComponent& invoice,
        CustomerComponent& customer, RunLease& lease, const PostingItems& items,
        PostingJournal& journal)
        : m_host(host)
        , m_grid(grid)
        , m_invoice(invoice)
        , m_customer(customer)
        , m_lease(lease)
        , m_items(items)
        , m_journal(journal)
        , m_owned(journal.invoices()) {
        m_invoice.forgetFound();
        m_customer.forgetLookUps();
    }

    // Asks QuickBooks which company it has open; a row whose answer is awaited from another
    // company stops the run before anything is asked for it.
    void checkCompany(int firstRow);
    // Asks QuickBooks, once for each lost write, for the answer it kept; throws Failure, with
    // m_row set, when a question fails.
    void askForLostAnswers();
    // Looks every customer of the rows up, in as few requests as QuickBooks takes, for the
    // e-mail decisions; throws LookUpFailed, with m_row set to the first row.
    void lookUpCustomers(const QList<int>& rows);
    // Posts the next batch of the rows from `from`; returns the row after it (the row count
    // at the end). Throws at the first failure, with m_row set to its row, once the rows
    // before it are written.
    int postBatch(int from, int index, int total);
    // Gives the lease back and forgets the answers settled.
    void finish();

    int m_row = 0;
    int m_done = 0;

private:
    bool walked(int row, const std::optional<bool>& send) const;
    RowInvoice describe(int row) const;
    // A row whose last write was lost, as an entry; false when it has none (it then goes as
    // any row, when checked).
    bool settle(int row, bool selected, QList<Entry>& entries);
    void findInvoices(const QList<Entry>& entries);
    std::optional<InvoiceComponent::Existing> alreadyInQuickBooks(const RowInvoice& wanted) const;
    // Hands the row's add to the component, which keeps it for the batch; true when it goes
    // marked to be e-mailed.
    bool keep(const RowInvoice& wanted);
    void send(QList<Entry>& entries);
    void write(const Entry& entry, const QList<InvoiceComponent::AddOutcome>& outcomes);
    void owns(int row, const QString& txnId);
    void markForEmail(int row, const QString& txnId, const QString& messageSetId,
                      bool setEmailFlag = false);
    bool emailed(const QString& customer);
    void forget(const QString& messageSetId);

    PostingHost& m_host;
    GridOperations& m_grid;
    InvoiceComponent& m_invoice;
    CustomerComponent& m_customer;
    RunLease& m_lease;
    const PostingItems& m_items;
    PostingJournal& m_journal;
    QSet<QString> m_owned;
    QString m_company;
    // What QuickBooks kept of lost writes: an e-mail mark's answer by row, an add's outcome by
    // row (neither invoice nor refusal: not carried out), and the message sets to forget.
    QHash<int, QByteArray> m_storedMarks;
    QHash<int, InvoiceComponent::AddOutcome> m_settled;
    QSet<QString> m_answered;
    // The invoices of the batch's customers and dates, by customer (any letter case) and date.
    QHash<QPair<QString, QDate>, QList<InvoiceComponent::Existing>> m_found;
};

bool Run::walked(int row, const std::optional<bool>& send) const {
    return (send && *send &&
            !InvoicePosting::isPosted(m_grid.CellText(row, GridColumns::Result))) ||
           m_journal.unanswered(row);
}

void Run::lookUpCustomers(const QList<int>& rows) {
    if (rows.isEmpty())
        return;
    m_row = rows.first();
    QStringList customers;
    for (const int row : rows) {
        const QString company = m_grid.CellText(row, GridColumns::Company);
        customers << (company.isEmpty() ? m_grid.CellText(row, GridColumns::Contact) : company);
    }
    try {
        m_customer.lookUpAll(customers);
    } catch (const Failure& failure) {
        throw LookUpFailed{
            failure,
            QStringLiteral("whether %1 is e-mailed could not be looked up").arg(customers.first())};
    }
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
    QHash<QString, std::optional<QByteArray>> stored;
    QHash<QString, QList<InvoiceComponent::AddOutcome>> outcomes;
    for (const int row : m_journal.unansweredRows()) {
        m_row = row;
        const PostingJournal::Unanswered lost = *m_journal.unanswered(row);
        if (!stored.contains(lost.messageSetId))
            stored.insert(lost.messageSetId, m_invoice.storedAnswer(lost.messageSetId));
        const std::optional<QByteArray>& answer = stored[lost.messageSetId];
        if (answer)
            m_answered.insert(lost.messageSetId);
        if (lost.stage == PostingJournal::Unanswered::EmailFollowUp) {
            if (answer)
                m_storedMarks.insert(row, *answer);
            continue;
        }
        InvoiceComponent::AddOutcome outcome;
        if (answer) {
            if (!outcomes.contains(lost.messageSetId)) {
                int adds = 0;
                for (const int other : m_journal.unansweredRows())
                    if (m_journal.unanswered(other)->messageSetId == lost.messageSetId)
                        adds = qMax(adds, m_journal.unanswered(other)->position - 1);
                outcomes.insert(lost.messageSetId, m_invoice.readBatchAnswer(*answer, adds, {}));
            }
            outcome = outcomes[lost.messageSetId].value(lost.position - 2);
        }
        if (!outcome.txnId.isEmpty())
            m_owned.insert(outcome.txnId);
        m_settled.insert(row, outcome);
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

bool Run::settle(int row, bool selected, QList<Entry>& entries) {
    const PostingJournal::Unanswered* lost = m_journal.unanswered(row);
    if (!lost)
        return false;
    Entry entry;
    entry.row = row;
    entry.lost = *lost;
    if (lost->stage == PostingJournal::Unanswered::EmailFollowUp) {
        // The invoice exists; only its mark is unsettled, and it goes again under its own ID
        // when QuickBooks kept nothing of it.
        entry.kind = m_storedMarks.contains(row) ? Entry::SettledMark : Entry::Mark;
        entry.txnId = lost->txnId;
        entries << entry;
        return true;
    }
    const InvoiceComponent::AddOutcome outcome = m_settled.value(row);
    m_journal.answered(row);
    if (outcome.refused)
        throw *outcome.refused;
    if (outcome.txnId.isEmpty())
        return !selected; // not carried out: the row goes again, if still wanted
    entry.kind = Entry::Settled;
    entry.txnId = outcome.txnId;
    entries << entry;
    return true;
}

void Run::findInvoices(const QList<Entry>& entries) {
    QStringList known;
    QDate from, to;
    for (const Entry& entry : entries) {
        if (entry.kind != Entry::Add)
            continue;
        const auto date = FixedForms::readDate(entry.wanted.txnDate);
        if (!m_customer.found(entry.wanted.customer) || !date)
            continue;
        if (!known.contains(entry.wanted.customer, Qt::CaseInsensitive))
            known << entry.wanted.customer;
        if (!from.isValid() || *date < from)
            from = *date;
        if (!to.isValid() || *date > to)
            to = *date;
    }
    m_found.clear();
    if (known.isEmpty())
        return;
    try {
        for (const auto& existing : m_invoice.findInvoicesOf(known, from, to))
            m_found[{existing.customer.toCaseFolded(), existing.txnDate}] << existing;
    } catch (const Failure& failure) {
        throw LookUpFailed{failure, QStringLiteral("the invoices QuickBooks already holds could "
                                                   "not be looked up")};
    }
}

// An invoice of the customer and date with the row's one line that no row of this list owns
// yet: the row's invoice, made by an earlier run, an earlier list of the same month, or
// someone else in QuickBooks since the run began.
std::optional<InvoiceComponent::Existing> Run::alreadyInQuickBooks(const RowInvoice& wanted) const {
    const auto date = FixedForms::readDate(wanted.txnDate);
    for (const auto& existing :
         m_found.value({wanted.customer.toCaseFolded(), date.value_or(QDate())})) {
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

bool Run::keep(const RowInvoice& wanted) {
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
    m_invoice.AddInvoice();
    if (email) {
        // The add has not gone yet: marking it changes what goes, not a second request.
        const QString kept = m_invoice.AddedInvoiceId();
        m_invoice.ClearInvoice();
        m_invoice.LoadInvoice(kept);
        m_invoice.SetToBePrinted(false);
        m_invoice.UpdateInvoice();
    }
    return email;
}

int Run::postBatch(int from, int index, int total) {
    const int rows = m_grid.RowCount();
    QList<Entry> entries;
    std::exception_ptr failed;
    int failedRow = 0;
    int next = from;
    // The batch's rows: up to its size of walked rows, ending early at a row that fails or
    // needs a request of its own.
    for (; next < rows && entries.size() < batchSize(index); ++next) {
        m_row = next;
        try {
            const auto send = CheckCell::read(m_grid.CellText(next, GridColumns::Send));
            if (!send)
                throw Failure::typeMismatch(
                    QStringLiteral("the Send cell \"%1\" is neither checked nor unchecked")
                        .arg(m_grid.CellText(next, GridColumns::Send)));
            if (!walked(next, send))
                continue;
            const bool selected =
                *send && !InvoicePosting::isPosted(m_grid.CellText(next, GridColumns::Result));
            if (settle(next, selected, entries)) {
                if (!entries.isEmpty() && entries.last().row == next &&
                    entries.last().kind == Entry::Mark) {
                    ++next;
                    break;
                }
                continue;
            }
            Entry entry;
            entry.row = next;
            entry.wanted = describe(next);
            entries << entry;
        } catch (...) {
            failed = std::current_exception();
            failedRow = next;
            break;
        }
    }
    if (entries.isEmpty() && !failed)
        return next;

    QStringList customers;
    for (const Entry& entry : std::as_const(entries)) {
        const QString company = m_grid.CellText(entry.row, GridColumns::Company);
        customers << (company.isEmpty() ? m_grid.CellText(entry.row, GridColumns::Contact)
                                        : company);
    }
    if (!customers.isEmpty())
        m_host.progress(m_done, total, customers);

    // Checked against QuickBooks just before the adds go, under the run's lease: what anyone
    // added meanwhile is found and not added again. A failure here is the first added row's.
    const auto firstAdd = std::find_if(entries.begin(), entries.end(),
                                       [](const Entry& entry) { return entry.kind == Entry::Add; });
    if (firstAdd != entries.end()) {
        try {
            if (!m_lease.held()) {
                try {
                    m_lease.take();
                } catch (const Failure& failure) {
                    if (failure.number() == QbError::RunInProgress)
                        throw;
                    throw LookUpFailed{failure, QStringLiteral("whether another billing run is "
                                                               "posting could not be looked up")};
                }
            }
            findInvoices(entries);
        } catch (...) {
            failed = std::current_exception();
            failedRow = firstAdd->row;
            entries.erase(firstAdd, entries.end());
        }
    }
    m_invoice.beginBatch();
    for (int i = 0; i < entries.size(); ++i) {
        Entry& entry = entries[i];
        if (entry.kind != Entry::Add)
            continue;
        try {
            if (const auto existing = alreadyInQuickBooks(entry.wanted)) {
                entry.existing = *existing;
                m_owned.insert(existing->txnId);
                // A run whose e-mail mark was lost left it marked to be printed.
                if (existing->toBePrinted && m_host.emailBoxValue() == PostingHost::Checked &&
                    emailed(entry.wanted.customer)) {
                    // Its mark is a request of its own: the batch ends with it, and the rows
                    // after it (a failing one among them) come in the next.
                    entry.kind = Entry::Mark;
                    entries.erase(entries.begin() + i + 1, entries.end());
                    next = entry.row + 1;
                    failed = nullptr;
                    break;
                }
                entry.kind = Entry::Found;
                continue;
            }
            entry.add = m_invoice.keptAdds();
            keep(entry.wanted);
        } catch (...) {
            failed = std::current_exception();
            failedRow = entry.row;
            entries.erase(entries.begin() + i, entries.end());
            break;
        }
    }
    send(entries);
    if (failed) {
        m_row = failedRow;
        std::rethrow_exception(failed);
    }
    return next;
}

// The batch goes, and its rows are written in order; a failure of the whole set is the first
// added row's, those before it written.
void Run::send(QList<Entry>& entries) {
    QList<InvoiceComponent::AddOutcome> outcomes;
    int firstAdd = -1;
    for (int i = 0; i < entries.size() && firstAdd < 0; ++i)
        if (entries[i].kind == Entry::Add)
            firstAdd = i;
    if (firstAdd >= 0) {
        const QString id = PostingJournal::newMessageSetId();
        const InvoiceComponent::Lead renewal{
            QStringLiteral("OtherNameModRq"),
            [this](QbxmlRequest& request) { m_lease.writeRenewal(request); },
            [this](const QbxmlAnswer& answer) { m_lease.readRenewal(answer); }};
        try {
            outcomes = m_invoice.sendBatch(id, renewal);
        } catch (const Failure& failure) {
            if (QbError::answerLost(failure.number()))
                for (const Entry& entry : std::as_const(entries))
                    if (entry.kind == Entry::Add)
                        m_journal.setUnanswered(entry.row, {id,
                                                            PostingJournal::Unanswered::Add,
                                                            {},
                                                            false,
                                                            m_company,
                                                            entry.add + 2});
            for (int i = 0; i < firstAdd; ++i)
                write(entries[i], outcomes);
            m_row = entries[firstAdd].row;
            throw;
        }
    } else {
        m_invoice.endBatch();
    }
    for (const Entry& entry : std::as_const(entries))
        write(entry, outcomes);
}
void Run::owns(int row, const QString& txnId) {
    m_owned.insert(txnId);
    m_journal.setInvoice(row, txnId);
}

void Run::write(const Entry& entry, const QList<InvoiceComponent::AddOutcome>& outcomes) {
    m_row = entry.row;
    switch (entry.kind) {
    case Entry::Add: {
        const InvoiceComponent::AddOutcome outcome = outcomes.value(entry.add);
        if (outcome.refused)
            throw *outcome.refused;
        if (outcome.txnId.isEmpty())
            throw Failure(QbError::BadAnswer,
                          QStringLiteral("QuickBooks sent an answer that could not be read (no "
                                         "answer to this row's add)."));
        owns(entry.row, outcome.txnId);
        m_grid.SetCellText(entry.row, GridColumns::Result, Successful);
        break;
    }
    case Entry::Found:
        owns(entry.row, entry.existing.txnId);
        m_grid.SetCellText(entry.row, GridColumns::Result, AlreadyThere);
        break;
    case Entry::Mark:
        if (entry.lost.messageSetId.isEmpty()) {
            owns(entry.row, entry.existing.txnId);
            markForEmail(entry.row, entry.existing.txnId, PostingJournal::newMessageSetId(), true);
            m_grid.SetCellText(entry.row, GridColumns::Result, NowMarked);
        } else {
            // Nothing of the lost mark was carried out: it goes again under the same ID.
            markForEmail(entry.row, entry.lost.txnId, entry.lost.messageSetId);
            m_grid.SetCellText(entry.row, GridColumns::Result, Successful);
        }
        break;
    case Entry::Settled:
        owns(entry.row, entry.txnId);
        m_grid.SetCellText(entry.row, GridColumns::Result, Successful);
        break;
    case Entry::SettledMark:
        m_journal.answered(entry.row);
        try {
            m_invoice.ReadUpdateAnswer(m_storedMarks.value(entry.row));
        } catch (const Failure& failure) {
            throw FollowUpFailed{failure};
        }
        m_grid.SetCellText(entry.row, GridColumns::Result, Successful);
        break;
    }
    m_host.rowFinished(entry.row);
    ++m_done;
}

// The invoice is loaded from what the run knows of it (the look-up), so the mark costs one
// request; only when QuickBooks says the invoice changed meanwhile is it read again and the
// mark sent once more, under a new ID (the refusal is stored under the first). An invoice
// made without the e-mail flag gets it with the mark.
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
                                                  txnId, true, m_company, 0});
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
        // The rows' outcomes are known and written; a stored answer left behind harms nobody.
    }
}

void Run::finish() {
    m_lease.release();
    // A kept answer is forgotten once no row awaits it any more.
    for (const int row : m_journal.unansweredRows())
        m_answered.remove(m_journal.unanswered(row)->messageSetId);
    for (const QString& id : std::as_const(m_answered))
        forget(id);
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
                                    RunLease& lease, const PostingItems& items,
                                    PostingJournal& journal) {
    const QString organisation = host.listOrganisation();
    if (!host.confirm(QStringLiteral("Please make sure you have the Quickbooks file open for %1 "
                                     "and logged in as Admin. Continue?")
                          .arg(organisation),
                      QStringLiteral("QB File Open")))
        return;
    host.setBusy(true);

    Run run(host, grid, invoice, customer, lease, items, journal);
    // The rows this run will post, for its progress; a "Send" cell that is no check mark
    // stops the walk when it gets there.
    const int rows = grid.RowCount();
    QList<int> walked;
    for (int row = 1; row < rows; ++row) {
        const auto send = CheckCell::read(grid.CellText(row, GridColumns::Send));
        if ((send && *send && !isPosted(grid.CellText(row, GridColumns::Result))) ||
            journal.unanswered(row))
            walked << row;
    }
    try {
        if (!walked.isEmpty())
            run.checkCompany(walked.first());
        run.askForLostAnswers();
        run.lookUpCustomers(walked);
        for (int next = 1, batch = 0; next < rows; ++batch) {
            next = run.postBatch(next, batch, int(walked.size()));
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
    run.finish();

    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.SetFixedRows(1);
    grid.SetFixedColumns(0);
    grid.Repaint();
    host.setBusy(false);
}
