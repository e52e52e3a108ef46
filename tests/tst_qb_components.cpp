// The invoice and customer components against the real company-file host, and the requests
// they write, element by element.

#include "QbHostProcess.h"
#include "QbSync.h"
#include "RequestRecorder.h"
#include "TestSupport.h"

#include "core/Failure.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/PostingJournal.h"
#include "qbhost/CompanyFile.h"
#include "qbxml/QbChannel.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/RequestProcessor.h"

#include <QDir>
#include <QJsonArray>
#include <QLocalSocket>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QXmlStreamReader>

using TestSupport::failureOf;

namespace {

// The element names of a request's InvoiceAdd (or InvoiceMod), depth-first, and its version.
QStringList elementsOf(const QByteArray& request, QString* version) {
    QXmlStreamReader xml(request);
    QStringList names;
    bool inside = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isProcessingInstruction() && xml.processingInstructionTarget() == u"qbxml")
            *version = xml.processingInstructionData().toString();
        if (xml.isStartElement()) {
            if (inside)
                names << xml.name().toString();
            if (xml.name() == u"InvoiceAdd" || xml.name() == u"InvoiceMod")
                inside = true;
        }
    }
    return names;
}

const QByteArray AddAnswer =
    "<?xml version=\"1.0\"?><?qbxml version=\"6.0\"?><QBXML><QBXMLMsgsRs><InvoiceAddRs "
    "requestID=\"1\" "
    "statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status "
    "OK\"><InvoiceRet><TxnID>1-1</TxnID>"
    "<EditSequence>7</EditSequence></InvoiceRet></InvoiceAddRs></QBXMLMsgsRs></QBXML>";
} // namespace

class TestQbComponents : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void companyFileTakesBackAFailedChange();

    void addRequestElementOrder();
    void clearInvoiceForgetsVersionAndConfig();
    void unknownConfigurationFails();

    void addedInvoiceIsStoredIntact();
    void emailElementNeedsVersionSix();
    void loadAndUpdate();
    void staleEditSequenceIsRefused();
    void referencesAndDatesChecked();
    void customerLookup();
    void noHostIsCouldNotStart();
    void restartedHostIsFoundAgain();
    void refusesSecondHostOnSameSocket();

    void framesTakenWhole_data();
    void framesTakenWhole();
    void hostKeepsMessageSetAnswers();
    void hostStopsCleanlyWithClientsConnected();
    void hostFindsInvoicesByCustomerAndDate_data();
    void hostFindsInvoicesByCustomerAndDate();

private:
    void fillInvoice(InvoiceComponent& invoice, const QString& customer);
    QbHostProcess* m_host = nullptr;
};

void TestQbComponents::initTestCase() {
    m_host = new QbHostProcess(
        {"Smith & Sons <Ltd>|billing@smith.example", "O'Brien \"Cafe\"", "Plain Customer"},
        {"Membership Dues", "Pledge"});
    QVERIFY(m_host->start());
}

void TestQbComponents::cleanupTestCase() {
    delete m_host;
}

void TestQbComponents::fillInvoice(InvoiceComponent& invoice, const QString& customer) {
    invoice.ClearInvoice();
    invoice.SetInvoiceCustomer(customer);
    invoice.SetTransactionDate(QStringLiteral("3/1/2027"));
    invoice.SetDueDate(QStringLiteral("3/15/2027"));
    invoice.SetToBePrinted(true);
    invoice.SetLineCount(1);
    invoice.SetLineItem(0, QStringLiteral("Membership Dues"));
    invoice.SetLineDescription(0, QStringLiteral("Dues (3/5/2027 - 4/5/2027)"));
    invoice.SetLineQuantity(0, 1);
    invoice.SetLineAmount(0, 8333);
    invoice.SetLineExtra(0, QString());
}

