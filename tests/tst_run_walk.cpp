// Every fault point of an invoice run tried: a month holding every kind of row goes through the
// real run and the real company-file host once for each fault the host can rehearse at each
// request the run makes, and once with Stop pressed after each request; then the host is back
// and the clerk runs again. After every path nobody is billed twice, every row's text agrees
// with the company file, and after the second run every wanted e-mail mark is made.

#include "PostingFixture.h"
#include "QbHostProcess.h"
#include "QbSync.h"

#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PostingJournal.h"
#include "posting/RunLease.h"
#include "posting/RunSummary.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"
#include "qbxml/RequestProcessor.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <cstdio>

using namespace PostingFixture;

namespace {
const QString Chamber = QStringLiteral("Kestlemere Chamber of Commerce");
const QString Description = Chamber + QStringLiteral(" Membership Dues (3/15/2027 - 6/15/2027)");
const QString EmailConfig =
    QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>");
const QString LostText =
    QStringLiteral("Error -2147220447: The connection to QuickBooks was lost before it answered. "
                   "Create Invoices again to finish this row: QuickBooks is asked first whether "
                   "the invoice was made, and it is never made twice.");

// The month's rows, one of each kind, and whether the customer has an e-mail address.
struct Member {
    const char* name;
    bool address;
    bool known = true;
};
const Member Month[] = {
    {"New Member", false},             // 0 new
    {"New Emailed", true},             // 1 new, e-mailed
    {"Already Billed", true},          // 2 in QuickBooks, marked to e-mail
    {"Still Printed", true},           // 3 in QuickBooks, still marked to be printed
    {"Lost Kept", true},               // 4 lost in the last run, its answer kept by QuickBooks
    {"Lost Unkept", false},            // 5 lost in the last run, nothing kept
    {"No Address", false},             // 6 new, no address
    {"Unknown Member", false, false}}; // 7 refused: QuickBooks does not know the customer
constexpr int Rows = int(std::size(Month));

// The run's host: the chamber, "Mark To Email" checked, and Stop pressed once the run has
// sent stopAfter requests.
struct WalkHost : PostingHost {
    const RequestProcessor* processor = nullptr;
    qint64 stopAfter = -1;
    QString listOrganisation() const override { return Chamber; }
    int emailBoxValue() const override { return Checked; }
    bool confirm(const QString&, const QString&) override { return true; }
    void setBusy(bool) override {}
    bool stopRequested() override {
        return stopAfter >= 0 && processor->requestsSent() >= stopAfter;
    }
};

void keepInvoice(SyncInvoice& invoice, const QString& customer, bool emailed) {
    invoice.ClearInvoice();
    invoice.SetInvoiceCustomer(customer);
    invoice.SetTransactionDate(QStringLiteral("3/1/2027"));
    invoice.SetDueDate(QStringLiteral("3/15/2027"));
    invoice.SetToBePrinted(!emailed);
    if (emailed) {
        invoice.SetRequestVersion(QStringLiteral("6.0"));
        invoice.ApplyConfig(EmailConfig);
    }
    invoice.SetLineCount(1);
    invoice.SetLineItem(0, QStringLiteral("Membership Dues"));
    invoice.SetLineDescription(0, Description);
    invoice.SetLineQuantity(0, 1);
    invoice.SetLineAmount(0, 25000);
    invoice.SetLineExtra(0, QString());
    invoice.AddInvoice();
}

// How many invoices each customer has, and whether each is marked to be e-mailed.
struct FileState {
    QMap<QString, int> count;
    QMap<QString, bool> emailed;
};
FileState stateOf(const QbHostProcess& qb) {
    FileState state;
    for (const QJsonObject& invoice : qb.invoices()) {
        const QString customer = invoice.value("customer").toString();
        ++state.count[customer];
        state.emailed[customer] = invoice.value("is_to_be_emailed").toBool() &&
                                  !invoice.value("is_to_be_printed").toBool();
    }
    return state;
}
} // namespace

class TestRunWalk : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyFaultAtEveryRequest();
    void cleanupTestCase();

