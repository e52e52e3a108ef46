#pragma once

#include "TestSupport.h"
#include "app/Module1.h"
#include "grid/BillingGrid.h"
#include "ui/DatePicker.h"
#include "ui/LinkLine.h"
#include "ui/frmCreateInvoices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

// The main window as the tests drive it: made as start-up makes it, from what start-up read
// (TestSupport::startOn first), with its controls found by their object names, as a clerk's
// instructions and the accessibility tools find them.
class TestWindow : public frmCreateInvoices {
public:
    // As start-up makes it, with the tests' clock and message boxes.
    static Setup setup() {
        return Setup{Module1::database(),
                     {Module1::chamberItemName(), Module1::foundationItemName()},
                     &Module1::CloseAndEnd,
                     TestSupport::clock(),
                     TestSupport::boxes()};
    }
    explicit TestWindow(const Setup& setup = TestWindow::setup())
        : frmCreateInvoices(setup) {}

    template <typename Control> Control* control(const char* name) const {
        auto* found = findChild<Control*>(QLatin1String(name));
        if (!found)
            qFatal("the window has no control named %s", name);
        return found;
    }

    DatePicker* const dtStartDate = control<DatePicker>("dtStartDate");
    DatePicker* const dtEndDate = control<DatePicker>("dtEndDate");
    QComboBox* const cmbCompany = control<QComboBox>("cmbCompany");
    QComboBox* const cmbPayment = control<QComboBox>("cmbPayment");
    QPushButton* const btnRefresh = control<QPushButton>("btnRefresh");
    BillingGrid* const vsfgList = control<BillingGrid>("vsfgList");
    QPushButton* const btnPrint = control<QPushButton>("btnPrint");
    QPushButton* const btnSelectNone = control<QPushButton>("btnSelectNone");
    QPushButton* const btnSelectAll = control<QPushButton>("btnSelectAll");
    QPushButton* const btnCreateInvoices = control<QPushButton>("btnCreateInvoices");
    QPushButton* const btnExit = control<QPushButton>("btnExit");
    QLabel* const Label1 = control<QLabel>("Label1");
    QLabel* const Label2 = control<QLabel>("Label2");
    QLabel* const Label3 = control<QLabel>("Label3");
    QLabel* const Label4 = control<QLabel>("Label4");
    QCheckBox* const chkEmail = control<QCheckBox>("chkEmail");
    LinkLine* const lblPassedOver = control<LinkLine>("lblPassedOver");
    QLabel* const lblRunEnded = control<QLabel>("lblRunEnded");
    QLabel* const lblCounts = control<QLabel>("lblCounts");
};
