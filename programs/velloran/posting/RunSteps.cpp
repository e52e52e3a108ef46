#include "posting/RunSteps.h"

#include "core/GridOperations.h"
#include "posting/CustomerComponent.h"
#include "posting/RunLease.h"
#include "qbxml/MessageSetRecovery.h"
#include "qbxml/QbxmlAnswer.h"

using namespace RunResults;

// Company ---------------------------------------------------------------------------------

std::optional<StepRequest> CompanyStep::request() {
    if (m_asked || m_run.walked.isEmpty())
        return std::nullopt;
    return StepRequest{m_run.invoice.companyQuery(), true};
}

// A line whose answer is awaited from another company stops the run before anything is
// asked for it.
Verdict CompanyStep::read(const QByteArray& answer) {
    m_asked = true;
    m_run.company = InvoiceComponent::readCompanyName(answer);
    for (const int line : m_run.journal.unansweredRows()) {
        const QString sentTo = m_run.journal.unanswered(line)->company;
        if (sentTo.isEmpty() || sentTo == m_run.company)
            continue;
        m_run.write(line, errorText(Failure(
                              QbError::OtherCompanyOpen,
                              QStringLiteral("QuickBooks has the company %1 open, but this row's "
                                             "invoice was sent to %2 and its answer is still "
                                             "awaited: open %2 and Create Invoices again.")
                                  .arg(m_run.company, sentTo))));
        return RunStep::Release;
    }
    return std::nullopt;
}

Verdict CompanyStep::failed(const Failure& failure) {
    m_run.write(m_run.walked.first(), errorText(failure));
    return RunStep::Release;
}

RunStep CompanyStep::then() {
    return m_run.walked.isEmpty() ? RunStep::Release : RunStep::StoredAnswers;
}

// Stored answers ----------------------------------------------------------------------------

void StoredAnswersStep::begin() {
    m_ids.clear();
    m_stored.clear();
    for (const int line : m_run.journal.unansweredRows())
        if (!m_ids.contains(m_run.journal.unanswered(line)->messageSetId))
            m_ids << m_run.journal.unanswered(line)->messageSetId;
}

std::optional<StepRequest> StoredAnswersStep::request() {
    if (m_stored.size() == m_ids.size())
        return std::nullopt;
    return StepRequest{m_run.invoice.statusCheck(m_ids[m_stored.size()]), true};
}

Verdict StoredAnswersStep::read(const QByteArray& answer) {
    m_stored.insert(m_ids[m_stored.size()], MessageSetRecovery::readStatusCheck(answer));
    return std::nullopt;
}

Verdict StoredAnswersStep::failed(const Failure& failure) {
    const QString id = m_ids[m_stored.size()];
    for (const int line : m_run.journal.unansweredRows())
        if (m_run.journal.unanswered(line)->messageSetId == id) {
            m_run.write(line, errorText(failure));
            break;
        }
    return RunStep::Release;
}

// Each lost add's outcome from its set's kept answer, and each lost mark's kept answer.
RunStep StoredAnswersStep::then() {
    QHash<QString, QList<InvoiceComponent::AddOutcome>> outcomes;
    const QList<int> lines = m_run.journal.unansweredRows();
    for (const int line : lines) {
        const PostingJournal::Unanswered lost = *m_run.journal.unanswered(line);
        const std::optional<QByteArray>& answer = m_stored[lost.messageSetId];
        if (answer)
            m_run.keptSets.insert(lost.messageSetId);
        if (lost.stage == PostingJournal::Unanswered::EmailFollowUp) {
            if (answer)
                m_run.storedMarks.insert(line, *answer);
            continue;
        }
        InvoiceComponent::AddOutcome outcome;
        if (answer) {
            if (!outcomes.contains(lost.messageSetId)) {
                int adds = 0;
                for (const int other : lines)
                    if (m_run.journal.unanswered(other)->messageSetId == lost.messageSetId)
                        adds = qMax(adds, m_run.journal.unanswered(other)->position - 1);
                try {
                    outcomes.insert(lost.messageSetId,
                                    m_run.invoice.readBatchAnswer(*answer, adds, {}));
                } catch (const Failure& failure) {
                    // A kept answer that makes no sense: the line says so, and nothing of its
                    // set goes again.
                    outcomes.insert(lost.messageSetId, {});
                    outcome.refused = failure;
                }
            }
            if (!outcome.refused)
                outcome = outcomes[lost.messageSetId].value(lost.position - 2);
        }
        if (!outcome.txnId.isEmpty())
            m_run.owned.insert(outcome.txnId);
        m_run.settled.insert(line, outcome);
    }
    return RunStep::Customers;
}

// Customers -------------------------------------------------------------------------------

QStringList CustomersStep::names() const {
    QStringList names;
    for (const int line : std::as_const(m_run.walked))
        names << m_run.grid.line(line).customer();
    return names;
}

// Only for the e-mail mark: with "Mark To Email" off nothing is looked up.
std::optional<StepRequest> CustomersStep::request() {
    if (!m_run.email || m_run.lookUpRefused)
        return std::nullopt;
    const auto request = m_run.customer.nextLookUp(names());
    if (!request)
        return std::nullopt;
    return StepRequest{*request, true};
}

Verdict CustomersStep::read(const QByteArray& answer) {
    m_run.customer.takeLookUp(answer);
    return std::nullopt;
}

// A look-up QuickBooks refused only leaves the invoices unmarked; one it never answered is a
// lost connection, and nothing more is sent.
Verdict CustomersStep::failed(const Failure& failure) {
    if (!neverAnswered(failure)) {
        m_run.lookUpRefused = failure;
        return RunStep::Gather;
    }
    m_run.write(m_run.walked.first(),
                unasked(failure, QStringLiteral("whether %1 is e-mailed could not be looked up")
                                     .arg(names().constFirst())));
    return RunStep::Release;
}

// Release ---------------------------------------------------------------------------------

// The lease given back and the kept answers forgotten, each whatever its answer: left behind,
// a stored answer harms nobody, and a lease runs out.
void ReleaseStep::begin() {
    m_requests.clear();
    if (const auto release = m_run.lease.releaseRequest())
        m_requests << *release;
    for (const int line : m_run.journal.unansweredRows())
        m_run.keptSets.remove(m_run.journal.unanswered(line)->messageSetId);
    for (const QString& id : std::as_const(m_run.keptSets))
        m_requests << m_run.invoice.forgetRequest(id);
    m_run.keptSets.clear();
}

std::optional<StepRequest> ReleaseStep::request() {
    if (m_requests.isEmpty())
        return std::nullopt;
    return StepRequest{m_requests.takeFirst(), false};
}
