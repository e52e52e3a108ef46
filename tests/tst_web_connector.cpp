// Velloran through the Web Connector bridge: qbbridge serves the program's socket and the Web
// Connector's SOAP service; qbhost webconnector plays the Web Connector in front of a company
// file. The same invoices as straight to the host, the failures in plain words, no invoice
// twice, HTTPS, the protocol's refusals, and the Web Connector's part checked against a
// service of the test's own.

#include "BridgeProcess.h"
#include "PostingFixture.h"
#include "QbHostProcess.h"

#include "grid/BillingGrid.h"
#include "posting/PostingJournal.h"
#include "tools/qbwc/SoapMessage.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>

using namespace PostingFixture;

namespace {
// The invoices without what the company file gives them (identifiers, times).
QList<QJsonObject> contentOf(QList<QJsonObject> invoices) {
    for (QJsonObject& invoice : invoices)
        invoice.remove("txn_id");
    return invoices;
}

// Posts raw bytes to url and returns the answer's status and body.
QPair<int, QByteArray> post(const QString& url, const QByteArray& body) {
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/xml; charset=utf-8");
    QNetworkReply* reply = body.isNull() ? network.get(request) : network.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

QByteArray soapCall(const QString& method, const QList<QPair<QString, QString>>& parameters) {
    return SoapMessage::writeCall({method, parameters});
}

QString authenticate(const QString& url, const QString& password) {
    const auto answer = SoapMessage::readResult(
        post(url, soapCall("authenticate",
                           {{"strUserName", BridgeProcess::User}, {"strPassword", password}}))
            .second,
        "authenticate");
    return answer ? answer->list.join(u'|') : QString();
}
} // namespace

class TestWebConnector : public QObject {
    Q_OBJECT
private slots:
    void sameInvoicesAsStraightToTheHost();
    void failuresNeverBillTwice_data();
    void failuresNeverBillTwice();
    void neverConnectedIsWithdrawn();
    void protocolRefusals_data();
    void protocolRefusals();
    void plainHttpOnlyOnLoopback();
    void httpsWithTheOfficeCertificate();
    void webConnectorFollowsTheProtocol();
    void qwcFile();
};

void TestWebConnector::sameInvoicesAsStraightToTheHost() {
    QbHostProcess direct(customers(), {"Membership Dues"});
    QVERIFY(direct.start());
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(direct.socketPath(), grid, journal);

    QbHostProcess company(customers(), {"Membership Dues"});
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.startConnector(company.companyFile()));
    fillMembers(grid);
    journal.clear();
    postOnce(bridge.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid), QStringList(Members.size(), QStringLiteral("Successful")));
    QCOMPARE(contentOf(company.invoices()), contentOf(direct.invoices()));
}

void TestWebConnector::failuresNeverBillTwice_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("result");
    QTest::newRow("Web Connector stops before running the add")
        << "die-before-store@8"
        << "Error -2147220447: The connection to QuickBooks was lost";
    QTest::newRow("Web Connector stops before handing the answer back")
        << "die-after-store@8"
        << "Error -2147220447: The connection to QuickBooks was lost";
    QTest::newRow("QuickBooks fails the request (hresult)")
        << "hresult@8"
        << "Error -2147220472: Could not start QuickBooks.";
    QTest::newRow("Web Connector stops, bridge restarted")
        << "die-after-store@8+bridge"
        << "Error -2147220447: The connection to QuickBooks was lost";
}

// A member with an address takes five requests (look-up, customer, add, load, mark), one
// without three; the eighth request is the second member's add.
void TestWebConnector::failuresNeverBillTwice() {
    QFETCH(QString, fault);
    QFETCH(QString, result);
    QbHostProcess company(customers(), {"Membership Dues"});
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.startConnector(company.companyFile(), {"--fault", fault.section(u'+', 0, 0)}));
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(bridge.socketPath(), grid, journal, 20000);
    QVERIFY2(resultsOf(grid)[1].startsWith(result), qPrintable(resultsOf(grid)[1]));
    QCOMPARE(resultsOf(grid).mid(2), QStringList(3, QString()));
    if (fault.endsWith(u"+bridge")) {
        bridge.stop();
        QVERIFY(bridge.start());
    }
    QVERIFY(bridge.startConnector(company.companyFile()));
    postOnce(bridge.socketPath(), grid, journal);
    QVERIFY2(resultsOf(grid).filter(QStringLiteral("Successful")).size() == Members.size(),
             qPrintable(resultsOf(grid).join(u'\n')));
    const QMap<QString, int> count = billed(company.invoices());
    QCOMPARE(count.size(), Members.size());
    for (const int invoices : count)
        QCOMPARE(invoices, 1);
}

