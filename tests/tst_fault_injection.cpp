// Faults injected into real parts: a company-file host that dies, refuses, garbles, cuts its
// answer short or never answers during a run, at the invoice's add and at its e-mail mark, and
// a contact database that is locked between two fills. Whatever happens, the next run settles
// every row, no member is billed twice, and the program never hangs.

#include "PostingFixture.h"
#include "QbHostProcess.h"
#include "QbSync.h"
#include "TestSupport.h"

#include "TestWindow.h"
#include "app/FailureReport.h"
#include "app/Module1.h"
#include "app/VelloranApplication.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PeriodText.h"
#include "posting/PostingJournal.h"
#include "posting/RunLease.h"
#include "posting/RunSummary.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"
#include "qbxml/RequestProcessor.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGuiApplication>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

using namespace PostingFixture;

namespace {
// The window with the chamber's March chosen, billed by invoice.
void showChamberMarch(TestWindow& w) {
    w.cmbCompany->setCurrentIndex(0);
    w.cmbPayment->setCurrentIndex(1);
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.show();
}
} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT
private slots:
    void everyFaultAtEveryStage_data();
    void everyFaultAtEveryStage();
    void faultCountsItsRequests_data();
    void faultCountsItsRequests();
    void identicalMembersEachBilled_data();
    void identicalMembersEachBilled();
    void statusErrorStopsTheRun();
    void answerAwaitedFromAnotherCompany();
    void lookUpFaults_data();
    void lookUpFaults();
    void refusedLookUpStillBills();
    void sharedCompanyFile_data();
    void sharedCompanyFile();
    void leaseWithoutSharedClock_data();
    void leaseWithoutSharedClock();
    void leaseRaceLost();
    void lookUpsPerRun_data();
    void lookUpsPerRun();
    void lockedDatabaseIsReported();
    void stalledFillIsCancelled();
    void cleanupTestCase();

private:
    int m_faults = 0;
    int m_billedTwice = 0;
    void countBilledTwice(const QMap<QString, int>& count) {
        for (const int invoices : count)
            m_billedTwice += invoices > 1;
    }
};

void TestFaultInjection::everyFaultAtEveryStage_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("at"); // the row that says what happened
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("ending");
    const QString lost = QStringLiteral("Error -2147220447: The connection to QuickBooks was lost");
    const QString unread =
        QStringLiteral("Error -2147220445: QuickBooks sent an answer that could not be read");
    const QString late =
        QStringLiteral("Error -2147217630: QuickBooks did not answer within 1.5 seconds.");
    const QString never = QStringLiteral("and it is never made twice.");
    // Sentences joined with a full stop, never ".:".
    const QString lease = QStringLiteral(". Whether another billing run is posting could not be "
                                         "looked up; nothing was added.");
    // The second batch (the second to fourth members, the third with an address), and the
    // lease taken before the first.
    for (const QString& stage : {QStringLiteral("@2"), QStringLiteral("@1:OtherNameAdd")}) {
        const int at = stage == u"@2" ? 1 : 0;
        const QString ending = stage == u"@2" ? never : lease;
        QTest::addRow("die-before-store%s", qPrintable(stage))
            << "die-before-store" + stage << at << lost << ending;
        QTest::addRow("die-after-store%s", qPrintable(stage))
            << "die-after-store" + stage << at << lost << ending;
        QTest::addRow("garble%s", qPrintable(stage)) << "garble" + stage << at << unread << ending;
        QTest::addRow("truncate%s", qPrintable(stage))
            << "truncate" + stage << at << lost << ending;
        QTest::addRow("mute%s", qPrintable(stage)) << "mute" + stage << at << late << ending;
    }
}

