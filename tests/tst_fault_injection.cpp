// Faults injected into real parts: a company-file host that dies, refuses, garbles, cuts its
// answer short or never answers during a run, and a contact database that is locked between
// two fills. Whatever happens, no member is billed twice without the row saying so, and the
// program never hangs.

#include "QbHostProcess.h"
#include "TestSupport.h"

#include "app/FailureReport.h"
#include "app/Module1.h"
#include "app/VelloranApplication.h"
#include "grid/BillingGrid.h"
#include "grid/GridColumns.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/RequestProcessor.h"
#include "ui/frmCreateInvoices.h"

#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {
const QStringList Members{"Abbott & Sons Hardware", "Birchwood Bakery", "Café Lumière",
                          "Dunmore Legal LLP", "Evergreen Landscaping"};

struct Host : PostingHost {
    QString listOrganisation() const override {
        return QStringLiteral("Kestlemere Chamber of Commerce");
    }
    int emailBoxValue() const override { return 0; }
    bool confirm(const QString&, const QString&) override { return true; }
    void setBusy(bool) override {}
};

// One checked quarterly row per member.
void fillMembers(BillingGrid& grid) {
    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
    for (const QString& member : Members)
        grid.AppendRow(QStringList{"True", member, "Contact", "250", "1000", "06/15/2018",
                                   "Quarterly", "3/1/2027", "3/15/2027"}
                           .join(u'\t'));
    grid.SetFixedRows(1);
}

QStringList resultsOf(const BillingGrid& grid) {
    QStringList results;
    for (int row = 1; row < grid.RowCount(); ++row)
        results << grid.CellText(row, GridColumns::Result);
    return results;
}

// How many invoices the company file holds for each customer.
QMap<QString, int> billed(const QbHostProcess& host) {
    QMap<QString, int> count;
    for (const QJsonObject& invoice : host.invoices())
        ++count[invoice.value("customer").toString()];
    return count;
}

// Posts the grid once through a fresh channel to the host.
void postOnce(const QbHostProcess& qb, BillingGrid& grid, int answerTimeoutMs = 60000) {
    RequestProcessor processor(qb.socketPath());
    processor.setAnswerTimeoutMs(answerTimeoutMs);
    InvoiceComponent invoice(processor);
    CustomerComponent customer(processor);
    Host host;
    InvoicePosting::CreateInvoices(host, grid, invoice, customer,
                                   {QStringLiteral("Membership Dues"), QStringLiteral("Pledge")});
}
} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT
private slots:
    void hostDiesBeforeStoring();
    void hostDiesAfterStoringIsTheDuplicateWindow();
    void statusErrorStopsTheRun();
    void malformedAnswer();
    void truncatedFrame();
    void hostThatNeverAnswers();
    void lockedDatabaseIsReported();
};