void TestQbComponents::addRequestElementOrder() {
    RequestRecorder recorder(AddAnswer);
    recorder.startListening();
    RequestProcessor processor(recorder.path());
    SyncInvoice invoice(processor);

    fillInvoice(invoice, QStringLiteral("Smith & Sons <Ltd>"));
    invoice.SetRequestVersion(QStringLiteral("6.0"));
    invoice.ApplyConfig(
        QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>"));
    invoice.AddInvoice();
    QCOMPARE(invoice.AddedInvoiceId(), QStringLiteral("1-1"));

    fillInvoice(invoice, QStringLiteral("Plain Customer"));
    invoice.SetLineExtra(0, QStringLiteral("ref 7"));
    invoice.AddInvoice();
    recorder.wait(5000);
    QCOMPARE(recorder.requests.size(), 2);

    QString version;
    QCOMPARE(elementsOf(recorder.requests[0], &version),
             (QStringList{"CustomerRef", "FullName", "TxnDate", "DueDate", "IsToBePrinted",
                          "IsToBeEmailed", "InvoiceLineAdd", "ItemRef", "FullName", "Desc",
                          "Quantity", "Amount"}));
    QCOMPARE(version, QStringLiteral("version=\"6.0\""));
    const QString first = QString::fromUtf8(recorder.requests[0]);
    QVERIFY(first.contains(QStringLiteral("<FullName>Smith &amp; Sons &lt;Ltd&gt;</FullName>")));
    QVERIFY(first.contains(QStringLiteral("<TxnDate>2027-03-01</TxnDate>")));
    QVERIFY(first.contains(QStringLiteral("<DueDate>2027-03-15</DueDate>")));
    QVERIFY(first.contains(QStringLiteral("<IsToBePrinted>true</IsToBePrinted>")));
    QVERIFY(first.contains(QStringLiteral("<IsToBeEmailed>1</IsToBeEmailed>")));
    QVERIFY(first.contains(QStringLiteral("<Amount>83.33</Amount>")));
    QVERIFY(first.contains(QStringLiteral("<InvoiceAddRq requestID=\"1\">")));
    QVERIFY(first.contains(QStringLiteral("onError=\"stopOnError\"")));

    // The next invoice, cleared, is an ordinary 3.0 request; its extra text is Other1.
    QCOMPARE(elementsOf(recorder.requests[1], &version),
             (QStringList{"CustomerRef", "FullName", "TxnDate", "DueDate", "IsToBePrinted",
                          "InvoiceLineAdd", "ItemRef", "FullName", "Desc", "Quantity", "Amount",
                          "Other1"}));
    QCOMPARE(version, QStringLiteral("version=\"3.0\""));
}

void TestQbComponents::clearInvoiceForgetsVersionAndConfig() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    invoice.SetRequestVersion(QStringLiteral("6.0"));
    invoice.ApplyConfig(
        QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>"));
    invoice.ClearInvoice();
    QCOMPARE(invoice.requestVersion(), QStringLiteral("3.0"));
    fillInvoice(invoice, QStringLiteral("Plain Customer"));
    invoice.AddInvoice();
    const QJsonObject stored = m_host->invoices().constLast();
    QCOMPARE(stored.value("txn_id").toString(), invoice.AddedInvoiceId());
    QCOMPARE(stored.value("is_to_be_emailed").toBool(), false);
}

void TestQbComponents::unknownConfigurationFails() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    const Failure unknown =
        failureOf([&] { invoice.ApplyConfig(QStringLiteral("PrependBefore:X=<a/>")); });
    QVERIFY(unknown.number() != 0);
    QVERIFY(unknown.description().contains(QStringLiteral("PrependBefore")));
    const Failure broken =
        failureOf([&] { invoice.ApplyConfig(QStringLiteral("AppendAfter:IsToBePrinted=<a>")); });
    QVERIFY(broken.number() != 0);
    QVERIFY(failureOf([&] { invoice.SetLineItem(3, QStringLiteral("x")); }).number() == 9);
}

void TestQbComponents::addedInvoiceIsStoredIntact() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    fillInvoice(invoice, QStringLiteral("O'Brien \"Cafe\""));
    invoice.SetLineDescription(0, QStringLiteral("Dues for Smith & Sons <Ltd> \"quoted\""));
    invoice.SetLineAmount(0, 2147483647);
    invoice.AddInvoice();
    const QJsonObject stored = m_host->invoices().constLast();
    QCOMPARE(stored.value("customer").toString(), QStringLiteral("O'Brien \"Cafe\""));
    QCOMPARE(stored.value("txn_date").toString(), QStringLiteral("2027-03-01"));
    QCOMPARE(stored.value("due_date").toString(), QStringLiteral("2027-03-15"));
    QCOMPARE(stored.value("is_to_be_printed").toBool(), true);
    const QJsonObject line = stored.value("lines").toArray().at(0).toObject();
    QCOMPARE(line.value("desc").toString(),
             QStringLiteral("Dues for Smith & Sons <Ltd> \"quoted\""));
    QCOMPARE(line.value("amount").toString(), QStringLiteral("21474836.47"));
    QCOMPARE(line.value("item").toString(), QStringLiteral("Membership Dues"));
    QCOMPARE(line.value("quantity").toInt(), 1);
}