void TestFaultInjection::everyFaultAtEveryStage() {
    QFETCH(QString, fault);
    QFETCH(int, at);
    QFETCH(QString, result);
    QFETCH(QString, ending);
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--fault"), fault}));
    ++m_faults;
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    QList<int> written;
    postOnce(qb.socketPath(), grid, journal, 1500, nullptr,
             [&written](int line) { written << line; });
    QStringList results = resultsOf(grid);
    QCOMPARE(results.mid(0, at), QStringList(at, QStringLiteral("Successful")));
    // The line under the list counts a lost batch's rows apart from the rows not reached.
    QVERIFY2(RunSummary::of(grid, written, journal)
                 .text.endsWith(at == 0 ? QStringLiteral("0 made before it; 4 checked rows not "
                                                         "reached.")
                                        : QStringLiteral("1 made before it; 4 whose answer was "
                                                         "lost: Create Invoices again to settle "
                                                         "them; 0 checked rows not reached.")),
             qPrintable(RunSummary::of(grid, written, journal).text));
    // Every row of a batch whose answer was lost says so; a failed lease sent nothing.
    const int told = at == 0 ? 1 : 4;
    for (int row = at; row < at + told; ++row) {
        QVERIFY2(results[row].startsWith(result), qPrintable(results[row]));
        QVERIFY2(results[row].endsWith(ending), qPrintable(results[row]));
    }
    QCOMPARE(results.mid(at + told), QStringList(Members.size() - at - told, QString()));

    // QuickBooks is started again and the clerk runs again: every row is settled once.
    qb.stop();
    QVERIFY(qb.start());
    postOnce(qb.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid), QStringList(Members.size(), QStringLiteral("Successful")));
    const QList<QJsonObject> invoices = qb.invoices();
    QCOMPARE(invoices.size(), Members.size());
    for (const QJsonObject& invoice : invoices) {
        const bool address =
            !Addresses[Members.indexOf(invoice.value("customer").toString())].isEmpty();
        QCOMPARE(invoice.value("is_to_be_emailed").toBool(), address);
        QCOMPARE(invoice.value("is_to_be_printed").toBool(), !address);
    }

    // The month listed again and posted again: nothing is added.
    listAgain(grid, journal);
    postOnce(qb.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid),
             QStringList(Members.size(),
                         QStringLiteral("Successful, already in QuickBooks: not added again")));
    QCOMPARE(qb.invoices().size(), Members.size());
    countBilledTwice(billed(qb.invoices()));
}

void TestFaultInjection::faultCountsItsRequests_data() {
    QTest::addColumn<QString>("fault");
    // Of four requests (company, customer, company, company), which come back garbled ('x');
    // empty when the host refuses the text and does not start.
    QTest::addColumn<QString>("answers");
    QTest::newRow("the second company query") << "garble@2:CompanyQuery"
                                              << "..x.";
    QTest::newRow("the second request of any kind") << "garble@2:Any"
                                                    << ".x..";
    QTest::newRow("the first customer query") << "garble@1:CustomerQuery"
                                              << ".x..";
    QTest::newRow("an add by default, never asked") << "garble@1"
                                                    << "....";
    QTest::newRow("past the last request") << "garble@5:Any"
                                           << "....";
    QTest::newRow("no such fault") << "explode@1"
                                   << "";
    QTest::newRow("a count of 0") << "garble@0"
                                  << "";
    QTest::newRow("no count") << "garble"
                              << "";
    QTest::newRow("a count that is no number") << "garble@x"
                                               << "";
    QTest::newRow("an empty request name") << "garble@1:"
                                           << "";
}

// The host's --fault text: refused unless it names a fault, a count from 1 and a request kind;
// the fault falls on the Nth request of that kind, whatever comes between.
void TestFaultInjection::faultCountsItsRequests() {
    QFETCH(QString, fault);
    QFETCH(QString, answers);
    QbHostProcess qb(customers(), {"Membership Dues"});
    QCOMPARE(qb.start({"--fault", fault}), !answers.isEmpty());
    QbxmlRequest company(QStringLiteral("6.0"), QStringLiteral("CompanyQueryRq"));
    QbxmlRequest customer(QStringLiteral("6.0"), QStringLiteral("CustomerQueryRq"));
    customer.field(QStringLiteral("FullName"), customers().first());
    const QByteArray companyQuery = company.finish();
    const QByteArray asked[] = {companyQuery, customer.finish(), companyQuery, companyQuery};
    RequestProcessor processor(qb.socketPath());
    QString got;
    for (int i = 0; i < answers.size(); ++i) {
        const Failure failure = TestSupport::failureOf(
            [&] { QbxmlAnswer::readAll(processor.processRequest(asked[i])); });
        got += failure.number() == QbError::BadAnswer ? u'x' : u'.';
        QVERIFY2(failure.number() == 0 || failure.number() == QbError::BadAnswer,
                 qPrintable(failure.description()));
    }
    QCOMPARE(got, answers);
}

