#include "posting/BatchSteps.h"

#include "core/FixedForms.h"
#include "core/GridOperations.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/RunLease.h"
#include "qbxml/QbxmlAnswer.h"

using namespace RunResults;

namespace {
const QString EmailConfig =
    QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>");
// How far from the batch's dates its invoices are looked for: a colleague may have dated one
// otherwise, and it is still the line's invoice when it bills the line's period.
constexpr int CheckMarginDays = 92;

// The batch sizes of a run: small at first, so that the first rows' results show at once.
int batchSize(int index) {
    constexpr int First[] = {1, 4, 10};
    return index < 3 ? First[index] : InvoicePosting::MaxBatch;
}

InvoiceComponent::Lead renewal(RunLease& lease) {
    return {QStringLiteral("OtherNameModRq"),
            [&lease](QbxmlRequest& request) { lease.writeRenewal(request); },
            [&lease](const QbxmlAnswer& answer) { lease.readRenewal(answer); }};
}
} // namespace

// Gather ----------------------------------------------------------------------------------

bool GatherStep::settle(int line, const PostingJournal::Unanswered& lost) {
    Batch& batch = m_run.batch;
    if (lost.stage == PostingJournal::Unanswered::EmailFollowUp) {
        // The invoice exists; only its mark is unsettled.
        if (!m_run.storedMarks.contains(line))
            return false;
        m_run.journal.answered(line);
        try {
            m_run.invoice.readUpdateAnswer(m_run.storedMarks.value(line));
            m_run.write(line, Successful);
            ++m_run.done;
        } catch (const Failure& failure) {
            batch.failedLine = line;
            batch.failedText = NotMarked + errorText(failure);
        }
        return true;
    }
    const InvoiceComponent::AddOutcome outcome = m_run.settled.value(line);
    m_run.journal.answered(line);
    if (outcome.refused) {
        batch.failedLine = line;
        batch.failedText = errorText(*outcome.refused);
        return true;
    }
    if (outcome.txnId.isEmpty())
        return false;
    m_run.owns(line, outcome.txnId);
    m_run.write(line, Successful);
    ++m_run.done;
    return true;
}

// The batch's lines: up to its size of lines that need a request, ending early at a line that
// cannot be billed. A line whose lost write QuickBooks kept is written as it is met.
RunStep GatherStep::then() {
    if (m_run.host.stopRequested())
        return RunStep::Release;
    Batch& batch = m_run.batch;
    const int start = batch.next;
    batch = Batch();
    int line = start;
    for (; line < m_run.grid.lineCount() && batch.entries.size() < batchSize(m_run.batches) &&
           !batch.failedLine;
         ++line) {
        if (!m_run.walks(line))
            continue;
        if (const PostingJournal::Unanswered* lost = m_run.journal.unanswered(line)) {
            const PostingJournal::Unanswered write = *lost;
            if (settle(line, write))
                continue;
            if (write.stage == PostingJournal::Unanswered::EmailFollowUp) {
                // QuickBooks kept nothing of it: it goes again under the same ID.
                BatchEntry mark;
                mark.kind = BatchEntry::Mark;
                mark.line = line;
                mark.wanted.customer = m_run.grid.line(line).customer();
                mark.txnId = write.txnId;
                mark.markId = write.messageSetId;
                mark.again = true;
                batch.entries << mark;
                continue;
            }
            // The add was not carried out: the line goes as any other, when still wanted.
            if (!m_run.grid.line(line).send ||
                InvoicePosting::isPosted(m_run.grid.line(line).result))
                continue;
        }
        QString failure;
        const std::optional<RowInvoice> wanted = m_run.describe(line, &failure);
        if (!wanted) {
            batch.failedLine = line;
            batch.failedText = failure;
            continue;
        }
        BatchEntry add;
        add.line = line;
        add.wanted = *wanted;
        batch.entries << add;
    }
    batch.next = line;
    if (batch.entries.isEmpty())
        return RunStep::BatchDone;
    QStringList customers;
    for (const BatchEntry& entry : std::as_const(batch.entries))
        customers << entry.wanted.customer;
    m_run.progress(m_run.done, int(m_run.walked.size()), customers);
    if (batch.firstAdd() < 0)
        return RunStep::Marks;
    return m_run.lease.held() ? RunStep::Check : RunStep::Lease;
}