// A Web Connector that never calls: the row says what to do, and the request is withdrawn, so
// one that calls later does not make the invoice.
void TestWebConnector::neverConnectedIsWithdrawn() {
    QbHostProcess company(customers(), {"Membership Dues"});
    BridgeProcess bridge;
    QVERIFY(bridge.start({"--wait", "1"}));
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(bridge.socketPath(), grid, journal);
    QVERIFY2(resultsOf(grid)[0].startsWith(QStringLiteral("Error -2147220472: Could not start "
                                                          "QuickBooks. The QuickBooks Web "
                                                          "Connector did not call within 1 "
                                                          "seconds")) &&
                 resultsOf(grid)[0].contains(QStringLiteral("Update Selected")),
             qPrintable(resultsOf(grid)[0]));
    QVERIFY(bridge.startConnector(company.companyFile()));
    QTest::qWait(3000);
    QCOMPARE(company.invoices().size(), 0);
}

void TestWebConnector::protocolRefusals_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("answer");
    QTest::newRow("wrong password")
        << soapCall("authenticate", {{"strUserName", "clerk"}, {"strPassword", "guess"}}) << 200
        << "<string>nvu</string>";
    QTest::newRow("unknown ticket") << soapCall("sendRequestXML", {{"ticket", "0123456789abcdef"}})
                                    << 500 << "Unknown or ended ticket.";
    QTest::newRow("unknown method") << soapCall("deleteCompany", {}) << 500 << "Unknown method";
    QTest::newRow("no SOAP") << QByteArray("<a><b>") << 500 << "no SOAP call";
    QTest::newRow("too large") << QByteArray(17 * 1024 * 1024, 'x') << 500 << "too large";
    QTest::newRow("WSDL") << QByteArray() << 200 << "soapAction=\"http://developer.intuit.com/";
}

void TestWebConnector::protocolRefusals() {
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, answer);
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    const auto [code, text] =
        post(body.isNull() ? bridge.url() + QStringLiteral("?wsdl") : bridge.url(), body);
    QCOMPARE(code, status);
    QVERIFY2(QString::fromUtf8(text).contains(answer), text.left(400).constData());
    QVERIFY(!text.contains(BridgeProcess::Password));
    // The bridge serves on after every refusal.
    QVERIFY(authenticate(bridge.url(), BridgeProcess::Password).endsWith(u'|'));
}

// Anywhere but loopback needs HTTPS; the bridge refuses before it binds anything.
void TestWebConnector::plainHttpOnlyOnLoopback() {
    BridgeProcess bridge;
    QProcess serve;
    serve.start(BridgeProcess::program(),
                {"serve", "--listen", "0.0.0.0:8080", "--user", "clerk", "--password-file",
                 bridge.passwordFile(), "--socket", bridge.socketPath()});
    QVERIFY(serve.waitForFinished(10000));
    QVERIFY(serve.exitCode() != 0);
    QVERIFY(serve.readAllStandardError().contains("give --cert FILE --key FILE"));
    QVERIFY(!QFile::exists(bridge.socketPath()));
}

void TestWebConnector::httpsWithTheOfficeCertificate() {
    BridgeProcess bridge;
    const QString cert = bridge.path("cert.pem"), key = bridge.path("key.pem");
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                              "-out", cert, "-days", "2", "-subj", "/CN=localhost", "-addext",
                              "subjectAltName=DNS:localhost"});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        QSKIP("skipped: openssl cannot make a certificate here");
    QbHostProcess company(customers(), {"Membership Dues"});
    QVERIFY(bridge.start({"--cert", cert, "--key", key}));
    QVERIFY(bridge.url().startsWith(u"https://127.0.0.1:"));
    const QString url = QString(bridge.url()).replace(QStringLiteral("127.0.0.1"), "localhost");
    QProcess connector;
    connector.start(QbHostProcess::program(),
                    {"webconnector", company.companyFile(), "--url", url, "--user", "clerk",
                     "--password-file", bridge.passwordFile(), "--every", "1", "--ca", cert});
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, Members.mid(0, 1));
    postOnce(bridge.socketPath(), grid, journal);
    connector.kill();
    connector.waitForFinished();
    QCOMPARE(resultsOf(grid), QStringList{"Successful"});
    QCOMPARE(company.invoices().size(), 1);
    // Without the office's certificate, the Web Connector refuses the service.
    QCOMPARE(QbHostProcess::run({"webconnector", company.companyFile(), "--url", url, "--user",
                                 "clerk", "--password-file", bridge.passwordFile()}),
             1);
}