void TestFaultInjection::identicalMembersEachBilled_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("no fault") << QString();
    QTest::newRow("lost before the second is stored") << QStringLiteral("die-before-store@2");
    QTest::newRow("lost after the second is stored") << QStringLiteral("die-after-store@2");
    QTest::newRow("answer of the second cut short") << QStringLiteral("truncate@2");
}

// Two members of one company billed alike get two identical invoices of one customer.
void TestFaultInjection::identicalMembersEachBilled() {
    QFETCH(QString, fault);
    const QStringList rows{Members[0], Members[0], Members[1]};
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start(fault.isEmpty() ? QStringList() : QStringList{"--fault", fault}));
    m_faults += !fault.isEmpty();
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, rows);
    postOnce(qb.socketPath(), grid, journal);
    if (!fault.isEmpty()) {
        QVERIFY(resultsOf(grid)[1].startsWith(QStringLiteral("Error ")));
        qb.stop();
        QVERIFY(qb.start());
        postOnce(qb.socketPath(), grid, journal);
    }
    QCOMPARE(resultsOf(grid), QStringList(rows.size(), QStringLiteral("Successful")));
    QCOMPARE(billed(qb.invoices()).value(Members[0]), 2);

    listAgain(grid, journal, rows);
    postOnce(qb.socketPath(), grid, journal);
    QCOMPARE(billed(qb.invoices()).value(Members[0]), 2);
    QCOMPARE(billed(qb.invoices()).value(Members[1]), 1);
}

void TestFaultInjection::statusErrorStopsTheRun() {
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start({QStringLiteral("--refuse"), QStringLiteral("InvoiceAdd")}));
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(qb.socketPath(), grid, journal);
    QVERIFY(resultsOf(grid)[0].startsWith(QStringLiteral("Error 3170: ")));
    QCOMPARE(resultsOf(grid).mid(1), QStringList(Members.size() - 1, QString()));
    QCOMPARE(qb.invoices().size(), 0);
}

// An add whose answer was lost belongs to the company that was open: with another company open
// the next run asks nothing for it, and says which company to open.
void TestFaultInjection::answerAwaitedFromAnotherCompany() {
    QbHostProcess chamber(customers(), {"Membership Dues"}, "Kestlemere Chamber");
    QbHostProcess other(customers(), {"Membership Dues"}, "Viderizo Foundation");
    other.setSocketPath(chamber.socketPath());
    QVERIFY(chamber.start({"--fault", "mute@1"}));
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, Members.mid(1, 1));
    postOnce(chamber.socketPath(), grid, journal, 1500);
    QVERIFY2(resultsOf(grid)[0].startsWith("Error -2147217630: "), qPrintable(resultsOf(grid)[0]));
    chamber.stop();

    QVERIFY(other.start());
    postOnce(other.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid)[0],
             "Error -2147220443: QuickBooks has the company Viderizo Foundation open, but this "
             "row's invoice was sent to Kestlemere Chamber and its answer is still awaited: open "
             "Kestlemere Chamber and Create Invoices again.");
    QCOMPARE(other.invoices().size(), 0);
    other.stop();

    QVERIFY(chamber.start());
    postOnce(chamber.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid), QStringList{"Successful"});
    QCOMPARE(chamber.invoices().size(), 1);
}

