#pragma once

#include "app/MessageBoxes.h"
#include "posting/InvoicePosting.h"
#include "posting/RunSummary.h"

#include <QList>
#include <QPointer>
#include <functional>
#include <memory>

class BillingGrid;
class CustomerComponent;
class InvoiceComponent;
class PostingJournal;
class PostingRun;
class QCheckBox;
class QWidget;
class RequestProcessor;
class RunLease;
class RunProgress;

// The main window's invoice run: what the run asks of the window (the list's organisation,
// the e-mail box, the question, the pointer), its progress dialog, Stop and a close that wait
// for the batch in flight, and the list shown where this run left it. The run goes on from
// QuickBooks' answers while the window handles its events.
class InvoiceRun : public PostingHost {
public:
    // What the window lends the run: itself and its controls, its connection to QuickBooks and
    // what it keeps of the list's runs.
    struct FromWindow {
        QWidget* window;
        BillingGrid* grid;
        QCheckBox* email;
        RequestProcessor* processor;
        InvoiceComponent* invoice;
        CustomerComponent* customer;
        RunLease* lease;
        PostingJournal* journal;
        // The items the invoices bill, as config.txt names them.
        PostingItems items;
        // The window's message boxes (the question before the run).
        MessageBoxes::Handler messages;
        // The organisation of the list on screen.
        std::function<QString()> organisation;
        // Every control of the window but Exit, on or off.
        std::function<void(bool)> enableControls;
        // The run has ended, as summary tells; close is true when a close came during it, so
        // that the window closes now.
        std::function<void(const RunSummary& summary, bool close)> ended;
    };
    explicit InvoiceRun(FromWindow window);
    ~InvoiceRun() override;

    bool running() const { return m_posting != nullptr; }
    // Starts billing the list's checked rows and returns; ended follows when the run ends (at
    // once when the clerk answers No).
    void run();
    // A close during the run (the close box, Alt+F4, Exit, SIGTERM) waits for the batch in
    // flight and its results, as Stop does, and says so; a second one changes nothing.
    void closeAfterThisInvoice();

    // PostingHost
    QString listOrganisation() const override;
    int emailBoxValue() const override;
    bool confirm(const QString& text, const QString& caption) override;
    void setBusy(bool busy) override;
    bool stopRequested() override;

private:
    void progress(int done, int total, const QStringList& customers);
    void rowFinished(int line);
    void finished();

    FromWindow m_window;
    std::unique_ptr<PostingRun> m_posting;
    bool m_closeAfterRun = false;
    bool m_answered = false; // the clerk answered Yes
    // The lines whose "Result" this run writes, to be told from older ones; and the clerk's
    // selection, which the end of the run's grid steps would lose.
    QList<int> m_written;
    QList<int> m_selected;
    // The run's dialog, which knows whether Stop was asked.
    QPointer<RunProgress> m_progress;
};