void TestQbComponents::emailElementNeedsVersionSix() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    const int before = m_host->invoices().size();
    fillInvoice(invoice, QStringLiteral("Plain Customer"));
    invoice.ApplyConfig(
        QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>"));
    const Failure f = failureOf([&] { invoice.AddInvoice(); });
    QCOMPARE(f.number(), -2147220480);
    QVERIFY(f.description().startsWith(
        QStringLiteral("QuickBooks found an error when parsing the provided XML text stream.")));
    QCOMPARE(m_host->invoices().size(), before);
}

void TestQbComponents::loadAndUpdate() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    fillInvoice(invoice, QStringLiteral("Smith & Sons <Ltd>"));
    invoice.SetRequestVersion(QStringLiteral("6.0"));
    invoice.ApplyConfig(
        QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>"));
    invoice.AddInvoice();
    const QString id = invoice.AddedInvoiceId();
    invoice.ClearInvoice();
    invoice.LoadInvoice(id);
    QCOMPARE(invoice.InvoiceCustomer(), QStringLiteral("Smith & Sons <Ltd>"));
    invoice.SetToBePrinted(false);
    invoice.UpdateInvoice();
    const QJsonObject stored = m_host->invoices().constLast();
    QCOMPARE(stored.value("txn_id").toString(), id);
    QCOMPARE(stored.value("is_to_be_printed").toBool(), false);
    QCOMPARE(stored.value("is_to_be_emailed").toBool(), true);
    QCOMPARE(stored.value("due_date").toString(), QStringLiteral("2027-03-15"));

    const Failure missing = failureOf([&] { invoice.LoadInvoice(QStringLiteral("FFFF-1")); });
    QCOMPARE(missing.number(), 500);
}

void TestQbComponents::staleEditSequenceIsRefused() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice first(processor), second(processor);
    fillInvoice(first, QStringLiteral("Plain Customer"));
    first.AddInvoice();
    const QString id = first.AddedInvoiceId();
    first.ClearInvoice();
    first.LoadInvoice(id);
    second.LoadInvoice(id);
    first.SetToBePrinted(false);
    first.UpdateInvoice();
    second.SetToBePrinted(false);
    const Failure stale = failureOf([&] { second.UpdateInvoice(); });
    QCOMPARE(stale.number(), 3200);
    QVERIFY(stale.description().contains(QStringLiteral("out-of-date")));
}

void TestQbComponents::referencesAndDatesChecked() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    const int before = m_host->invoices().size();

    fillInvoice(invoice, QStringLiteral("Nobody Ltd"));
    const Failure customer = failureOf([&] { invoice.AddInvoice(); });
    QCOMPARE(customer.number(), 3140);
    QVERIFY(customer.description().contains(QStringLiteral("Nobody Ltd")));

    fillInvoice(invoice, QStringLiteral("Plain Customer"));
    invoice.SetLineItem(0, QStringLiteral("Donation"));
    const Failure item = failureOf([&] { invoice.AddInvoice(); });
    QCOMPARE(item.number(), 3140);
    QVERIFY(item.description().contains(QStringLiteral("Donation")));

    fillInvoice(invoice, QStringLiteral("Plain Customer"));
    invoice.SetDueDate(QStringLiteral("2/30/2027"));
    const Failure date = failureOf([&] { invoice.AddInvoice(); });
    QCOMPARE(date.number(), 3020);

    fillInvoice(invoice, QString(210, u'x'));
    QCOMPARE(failureOf([&] { invoice.AddInvoice(); }).number(), 3070);
    QCOMPARE(m_host->invoices().size(), before);
}