void TestFaultInjection::lookUpFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("first"); // the first row's result after the faulty run
    QTest::addColumn<bool>("listAgain");
    // Sentences joined with a full stop and a space, never ".:".
    const QString customers = QStringLiteral(" Whether Abbott & Sons Hardware is e-mailed could "
                                             "not be looked up; nothing was added.");
    const QString invoices = QStringLiteral(" The invoices QuickBooks already holds could not be "
                                            "looked up; nothing was added.");
    const QString late = QStringLiteral("Error -2147217630: QuickBooks did not answer within 1.5 "
                                        "seconds.");
    // A host that died: no connection at all, or one that broke, as the race goes.
    const QString gone = QStringLiteral("Error ");
    for (const char* request : {"CustomerQuery", "InvoiceQuery"}) {
        const QString tail = request[1] == 'u' ? customers : invoices;
        QTest::addRow("mute@1:%s", request) << QString("mute@1:") + request << late + tail << false;
        QTest::addRow("die-before-store@1:%s", request)
            << QString("die-before-store@1:") + request << gone + u'*' + tail << false;
        // A read whose answer could not be read is asked again, and the run goes on.
        QTest::addRow("garble@1:%s", request)
            << QString("garble@1:") + request << "Successful" << false;
    }
    // The month listed again before the next run: what the first run made is found.
    QTest::newRow("mute@1:CustomerQuery, listed again")
        << "mute@1:CustomerQuery" << late + customers << true;
}

// Whatever happens to a look-up, no invoice goes out marked to be printed that should be
// e-mailed without its row saying so, and the next run bills each member once, marks included.
void TestFaultInjection::lookUpFaults() {
    QFETCH(QString, fault);
    QFETCH(QString, first);
    QFETCH(bool, listAgain);
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start({"--fault", fault}));
    ++m_faults;
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(qb.socketPath(), grid, journal, 1500);
    const QString result = resultsOf(grid)[0];
    QVERIFY2(first.contains(u'*') ? result.startsWith(first.section(u'*', 0, 0)) &&
                                        result.endsWith(first.section(u'*', 1))
                                  : result.startsWith(first),
             qPrintable(result));
    if (first.endsWith(u"nothing was added."))
        QCOMPARE(qb.invoices().size(), 0);

    qb.stop();
    QVERIFY(qb.start());
    if (listAgain)
        PostingFixture::listAgain(grid, journal);
    postOnce(qb.socketPath(), grid, journal);
    const QStringList results = resultsOf(grid);
    QCOMPARE(results
                 .filter(QRegularExpression("^Successful(, already in QuickBooks: (not added "
                                            "again|now marked to e-mail))?$"))
                 .size(),
             Members.size());
    const QList<QJsonObject> invoices = qb.invoices();
    QCOMPARE(invoices.size(), Members.size());
    for (const QJsonObject& invoice : invoices)
        QCOMPARE(invoice.value("is_to_be_emailed").toBool(),
                 !Addresses[Members.indexOf(invoice.value("customer").toString())].isEmpty());
    countBilledTwice(billed(invoices));
}

// QuickBooks refusing the customers' look-up only costs the e-mail marks: every member is
// billed, each row saying that its invoice is not marked and why, and the run is told as done.
void TestFaultInjection::refusedLookUpStillBills() {
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start({"--refuse", "CustomerQuery"}));
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    QList<int> written;
    postOnce(qb.socketPath(), grid, journal, 60000, nullptr,
             [&written](int line) { written << line; });
    const QStringList results = resultsOf(grid);
    for (int i = 0; i < Members.size(); ++i)
        QCOMPARE(results[i], "Successful, not marked to e-mail: whether " + Members[i] +
                                 " is e-mailed could not be looked up. Error 3170: There was an "
                                 "error when saving the CustomerQuery request. The company file "
                                 "refused it.");
    const QList<QJsonObject> invoices = qb.invoices();
    QCOMPARE(invoices.size(), Members.size());
    for (const QJsonObject& invoice : invoices)
        QVERIFY(invoice.value("is_to_be_printed").toBool());
    QCOMPARE(RunSummary::of(grid, written, journal).text, "5 invoices made.");
}

