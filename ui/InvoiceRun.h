#pragma once

#include "posting/InvoicePosting.h"

#include <QPointer>
#include <functional>

class BillingGrid;
class CustomerComponent;
class InvoiceComponent;
class PostingJournal;
class QCheckBox;
class QWidget;
class RequestProcessor;
class RunLease;
class RunProgress;

// The main window's invoice run: what the run asks of the window (the list's organisation,
// the e-mail box, the question, the pointer), its progress dialog, Stop and a close that wait
// for the invoice in flight, and the list shown where this run left it.
class InvoiceRun : public PostingHost {
public:
    struct Parts {
        QWidget* window;
        BillingGrid* grid;
        QCheckBox* email;
        RequestProcessor* processor;
        InvoiceComponent* invoice;
        CustomerComponent* customer;
        RunLease* lease;
        PostingJournal* journal;
        // The organisation of the list on screen.
        std::function<QString()> organisation;
        // Every control of the window but Exit, on or off.
        std::function<void(bool)> enableControls;
    };
    explicit InvoiceRun(Parts parts);

    bool running() const { return m_running; }
    // Bills the list's checked rows; true when a close came during the run, so that the
    // window closes now.
    bool run();
    // A close during the run (the close box, Alt+F4, Exit, SIGTERM) waits for the invoice in
    // flight and its result, as Stop does, and says so; a second one changes nothing.
    void closeAfterThisInvoice();

    // PostingHost
    QString listOrganisation() const override;
    int emailBoxValue() const override;
    bool confirm(const QString& text, const QString& caption) override;
    void setBusy(bool busy) override;
    void progress(int done, int total, const QStringList& customers) override;
    void rowFinished(int row) override;
    bool stopRequested() override;

private:
    Parts m_parts;
    bool m_running = false;
    bool m_closeAfterRun = false;
    // The run's dialog, which knows whether Stop was asked.
    QPointer<RunProgress> m_progress;
};
