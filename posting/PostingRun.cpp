#include "posting/PostingRun.h"

#include "billing/BillingQuery.h"
#include "core/Failure.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/GridOperations.h"
#include "core/Money.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PeriodText.h"
#include "posting/PostingJournal.h"
#include "posting/RunLease.h"
#include "qbxml/MessageSetRecovery.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"
#include "qbxml/RequestProcessor.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
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

// A value the line lacks: its cell is empty, or holds a text that is no value of its kind.
Failure missing(const BillingLine& line, int column, const QString& what, const QString& kind) {
    const QString text = BillingCells::text(line, column);
    return Failure::typeMismatch(
        text.trimmed().isEmpty() ? QStringLiteral("the %1 is empty").arg(what)
                                 : QStringLiteral("the %1 \"%2\" is no %3").arg(what, text, kind));
}

// The line amount in hundredths, as the line holds it; an invoice line carries 32 bits.
qint32 hundredthsOf(const BillingLine& line) {
    if (!line.amountToBill)
        throw missing(line, GridColumns::AmountToBill, QStringLiteral("amount to bill"),
                      QStringLiteral("number"));
    const qint64 hundredths = *line.amountToBill;
    if (hundredths > std::numeric_limits<qint32>::max() ||
        hundredths < std::numeric_limits<qint32>::min())
        throw Failure::overflow(QStringLiteral("the amount %1 is larger than an invoice line can "
                                               "carry (21,474,836.47 at most)")
                                    .arg(Money::hundredthsText(hundredths)));
    return qint32(hundredths);
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

const QString NowMarked = QStringLiteral("Successful, already in QuickBooks: now marked to e-mail");
// QuickBooks refuses a change to an invoice changed since it was read.
constexpr qint32 EditSequenceOutOfDate = 3200;

// Thrown by a failure's handler that has already taken the run on (written what it could, or
// asked again): nothing more is to be reported.
struct Handled {};

// What a row's invoice is, as the run makes it.
struct RowInvoice {
    QString customer;
    QDate txnDate;
    QDate dueDate;
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

// The place of the batch's first add among its entries; -1 when it adds nothing.
int firstAddOf(const QList<Entry>& entries) {
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].kind == Entry::Add)
            return i;
    return -1;
}
} // namespace

class PostingRun::Flow {
public:
    Flow(PostingRun& run, const Parts& parts)
        : m_run(run)
        , m_host(parts.host)
        , m_grid(parts.grid)
        , m_processor(parts.processor)
        , m_invoice(parts.invoice)
        , m_customer(parts.customer)
        , m_lease(parts.lease)
        , m_items(parts.items)
        , m_journal(parts.journal) {}

    ~Flow() {
        // A run that goes before its answer leaves nothing to call it back.
        m_processor.cancel();
    }

    bool start();
    bool running() const { return m_running; }

private:
    using Step = std::function<void()>;
    using Reader = std::function<void(const QByteArray&)>;
    using OnFailure = std::function<void(const Failure&)>;

    // Sends request; reads its answer with read and goes on with then, from the event loop.
    // A query (a request that changes nothing) is asked once more on a fresh connection when
    // its connection was lost or its answer could not be read. A failure goes to onFailure,
    // which throws what the run reports (the failure itself where none is given).
    void ask(const QByteArray& request, bool query, Reader read, Step then,
             OnFailure onFailure = {}, bool again = false);
    // Runs a step of the run; what it throws ends the run, written into row m_row.
    void guarded(const Step& step);
    // step, guarded, from the event loop.
    void later(Step step);
    void report(std::exception_ptr failure);

    void checkCompany();
    void askNextLost();
    void settleLost();
    void lookUpCustomers();
    void nextBatch();
    // Gathers the batch's rows from m_next; false when no row is left to walk.
    bool gather();
    void takeLease();
    void checkBatch();
    // A failure of the lease or of the batch's look-up: the rows before its first add are
    // written, nothing is added, and the run stops at that add's row.
    void failBeforeAdds(const std::exception_ptr& failure);
    void keepAdds();
    void sendBatch();
    void writeEntries();
    void afterBatch();
    void finish();
    void forgetNext();