void TestFaultInjection::sharedCompanyFile_data() {
    QTest::addColumn<QString>("other"); // what another program does, and when
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<int>("invoices");
    const QString ok = QStringLiteral("Successful");
    QTest::newRow("someone bills the third member after the first batch")
        << "outside add"
        << QStringList{ok, ok, "Successful, already in QuickBooks: now marked to e-mail", ok, ok}
        << 5;
    const QString held = QStringLiteral(
        "Error -2147220442: Another billing run is posting to this company file (%1 since %2; "
        "free at %3 if that run has ended); nothing was added. Create Invoices again when it "
        "has finished.");
    QTest::newRow("the month billed before, a colleague re-dating an invoice between batches")
        << "re-dated" << QStringList(5, "Successful, already in QuickBooks: not added again") << 5;
    QTest::newRow("another run holds the lease")
        << "holds" << QStringList{held, "", "", "", ""} << 0;
    QTest::newRow("the lease of this clerk's program that crashed")
        << "crashed" << QStringList(5, ok) << 5;
    QTest::newRow("another run took the lease, found unchanged for 2 minutes")
        << "takes over"
        << QStringList{ok,
                       "Error -2147220441: Another billing run took over this run's lease, which "
                       "it found unchanged for 2 minutes; nothing more was added. Create Invoices "
                       "again when it has finished: what either run billed is found in "
                       "QuickBooks and not added again.",
                       "", "", ""}
        << 1;
}

// Runs that share the company file: whatever another program does in it, each row says what
// happened, and once the other has finished the next run bills everyone exactly once.
void TestFaultInjection::sharedCompanyFile() {
    QFETCH(QString, other);
    QFETCH(QStringList, results);
    QFETCH(int, invoices);
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start());
    RequestProcessor elsewhere(qb.socketPath());
    // A program of this clerk that has ended left its lease: its process is gone.
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    QVERIFY(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    SyncLease otherRun(elsewhere, QStringLiteral("another program"),
                       other == u"crashed" ? endedPid : 0);
    const auto restoreClock = qScopeGuard([] { TestSupport::clock().reset(); });
    // Half past a minute: the lease's "free at", two minutes on, falls in a known minute.
    const QDateTime now =
        QDateTime(QDate::currentDate(), QTime(QTime::currentTime().hour(), 10, 30));
    TestSupport::clock().setFixed(now);
    if (other == u"holds" || other == u"crashed")
        otherRun.take();
    BillingGrid grid;
    PostingJournal journal;
    if (other == u"re-dated") {
        fillMembers(grid);
        postOnce(qb.socketPath(), grid, journal);
        listAgain(grid, journal);
    }
    if (other == u"holds")
        results[0] = results[0].arg(RunLease::holderText(), now.toString(QStringLiteral("H:mm")),
                                    now.addSecs(RunLease::ExpirySeconds).toString("H:mm"));
    const auto afterRow = [&](int line) {
        if (line != 0)
            return;
        if (other == u"outside add") {
            SyncInvoice invoice(elsewhere);
            invoice.SetInvoiceCustomer(Members[2]);
            invoice.SetTransactionDate("3/1/2027");
            invoice.SetDueDate("3/15/2027");
            invoice.SetToBePrinted(true);
            invoice.SetLineCount(1);
            invoice.SetLineItem(0, "Membership Dues");
            invoice.SetLineDescription(
                0, "Kestlemere Chamber of Commerce Membership Dues " +
                       PeriodText::of(QDate(2027, 3, 15), QDate(2018, 6, 15), 3));
            invoice.SetLineQuantity(0, 1);
            invoice.SetLineAmount(0, 25000);
            invoice.AddInvoice();
        } else if (other == u"re-dated") {
            SyncInvoice invoice(elsewhere);
            const auto found = invoice.findInvoices(Members[2], "3/1/2027");
            QCOMPARE(found.size(), 1);
            invoice.LoadInvoice(found.first().txnId);
            invoice.SetTransactionDate("3/5/2027");
            invoice.UpdateInvoice();
        } else if (other == u"takes over") {
            // The other run sees the lease held, and once it has seen it unchanged for 2
            // minutes of its own waiting, takes it.
            QVERIFY_THROWS_EXCEPTION(Failure, otherRun.take());
            TestSupport::clock().advanceElapsed(qint64(RunLease::ExpirySeconds) * 1000);
            otherRun.take();
        }
    };
    if (other != u"re-dated")
        fillMembers(grid);
    postOnce(qb.socketPath(), grid, journal, 60000, nullptr, afterRow);
    QCOMPARE(resultsOf(grid), results);
    QCOMPARE(qb.invoices().size(), invoices);

    otherRun.release();
    postOnce(qb.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid).filter(QRegularExpression("^Successful")).size(), Members.size());
    QCOMPARE(qb.invoices().size(), Members.size());
    countBilledTwice(billed(qb.invoices()));
}

