#pragma once

#include "posting/RunContext.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

// The steps of an invoice run, in the order a run takes them. Each batch of lines goes
// through Gather to BatchDone, which starts the next or ends the run with Release.
enum class RunStep {
    Company,       // which company QuickBooks has open
    StoredAnswers, // what QuickBooks kept of the last run's lost writes
    Customers,     // the customers' e-mail addresses, with "Mark To Email" on
    Gather,        // the next batch of lines (no request)
    Lease,         // the run's lease on the company file, before its first adds
    Check,         // the batch's invoices QuickBooks already holds
    Marks,         // e-mail marks of invoices found still to be printed, or lost
    Adds,          // the batch's adds, as one message set behind the lease's renewal
    BatchDone,     // the next batch, or the end (no request)
    Release,       // the lease given back, the kept answers forgotten
    Done,
};
constexpr int RunStepCount = int(RunStep::Done);

// One request of a step; a query (it changes nothing) may be asked once more when its
// connection was lost or its answer could not be read.
struct StepRequest {
    QByteArray body;
    bool query = false;
};

// Where an answer leads: on with the same step (none), or to another.
using Verdict = std::optional<RunStep>;

// A step: its requests one at a time, the reader of each answer and of each failure, and the
// step that follows once it asks nothing more. A reader that throws Failure has it handed to
// failed, as a failure of the channel is.
class RunStepBase {
public:
    explicit RunStepBase(RunContext& run)
        : m_run(run) {}
    virtual ~RunStepBase() = default;
    RunStepBase(const RunStepBase&) = delete;
    RunStepBase& operator=(const RunStepBase&) = delete;

    virtual void begin() {}
    virtual std::optional<StepRequest> request() { return std::nullopt; }
    virtual Verdict read(const QByteArray&) { return std::nullopt; }
    virtual Verdict failed(const Failure&) { return RunStep::Release; }
    virtual RunStep then() = 0;

protected:
    RunContext& m_run;
};

class CompanyStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override { m_asked = false; }
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override;

private:
    bool m_asked = false;
};

class StoredAnswersStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override;
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override;

private:
    QStringList m_ids;
    QHash<QString, std::optional<QByteArray>> m_stored;
};

class CustomersStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override { return RunStep::Gather; }

private:
    QStringList names() const;
};

class ReleaseStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override;
    std::optional<StepRequest> request() override;
    Verdict failed(const Failure&) override { return std::nullopt; } // left to run out
    RunStep then() override { return RunStep::Done; }

private:
    QList<QByteArray> m_requests;
};
