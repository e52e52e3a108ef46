#pragma once

#include "app/MessageBoxes.h"
#include "billing/BillingInputs.h"
#include "billing/PassedOver.h"
#include "core/Clock.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PostingJournal.h"
#include "posting/RunLease.h"
#include "qbxml/RequestProcessor.h"
#include "ui/DatePicker.h"
#include "ui/LinkLine.h"
#include "ui/RunLine.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class BillingGrid;
class ContactFill;
class DatabaseThread;
struct RunSummary;
class InvoiceRun;

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// The main window: its controls, their layout and its commands. The handlers stay thin: they
// check the clerk's choices and call the billing list and the invoice run, which do the work.
class frmCreateInvoices : public QWidget, public BillingInputs {
    Q_OBJECT
public:
    // What the window is given by start-up: the contact database its list is filled from, the
    // items its invoices bill, the end of the program (Exit), and what it reads and shows
    // beyond its own controls.
    struct Setup {
        DatabaseThread& database;
        PostingItems items;
        std::function<void()> endProgram;
        // Today's date (the month the window offers), the printed list's time and the run's
        // lease.
        const Clock& clock = Clock::system();
        // The window's message boxes: each shown and answered as MessageBoxes::show does.
        MessageBoxes::Handler messages = &MessageBoxes::show;
        // Where Print puts the list: empty for a printer chosen in the print dialog; a PDF
        // file's path writes that file without the dialog.
        QString printFile = {};
        // How long QuickBooks' answer to one request is waited for.
        int answerTimeoutMs = RequestProcessor::DefaultAnswerTimeoutMs;
    };
    explicit frmCreateInvoices(Setup setup, QWidget* parent = nullptr);
    ~frmCreateInvoices() override;

    // BillingInputs: the choices as the controls hold them now.
    QString organisation() const override;
    QString billingMethod() const override;
    QDate startDate() const override;
    QDate endDate() const override;

    // The organisation of the list on screen: the one the last fill was made for, or the list
    // box's text before the first fill.
    QString listOrganisation() const;

private slots:
    void btnRefresh_Click();
    void btnSelectAll_Click();
    void btnSelectNone_Click();
    void btnPrint_Click();
    void btnExit_Click();
    void btnCreateInvoices_Click();
    void vsfgList_CellEditRequested(int row, int column, bool& cancel);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter or F2 on a row: its whole "Result", read-only and copyable.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The controls, named as the clerks' instructions name them; tests find them by these
    // object names.
    DatePicker* dtStartDate;
    DatePicker* dtEndDate;
    QComboBox* cmbCompany;
    QComboBox* cmbPayment;
    QPushButton* btnRefresh;
    BillingGrid* vsfgList;
    QPushButton* btnPrint;
    QPushButton* btnSelectNone;
    QPushButton* btnSelectAll;
    QPushButton* btnCreateInvoices;
    QPushButton* btnExit;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label2;
    QCheckBox* chkEmail;
    // Under the list: who the last fill passed over for data it could not use; a click shows
    // them all.
    LinkLine* lblPassedOver;
    // Under the list too: how the last invoice run ended, red where it stopped at an error.
    RunLine* lblRunEnded;
    // Above the list's right end: "15 listed, 9 checked, $2,350.00", kept current.
    QLabel* lblCounts;

    Setup m_setup;
    // The channel to the open company file, shared by the two integration components. It is
    // declared before them: they hold a reference to it, so it must be built first and go last.
    RequestProcessor m_processor;
    InvoiceComponent Invoice1;
    CustomerComponent Customer1;
    // One billing run at a time in the company file, whoever else posts to it.
    RunLease m_lease;

    void createControls();
    // The lists' entries, nothing chosen, and next month's first and last days.
    void setInitialChoices();
    // Places the list, the buttons and the lines under the list for the window's size.
    void layOutControls();
    void showRunEnded(const RunSummary& summary);
    void showResult(int line);
    // A whole text in a box of its own, selected for Ctrl+C.
    void showText(const QString& objectName, const QString& title, const QString& text);
    void countsChanged();
    void place(QWidget* control, int left, int top, int width, int height);
    void setSendCells(bool checked);
    // Every control but Exit, which during a run closes the window after the invoice in flight.
    void setControlsEnabled(bool enabled);

    PassedOver m_passedOver;
    // What the invoice runs of the list on screen know beyond the grid; a fill starts anew.
    PostingJournal m_journal;
    std::unique_ptr<InvoiceRun> m_run;
    std::unique_ptr<ContactFill> m_fill;
};