// qbhost webconnector against a service of the test's own: the session's order, the HCP
// answer on the first sendRequestXML only, a pause after "NoOp", the request run against the
// company file, closeConnection after 100.
void TestWebConnector::webConnectorFollowsTheProtocol() {
    QbHostProcess company(customers(), {"Membership Dues"});
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    QStringList calls;
    QString hcpFirst, hcpSecond, response;
    int sends = 0;
    const QString add = QStringLiteral(
        "<?xml version=\"1.0\"?><?qbxml version=\"6.0\"?><QBXML><QBXMLMsgsRq onError=\""
        "stopOnError\"><InvoiceAddRq requestID=\"1\"><InvoiceAdd><CustomerRef><FullName>Birchwood"
        " Bakery</FullName></CustomerRef><InvoiceLineAdd><ItemRef><FullName>Membership Dues"
        "</FullName></ItemRef><Amount>10.00</Amount></InvoiceLineAdd></InvoiceAdd></InvoiceAddRq>"
        "</QBXMLMsgsRq></QBXML>");
    const auto answer = [&](const SoapMessage::Call& call) -> QByteArray {
        const QString& m = call.method;
        calls << m;
        if (m == u"authenticate")
            return SoapMessage::writeResult(m, QStringList{"T1", ""});
        if (m == u"sendRequestXML") {
            (++sends == 1 ? hcpFirst : hcpSecond) = call.parameter("strHCPResponse");
            return SoapMessage::writeResult(m, sends == 1 ? QString() : add);
        }
        if (m == u"getLastError")
            return SoapMessage::writeResult(m, QStringLiteral("NoOp"));
        if (m == u"receiveResponseXML") {
            response = call.parameter("response");
            return SoapMessage::writeResult(m, QStringLiteral("100"));
        }
        return SoapMessage::writeResult(m,
                                        m == u"clientVersion" ? QString() : QStringLiteral("ok"));
    };
    // A bare HTTP/1.1 server: each call's body by its Content-Length, each answered whole.
    QHash<QTcpSocket*, QByteArray> buffers;
    QObject::connect(&service, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = service.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, [&, socket] {
            QByteArray& buffer = buffers[socket];
            buffer += socket->readAll();
            const int end = buffer.indexOf("\r\n\r\n");
            static const QRegularExpression lengthHeader(
                QStringLiteral("content-length:\\s*(\\d+)"),
                QRegularExpression::CaseInsensitiveOption);
            const int length =
                lengthHeader.match(QString::fromLatin1(buffer.left(end))).captured(1).toInt();
            if (end < 0 || buffer.size() < end + 4 + length)
                return;
            const auto call = SoapMessage::readCall(buffer.mid(end + 4, length));
            buffer.remove(0, end + 4 + length);
            const QByteArray body = call ? answer(*call) : SoapMessage::writeFault("bad");
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
        });
    });
    BridgeProcess files; // for its password file
    QProcess connector;
    connector.start(QbHostProcess::program(),
                    {"webconnector", company.companyFile(), "--url",
                     QStringLiteral("http://localhost:%1/qbwc").arg(service.serverPort()), "--user",
                     "clerk", "--password-file", QbHostProcess::program()});
    QTRY_VERIFY_WITH_TIMEOUT(connector.state() == QProcess::NotRunning, 20000);
    QCOMPARE(connector.exitCode(), 0);
    QCOMPARE(calls, (QStringList{"serverVersion", "clientVersion", "authenticate", "sendRequestXML",
                                 "getLastError", "sendRequestXML", "receiveResponseXML",
                                 "closeConnection"}));
    QVERIFY(hcpFirst.contains(QStringLiteral("<HostQueryRs")));
    QVERIFY(hcpSecond.isEmpty());
    QVERIFY(response.contains(QStringLiteral("<InvoiceAddRs")));
    QVERIFY(response.contains(QStringLiteral("statusCode=\"0\"")));
    QCOMPARE(company.invoices().size(), 1);
}

void TestWebConnector::qwcFile() {
    QProcess qwc;
    qwc.start(BridgeProcess::program(), {"qwc", "--url", "https://billing.example.org:8443/qbwc",
                                         "--user", "clerk", "--every", "60"});
    QVERIFY(qwc.waitForFinished(10000));
    QCOMPARE(qwc.exitCode(), 0);
    const QByteArray file = qwc.readAllStandardOutput();
    QXmlStreamReader xml(file);
    QStringList names;
    QMap<QString, QString> values;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            names << xml.name().toString();
        else if (xml.isCharacters() && !xml.isWhitespace())
            values[names.last()] += xml.text();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(names, (QStringList{"QBWCXML", "AppName", "AppID", "AppURL", "AppDescription",
                                 "AppSupport", "UserName", "OwnerID", "FileID", "QBType",
                                 "Scheduler", "RunEveryNSeconds", "IsReadOnly"}));
    QCOMPARE(values["AppSupport"], QStringLiteral("https://billing.example.org:8443/"));
    QCOMPARE(values["QBType"], QStringLiteral("QBFS"));
    QCOMPARE(values["IsReadOnly"], QStringLiteral("false"));
    QCOMPARE(values["RunEveryNSeconds"], QStringLiteral("60"));
    QVERIFY(values["OwnerID"].startsWith(u'{') && values["FileID"].startsWith(u'{'));
    // The Web Connector takes no IP address and no plain HTTP away from localhost.
    for (const char* url : {"https://192.0.2.7/qbwc", "http://billing.example.org/qbwc"})
        QCOMPARE(
            QProcess::execute(BridgeProcess::program(), {"qwc", "--url", url, "--user", "clerk"}),
            1);
}

QTEST_MAIN(TestWebConnector)
#include "tst_web_connector.moc"