void TestFaultInjection::leaseWithoutSharedClock_data() {
    QTest::addColumn<int>("apart"); // seconds the second clerk's clock is ahead of the first's
    QTest::newRow("the second clerk 5 minutes ahead") << 300;
    QTest::newRow("the second clerk 5 minutes behind") << -300;
    QTest::newRow("the same time") << 0;
}

// Two clerks whose computers' clocks disagree: a lease renewed now and then is never taken,
// and one left unrenewed is free 2 minutes after the other clerk first found it, whatever
// either clock says.
void TestFaultInjection::leaseWithoutSharedClock() {
    QFETCH(int, apart);
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start());
    RequestProcessor first(qb.socketPath()), second(qb.socketPath());
    SyncLease holding(first, QStringLiteral("first clerk")), asking(second, "second clerk");
    const auto restoreClock = qScopeGuard([] { TestSupport::clock().reset(); });
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 expiryMs = qint64(RunLease::ExpirySeconds) * 1000;
    const auto askAt = [&](qint64 waitedMs) {
        TestSupport::clock().advanceElapsed(waitedMs);
        TestSupport::clock().setFixed(now.addSecs(apart));
        try {
            asking.take();
            return true;
        } catch (const Failure& failure) {
            if (failure.number() != QbError::RunInProgress)
                throw;
            return false;
        }
    };
    TestSupport::clock().setFixed(now);
    holding.take();
    QVERIFY(!askAt(0));
    // Renewed every 100 s (each batch renews it): never taken.
    for (int renewal = 0; renewal < 4; ++renewal) {
        QVERIFY(!askAt(expiryMs - 20000));
        TestSupport::clock().setFixed(now);
        holding.take();
    }
    // No longer renewed: free 2 minutes after it was last found changed, not before.
    QVERIFY(!askAt(0));
    QVERIFY(!askAt(expiryMs - 1000));
    QVERIFY(askAt(1000));
    // The first clerk's lease is gone; its next batch is refused and says so.
    QVERIFY_THROWS_EXCEPTION(Failure, holding.take());
}

// Two runs reading the free lease at once: the one whose change comes second reads it again
// and is told who holds it, never QuickBooks' own out-of-date refusal.
void TestFaultInjection::leaseRaceLost() {
    QbHostProcess qb(customers(), {"Membership Dues"});
    QVERIFY(qb.start());
    RequestProcessor first(qb.socketPath()), second(qb.socketPath());
    SyncLease winner(first, QStringLiteral("winner")), loser(second, QStringLiteral("loser"));
    winner.take();
    winner.release();
    // The loser reads the free lease; the winner takes it before the loser's change arrives.
    bool query = false;
    loser.beginTake();
    QVERIFY(!loser.takeAnswer(second.processRequest(loser.takeRequest(&query))));
    winner.take();
    QVERIFY(!loser.takeAnswer(second.processRequest(loser.takeRequest(&query))));
    try {
        loser.takeAnswer(second.processRequest(loser.takeRequest(&query)));
        QFAIL("the loser took a lease the winner holds");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number(), QbError::RunInProgress);
        QVERIFY2(failure.description().contains(RunLease::holderText() + " since "),
                 qPrintable(failure.description()));
    }
}

void TestFaultInjection::lookUpsPerRun_data() {
    QTest::addColumn<int>("members");
    QTest::addColumn<int>("billedBefore");
    QTest::addColumn<QString>("unknown"); // a member the company file does not hold
    QTest::addColumn<qint64>("requests");
    // The company, 150 customers in two look-ups, the lease (its record read and changed),
    // nine batches (1, 4, 10, then 25 rows) each checked before it goes, the last two with
    // the 30 adds, and the lease given back.
    QTest::newRow("more than 100 customers, most billed before")
        << 150 << 120 << QString() << qint64(1 + 2 + 2 + 9 + 2 + 1);
    // The company, the customers, the lease (read, added), the first batch checked and added,
    // the second checked and refused at the unknown customer, the lease given back.
    QTest::newRow("a customer QuickBooks does not know")
        << 3 << 0 << "Nobody Known" << qint64(1 + 1 + 2 + 2 + 2 + 1);
}