void TestFaultInjection::hostDiesBeforeStoring() {
    QbHostProcess qb(Members, {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--fault"), QStringLiteral("die-before-store@3")}));
    BillingGrid grid;
    fillMembers(grid);
    postOnce(qb, grid);
    QStringList results = resultsOf(grid);
    QCOMPARE(results.mid(0, 2), (QStringList{"Successful", "Successful"}));
    QVERIFY2(results[2].startsWith(
                 QStringLiteral("Error -2147220447: The connection to QuickBooks was lost")),
             qPrintable(results[2]));
    QCOMPARE(results.mid(3), (QStringList{"", ""}));
    QCOMPARE(qb.invoices().size(), 2);

    // The clerk restarts QuickBooks and runs again: exactly the rows without an invoice.
    qb.stop();
    QVERIFY(qb.start());
    postOnce(qb, grid);
    QCOMPARE(resultsOf(grid), QStringList(Members.size(), QStringLiteral("Successful")));
    const QMap<QString, int> count = billed(qb);
    QCOMPARE(count.size(), Members.size());
    for (const QString& member : Members)
        QCOMPARE(count.value(member), 1);
}

void TestFaultInjection::hostDiesAfterStoringIsTheDuplicateWindow() {
    QbHostProcess qb(Members, {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--fault"), QStringLiteral("die-after-store@2")}));
    BillingGrid grid;
    fillMembers(grid);
    postOnce(qb, grid);
    QVERIFY(resultsOf(grid)[1].startsWith(QStringLiteral("Error -2147220447:")));
    // The invoice of row 2 was stored, but its answer never came: the row cannot know.
    QCOMPARE(qb.invoices().size(), 2);
    QVERIFY(resultsOf(grid)[1].contains(QStringLiteral("Check in QuickBooks")));

    qb.stop();
    QVERIFY(qb.start());
    postOnce(qb, grid);
    const QMap<QString, int> count = billed(qb);
    // The one window in which a member can be billed twice: the row that shows the lost
    // connection, when the host had stored its invoice before it died.
    QCOMPARE(count.value(Members[1]), 2);
    for (const QString& member : Members)
        if (member != Members[1])
            QCOMPARE(count.value(member), 1);
}

void TestFaultInjection::statusErrorStopsTheRun() {
    QbHostProcess qb(Members, {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--refuse"), QStringLiteral("InvoiceAdd")}));
    BillingGrid grid;
    fillMembers(grid);
    postOnce(qb, grid);
    QVERIFY(resultsOf(grid)[0].startsWith(QStringLiteral("Error 3170: ")));
    QCOMPARE(resultsOf(grid).mid(1), QStringList(Members.size() - 1, QString()));
    QCOMPARE(qb.invoices().size(), 0);
}

void TestFaultInjection::malformedAnswer() {
    QbHostProcess qb(Members, {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--fault"), QStringLiteral("garble@1")}));
    BillingGrid grid;
    fillMembers(grid);
    postOnce(qb, grid);
    QVERIFY2(resultsOf(grid)[0].startsWith(QStringLiteral(
                 "Error -2147220445: QuickBooks sent an answer that could not be read")),
             qPrintable(resultsOf(grid)[0]));
    QCOMPARE(resultsOf(grid)[1], QString());
}

void TestFaultInjection::truncatedFrame() {
    QbHostProcess qb(Members, {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--fault"), QStringLiteral("truncate@2")}));
    BillingGrid grid;
    fillMembers(grid);
    postOnce(qb, grid);
    QCOMPARE(resultsOf(grid)[0], QStringLiteral("Successful"));
    QVERIFY(resultsOf(grid)[1].startsWith(QStringLiteral("Error -2147220447:")));
    QCOMPARE(resultsOf(grid)[2], QString());
}

void TestFaultInjection::hostThatNeverAnswers() {
    QbHostProcess qb(Members, {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--fault"), QStringLiteral("mute@1")}));
    BillingGrid grid;
    fillMembers(grid);
    QElapsedTimer timer;
    timer.start();
    postOnce(qb, grid, 1500);
    QVERIFY(timer.elapsed() < 20000);
    QCOMPARE(
        resultsOf(grid)[0],
        QStringLiteral("Error -2147220446: QuickBooks did not answer within 1.5 seconds. Check "
                       "in QuickBooks whether the request was carried out before trying again."));
    // The host lives on; a new run on a new connection is answered.
    postOnce(qb, grid);
    QCOMPARE(resultsOf(grid)[1], QStringLiteral("Successful"));
}

void TestFaultInjection::lockedDatabaseIsReported() {
    QTemporaryDir dir;
    const QString db = TestSupport::makeContacts(dir.path());
    // The driver waits a second for a lock before it gives up.
    TestSupport::startOn(dir.path(), db, QStringLiteral("Timeout=1000;"));

    frmCreateInvoices w;
    w.cmbCompany->setCurrentIndex(0);
    w.cmbPayment->setCurrentIndex(1);
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.show();
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(w.vsfgList->RowCount() > 1);

    // Another program takes the database for itself between two fills.
    {
        QSqlDatabase locker =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        locker.setDatabaseName(db);
        QVERIFY(locker.open());
        QSqlQuery(locker).exec(QStringLiteral("BEGIN EXCLUSIVE"));

        TestSupport::MessageRecorder boxes;
        QList<int> ends;
        FailureReport::setTerminator([&](int status) { ends << status; });
        QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
        FailureReport::setTerminator({});

        QCOMPARE(ends.size(), 1);
        QVERIFY(ends[0] != 0);
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Velloran"));
        QVERIFY2(boxes.boxes[0].text.startsWith(QStringLiteral("Run-time error '")),
                 qPrintable(boxes.boxes[0].text));
        QVERIFY2(boxes.boxes[0].text.contains(QStringLiteral("locked")),
                 qPrintable(boxes.boxes[0].text));
        QSqlQuery(locker).exec(QStringLiteral("ROLLBACK"));
        locker.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    Module1::dbConnection().close();
}

// The application object of the program itself, so that failures take the program's path.
int main(int argc, char** argv) {
    VelloranApplication app(argc, argv);
    TestFaultInjection test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fault_injection.moc"