// Lease -----------------------------------------------------------------------------------

// The lease is held before the batch is checked, so that no other run adds between the check
// and the batch.
std::optional<StepRequest> LeaseStep::request() {
    if (m_run.lease.held())
        return std::nullopt;
    if (!std::exchange(m_begun, true))
        m_run.lease.beginTake();
    StepRequest request;
    request.body = m_run.lease.takeRequest(&request.query);
    return request;
}

Verdict LeaseStep::read(const QByteArray& answer) {
    m_run.lease.takeAnswer(answer);
    return std::nullopt;
}

// Another run's lease says it all; a question that failed says what it asked.
Verdict LeaseStep::failed(const Failure& failure) {
    const int line = m_run.batch.entries[m_run.batch.firstAdd()].line;
    m_run.write(line, failure.number() == QbError::RunInProgress
                          ? errorText(failure)
                          : unasked(failure, QStringLiteral("whether another billing run is "
                                                            "posting could not be looked up")));
    return RunStep::Release;
}

// Check -----------------------------------------------------------------------------------

// Asked just before the adds go, under the run's lease: what anyone added meanwhile is found
// and not added again.
void CheckStep::begin() {
    m_asking.clear();
    m_found.clear();
    m_from = m_to = QDate();
    QStringList customers;
    // Customers QuickBooks does not know have no invoices; the look-up, where made, told them.
    const bool lookedUp = m_run.email && !m_run.lookUpRefused;
    for (const BatchEntry& entry : std::as_const(m_run.batch.entries)) {
        if (entry.kind != BatchEntry::Add)
            continue;
        const QDate date = entry.wanted.txnDate;
        if (!m_from.isValid() || date < m_from)
            m_from = date;
        if (!m_to.isValid() || date > m_to)
            m_to = date;
        if ((!lookedUp || m_run.customer.found(entry.wanted.customer)) &&
            !customers.contains(entry.wanted.customer, Qt::CaseInsensitive))
            customers << entry.wanted.customer;
    }
    if (!customers.isEmpty())
        m_asking << customers;
}

std::optional<StepRequest> CheckStep::request() {
    if (m_asking.isEmpty())
        return std::nullopt;
    return StepRequest{m_run.invoice.invoicesQuery(m_asking.first(),
                                                   m_from.addDays(-CheckMarginDays),
                                                   m_to.addDays(CheckMarginDays)),
                       true};
}

Verdict CheckStep::read(const QByteArray& answer) {
    bool nameUnknown = false;
    const auto invoices = m_run.invoice.readInvoices(answer, &nameUnknown);
    const QStringList asked = m_asking.takeFirst();
    // QuickBooks answers for none when it does not know one: each is asked alone, and the one
    // it does not know has no invoice (its add is refused in turn).
    if (nameUnknown && asked.size() > 1)
        for (const QString& customer : asked)
            m_asking << QStringList{customer};
    for (const auto& existing : invoices)
        m_found[existing.customer.toCaseFolded()] << existing;
    return std::nullopt;
}

Verdict CheckStep::failed(const Failure& failure) {
    m_run.write(m_run.batch.entries[m_run.batch.firstAdd()].line,
                unasked(failure, QStringLiteral("the invoices QuickBooks already holds could not "
                                                "be looked up")));
    return RunStep::Release;
}

// An invoice of the customer for the line's item and period that no line of this list owns
// yet: the line's invoice, made by an earlier run, an earlier list of the same month, or
// someone else, whatever its date says now.
std::optional<InvoiceComponent::Existing> CheckStep::match(const RowInvoice& wanted) const {
    for (const auto& existing : m_found.value(wanted.customer.toCaseFolded())) {
        // Item names are unique in QuickBooks whatever their letter case.
        if (!m_run.owned.contains(existing.txnId) &&
            existing.item.compare(wanted.item, Qt::CaseInsensitive) == 0 &&
            existing.description.contains(wanted.period))
            return existing;
    }
    return std::nullopt;
}

