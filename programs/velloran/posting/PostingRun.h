#pragma once

#include "posting/BatchSteps.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <memory>

class RequestProcessor;

// One Create Invoices, driven by QuickBooks' answers: every checked row that has no invoice
// yet becomes one invoice, "Successful" or the error written into its "Result", and the run
// stops at the first failure. The rows go in batches, each under the run's lease (one run at a
// time in a company file), and just before each batch QuickBooks is asked for its rows'
// invoices, which an earlier list of the month or someone else may have made; a row whose
// answer was lost in an earlier run of the list (the journal keeps it) is settled from the
// answer QuickBooks kept, so that no member is billed twice. The run goes step by step
// (RunStep), each request sent and the run taken on when its answer arrives: between them the
// event loop runs, and nothing waits.
class PostingRun : public QObject {
    Q_OBJECT
public:
    // What the run works with: who asks the clerk, the list, the channel to QuickBooks, the
    // two components, the lease, the items billed and what the list's runs remember.
    struct Collaborators {
        PostingHost& host;
        GridOperations& grid;
        RequestProcessor& processor;
        InvoiceComponent& invoice;
        CustomerComponent& customer;
        RunLease& lease;
        const PostingItems& items;
        PostingJournal& journal;
    };
    explicit PostingRun(Collaborators with, QObject* parent = nullptr);
    ~PostingRun() override;

    // Asks the clerk to confirm and starts; false when the answer was No, and nothing else
    // happens then. Once started, finished comes exactly once.
    bool start();
    bool running() const { return m_step != RunStep::Done; }
    RunStep step() const { return m_step; }

signals:
    // Before each batch: how many of the run's rows are done, of how many, and the customers
    // of the batch's rows; at the start, before anything is asked, with no customers.
    void progress(int done, int total, const QStringList& customers);
    // The customers whose invoices have been sent and await QuickBooks' answer; none once it
    // has come.
    void underWay(const QStringList& customers);
    // A row's outcome is written.
    void rowFinished(int row);
    // The run has ended and its finishing steps are done.
    void finished();

private:
    // Enters step and asks its requests, taking on the steps that follow while one asks
    // nothing.
    void go(RunStep step);
    void ask(const StepRequest& request);
    void send();
    void answered(const QByteArray& answer);
    void failed(const Failure& failure);
    // After an answer or a failure: the step named, or the same step's next request, or the
    // step after it.
    void follow(const Verdict& verdict);
    void finish();

    RequestProcessor& m_processor;
    RunContext m_run;
    std::array<std::unique_ptr<RunStepBase>, RunStepCount> m_steps;
    RunStep m_step = RunStep::Done;
    StepRequest m_asking;
    bool m_askedAgain = false;
};
