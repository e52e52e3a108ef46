// qbXML to the letter: every request the components write and every answer the company-file
// host gives validates against the vendor's qbXML 12.0 schema (read from ../shared/qbxsd with
// xmllint, never copied here), and the readers take answers as QuickBooks writes them, with
// every element they skip around the ones they read.

#include "QbHostProcess.h"
#include "QbSync.h"
#include "RequestRecorder.h"
#include "TestSupport.h"

#include "core/Failure.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/PostingJournal.h"
#include "posting/RunLease.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"
#include "qbxml/RequestProcessor.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using TestSupport::failureOf;

namespace {
const QString Schema = QStringLiteral(SHARED_DIR "/qbxsd/qbxmlops120.xsd");
// CTest's SKIP_RETURN_CODE for this test.
constexpr int SkippedExitCode = 77;

QByteArray fullAnswers() {
    QFile file(QStringLiteral(TEST_DATA_DIR "/full-answers.xml"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A request document as any qbXML client writes it.
QByteArray request(const QString& body, const QString& setAttributes = QString(),
                   const QString& version = QStringLiteral("6.0")) {
    return QStringLiteral("<?xml version=\"1.0\"?><?qbxml version=\"%1\"?><QBXML><QBXMLMsgsRq "
                          "%2onError=\"stopOnError\">%3</QBXMLMsgsRq></QBXML>")
        .arg(version, setAttributes, body)
        .toUtf8();
}

QString invoiceAdd(const QString& customer, const QString& item, const QString& date,
                   const QString& description = QStringLiteral("Dues")) {
    return QStringLiteral("<InvoiceAddRq requestID=\"1\"><InvoiceAdd><CustomerRef><FullName>%1"
                          "</FullName></CustomerRef><TxnDate>%3</TxnDate><DueDate>2027-03-15"
                          "</DueDate><IsToBePrinted>true</IsToBePrinted><InvoiceLineAdd><ItemRef>"
                          "<FullName>%2</FullName></ItemRef><Desc>%4</Desc><Quantity>1</Quantity>"
                          "<Amount>83.3</Amount></InvoiceLineAdd></InvoiceAdd></InvoiceAddRq>")
        .arg(customer, item, date, description);
}

QString invoiceQuery(const QString& filter) {
    return QStringLiteral("<InvoiceQueryRq requestID=\"1\">%1</InvoiceQueryRq>").arg(filter);
}

QString byCustomer(const QString& customer, const QString& date) {
    return QStringLiteral("<TxnDateRangeFilter><FromTxnDate>%2</FromTxnDate><ToTxnDate>%2"
                          "</ToTxnDate></TxnDateRangeFilter><EntityFilter><FullName>%1"
                          "</FullName></EntityFilter><IncludeLineItems>true</IncludeLineItems>")
        .arg(customer, date);
}

// The text between <tag> and </tag> in a document.
QString textOf(const QByteArray& document, const QString& tag) {
    const QString text = QString::fromUtf8(document);
    const int start = text.indexOf(u'<' + tag + u'>');
    const int end = text.indexOf(QStringLiteral("</") + tag + u'>', start);
    return start < 0 || end < 0 ? QString()
                                : text.mid(start + tag.size() + 2, end - start - tag.size() - 2);
}
} // namespace

class TestQbxmlSchema : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyRequestValidates();
    void everyHostAnswerValidates();
    void readersTakeFullAnswers();

private:
    // The xmllint report of the documents that do not validate; empty when all do.
    QString invalid(const QList<QByteArray>& documents);
    QString m_xmllint;
};

void TestQbxmlSchema::initTestCase() {
    m_xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    QVERIFY2(!m_xmllint.isEmpty(), "xmllint is not installed (Debian package libxml2-utils)");
}

QString TestQbxmlSchema::invalid(const QList<QByteArray>& documents) {
    QTemporaryDir dir;
    QStringList arguments{QStringLiteral("--noout"), QStringLiteral("--schema"), Schema};
    for (int i = 0; i < documents.size(); ++i) {
        const QString path =
            dir.filePath(QStringLiteral("doc%1.xml").arg(i, 3, 10, QLatin1Char('0')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(documents[i]) != documents[i].size())
            return QStringLiteral("cannot write %1").arg(path);
        arguments << path;
    }
    QProcess xmllint;
    xmllint.start(m_xmllint, arguments);
    if (!xmllint.waitForFinished(60000))
        return QStringLiteral("xmllint did not finish");
    if (xmllint.exitCode() == 0)
        return QString();
    QString report = QString::fromUtf8(xmllint.readAllStandardError());
    for (int i = 0; i < documents.size(); ++i)
        if (report.contains(QStringLiteral("doc%1.xml").arg(i, 3, 10, QLatin1Char('0'))))
            report += u'\n' + QString::fromUtf8(documents[i]);
    return report;
}

// Every form the components write: both versions, the e-mail configuration, message sets,
// status checks, forgetting, and the look-up by customer and date.
void TestQbxmlSchema::everyRequestValidates() {
    RequestRecorder recorder(fullAnswers());
    recorder.startListening();
    {
        RequestProcessor processor(recorder.path());
        SyncInvoice invoice(processor);
        SyncCustomer customer(processor);
        const auto fillInvoice = [&](bool email) {
            invoice.ClearInvoice();
            invoice.SetInvoiceCustomer(QStringLiteral("Smith & Sons <Ltd>"));
            invoice.SetTransactionDate(QStringLiteral("3/1/2027"));
            invoice.SetDueDate(QStringLiteral("3/15/2027"));
            invoice.SetToBePrinted(true);
            if (email) {
                invoice.SetRequestVersion(QStringLiteral("6.0"));
                invoice.ApplyConfig(
                    QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>"));
            }
            invoice.SetLineCount(1);
            invoice.SetLineItem(0, QStringLiteral("Membership Dues"));
            invoice.SetLineDescription(0, QStringLiteral("Dues (3/5/2027 - 4/5/2027)"));
            invoice.SetLineQuantity(0, 1);
            invoice.SetLineAmount(0, 8333);
            invoice.SetLineExtra(0, email ? QString() : QStringLiteral("ref"));
        };
        for (const bool email : {false, true}) {
            fillInvoice(email);
            invoice.setMessageSetId(email ? PostingJournal::newMessageSetId() : QString());
            invoice.AddInvoice();
            invoice.ClearInvoice();
            invoice.forgetFound(); // the query by TxnID, not the add's answer
            invoice.LoadInvoice(QStringLiteral("1A2-1767225600"));
            invoice.SetToBePrinted(false);
            invoice.setMessageSetId(PostingJournal::newMessageSetId());
            invoice.UpdateInvoice();
            customer.LookupCustomer(QStringLiteral("Smith & Sons <Ltd>"));
            invoice.findInvoices(QStringLiteral("Smith & Sons <Ltd>"), QStringLiteral("3/1/2027"));
            const QString id = PostingJournal::newMessageSetId();
            invoice.storedAnswer(id);
            invoice.forgetMessageSet(id);
            invoice.openCompanyName();
            customer.lookUpAll({QStringLiteral("Smith & Sons <Ltd>"), QStringLiteral("Plain")});
            customer.forgetLookUps(); // the next LookupCustomer asks again
            invoice.findInvoicesOf({QStringLiteral("Smith & Sons <Ltd>"), QStringLiteral("Plain")},
                                   QDate(2027, 3, 1), QDate(2027, 3, 15));
        }
        // The run's lease taken (its record read, then changed), a batch of two adds behind
        // its renewal, the second marked to e-mail in the add, and the lease given back.
        SyncLease lease(processor);
        lease.take();
        invoice.beginBatch();
        for (const bool email : {false, true}) {
            fillInvoice(email);
            invoice.AddInvoice();
            if (email) {
                const QString kept = invoice.AddedInvoiceId();
                invoice.ClearInvoice();
                invoice.LoadInvoice(kept);
                invoice.SetToBePrinted(false);
                invoice.UpdateInvoice();
            }
        }
        invoice.sendBatch(PostingJournal::newMessageSetId(),
                          {QStringLiteral("OtherNameModRq"),
                           [&](QbxmlRequest& request) { lease.writeRenewal(request); },
                           [&](const QbxmlAnswer& answer) { lease.readRenewal(answer); }});
        lease.release();
    }
    recorder.wait(10000);
    QCOMPARE(recorder.requests.size(), 24);
    // The batch: the renewal, then both adds, the second to be e-mailed and not printed.
    const QString batch = QString::fromUtf8(recorder.requests[22]);
    QVERIFY2(batch.contains(QRegularExpression(
                 "<OtherNameModRq requestID=\"1\">.*<InvoiceAddRq requestID=\"2\">.*"
                 "<IsToBePrinted>true</IsToBePrinted>.*<InvoiceAddRq requestID=\"3\">.*"
                 "<IsToBePrinted>false</IsToBePrinted>\\s*<IsToBeEmailed>1</IsToBeEmailed>",
                 QRegularExpression::DotMatchesEverythingOption)),
             qPrintable(batch));
    const QString report = invalid(recorder.requests);
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

// Each request kind the host serves, with every status it answers.
void TestQbxmlSchema::everyHostAnswerValidates() {
    QbHostProcess host({"Smith & Sons <Ltd>|billing@smith.example", "Plain Customer"},
                       {"Membership Dues"});
    QVERIFY(host.start());
    QbHostProcess refusing({"Plain Customer"}, {"Membership Dues"});
    QVERIFY(refusing.start({QStringLiteral("--refuse"), QStringLiteral("InvoiceAdd")}));
    RequestProcessor processor(host.socketPath());
    RequestProcessor refused(refusing.socketPath());
    const QString id = PostingJournal::newMessageSetId();
    const QString setId = QStringLiteral("newMessageSetID=\"%1\" ").arg(id);
    const QString add = invoiceAdd(QStringLiteral("Smith &amp; Sons &lt;Ltd&gt;"),
                                   QStringLiteral("Membership Dues"), QStringLiteral("2027-03-01"));

    QList<QByteArray> answers;
    const auto ask = [&](const QByteArray& document) {
        answers << processor.processRequest(document);
        return answers.constLast();
    };
    const QByteArray added = ask(request(add, setId));
    const QString txnId = textOf(added, QStringLiteral("TxnID"));
    const QString sequence = textOf(added, QStringLiteral("EditSequence"));
    QVERIFY(!txnId.isEmpty());
    ask(request(add, setId)); // the stored answer
    ask(request(invoiceAdd(QStringLiteral("Plain Customer"), QStringLiteral("Membership Dues"),
                           QStringLiteral("2027-03-01")),
                setId));                                                                 // 9001
    ask(request(add, QStringLiteral("newMessageSetID=\"%1\" ").arg(QString(25, u'x')))); // 9004
    ask(request(QString(), QStringLiteral("oldMessageSetID=\"%1\" %2").arg(id, setId)));
    ask(request(QString(), QStringLiteral("oldMessageSetID=\"%1\" ").arg(id)));
    ask(request(QString(), QStringLiteral("oldMessageSetID=\"%1\" ").arg(id)));          // 600
    ask(request(QString(), QStringLiteral("oldMessageSetID=\"%1\" %2").arg(id, setId))); // 9002
    for (const auto& [customer, item, date] :
         {std::tuple{"Nobody", "Membership Dues", "2027-03-01"},          // 3140
          std::tuple{"Plain Customer", "Donation", "2027-03-01"},         // 3140
          std::tuple{"Plain Customer", "Membership Dues", "2027-02-30"}}) // 3020
        ask(request(invoiceAdd(QLatin1String(customer), QLatin1String(item), QLatin1String(date))));
    ask(request(invoiceAdd(QString(210, u'L'), QStringLiteral("Membership Dues"),
                           QStringLiteral("2027-03-01")))); // 3070
    ask(request(invoiceQuery(QStringLiteral("<TxnID>%1</TxnID>").arg(txnId))));
    ask(request(invoiceQuery(QStringLiteral("<TxnID>%1</TxnID><IncludeLineItems>true"
                                            "</IncludeLineItems>")
                                 .arg(txnId))));
    ask(request(invoiceQuery(QStringLiteral("<TxnID>FFFF-1</TxnID>")))); // 500
    ask(request(invoiceQuery(
        byCustomer(QStringLiteral("Smith &amp; Sons &lt;Ltd&gt;"), QStringLiteral("2027-03-01")))));
    ask(request(invoiceQuery(byCustomer(QStringLiteral("Plain Customer"),
                                        QStringLiteral("2027-03-01"))))); // 1
    ask(request(invoiceQuery(byCustomer(QStringLiteral("Nobody"),
                                        QStringLiteral("2027-03-01"))))); // 500
    const QString mod = QStringLiteral("<InvoiceModRq requestID=\"1\"><InvoiceMod><TxnID>%1</TxnID>"
                                       "<EditSequence>%2</EditSequence><IsToBePrinted>false"
                                       "</IsToBePrinted><IsToBeEmailed>true</IsToBeEmailed>"
                                       "</InvoiceMod></InvoiceModRq>");
    ask(request(mod.arg(txnId, sequence)));
    ask(request(mod.arg(txnId, sequence))); // 3200
    for (const char* name : {"Smith &amp; Sons &lt;Ltd&gt;", "Plain Customer", "Nobody"})
        ask(request(QStringLiteral("<CustomerQueryRq requestID=\"1\"><FullName>%1</FullName>"
                                   "</CustomerQueryRq>")
                        .arg(QLatin1String(name))));
    ask(request(QStringLiteral("<CompanyQueryRq requestID=\"1\"><IncludeRetElement>CompanyName"
                               "</IncludeRetElement></CompanyQueryRq>")));
    // Many customers at once, only the elements asked for; one unknown makes it 500.
    for (const char* names : {"<FullName>Plain Customer</FullName><FullName>Smith &amp; Sons "
                              "&lt;Ltd&gt;</FullName>",
                              "<FullName>Plain Customer</FullName><FullName>Nobody</FullName>"})
        ask(request(QStringLiteral("<CustomerQueryRq requestID=\"1\">%1<IncludeRetElement>FullName"
                                   "</IncludeRetElement><IncludeRetElement>Email"
                                   "</IncludeRetElement></CustomerQueryRq>")
                        .arg(QLatin1String(names))));
    // The billing run's lease: added, added again under another letter case or a customer's
    // name (3100), read (500 for a name not there), changed, changed with a stale edit
    // sequence (3200), and a batch behind a stale renewal, refused before its add.
    const QString otherAdd = QStringLiteral("<OtherNameAddRq requestID=\"1\"><OtherNameAdd><Name>%1"
                                            "</Name><Notes>held</Notes></OtherNameAdd>"
                                            "</OtherNameAddRq>");
    const QByteArray leased = ask(request(otherAdd.arg(QStringLiteral("Velloran billing run"))));
    for (const char* name : {"velloran BILLING run", "Plain Customer"})
        ask(request(otherAdd.arg(QLatin1String(name))));
    for (const char* name : {"Velloran billing run", "Nobody"})
        ask(request(QStringLiteral("<OtherNameQueryRq requestID=\"1\"><FullName>%1</FullName>"
                                   "</OtherNameQueryRq>")
                        .arg(QLatin1String(name))));
    const QString renewal =
        QStringLiteral("<OtherNameModRq requestID=\"1\"><OtherNameMod><ListID>%1</ListID>"
                       "<EditSequence>%2</EditSequence><Notes>renewed</Notes></OtherNameMod>"
                       "</OtherNameModRq>")
            .arg(textOf(leased, QStringLiteral("ListID")),
                 textOf(leased, QStringLiteral("EditSequence")));
    ask(request(renewal));
    ask(request(renewal)); // 3200
    const int before = host.invoices().size();
    ask(request(renewal + QString(add).replace(QStringLiteral("requestID=\"1\""),
                                               QStringLiteral("requestID=\"2\""))));
    QCOMPARE(host.invoices().size(), before);
    QVERIFY(!answers.constLast().contains("InvoiceAddRs"));
    answers << refused.processRequest(
        request(invoiceAdd(QStringLiteral("Plain Customer"), QStringLiteral("Membership Dues"),
                           QStringLiteral("2027-03-01")))); // 3170

    // "message-set status/request status" of each answer.
    static const QRegularExpression setStatus(QStringLiteral("messageSetStatusCode=\"(\\d+)\""));
    static const QRegularExpression status(QStringLiteral(" statusCode=\"(\\d+)\""));
    QStringList statuses;
    for (const QByteArray& answer : answers) {
        const QString text = QString::fromUtf8(answer);
        statuses << setStatus.match(text).captured(1) + u'/' + status.match(text).captured(1);
    }
    QCOMPARE(
        statuses,
        (QStringList{"0/0",   "0/0",   "9001/", "9004/", "0/0",  "0/",    "600/",  "9002/", "/3140",
                     "/3140", "/3020", "/3070", "/0",    "/0",   "/500",  "/0",    "/1",    "/500",
                     "/0",    "/3200", "/0",    "/0",    "/500", "/0",    "/0",    "/500",  "/0",
                     "/3100", "/3100", "/0",    "/500",  "/0",   "/3200", "/3200", "/3170"}));
    const QString report = invalid(answers);
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

// Full answers, as QuickBooks writes them, some with warnings: the components read exactly
// the fields they need and nothing of what stands around them.
void TestQbxmlSchema::readersTakeFullAnswers() {
    const QByteArray answers = fullAnswers();
    QVERIFY(invalid({answers}).isEmpty());
    RequestRecorder recorder(answers);
    recorder.startListening();
    RequestProcessor processor(recorder.path());
    SyncInvoice invoice(processor);
    SyncCustomer customer(processor);

    invoice.AddInvoice();
    QCOMPARE(invoice.AddedInvoiceId(), QStringLiteral("1A2-1767225600"));
    invoice.LoadInvoice(QStringLiteral("1A2-1767225600"));
    QCOMPARE(invoice.InvoiceCustomer(), QStringLiteral("Smith & Sons <Ltd>"));
    invoice.SetToBePrinted(false);
    invoice.UpdateInvoice();
    customer.LookupCustomer(QStringLiteral("Smith & Sons <Ltd>"));
    // The customer's own address, not a contact's or a custom field's.
    QCOMPARE(customer.LookupResultText(), QStringLiteral("billing@smith.example"));
    const auto found = invoice.findInvoices(QStringLiteral("x"), QStringLiteral("3/1/2027"));
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].txnId, QStringLiteral("1A2-1767225600"));
    QCOMPARE(found[0].lineCount, 1);
    QCOMPARE(found[0].item, QStringLiteral("Membership Dues"));
    QCOMPARE(
        found[0].description,
        QStringLiteral("Kestlemere Chamber of Commerce Membership Dues (3/5/2027 - 4/5/2027)"));
    QCOMPARE(found[0].amount, QStringLiteral("83.33"));
    QCOMPARE(found[1].lineCount, 2);
    // The stored answer of a message set reads as the add it answers.
    QCOMPARE(invoice.openCompanyName(), QStringLiteral("Kestlemere Chamber"));
    const auto stored = invoice.storedAnswer(PostingJournal::newMessageSetId());
    QVERIFY(stored);
    invoice.readAddAnswer(*stored);
    QCOMPARE(invoice.AddedInvoiceId(), QStringLiteral("1A2-1767225600"));
    // The lease's record, found free among everything else an Other Name holds.
    SyncLease lease(processor);
    lease.take();
    QVERIFY(lease.held());
}

// Without the vendor's schema beside the project there is nothing to validate against: the
// program says so and CTest reports the test skipped, not passed.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!QFile::exists(Schema)) {
        std::fprintf(stderr, "skipped: no qbXML schema at %s\n", qPrintable(Schema));
        return SkippedExitCode;
    }
    TestQbxmlSchema test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qbxml_schema.moc"