private:
    // One path: the month as the last run left it, this run with the host's fault (or Stop
    // after stopAfter requests), then the host back and the clerk's next run; how many
    // requests the first run sent.
    qint64 walk(const QString& fault, qint64 stopAfter, const QString& path);
    // A run of the month; how many requests it sent.
    qint64 runOnce(BillingGrid& grid, PostingJournal& journal, qint64 stopAfter,
                   QList<int>* written);
    void check(bool condition, const QString& what, const QString& path);

    std::unique_ptr<QbHostProcess> m_qb;
    QByteArray m_company; // the company file as the last run left it
    PostingJournal::Unanswered m_kept, m_unkept;
    int m_paths = 0;
    int m_invariants = 0;
    QStringList m_broken;
};

void TestRunWalk::initTestCase() {
    QStringList customers;
    for (const Member& member : Month)
        if (member.known)
            customers << (member.address ? QStringLiteral("%1|%2@example.org")
                                               .arg(QLatin1String(member.name),
                                                    QString::number(qHash(member.name)))
                                         : QString::fromLatin1(member.name));
    m_qb = std::make_unique<QbHostProcess>(customers, QStringList{"Membership Dues"}, "Chamber");
    QVERIFY(m_qb->start());
    {
        RequestProcessor processor(m_qb->socketPath());
        SyncInvoice invoice(processor);
        // Billed by an earlier list of the month: one e-mailed, one still to be printed.
        keepInvoice(invoice, QString::fromLatin1(Month[2].name), true);
        keepInvoice(invoice, QString::fromLatin1(Month[3].name), false);
        // The last run's batch for the fifth row went, and its answer was lost: QuickBooks
        // kept it, behind the lease's renewal as every batch goes.
        SyncLease lease(processor);
        lease.take();
        invoice.beginBatch();
        keepInvoice(invoice, QString::fromLatin1(Month[4].name), true);
        const QString kept = PostingJournal::newMessageSetId();
        invoice.sendBatch(kept, {QStringLiteral("OtherNameModRq"),
                                 [&](QbxmlRequest& request) { lease.writeRenewal(request); },
                                 [&](const QbxmlAnswer& answer) { lease.readRenewal(answer); }});
        m_kept = {kept, PostingJournal::Unanswered::Add, {}, true, "Chamber", 2};
        // The sixth row's batch never reached QuickBooks.
        m_unkept = {PostingJournal::newMessageSetId(),
                    PostingJournal::Unanswered::Add,
                    {},
                    false,
                    "Chamber",
                    2};
    }
    // The two invoices of the earlier list and the one the lost batch made.
    QCOMPARE(m_qb->invoices().size(), 3);
    QVERIFY(m_qb->stop());
    QFile file(m_qb->companyFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    m_company = file.readAll();
}

qint64 TestRunWalk::runOnce(BillingGrid& grid, PostingJournal& journal, qint64 stopAfter,
                            QList<int>* written) {
    RequestProcessor processor(m_qb->socketPath());
    // A silent host is waited for briefly here; the program waits a minute.
    processor.setAnswerTimeoutMs(400);
    SyncInvoice invoice(processor);
    SyncCustomer customer(processor);
    SyncLease lease(processor);
    WalkHost host;
    host.processor = &processor;
    host.stopAfter = stopAfter;
    runToEnd(host, grid, processor, invoice, customer, lease,
             {QStringLiteral("Membership Dues"), QStringLiteral("Pledge")}, journal,
             [written](int line) { *written << line; });
    return processor.requestsSent();
}

void TestRunWalk::check(bool condition, const QString& what, const QString& path) {
    ++m_invariants;
    if (!condition)
        m_broken << path + QStringLiteral(": ") + what;
}

qint64 TestRunWalk::walk(const QString& fault, qint64 stopAfter, const QString& path) {
    ++m_paths;
    QFile file(m_qb->companyFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_company) < 0) {
        check(false, QStringLiteral("the company file could not be laid out"), path);
        return 0;
    }
    file.close();
    QStringList names;
    for (const Member& member : Month)
        names << QString::fromLatin1(member.name);
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, names);
    for (const int line : {4, 5})
        grid.setResult(line, LostText);
    journal.setUnanswered(4, m_kept);
    journal.setUnanswered(5, m_unkept);

    check(m_qb->start(fault.isEmpty() ? QStringList() : QStringList{"--fault", fault}),
          QStringLiteral("the host did not start"), path);
    const FileState before = stateOf(*m_qb);
    QList<int> written;
    const qint64 requests = runOnce(grid, journal, stopAfter, &written);
    m_qb->stop();
    const FileState after = stateOf(*m_qb);

    // Nobody billed twice; a row that reads made has its one invoice; a row this run billed
    // is written, with its invoice or with its lost answer; a row counted not reached was not
    // billed by it.
    const RunSummary summary = RunSummary::of(grid, written, journal);
    int notReached = 0;
    for (int line = 0; line < Rows; ++line) {
        const QString name = names[line];
        const QString result = grid.line(line).result;
        const bool billedNow = after.count.value(name) > before.count.value(name);
        check(after.count.value(name) <= 1, name + " billed twice", path);
        if (InvoicePosting::isPosted(result))
            check(after.count.value(name) == 1, name + " reads " + result, path);
        if (billedNow)
            check(written.contains(line) &&
                      (InvoicePosting::isPosted(result) || journal.unanswered(line)),
                  name + " billed, its row reading \"" + result + '"', path);
        if (!written.contains(line) && !InvoicePosting::isPosted(result) &&
            !journal.unanswered(line)) {
            check(!billedNow, name + " billed and told as not reached", path);
            ++notReached;
        }
    }
    // Sentences end with a full stop before the next begins.
    static const QRegularExpression unended(QStringLiteral("\\.:|[^.!?] \\d+ made before it"));
    check(!unended.match(summary.text).hasMatch(), "the line under the list reads " + summary.text,
          path);
    for (int line = 0; line < Rows; ++line)
        check(!grid.line(line).result.contains(QStringLiteral(".:")),
              names[line] + " reads " + grid.line(line).result, path);
    // Rows left waiting are never told as none waiting.
    check(notReached == 0 || summary.text.contains(QStringLiteral("not reached")),
          "the line under the list says " + summary.text, path);
    if (summary.text.contains(QStringLiteral("not reached"))) {
        const QString counted =
            summary.text.section(QStringLiteral(" checked row"), 0, 0).section(u' ', -1);
        check(counted.toInt() <= notReached, "the line under the list says " + summary.text, path);
    }

    // The host back, the clerk runs again: every row settled once, every mark made.
    check(m_qb->start(), QStringLiteral("the host did not start again"), path);
    written.clear();
    runOnce(grid, journal, -1, &written);
    m_qb->stop();
    const FileState last = stateOf(*m_qb);
    for (int line = 0; line < Rows; ++line) {
        const Member& member = Month[line];
        const QString name = names[line];
        const QString result = grid.line(line).result;
        check(last.count.value(name) == (member.known ? 1 : 0),
              QStringLiteral("%1 has %2 invoices after the next run")
                  .arg(name)
                  .arg(last.count.value(name)),
              path);
        if (!member.known) {
            check(result.startsWith(QStringLiteral("Error 3140: ")), name + ": " + result, path);
            continue;
        }
        check(InvoicePosting::isPosted(result), name + " reads " + result, path);
        check(last.emailed.value(name) == member.address,
              name + (member.address ? " not marked to e-mail" : " marked to e-mail"), path);
    }
    return requests;
}

void TestRunWalk::everyFaultAtEveryRequest() {
    // A run without a fault: how many requests it makes, each one a fault point.
    const qint64 requests = walk(QString(), -1, QStringLiteral("no fault"));
    QVERIFY2(m_broken.isEmpty(), qPrintable(m_broken.join(u'\n')));
    QVERIFY(requests > 10);

    for (qint64 at = 1; at <= requests; ++at) {
        for (const char* kind :
             {"die-before-store", "die-after-store", "garble", "truncate", "mute", "stale"}) {
            const QString fault = QStringLiteral("%1@%2:Any").arg(QLatin1String(kind)).arg(at);
            walk(fault, -1, fault);
        }
        walk(QString(), at, QStringLiteral("Stop after request %1").arg(at));
    }
    std::printf("run walk: %d requests, %d paths, %d invariants checked, %d broken\n",
                int(requests), m_paths, m_invariants, int(m_broken.size()));
    QVERIFY2(m_broken.isEmpty(), qPrintable(m_broken.join(u'\n')));
}

void TestRunWalk::cleanupTestCase() {
    m_qb.reset();
}

QTEST_MAIN(TestRunWalk)
#include "tst_run_walk.moc"
