#include "posting/PostingRun.h"

#include "core/GridOperations.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoicePosting.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/RequestProcessor.h"

PostingRun::PostingRun(Collaborators with, QObject* parent)
    : QObject(parent)
    , m_processor(with.processor)
    , m_run(with.host, with.grid, with.invoice, with.customer, with.lease, with.items,
            with.journal) {
    m_run.written = [this](int line) { emit rowFinished(line); };
    m_run.progress = [this](int done, int total, const QStringList& customers) {
        emit progress(done, total, customers);
    };
    m_run.underWay = [this](const QStringList& customers) { emit underWay(customers); };
    const auto put = [this](RunStep step, std::unique_ptr<RunStepBase> object) {
        m_steps[size_t(step)] = std::move(object);
    };
    put(RunStep::Company, std::make_unique<CompanyStep>(m_run));
    put(RunStep::StoredAnswers, std::make_unique<StoredAnswersStep>(m_run));
    put(RunStep::Customers, std::make_unique<CustomersStep>(m_run));
    put(RunStep::Gather, std::make_unique<GatherStep>(m_run));
    put(RunStep::Lease, std::make_unique<LeaseStep>(m_run));
    put(RunStep::Check, std::make_unique<CheckStep>(m_run));
    put(RunStep::Marks, std::make_unique<MarksStep>(m_run));
    put(RunStep::Adds, std::make_unique<AddsStep>(m_run));
    put(RunStep::BatchDone, std::make_unique<BatchDoneStep>(m_run));
    put(RunStep::Release, std::make_unique<ReleaseStep>(m_run));
}

PostingRun::~PostingRun() {
    // A run that goes before its answer leaves nothing to call it back.
    if (running())
        m_processor.cancel();
}

bool PostingRun::start() {
    if (!m_run.host.confirm(QStringLiteral("Please make sure you have the Quickbooks file open "
                                           "for %1 and logged in as Admin. Continue?")
                                .arg(m_run.organisation()),
                            QStringLiteral("QB File Open")))
        return false;
    m_run.host.setBusy(true);
    m_run.email = m_run.host.emailBoxValue() == PostingHost::Checked;
    m_run.invoice.forgetFound();
    m_run.customer.forgetLookUps();
    m_run.owned = m_run.journal.invoices();
    for (int line = 0; line < m_run.grid.lineCount(); ++line)
        if (m_run.walks(line))
            m_run.walked << line;
    // The run shows from its first request on (no customers yet: it is asking QuickBooks).
    if (!m_run.walked.isEmpty())
        emit progress(0, int(m_run.walked.size()), {});
    go(RunStep::Company);
    return true;
}

void PostingRun::go(RunStep step) {
    for (;;) {
        m_step = step;
        if (step == RunStep::Done) {
            finish();
            return;
        }
        RunStepBase& current = *m_steps[size_t(step)];
        current.begin();
        if (const auto request = current.request()) {
            ask(*request);
            return;
        }
        step = current.then();
    }
}

void PostingRun::ask(const StepRequest& request) {
    m_asking = request;
    m_askedAgain = false;
    send();
}

// Taken on from the event loop, outside the channel's own handling of the answer.
void PostingRun::send() {
    m_processor.send(
        m_asking.body,
        [this](const QByteArray& answer) {
            QMetaObject::invokeMethod(
                this, [this, answer] { answered(answer); }, Qt::QueuedConnection);
        },
        [this](const Failure& failure) {
            QMetaObject::invokeMethod(
                this, [this, failure] { failed(failure); }, Qt::QueuedConnection);
        });
}

void PostingRun::answered(const QByteArray& answer) {
    Verdict verdict;
    try {
        verdict = m_steps[size_t(m_step)]->read(answer);
    } catch (const Failure& failure) {
        failed(failure);
        return;
    }
    follow(verdict);
}

// A query whose connection was lost or whose answer could not be read is asked once more on
// a fresh connection; every other failure is the step's to judge.
void PostingRun::failed(const Failure& failure) {
    if (m_asking.query && !std::exchange(m_askedAgain, true) &&
        (failure.number() == QbError::ConnectionLost || failure.number() == QbError::BadAnswer)) {
        m_processor.disconnect();
        send();
        return;
    }
    follow(m_steps[size_t(m_step)]->failed(failure));
}

void PostingRun::follow(const Verdict& verdict) {
    RunStepBase& current = *m_steps[size_t(m_step)];
    if (verdict)
        go(*verdict);
    else if (const auto request = current.request())
        ask(*request);
    else
        go(current.then());
}

// The list's finishing steps, once the lease is given back.
void PostingRun::finish() {
    // A run is one conversation, so that the Web Connector bridge keeps it to one company file.
    m_processor.disconnect();
    GridOperations& grid = m_run.grid;
    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.SetFixedRows(1);
    grid.SetFixedColumns(0);
    grid.Repaint();
    m_run.host.setBusy(false);
    QMetaObject::invokeMethod(
        this, [this] { emit finished(); }, Qt::QueuedConnection);
}
