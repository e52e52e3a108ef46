#pragma once

#include "billing/BillingInputs.h"
#include "billing/PassedOver.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/PostingJournal.h"
#include "posting/RunLease.h"
#include "qbxml/RequestProcessor.h"
#include "ui/DatePicker.h"
#include "ui/LinkLine.h"

#include <QWidget>
#include <memory>
#include <optional>

class BillingGrid;
class ContactFill;
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
    explicit frmCreateInvoices(QWidget* parent = nullptr);
    ~frmCreateInvoices() override;

    // BillingInputs: the choices as the controls hold them now.
    QString organisation() const override;
    QString billingMethod() const override;
    QDate startDate() const override;
    QDate endDate() const override;

    // The organisation of the list on screen: the one the last fill was made for, or the list
    // box's text before the first fill.
    QString listOrganisation() const;

    // The channel to QuickBooks, for tests that shorten its answer time-out.
    RequestProcessor& processor() { return m_processor; }

    // The controls, named as the rest of the program and its tests know them.
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
    QLabel* lblRunEnded;
    // Above the list's right end: "15 listed, 9 checked, $2,350.00", kept current.
    QLabel* lblCounts;

private:
    // The channel to the open company file, shared by the two integration components. It is
    // declared before them: they hold a reference to it, so it must be built first and go last.
    RequestProcessor m_processor;

public:
    InvoiceComponent Invoice1;
    CustomerComponent Customer1;

private:
    // One billing run at a time in the company file, whoever else posts to it.
    RunLease m_lease{m_processor};

public slots:
    void btnRefresh_Click();
    void btnSelectAll_Click();
    void btnSelectNone_Click();
    void btnPrint_Click();
    void btnExit_Click();
    void btnCreateInvoices_Click();
    void vsfgList_CellEditRequested(int row, int column, bool& cancel);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showRunEnded(const RunSummary& summary);
    // Enter or F2 on a row: its whole "Result", read-only and copyable.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showResult(int row);
    void countsChanged();
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void Form_Load();
    void Form_Resize();
    void place(QWidget* control, int left, int top, int width, int height);
    void setSendCells(bool checked);
    // Every control but Exit, which during a run closes the window after the invoice in flight.
    void setControlsEnabled(bool enabled);

    // The organisation the last fill was made for; none before the first fill.
    std::optional<QString> m_filledOrganisation;
    PassedOver m_passedOver;
    // What the invoice runs of the list on screen know beyond the grid; a fill starts anew.
    PostingJournal m_journal;
    std::unique_ptr<InvoiceRun> m_run;
    std::unique_ptr<ContactFill> m_fill;
};