RunStep CheckStep::then() {
    for (BatchEntry& entry : m_run.batch.entries) {
        if (entry.kind != BatchEntry::Add)
            continue;
        const auto existing = match(entry.wanted);
        if (!existing)
            continue;
        m_run.owned.insert(existing->txnId);
        entry.txnId = existing->txnId;
        // A run whose e-mail mark was lost, or someone else, left it marked to be printed.
        if (existing->toBePrinted && entry.wanted.email) {
            entry.kind = BatchEntry::Mark;
            entry.markId = PostingJournal::newMessageSetId();
            continue;
        }
        entry.kind = BatchEntry::Found;
        m_run.owns(entry.line, existing->txnId);
        m_run.write(entry.line, AlreadyThere);
        ++m_run.done;
    }
    return RunStep::Marks;
}

// Marks -----------------------------------------------------------------------------------

// Each mark is loaded from what the run knows of the invoice (the check), so that it costs
// one request; only when QuickBooks says the invoice changed meanwhile is it read again and
// the mark sent once more, under a new ID.
void MarksStep::begin() {
    m_at = -1;
    nextMark();
}

void MarksStep::nextMark() {
    const QList<BatchEntry>& entries = m_run.batch.entries;
    do
        ++m_at;
    while (m_at < entries.size() && entries[m_at].kind != BatchEntry::Mark);
    m_loaded = m_loading = m_readAgain = false;
}

std::optional<StepRequest> MarksStep::request() {
    if (m_at >= m_run.batch.entries.size())
        return std::nullopt;
    const BatchEntry& entry = m_run.batch.entries[m_at];
    InvoiceComponent& invoice = m_run.invoice;
    if (!m_loaded) {
        invoice.ClearInvoice();
        m_loaded = invoice.loadKnown(entry.txnId);
        if (!m_loaded) {
            m_loading = true;
            return StepRequest{invoice.loadQuery(entry.txnId), true};
        }
    }
    m_loading = false;
    invoice.SetRequestVersion(QStringLiteral("6.0"));
    invoice.ApplyConfig(EmailConfig);
    invoice.SetToBePrinted(false);
    invoice.setMessageSetId(entry.markId);
    return StepRequest{invoice.updateRequest().value_or(QByteArray()), false};
}

Verdict MarksStep::read(const QByteArray& answer) {
    const BatchEntry& entry = m_run.batch.entries[m_at];
    if (m_loading) {
        m_run.invoice.readLoaded(answer, entry.txnId);
        m_loaded = true;
        return std::nullopt;
    }
    m_run.invoice.readUpdateAnswer(answer);
    m_run.journal.answered(entry.line);
    m_run.owns(entry.line, entry.txnId);
    m_run.write(entry.line, entry.again ? Successful : NowMarked);
    ++m_run.done;
    nextMark();
    return std::nullopt;
}

// The invoice exists whatever befalls its mark: the line says both, and the run ends.
Verdict MarksStep::failed(const Failure& failure) {
    BatchEntry& entry = m_run.batch.entries[m_at];
    if (!m_loading && failure.number() == QbStatus::EditSequenceOutOfDate && !m_readAgain) {
        m_readAgain = true;
        m_loaded = false;
        entry.markId = PostingJournal::newMessageSetId();
        return std::nullopt;
    }
    // Not known to be made: the next run asks QuickBooks, and sends it again under its ID when
    // nothing was kept.
    if (neverAnswered(failure))
        m_run.journal.setUnanswered(entry.line,
                                    {entry.markId, PostingJournal::Unanswered::EmailFollowUp,
                                     entry.txnId, true, m_run.company, 0});
    else
        m_run.journal.answered(entry.line);
    m_run.owns(entry.line, entry.txnId);
    m_run.write(entry.line, NotMarked + errorText(failure));
    return RunStep::Release;
}

// After Stop, the batch's adds do not go; its marks, of invoices that exist, are made.
RunStep MarksStep::then() {
    if (m_run.batch.firstAdd() < 0)
        return RunStep::BatchDone;
    if (m_run.host.stopRequested()) {
        m_run.batch.stopped = true;
        return RunStep::BatchDone;
    }
    return RunStep::Adds;
}

// Adds ------------------------------------------------------------------------------------