// Each run looks its customers up once, in requests of 100 at most, and each batch's
// invoices just before it goes.
void TestFaultInjection::lookUpsPerRun() {
    QFETCH(int, members);
    QFETCH(int, billedBefore);
    QFETCH(QString, unknown);
    QFETCH(qint64, requests);
    QStringList names;
    for (int i = 0; i < members; ++i)
        names << QStringLiteral("Member %1").arg(i, 3, 10, QLatin1Char('0'));
    QbHostProcess qb(names, {"Membership Dues"});
    QVERIFY(qb.start());
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, names.mid(0, billedBefore));
    postOnce(qb.socketPath(), grid, journal);
    if (!unknown.isEmpty())
        names.insert(1, unknown);
    listAgain(grid, journal, names);
    qint64 sent = 0;
    postOnce(qb.socketPath(), grid, journal, 60000, &sent);
    QCOMPARE(sent, requests);
    const QStringList results = resultsOf(grid);
    if (unknown.isEmpty()) {
        QCOMPARE(results.filter("already in QuickBooks").size(), billedBefore);
        QCOMPARE(results.filter(QRegularExpression("^Successful$")).size(), members - billedBefore);
    } else {
        QCOMPARE(results[0], "Successful");
        QVERIFY2(results[1].startsWith("Error 3140: "), qPrintable(results[1]));
    }
    QCOMPARE(qb.invoices().size(), unknown.isEmpty() ? members : 1);
}

void TestFaultInjection::lockedDatabaseIsReported() {
    QTemporaryDir dir;
    const QString db = TestSupport::makeContacts(dir.path());
    // The driver waits a second for a lock before it gives up.
    TestSupport::startOn(dir.path(), db, QStringLiteral("Timeout=1000;"));

    TestWindow w;
    showChamberMarch(w);
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(TestSupport::waitForFill());
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
        QVERIFY(TestSupport::waitForFill());
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
    Module1::database().close();
}

// A statement that waits on the database (another program holds it, and the driver waits up
// to 100 seconds): the window goes on answering, after a second it says that it reads the
// contact database, and Cancel leaves the list empty and the window usable; once the other
// program lets go, the next Refresh lists the month through a fresh connection.
void TestFaultInjection::stalledFillIsCancelled() {
    QTemporaryDir dir;
    const QString db = TestSupport::makeContacts(dir.path());
    TestSupport::startOn(dir.path(), db);
    TestWindow w;
    showChamberMarch(w);
    QSqlDatabase locker =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stall"));
    locker.setDatabaseName(db);
    QVERIFY(locker.open());
    QVERIFY(QSqlQuery(locker).exec(QStringLiteral("BEGIN EXCLUSIVE")));

    bool answered = false;
    QTimer::singleShot(300, [&] { answered = true; }); // the window's events go on meanwhile
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QTRY_VERIFY(answered);
    // The pointer says the window is busy reading.
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QProgressDialog* reading = nullptr;
    QTRY_VERIFY((reading = w.findChild<QProgressDialog*>(QStringLiteral("reading"))) &&
                reading->isVisible());
    QCOMPARE(reading->labelText(), QStringLiteral("Reading the contact database (%1)...").arg(db));
    QTest::mouseClick(reading->findChild<QPushButton*>(), Qt::LeftButton);
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(w.vsfgList->RowCount(), 1); // the header row alone
    QCOMPARE(w.vsfgList->CellText(0, GridColumns::Company), QStringLiteral("Company"));

    QVERIFY(QSqlQuery(locker).exec(QStringLiteral("ROLLBACK")));
    locker.close();
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(TestSupport::waitForFill());
    QVERIFY(w.vsfgList->RowCount() > 1);
    locker = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("stall"));
    Module1::database().close();
}

void TestFaultInjection::cleanupTestCase() {
    // The figure the README quotes.
    std::printf("faults injected: %d, members billed twice: %d\n", m_faults, m_billedTwice);
    QCOMPARE(m_billedTwice, 0);
}

// The application object of the program itself, so that failures take the program's path.
int main(int argc, char** argv) {
    VelloranApplication app(argc, argv);
    TestFaultInjection test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fault_injection.moc"