    bool walked(int row) const;
    RowInvoice describe(int row) const;
    bool settle(int row, bool selected);
    std::optional<InvoiceComponent::Existing> alreadyInQuickBooks(const RowInvoice& wanted) const;
    bool keep(const RowInvoice& wanted);
    void write(const Entry& entry);
    void owns(int row, const QString& txnId);
    void markForEmail(int row, const QString& txnId, const QString& messageSetId, bool setEmailFlag,
                      int attempt, Step then);
    bool emailed(const QString& customer);
    QString customerOf(int row) const;
    QString organisation() const;
    // Writes a row's outcome into its "Result" and says so.
    void writeResult(int row, const QString& result);

    PostingRun& m_run;
    PostingHost& m_host;
    GridOperations& m_grid;
    RequestProcessor& m_processor;
    InvoiceComponent& m_invoice;
    CustomerComponent& m_customer;
    RunLease& m_lease;
    const PostingItems& m_items;
    PostingJournal& m_journal;

    bool m_running = false;
    bool m_finishing = false;
    int m_row = -1;
    int m_done = 0;
    QList<int> m_walked;
    QSet<QString> m_owned;
    QString m_company;
    // The lost writes: their message sets in the order of their rows, what QuickBooks kept of
    // each, an e-mail mark's kept answer by row, an add's outcome by row (neither invoice nor
    // refusal: not carried out), and the message sets to forget at the end.
    QStringList m_lostIds;
    int m_lostAt = 0;
    QHash<QString, std::optional<QByteArray>> m_stored;
    QHash<int, QByteArray> m_storedMarks;
    QHash<int, InvoiceComponent::AddOutcome> m_settled;
    QSet<QString> m_answered;
    QStringList m_toForget;
    // The batch in hand: its rows, the row after it, a failure that ends the run after it
    // (and its row), the invoices of its customers and dates, and its adds' outcomes.
    int m_next = 0;
    int m_batch = 0;
    QList<Entry> m_entries;
    int m_batchNext = 0;
    std::exception_ptr m_failed;
    int m_failedRow = 0;
    QHash<QPair<QString, QDate>, QList<InvoiceComponent::Existing>> m_found;
    QList<InvoiceComponent::AddOutcome> m_outcomes;
    int m_writeAt = 0;
    bool m_takingLease = false;
};

bool PostingRun::Flow::start() {
    if (!m_host.confirm(QStringLiteral("Please make sure you have the Quickbooks file open for %1 "
                                       "and logged in as Admin. Continue?")
                            .arg(organisation()),
                        QStringLiteral("QB File Open")))
        return false;
    m_host.setBusy(true);
    m_running = true;
    m_invoice.forgetFound();
    m_customer.forgetLookUps();
    m_owned = m_journal.invoices();
    // The rows this run will post, for its progress; a "Send" cell that is no check mark
    // stops the walk when it gets there.
    for (int row = 0; row < m_grid.lineCount(); ++row)
        if (walked(row))
            m_walked << row;
    // The run shows from its first request on (no customers yet: it is asking QuickBooks).
    if (!m_walked.isEmpty())
        emit m_run.progress(0, int(m_walked.size()), {});
    guarded([this] { checkCompany(); });
    return true;
}

void PostingRun::Flow::ask(const QByteArray& request, bool query, Reader read, Step then,
                           OnFailure onFailure, bool again) {
    // Taken on from the event loop, outside the channel's own handling of the answer.
    const auto failed = [=](const Failure& failure) {
        later([=] {
            const bool askAgain = query && !again &&
                                  (failure.number() == QbError::ConnectionLost ||
                                   failure.number() == QbError::BadAnswer);
            if (askAgain) {
                m_processor.disconnect();
                ask(request, query, read, then, onFailure, true);
                return;
            }
            if (onFailure)
                onFailure(failure);
            throw failure;
        });
    };
    m_processor.send(
        request,
        [=](const QByteArray& answer) {
            try {
                read(answer);
            } catch (const Failure& failure) {
                failed(failure);
                return;
            }
            later(then);
        },
        failed);
}

void PostingRun::Flow::later(Step step) {
    QMetaObject::invokeMethod(
        &m_run, [this, step] { guarded(step); }, Qt::QueuedConnection);
}

void PostingRun::Flow::guarded(const Step& step) {
    try {
        step();
    } catch (...) {
        report(std::current_exception());
    }
}