// The batch's adds handed to the component, which keeps them for one message set.
void AddsStep::begin() {
    m_sent = false;
    InvoiceComponent& invoice = m_run.invoice;
    invoice.beginBatch();
    for (BatchEntry& entry : m_run.batch.entries) {
        if (entry.kind != BatchEntry::Add)
            continue;
        const RowInvoice& wanted = entry.wanted;
        entry.add = invoice.keptAdds();
        invoice.ClearInvoice();
        invoice.SetInvoiceCustomer(wanted.customer);
        invoice.SetTransactionDate(FixedForms::dateText(wanted.txnDate));
        invoice.SetDueDate(FixedForms::dateText(wanted.dueDate));
        invoice.SetToBePrinted(true);
        if (wanted.email) {
            invoice.SetRequestVersion(QStringLiteral("6.0"));
            invoice.ApplyConfig(EmailConfig);
        }
        invoice.SetLineCount(1);
        invoice.SetLineItem(0, wanted.item);
        invoice.SetLineDescription(0, wanted.description);
        invoice.SetLineQuantity(0, 1);
        invoice.SetLineAmount(0, wanted.hundredths);
        invoice.SetLineExtra(0, QString());
        invoice.AddInvoice();
        if (wanted.email) {
            // The add has not gone yet: marking it changes what goes, not a second request.
            const QString kept = invoice.AddedInvoiceId();
            invoice.ClearInvoice();
            invoice.loadKnown(kept);
            invoice.SetToBePrinted(false);
            invoice.updateRequest(); // a kept add's change: no request of its own
        }
    }
}

std::optional<StepRequest> AddsStep::request() {
    if (m_sent)
        return std::nullopt;
    m_sent = true;
    m_id = PostingJournal::newMessageSetId();
    m_run.underWay(m_run.batch.customers(BatchEntry::Add));
    return StepRequest{m_run.invoice.batchRequest(m_id, renewal(m_run.lease)), false};
}

// Each add's line written in order; a refusal ends the run there, the adds after it not
// carried out and their lines untouched.
Verdict AddsStep::read(const QByteArray& answer) {
    Batch& batch = m_run.batch;
    const int adds = int(batch.customers(BatchEntry::Add).size());
    const auto outcomes = m_run.invoice.readBatchAnswer(answer, adds, renewal(m_run.lease).read);
    m_run.underWay({});
    for (const BatchEntry& entry : std::as_const(batch.entries)) {
        if (entry.kind != BatchEntry::Add)
            continue;
        const InvoiceComponent::AddOutcome outcome = outcomes.value(entry.add);
        if (!outcome.txnId.isEmpty()) {
            m_run.owns(entry.line, outcome.txnId);
            m_run.write(entry.line, m_run.made(entry.wanted));
            ++m_run.done;
            continue;
        }
        batch.failedLine = entry.line;
        batch.failedText = errorText(
            outcome.refused ? *outcome.refused
                            : Failure(QbError::BadAnswer,
                                      QStringLiteral("QuickBooks sent an answer that could not be "
                                                     "read (no answer to this row's add).")));
        break;
    }
    return RunStep::BatchDone;
}

// A batch whose answer was lost: every one of its lines says so, and the next run settles
// them from what QuickBooks kept. A batch refused as a whole added nothing.
Verdict AddsStep::failed(const Failure& failure) {
    m_run.underWay({});
    const Batch& batch = m_run.batch;
    for (const BatchEntry& entry : batch.entries) {
        if (entry.kind != BatchEntry::Add)
            continue;
        if (!QbError::answerLost(failure.number())) {
            m_run.write(entry.line, errorText(failure));
            break;
        }
        m_run.journal.setUnanswered(entry.line, {m_id,
                                                 PostingJournal::Unanswered::Add,
                                                 {},
                                                 entry.wanted.email,
                                                 m_run.company,
                                                 entry.add + 2});
        m_run.write(entry.line, errorText(failure));
    }
    return RunStep::Release;
}

// BatchDone -------------------------------------------------------------------------------

RunStep BatchDoneStep::then() {
    Batch& batch = m_run.batch;
    if (batch.stopped)
        return RunStep::Release;
    if (batch.failedLine) {
        m_run.write(*batch.failedLine, batch.failedText);
        return RunStep::Release;
    }
    if (batch.next >= m_run.grid.lineCount())
        return RunStep::Release;
    ++m_run.batches;
    return RunStep::Gather;
}