void TestQbComponents::customerLookup() {
    RequestProcessor processor(m_host->socketPath());
    SyncCustomer customer(processor);
    customer.LookupCustomer(QStringLiteral("Smith & Sons <Ltd>"));
    QCOMPARE(customer.LookupResultText(), QStringLiteral("billing@smith.example"));
    customer.LookupCustomer(QStringLiteral("Plain Customer"));
    QCOMPARE(customer.LookupResultText(), QString());
    const Failure missing = failureOf([&] { customer.LookupCustomer(QStringLiteral("Nobody")); });
    QCOMPARE(missing.number(), 500);
    QCOMPARE(customer.LookupResultText(), QString());
}

void TestQbComponents::noHostIsCouldNotStart() {
    QTemporaryDir dir;
    RequestProcessor processor(dir.filePath(QStringLiteral("nobody.sock")));
    SyncCustomer customer(processor);
    const Failure f = failureOf([&] { customer.LookupCustomer(QStringLiteral("x")); });
    QCOMPARE(f.number(), -2147220472);
    QCOMPARE(f.description(), QStringLiteral("Could not start QuickBooks."));
}

void TestQbComponents::restartedHostIsFoundAgain() {
    QbHostProcess host({"Plain Customer|p@example.org"}, {"Pledge"});
    QVERIFY(host.start());
    RequestProcessor processor(host.socketPath());
    SyncCustomer customer(processor);
    customer.LookupCustomer(QStringLiteral("Plain Customer"));
    host.stop();
    customer.forgetLookUps();
    // Nothing was sent, as when no host ever ran; but the clerk is told that it went away.
    const Failure gone =
        failureOf([&] { customer.LookupCustomer(QStringLiteral("Plain Customer")); });
    QCOMPARE(gone.number(), -2147220472);
    QVERIFY2(gone.description().startsWith("The connection to QuickBooks was lost: it answered "
                                           "before"),
             qPrintable(gone.description()));
    QVERIFY(host.start());
    customer.LookupCustomer(QStringLiteral("Plain Customer"));
    QCOMPARE(customer.LookupResultText(), QStringLiteral("p@example.org"));
}

void TestQbComponents::refusesSecondHostOnSameSocket() {
    QProcess second;
    second.start(QbHostProcess::program(), {QStringLiteral("serve"), m_host->companyFile(),
                                            QStringLiteral("--socket"), m_host->socketPath()});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY(second.exitCode() != 0);
    QVERIFY(second.readAllStandardError().contains("already serves"));
    // The first host is undisturbed.
    RequestProcessor processor(m_host->socketPath());
    SyncCustomer customer(processor);
    customer.LookupCustomer(QStringLiteral("Plain Customer"));

    // A socket file left by a killed host does not stop a new one.
    QbHostProcess host({}, {});
    QVERIFY(host.start());
    host.kill();
    QVERIFY(QFile::exists(host.socketPath()));
    QVERIFY(host.start());
}

void TestQbComponents::framesTakenWhole_data() {
    QTest::addColumn<QList<QByteArray>>("reads");     // what arrives, read by read
    QTest::addColumn<QList<QByteArray>>("documents"); // the frames taken, in order
    QTest::addColumn<bool>("damaged");
    const QByteArray a = "<QBXML>a</QBXML>", b = "<QBXML>bb</QBXML>";
    const QByteArray fa = QbChannel::frame(a), fb = QbChannel::frame(b);
    QTest::newRow("whole") << QList<QByteArray>{fa} << QList<QByteArray>{a} << false;
    QTest::newRow("split inside the length")
        << QList<QByteArray>{fa.left(2), fa.mid(2)} << QList<QByteArray>{a} << false;
    QTest::newRow("split inside the document")
        << QList<QByteArray>{fa.left(9), fa.mid(9)} << QList<QByteArray>{a} << false;
    QTest::newRow("two in one read")
        << QList<QByteArray>{fa + fb} << QList<QByteArray>{a, b} << false;
    QTest::newRow("zero length") << QList<QByteArray>{QbChannel::frame({})}
                                 << QList<QByteArray>{QByteArray()} << false;
    QTest::newRow("oversize") << QList<QByteArray>{QByteArray("\x7f\xff\xff\xff", 4)}
                              << QList<QByteArray>{} << true;
}