// The one place a run's failure is written: into its row, after which the run ends.
void PostingRun::Flow::report(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Handled&) {
        return; // its handler has taken the run on
    } catch (const LookUpFailed& lookUp) {
        writeResult(m_row, QStringLiteral("Error %1: %2: %3; nothing was added.")
                               .arg(lookUp.failure.number())
                               .arg(lookUp.failure.description(), lookUp.what));
    } catch (const FollowUpFailed& followUp) {
        writeResult(m_row, Successful + QStringLiteral(", not marked to e-mail: ") +
                               errorText(followUp.failure));
    } catch (const Failure& other) {
        writeResult(m_row, errorText(other));
    }
    finish();
}

// A row the run posts: checked and without its invoice, or one whose last write's answer was
// lost. A "Send" that is no check mark is walked too, and stops the run when it is reached.
bool PostingRun::Flow::walked(int row) const {
    const BillingLine& line = m_grid.line(row);
    const bool noCheckMark = line.asWritten.contains(GridColumns::Send);
    return ((line.send || noCheckMark) && !InvoicePosting::isPosted(line.result)) ||
           m_journal.unanswered(row);
}

QString PostingRun::Flow::customerOf(int row) const {
    return m_grid.line(row).customer();
}

// The organisation of the list: the one it was filled for (the window's choice before the
// first fill, when the list has no row to bill).
QString PostingRun::Flow::organisation() const {
    const QString filled = m_grid.facts().organisation;
    return filled.isEmpty() ? m_host.listOrganisation() : filled;
}

void PostingRun::Flow::writeResult(int row, const QString& result) {
    if (row < 0 || row >= m_grid.lineCount())
        return;
    m_grid.setResult(row, result);
    emit m_run.rowFinished(row);
}

// Which company QuickBooks has open; a row whose answer is awaited from another company stops
// the run before anything is asked for it.
void PostingRun::Flow::checkCompany() {
    if (m_walked.isEmpty()) {
        askNextLost();
        return;
    }
    m_row = m_walked.first();
    ask(
        m_invoice.companyQuery(), true,
        [this](const QByteArray& answer) { m_company = InvoiceComponent::readCompanyName(answer); },
        [this] {
            for (const int row : m_journal.unansweredRows()) {
                const QString sentTo = m_journal.unanswered(row)->company;
                if (sentTo.isEmpty() || sentTo == m_company)
                    continue;
                m_row = row;
                throw Failure(QbError::OtherCompanyOpen,
                              QStringLiteral("QuickBooks has the company %1 open, but this row's "
                                             "invoice was sent to %2 and its answer is still "
                                             "awaited: open %2 and Create Invoices again.")
                                  .arg(m_company, sentTo));
            }
            for (const int row : m_journal.unansweredRows())
                if (!m_lostIds.contains(m_journal.unanswered(row)->messageSetId))
                    m_lostIds << m_journal.unanswered(row)->messageSetId;
            askNextLost();
        });
}

// QuickBooks is asked, once for each lost write, for the answer it kept.
void PostingRun::Flow::askNextLost() {
    if (m_lostAt == m_lostIds.size()) {
        settleLost();
        lookUpCustomers();
        return;
    }
    const QString id = m_lostIds[m_lostAt];
    for (const int row : m_journal.unansweredRows())
        if (m_journal.unanswered(row)->messageSetId == id) {
            m_row = row;
            break;
        }
    ask(
        m_invoice.statusCheck(id), true,
        [this, id](const QByteArray& answer) {
            m_stored.insert(id, MessageSetRecovery::readStatusCheck(answer));
        },
        [this] {
            ++m_lostAt;
            askNextLost();
        });
}

