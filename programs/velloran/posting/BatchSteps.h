#pragma once

#include "posting/RunSteps.h"

// The steps of one batch of lines, from Gather to BatchDone.

class GatherStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    RunStep then() override;

private:
    // A line whose last write's answer was lost, written from what QuickBooks kept; false when
    // nothing of it was carried out.
    bool settle(int line, const PostingJournal::Unanswered& lost);
};

class LeaseStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override { m_begun = false; }
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override { return RunStep::Check; }

private:
    bool m_begun = false;
};

class CheckStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override;
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override;

private:
    std::optional<InvoiceComponent::Existing> match(const RowInvoice& wanted) const;
    // The customers still to ask about: one request, or each alone once QuickBooks did not
    // know one of them.
    QList<QStringList> m_asking;
    QDate m_from, m_to;
    QHash<QString, QList<InvoiceComponent::Existing>> m_found; // by customer, case-folded
};

class MarksStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override;
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override;

private:
    void nextMark();
    int m_at = 0;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_readAgain = false;
};

class AddsStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    void begin() override;
    std::optional<StepRequest> request() override;
    Verdict read(const QByteArray& answer) override;
    Verdict failed(const Failure& failure) override;
    RunStep then() override { return RunStep::BatchDone; }

private:
    bool m_sent = false;
    QString m_id;
};

class BatchDoneStep : public RunStepBase {
public:
    using RunStepBase::RunStepBase;
    RunStep then() override;
};