void TestQbComponents::framesTakenWhole() {
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, documents);
    QFETCH(bool, damaged);
    QByteArray buffer, document;
    QList<QByteArray> taken;
    bool refused = false;
    for (const QByteArray& read : reads) {
        buffer += read;
        try {
            while (QbChannel::takeFrame(buffer, document))
                taken << document;
        } catch (const Failure&) {
            refused = true;
        }
    }
    QCOMPARE(taken, documents);
    QCOMPARE(refused, damaged);
    if (!damaged)
        QVERIFY(buffer.isEmpty());
}

// The host keeps the answer of every message set with its changes: a repeated set is answered
// from the store, never carried out again; a status check reads the store; forgetting empties
// it; an ID used for other requests, or too long, is refused for the whole set.
void TestQbComponents::hostKeepsMessageSetAnswers() {
    RequestProcessor processor(m_host->socketPath());
    SyncInvoice invoice(processor);
    const int before = m_host->invoices().size();
    const QString id = PostingJournal::newMessageSetId();
    QCOMPARE(id.size(), 24);
    QVERIFY(id != PostingJournal::newMessageSetId());
    QVERIFY(!invoice.storedAnswer(id)); // 9002: nothing stored yet

    fillInvoice(invoice, QStringLiteral("Plain Customer"));
    invoice.setMessageSetId(id);
    invoice.AddInvoice();
    const QString added = invoice.AddedInvoiceId();
    invoice.AddInvoice(); // the same set again: the stored answer, no second invoice
    QCOMPARE(invoice.AddedInvoiceId(), added);
    QCOMPARE(m_host->invoices().size(), before + 1);

    const auto stored = invoice.storedAnswer(id);
    QVERIFY(stored);
    invoice.readAddAnswer(*stored);
    QCOMPARE(invoice.AddedInvoiceId(), added);

    invoice.SetLineAmount(0, 1); // other requests under the same ID
    QCOMPARE(failureOf([&] { invoice.AddInvoice(); }).number(), MessageSetStatus::OtherContent);
    invoice.setMessageSetId(QString(25, u'x'));
    QCOMPARE(failureOf([&] { invoice.AddInvoice(); }).number(), MessageSetStatus::IdTooLong);
    QCOMPARE(m_host->invoices().size(), before + 1);

    invoice.forgetMessageSet(id);
    QVERIFY(!invoice.storedAnswer(id));
    invoice.forgetMessageSet(id); // 600 for an ID that is not stored is no failure
}

void TestQbComponents::hostFindsInvoicesByCustomerAndDate_data() {
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("found");
    QTest::newRow("two of the day") << "O'Brien \"Cafe\""
                                    << "7/4/2031" << 2;
    QTest::newRow("letter case of the name") << "o'brien \"cafe\""
                                             << "7/4/2031" << 2;
    QTest::newRow("another day") << "O'Brien \"Cafe\""
                                 << "7/5/2031" << 0;
    QTest::newRow("another customer") << "Plain Customer"
                                      << "7/4/2031" << 0;
    QTest::newRow("unknown customer (500)") << "Nobody Ltd"
                                            << "7/4/2031" << 0;
}

void TestQbComponents::hostFindsInvoicesByCustomerAndDate() {
    QFETCH(QString, customer);
    QFETCH(QString, date);
    QFETCH(int, found);
    QbHostProcess host({"O'Brien \"Cafe\"", "Plain Customer"}, {"Membership Dues"});
    QVERIFY(host.start());
    RequestProcessor processor(host.socketPath());
    SyncInvoice invoice(processor);
    for (int amount : {8333, 100}) {
        fillInvoice(invoice, QStringLiteral("O'Brien \"Cafe\""));
        invoice.SetTransactionDate(QStringLiteral("7/4/2031"));
        invoice.SetLineAmount(0, amount);
        invoice.AddInvoice();
    }
    const auto invoices = invoice.findInvoices(customer, date);
    QCOMPARE(invoices.size(), found);
    if (found) {
        QCOMPARE(invoices[0].lineCount, 1);
        QCOMPARE(invoices[0].item, QStringLiteral("Membership Dues"));
        QCOMPARE(invoices[0].description, QStringLiteral("Dues (3/5/2027 - 4/5/2027)"));
        QCOMPARE(invoices[0].amount, QStringLiteral("83.33"));
        QCOMPARE(invoices[1].amount, QStringLiteral("1.00"));
    }
}