void PostingRun::Flow::settleLost() {
    QHash<QString, QList<InvoiceComponent::AddOutcome>> outcomes;
    for (const int row : m_journal.unansweredRows()) {
        m_row = row;
        const PostingJournal::Unanswered lost = *m_journal.unanswered(row);
        const std::optional<QByteArray>& answer = m_stored[lost.messageSetId];
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

// Every customer of the rows, looked up in as few requests as QuickBooks takes, for the
// e-mail decisions.
void PostingRun::Flow::lookUpCustomers() {
    if (m_walked.isEmpty()) {
        nextBatch();
        return;
    }
    QStringList customers;
    for (const int row : std::as_const(m_walked))
        customers << customerOf(row);
    m_row = m_walked.first();
    const auto request = m_customer.nextLookUp(customers);
    if (!request) {
        nextBatch();
        return;
    }
    ask(
        *request, true, [this](const QByteArray& answer) { m_customer.takeLookUp(answer); },
        [this] { lookUpCustomers(); },
        [customer = customers.first()](const Failure& failure) {
            throw LookUpFailed{
                failure,
                QStringLiteral("whether %1 is e-mailed could not be looked up").arg(customer)};
        });
}

// Whether the customer's invoice is e-mailed, from what the run's look-up found. QuickBooks
// not knowing the customer means no; any other failure stops the run before the add.
bool PostingRun::Flow::emailed(const QString& customer) {
    try {
        return InvoicePosting::CustomerQualifiesForEmail(m_customer, customer);
    } catch (const Failure& failure) {
        throw LookUpFailed{
            failure, QStringLiteral("whether %1 is e-mailed could not be looked up").arg(customer)};
    }
}

// The invoice a line bills, from its values: nothing is read back from a cell's text.
RowInvoice PostingRun::Flow::describe(int row) const {
    using namespace GridColumns;
    const BillingLine& line = m_grid.line(row);
    const QString date = QStringLiteral("date");
    RowInvoice wanted;
    wanted.customer = line.customer();
    if (!line.invoiceDate.isValid())
        throw missing(line, InvoiceDate, QStringLiteral("invoice date"), date);
    if (!line.dueDate.isValid())
        throw missing(line, DueDate, QStringLiteral("due date"), date);
    if (!line.anniversary.isValid())
        throw missing(line, BillAnniv, QStringLiteral("billing anniversary"), date);
    if (line.frequency == BillingFrequency::None)
        throw missing(line, BillFrequency, QStringLiteral("billing frequency"),
                      QStringLiteral("frequency"));
    wanted.txnDate = line.invoiceDate;
    wanted.dueDate = line.dueDate;
    const QString billed = organisation();
    wanted.item = BillingQuery::isChamber(billed) ? m_items.chamberItem : m_items.foundationItem;
    wanted.description =
        billed + QStringLiteral(" Membership Dues ") +
        PeriodText::of(line.dueDate, line.anniversary, BillingFrequencies::months(line.frequency));
    wanted.hundredths = hundredthsOf(line);
    return wanted;
}

// A row whose last write was lost, as an entry of the batch; false when it has none (it then
// goes as any row, when checked).
bool PostingRun::Flow::settle(int row, bool selected) {
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
        m_entries << entry;
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
    m_entries << entry;
    return true;
}

void PostingRun::Flow::nextBatch() {
    // A Stop while QuickBooks was asked before the first batch ends the run before it.
    if (m_batch == 0 && m_host.stopRequested()) {
        finish();
        return;
    }
    for (;;) {
        if (m_next >= m_grid.lineCount()) {
            finish();
            return;
        }
        if (gather())
            break;
        m_next = m_batchNext;
    }
    QStringList customers;
    for (const Entry& entry : std::as_const(m_entries))
        customers << customerOf(entry.row);
    if (!customers.isEmpty())
        emit m_run.progress(m_done, int(m_walked.size()), customers);
    const bool adds = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                  [](const Entry& entry) { return entry.kind == Entry::Add; });
    if (!adds)
        keepAdds();
    else if (!m_lease.held())
        takeLease();
    else
        checkBatch();
}

// The batch's rows: up to its size of walked rows, ending early at a row that fails or needs
// a request of its own.
bool PostingRun::Flow::gather() {
    m_entries.clear();
    m_failed = nullptr;
    m_outcomes.clear();
    m_writeAt = 0;
    int next = m_next;
    for (; next < m_grid.lineCount() && m_entries.size() < batchSize(m_batch); ++next) {
        m_row = next;
        try {
            if (!walked(next))
                continue;
            const BillingLine& line = m_grid.line(next);
            if (line.asWritten.contains(GridColumns::Send))
                throw Failure::typeMismatch(
                    QStringLiteral("the Send cell \"%1\" is neither checked nor unchecked")
                        .arg(line.asWritten.value(GridColumns::Send)));
            const bool selected = line.send && !InvoicePosting::isPosted(line.result);
            if (settle(next, selected)) {
                if (!m_entries.isEmpty() && m_entries.last().row == next &&
                    m_entries.last().kind == Entry::Mark) {
                    ++next;
                    break;
                }
                continue;
            }
            Entry entry;
            entry.row = next;
            entry.wanted = describe(next);
            m_entries << entry;
        } catch (...) {
            m_failed = std::current_exception();
            m_failedRow = next;
            break;
        }
    }
    m_batchNext = next;
    return !m_entries.isEmpty() || m_failed;
}

void PostingRun::Flow::failBeforeAdds(const std::exception_ptr& failure) {
    const int first = firstAddOf(m_entries);
    m_failed = failure;
    m_failedRow = m_entries[first].row;
    m_entries.erase(m_entries.begin() + first, m_entries.end());
    keepAdds();
}

// The lease is held before the batch is checked, so that no other run adds between the check
// and the batch.
void PostingRun::Flow::takeLease() {
    if (!m_takingLease) {
        m_lease.beginTake();
        m_takingLease = true;
    }
    m_row = m_entries[firstAddOf(m_entries)].row;
    bool query = false;
    const QByteArray request = m_lease.takeRequest(&query);
    auto held = std::make_shared<bool>(false);
    ask(
        request, query,
        [this, held](const QByteArray& answer) { *held = m_lease.takeAnswer(answer); },
        [this, held] {
            if (*held)
                checkBatch();
            else
                takeLease();
        },
        [this](const Failure& failure) {
            // Another run's lease says it all; a question that failed says what it asked.
            failBeforeAdds(failure.number() == QbError::RunInProgress
                               ? std::make_exception_ptr(failure)
                               : std::make_exception_ptr(LookUpFailed{
                                     failure, QStringLiteral("whether another billing run is "
                                                             "posting could not be looked up")}));
            throw Handled{};
        });
}

// Checked against QuickBooks just before the adds go, under the run's lease: what anyone added
// meanwhile is found and not added again.
void PostingRun::Flow::checkBatch() {
    QStringList known;
    QDate from, to;
    for (const Entry& entry : std::as_const(m_entries)) {
        if (entry.kind != Entry::Add)
            continue;
        const QDate date = entry.wanted.txnDate;
        if (!m_customer.found(entry.wanted.customer))
            continue;
        if (!known.contains(entry.wanted.customer, Qt::CaseInsensitive))
            known << entry.wanted.customer;
        if (!from.isValid() || date < from)
            from = date;
        if (!to.isValid() || date > to)
            to = date;
    }
    m_found.clear();
    if (known.isEmpty()) {
        keepAdds();
        return;
    }
    m_row = m_entries[firstAddOf(m_entries)].row;
    ask(
        m_invoice.invoicesQuery(known, from, to), true,
        [this](const QByteArray& answer) {
            for (const auto& existing : m_invoice.readInvoices(answer))
                m_found[{existing.customer.toCaseFolded(), existing.txnDate}] << existing;
        },
        [this] { keepAdds(); },
        [this](const Failure& failure) {
            failBeforeAdds(std::make_exception_ptr(
                LookUpFailed{failure, QStringLiteral("the invoices QuickBooks already holds "
                                                     "could not be looked up")}));
            throw Handled{};
        });
}

// An invoice of the customer and date with the row's one line that no row of this list owns
// yet: the row's invoice, made by an earlier run, an earlier list of the same month, or
// someone else in QuickBooks since the run began.
std::optional<InvoiceComponent::Existing>
PostingRun::Flow::alreadyInQuickBooks(const RowInvoice& wanted) const {
    for (const auto& existing : m_found.value({wanted.customer.toCaseFolded(), wanted.txnDate})) {
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

bool PostingRun::Flow::keep(const RowInvoice& wanted) {
    m_invoice.ClearInvoice();
    m_invoice.SetInvoiceCustomer(wanted.customer);
    m_invoice.SetTransactionDate(FixedForms::dateText(wanted.txnDate));
    m_invoice.SetDueDate(FixedForms::dateText(wanted.dueDate));
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

// The batch's rows matched against what QuickBooks holds, and the rest handed to the
// component, which keeps their adds for the batch.
void PostingRun::Flow::keepAdds() {
    m_invoice.beginBatch();
    for (int i = 0; i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
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
                    m_entries.erase(m_entries.begin() + i + 1, m_entries.end());
                    m_batchNext = entry.row + 1;
                    m_failed = nullptr;
                    break;
                }
                entry.kind = Entry::Found;
                continue;
            }
            entry.add = m_invoice.keptAdds();
            keep(entry.wanted);
        } catch (...) {
            m_failed = std::current_exception();
            m_failedRow = entry.row;
            m_entries.erase(m_entries.begin() + i, m_entries.end());
            break;
        }
    }
    sendBatch();
}

// The batch goes as one message set behind the lease's renewal; a failure of the whole set is
// the first added row's, those before it written.
void PostingRun::Flow::sendBatch() {
    const int first = firstAddOf(m_entries);
    if (first < 0) {
        m_invoice.endBatch();
        writeEntries();
        return;
    }
    const QString id = PostingJournal::newMessageSetId();
    const InvoiceComponent::Lead renewal{
        QStringLiteral("OtherNameModRq"),
        [this](QbxmlRequest& request) { m_lease.writeRenewal(request); },
        [this](const QbxmlAnswer& answer) { m_lease.readRenewal(answer); }};
    const int adds = m_invoice.keptAdds();
    m_row = m_entries[first].row;
    ask(
        m_invoice.batchRequest(id, renewal), false,
        [this, adds, renewal](const QByteArray& answer) {
            m_outcomes = m_invoice.readBatchAnswer(answer, adds, renewal.read);
        },
        [this] { writeEntries(); },
        [this, id, first](const Failure& failure) {
            if (QbError::answerLost(failure.number()))
                for (const Entry& entry : std::as_const(m_entries))
                    if (entry.kind == Entry::Add)
                        m_journal.setUnanswered(entry.row, {id,
                                                            PostingJournal::Unanswered::Add,
                                                            {},
                                                            false,
                                                            m_company,
                                                            entry.add + 2});
            for (int i = 0; i < first; ++i)
                write(m_entries[i]);
            m_row = m_entries[first].row;
        });
}

void PostingRun::Flow::owns(int row, const QString& txnId) {
    m_owned.insert(txnId);
    m_journal.setInvoice(row, txnId);
}

void PostingRun::Flow::writeEntries() {
    for (; m_writeAt < m_entries.size(); ++m_writeAt) {
        const Entry& entry = m_entries[m_writeAt];
        if (entry.kind != Entry::Mark) {
            write(entry);
            continue;
        }
        m_row = entry.row;
        const bool found = entry.lost.messageSetId.isEmpty();
        if (found)
            owns(entry.row, entry.existing.txnId);
        // A mark of an invoice found still to be printed, or a lost mark that QuickBooks kept
        // nothing of, which goes again under the same ID.
        markForEmail(entry.row, found ? entry.existing.txnId : entry.lost.txnId,
                     found ? PostingJournal::newMessageSetId() : entry.lost.messageSetId, found, 0,
                     [this, found, row = entry.row] {
                         writeResult(row, found ? NowMarked : Successful);
                         ++m_done;
                         ++m_writeAt;
                         writeEntries();
                     });
        return;
    }
    afterBatch();
}

void PostingRun::Flow::write(const Entry& entry) {
    m_row = entry.row;
    switch (entry.kind) {
    case Entry::Add: {
        const InvoiceComponent::AddOutcome outcome = m_outcomes.value(entry.add);
        if (outcome.refused)
            throw *outcome.refused;
        if (outcome.txnId.isEmpty())
            throw Failure(QbError::BadAnswer,
                          QStringLiteral("QuickBooks sent an answer that could not be read (no "
                                         "answer to this row's add)."));
        owns(entry.row, outcome.txnId);
        m_grid.setResult(entry.row, Successful);
        break;
    }
    case Entry::Found:
        owns(entry.row, entry.existing.txnId);
        m_grid.setResult(entry.row, AlreadyThere);
        break;
    case Entry::Settled:
        owns(entry.row, entry.txnId);
        m_grid.setResult(entry.row, Successful);
        break;
    case Entry::SettledMark:
        m_journal.answered(entry.row);
        try {
            m_invoice.readUpdateAnswer(m_storedMarks.value(entry.row));
        } catch (const Failure& failure) {
            throw FollowUpFailed{failure};
        }
        m_grid.setResult(entry.row, Successful);
        break;
    case Entry::Mark:
        break; // written by writeEntries once QuickBooks has answered
    }
    emit m_run.rowFinished(entry.row);
    ++m_done;
}

void PostingRun::Flow::afterBatch() {
    if (m_failed) {
        m_row = m_failedRow;
        std::rethrow_exception(std::exchange(m_failed, nullptr));
    }
    if (m_host.stopRequested()) {
        finish();
        return;
    }
    m_next = m_batchNext;
    ++m_batch;
    nextBatch();
}

// The invoice is loaded from what the run knows of it (the look-up), so the mark costs one
// request; only when QuickBooks says the invoice changed meanwhile is it read again and the
// mark sent once more, under a new ID (the refusal is stored under the first). An invoice
// made without the e-mail flag gets it with the mark.
void PostingRun::Flow::markForEmail(int row, const QString& txnId, const QString& messageSetId,
                                    bool setEmailFlag, int attempt, Step then) {
    const auto update = [=] {
        if (setEmailFlag) {
            m_invoice.SetRequestVersion(QStringLiteral("6.0"));
            m_invoice.ApplyConfig(EmailConfig);
        }
        m_invoice.SetToBePrinted(false);
        m_invoice.setMessageSetId(messageSetId);
        ask(
            *m_invoice.updateRequest(), false,
            [this](const QByteArray& answer) { m_invoice.readUpdateAnswer(answer); },
            [this, row, then] {
                m_journal.answered(row);
                then();
            },
            [=](const Failure& failure) {
                if (QbError::answerLost(failure.number()))
                    m_journal.setUnanswered(row, {messageSetId,
                                                  PostingJournal::Unanswered::EmailFollowUp, txnId,
                                                  true, m_company, 0});
                if (failure.number() == EditSequenceOutOfDate && attempt == 0) {
                    markForEmail(row, txnId, PostingJournal::newMessageSetId(), setEmailFlag, 1,
                                 then);
                    throw Handled{};
                }
                throw FollowUpFailed{failure};
            });
    };
    m_invoice.ClearInvoice();
    if (m_invoice.loadKnown(txnId)) {
        update();
        return;
    }
    ask(
        m_invoice.loadQuery(txnId), true,
        [this, txnId](const QByteArray& answer) { m_invoice.readLoaded(answer, txnId); }, update,
        [](const Failure& failure) { throw FollowUpFailed{failure}; });
}

// The lease given back and the kept answers forgotten, each whatever its answer; then the
// list's finishing steps.
void PostingRun::Flow::finish() {
    if (std::exchange(m_finishing, true))
        return;
    for (const int row : m_journal.unansweredRows())
        m_answered.remove(m_journal.unanswered(row)->messageSetId);
    m_toForget = QStringList(m_answered.cbegin(), m_answered.cend());
    if (const auto release = m_lease.releaseRequest())
        m_processor.send(
            *release, [this](const QByteArray&) { later([this] { forgetNext(); }); },
            [this](const Failure&) { later([this] { forgetNext(); }); });
    else
        forgetNext();
}

void PostingRun::Flow::forgetNext() {
    if (!m_toForget.isEmpty()) {
        // Left behind, a stored answer harms nobody: the rows' outcomes are written.
        m_processor.send(
            m_invoice.forgetRequest(m_toForget.takeFirst()),
            [this](const QByteArray&) { later([this] { forgetNext(); }); },
            [this](const Failure&) { later([this] { forgetNext(); }); });
        return;
    }
    // A run is one conversation, so that the Web Connector bridge keeps it to one company file.
    m_processor.disconnect();
    m_grid.FitColumns(0, m_grid.ColumnCount() - 1);
    m_grid.SetFixedRows(1);
    m_grid.SetFixedColumns(0);
    m_grid.Repaint();
    m_host.setBusy(false);
    m_running = false;
    QMetaObject::invokeMethod(
        &m_run, [this] { emit m_run.finished(); }, Qt::QueuedConnection);
}

PostingRun::PostingRun(Parts parts, QObject* parent)
    : QObject(parent)
    , m_flow(std::make_unique<Flow>(*this, parts)) {}

PostingRun::~PostingRun() = default;

bool PostingRun::start() {
    return m_flow->start();
}

bool PostingRun::running() const {
    return m_flow->running();
}