// SIGTERM while clients are connected, one idle, one halfway through sending a request, one
// whose request is in hand: the host answers what it took, commits, removes its socket file,
// ends with status 0, and the sanitizers (in the sanitizer build) report nothing.
void TestQbComponents::hostStopsCleanlyWithClientsConnected() {
    QTemporaryDir reports;
    QbHostProcess host({"Plain Customer"}, {"Membership Dues"});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       QStringLiteral("detect_leaks=1:log_path=") + reports.filePath("asan"));
    environment.insert(QStringLiteral("UBSAN_OPTIONS"),
                       QStringLiteral("print_stacktrace=1:log_path=") + reports.filePath("ubsan"));
    host.setEnvironment(environment);
    QVERIFY(host.start());

    RequestProcessor idleProcessor(host.socketPath());
    SyncCustomer idle(idleProcessor);
    idle.LookupCustomer(QStringLiteral("Plain Customer"));
    RequestProcessor recorded(host.socketPath());
    SyncInvoice answered(recorded);
    fillInvoice(answered, QStringLiteral("Plain Customer"));
    answered.AddInvoice();

    QLocalSocket half, busy;
    for (QLocalSocket* client : {&half, &busy}) {
        client->connectToServer(host.socketPath());
        QVERIFY(client->waitForConnected(5000));
    }
    const QByteArray add = QbChannel::frame(
        "<?xml version=\"1.0\"?><?qbxml version=\"3.0\"?><QBXML><QBXMLMsgsRq "
        "onError=\"stopOnError\"><InvoiceAddRq><InvoiceAdd><CustomerRef><FullName>Plain "
        "Customer</FullName></CustomerRef><InvoiceLineAdd><ItemRef><FullName>Membership Dues"
        "</FullName></ItemRef><Amount>1.00</Amount></InvoiceLineAdd></InvoiceAdd></InvoiceAddRq>"
        "</QBXMLMsgsRq></QBXML>");
    half.write(add.left(add.size() / 2));
    busy.write(add);
    QVERIFY(half.waitForBytesWritten(5000) && busy.waitForBytesWritten(5000));

    QVERIFY(host.stop());
    QVERIFY(!QFile::exists(host.socketPath()));
    // The request in hand was answered before the end, or not started.
    QByteArray buffer, answer;
    while (busy.waitForReadyRead(1000))
        buffer += busy.readAll();
    buffer += busy.readAll();
    QStringList expected{answered.AddedInvoiceId()};
    if (QbChannel::takeFrame(buffer, answer))
        expected << QbxmlAnswer::read(answer, QStringLiteral("InvoiceAddRs"))
                        .field(QStringLiteral("InvoiceRet/TxnID"));
    QStringList stored;
    for (const QJsonObject& invoice : host.invoices())
        stored << invoice.value("txn_id").toString();
    QCOMPARE(stored, expected);
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "check");
        file.setDatabaseName(host.companyFile());
        QVERIFY(file.open());
        QSqlQuery check(QStringLiteral("PRAGMA integrity_check"), file);
        QVERIFY(check.next());
        QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    QCOMPARE(QDir(reports.path()).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(TestQbComponents)
// A change that fails half-way is taken back whole, and the next change is stored at once: a
// second reader of the file sees it, and nothing of the failed one.
void TestQbComponents::companyFileTakesBackAFailedChange() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("company.qbw"));
    CompanyFile::create(path, QStringLiteral("Test Company"));
    CompanyFile file(path);
    file.addCustomer(QStringLiteral("Abbott"), QString());
    file.addItem(QStringLiteral("Dues"));
    { // the invoice's lines can no longer be stored
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "raw");
        raw.setDatabaseName(path);
        QVERIFY(raw.open());
        QVERIFY(QSqlQuery(QStringLiteral("DROP TABLE invoice_line"), raw).isActive());
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    CompanyFile::Invoice invoice;
    invoice.customer = QStringLiteral("Abbott");
    invoice.lines.append({QString(), QStringLiteral("Dues"), QString(), QString(),
                          QStringLiteral("10.00"), QString()});
    QVERIFY(TestSupport::failureOf([&] { file.addInvoice(invoice); }).number() != 0);
    file.addCustomer(QStringLiteral("Birch"), QString());

    CompanyFile reader(path);
    QVERIFY(reader.customer(QStringLiteral("Birch")));
    QVERIFY(reader.invoices().isEmpty());
}

#include "tst_qb_components.moc"
