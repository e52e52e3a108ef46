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
#include "soap/SoapMessage.h"

#include "qbxml/QbChannel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslCipher>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>
#include <thread>

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

// Sends bytes to the bridge on a connection of its own from address and reads what comes back
// until the bridge closes the connection or nothing more came for waitMs.
QByteArray exchange(quint16 port, const QByteArray& bytes, bool* closed, int waitMs = 2000,
                    const QString& address = "127.0.0.1") {
    QTcpSocket socket;
    socket.bind(QHostAddress(address));
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "not connected";
    socket.write(bytes);
    QByteArray answer;
    while (socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    answer += socket.readAll();
    *closed = socket.state() != QAbstractSocket::ConnectedState;
    return answer;
}

// The next answer on the program's channel; the frames of no bytes before it, which say that
// QuickBooks has the request, counted in *taken.
QByteArray answerOn(QLocalSocket& channel, int* taken = nullptr) {
    QByteArray buffer, document;
    for (;;) {
        while (QbChannel::takeFrame(buffer, document)) {
            if (!document.isEmpty())
                return document;
            if (taken)
                ++*taken;
        }
        if (!channel.waitForReadyRead(20000))
            return QByteArray();
        buffer += channel.readAll();
    }
}

const QByteArray CompanyQuery =
    "<?xml version=\"1.0\"?><?qbxml version=\"12.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">"
    "<CompanyQueryRq requestID=\"1\"/></QBXMLMsgsRq></QBXML>";

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
    void runsOnTheSchedule_data();
    void runsOnTheSchedule();
    void protocolRefusals_data();
    void protocolRefusals();
    void plainHttpOnlyOnLoopback();
    void httpsWithTheOfficeCertificate();
    void webConnectorFollowsTheProtocol();
    void qwcFile();
    void hostileInputs_data();
    void hostileInputs();
    void floodsAndGuessesCostNothing();
    void oneCompanyFilePerRun();
    void sessionsEndWithTheProgram();
    void slowQuickBooksOnNewConnections();
    void serveRefusesUnsafeSetUps_data();
    void serveRefusesUnsafeSetUps();
    void cleanupTestCase();

private:
    // One bridge and Web Connector for the hostile inputs, each followed by a run.
    std::unique_ptr<QbHostProcess> m_company;
    std::unique_ptr<BridgeProcess> m_bridge;
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

namespace {
// A Web Connector that stops is not heard of again: the answer time tells.
QString silent(int seconds) {
    return QStringLiteral("Error -2147217630: QuickBooks did not answer within %1").arg(seconds);
}
} // namespace

void TestWebConnector::failuresNeverBillTwice_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("result");
    QTest::newRow("Web Connector stops before running the add")
        << "die-before-store@8" << silent(3);
    QTest::newRow("Web Connector stops before handing the answer back")
        << "die-after-store@8" << silent(3);
    QTest::newRow("QuickBooks fails the request (hresult)")
        << "hresult@8"
        << "Error -2147220472: Could not start QuickBooks.";
    QTest::newRow("Web Connector stops, bridge restarted")
        << "die-after-store@8+bridge" << silent(3);
}

// A run asks first which company is open, then looks its customers up and takes its lease
// (its record read, then added); then each batch is checked and sent: the eighth request is
// the second batch, whose first add is the second member's.
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
    postOnce(bridge.socketPath(), grid, journal, 3000);
    // Every row of the second batch (the second to the fifth) says its answer was lost; a
    // batch QuickBooks refused as a whole is told at its first row.
    const int told = result == silent(3) ? 4 : 1;
    for (const QString& text : resultsOf(grid).mid(1, told))
        QVERIFY2(text.startsWith(result), qPrintable(text));
    QCOMPARE(resultsOf(grid).mid(1 + told), QStringList(4 - told, QString()));
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

void TestWebConnector::runsOnTheSchedule_data() {
    QTest::addColumn<int>("intoCycleMs"); // when the clerk presses Create Invoices
    QTest::newRow("just after a call") << 200;
    QTest::newRow("half-way") << 1500;
    QTest::newRow("just before the next") << 2800;
}

// With the schedule set on both sides, a run started at any moment of the Web Connector's
// cycle meets its next call, and its session ends as a success: 100, then closeConnection
// with a summary, and never a getLastError other than "NoOp".
void TestWebConnector::runsOnTheSchedule() {
    QFETCH(int, intoCycleMs);
    constexpr int EverySeconds = 3;
    QbHostProcess company(customers(), {"Membership Dues"});
    BridgeProcess bridge;
    QVERIFY(bridge.start({"--every", QString::number(EverySeconds)}));
    QVERIFY(
        bridge.startConnector(company.companyFile(), {"--every", QString::number(EverySeconds)}));
    // Its sessions start every three seconds from now: the run waits for the one after the
    // moment chosen.
    QTest::qWait(EverySeconds * 1000 + intoCycleMs);
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(bridge.socketPath(), grid, journal);
    QCOMPARE(resultsOf(grid), QStringList(Members.size(), QStringLiteral("Successful")));
    QTRY_VERIFY(bridge.connectorLog().contains("closeConnection \"Velloran: "));
    const QByteArray log = bridge.connectorLog();
    QVERIFY2(QRegularExpression("session ended with 100; closeConnection \"Velloran: \\d+ "
                                "requests answered.\"")
                 .match(QString::fromUtf8(log))
                 .hasMatch(),
             log.constData());
    QVERIFY2(!log.contains("getLastError"), log.constData());
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
    // Every fault carries an empty detail, which .NET's client needs to take it for the body's.
    QTest::newRow("no SOAP") << QByteArray("<a><b>") << 500
                             << "The request is no SOAP call.</faultstring><detail/>";
    QTest::newRow("a SOAP 1.2 envelope")
        << QByteArray("<?xml version=\"1.0\"?><env:Envelope xmlns:env=\"http://www.w3.org/2003/05/"
                      "soap-envelope\"><env:Body><serverVersion xmlns=\"http://developer."
                      "intuit.com/\"/></env:Body></env:Envelope>")
        << 500 << "<faultcode>soap:VersionMismatch</faultcode>";
    QTest::newRow("closeConnection of an unknown ticket")
        << soapCall("closeConnection", {{"ticket", "0123456789abcdef"}}) << 200
        << "Velloran: no session of this ticket is open.";
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
    // The bridge serves on after every refusal; with no program connected, nobody is billing.
    QVERIFY(authenticate(bridge.url(), BridgeProcess::Password).endsWith(u"|none"));
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

// The office's own authority signs through an intermediate: the bridge sends the whole chain,
// so a Web Connector that trusts only the root takes it; suites without AEAD are refused.
void TestWebConnector::httpsWithTheOfficeCertificate() {
    BridgeProcess bridge;
    if (!BridgeProcess::makeChain(bridge.path(QString())))
        QSKIP("skipped: openssl cannot make certificates here");
    const QString root = bridge.path("root.pem");
    QbHostProcess company(customers(), {"Membership Dues"});
    QVERIFY(bridge.start({"--cert", bridge.path("chain.pem"), "--key", bridge.path("leaf.key"),
                          "--public-url", "https://localhost/qbwc"}));
    QVERIFY(bridge.url().startsWith(u"https://127.0.0.1:"));
    const QString url = QString(bridge.url()).replace(QStringLiteral("127.0.0.1"), "localhost");
    QProcess connector;
    connector.start(QbHostProcess::program(),
                    {"webconnector", company.companyFile(), "--url", url, "--user", "clerk",
                     "--password-file", bridge.passwordFile(), "--every", "1", "--ca", root});
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
    // The bridge's log says what that most likely means, and where to look.
    QTRY_VERIFY2(bridge.log().contains("The client ended the TLS handshake: it may not trust the "
                                       "certificate chain this bridge sends (qbbridge check"),
                 bridge.log().constData());
    // A client that offers only a CBC suite finds no common ground.
    QSslSocket cbc;
    QSslConfiguration only = QSslConfiguration::defaultConfiguration();
    only.setProtocol(QSsl::TlsV1_2);
    only.setCiphers({QSslCipher("ECDHE-ECDSA-AES128-SHA256")});
    only.setCaCertificates(QSslCertificate::fromPath(root));
    cbc.setSslConfiguration(only);
    cbc.connectToHostEncrypted("localhost", bridge.port());
    QVERIFY(!cbc.waitForEncrypted(5000));
    // The failed handshakes are told as the bridge's other lines: with their time and peer.
    QTRY_VERIFY2(QRegularExpression("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ connection from "
                                    "127\\.0\\.0\\.1 closed: ")
                     .match(QString::fromUtf8(bridge.log()))
                     .hasMatch(),
                 bridge.log().constData());
}

// qbhost webconnector against a service of the test's own: the session's order, the HCP
// answer on the first sendRequestXML only, a pause after "NoOp", the request run against the
// company file, closeConnection after 100.
void TestWebConnector::webConnectorFollowsTheProtocol() {
    QbHostProcess company(customers(), {"Membership Dues"});
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    QStringList calls;
    QString hcpFirst, hcpSecond, response, companyFile;
    int expectations = 0;
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
            companyFile = call.parameter("strCompanyFileName");
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
            expectations += buffer.left(end).contains("\r\nExpect: 100-continue");
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
    // As QuickBooks names the open file; every call as .NET's HTTP client sends it.
    QCOMPARE(companyFile, QFileInfo(company.companyFile()).absoluteFilePath());
    QCOMPARE(expectations, calls.size());
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
    // The Web Connector takes no IP address and no plain HTTP away from localhost; the bridge
    // serves /qbwc alone, and the password is never in the file.
    for (const char* url :
         {"https://192.0.2.7/qbwc", "http://billing.example.org/qbwc",
          "https://clerk:pw@billing.example.org/qbwc", "https://billing.example.org/soap"})
        QCOMPARE(
            QProcess::execute(BridgeProcess::program(), {"qwc", "--url", url, "--user", "clerk"}),
            1);
    // A file made again keeps the first one's FileID; the host is spelt one way throughout.
    qwc.start(BridgeProcess::program(), {"qwc", "--url", "https://Billing.Example.org/qbwc",
                                         "--user", "clerk", "--file-id", values["FileID"]});
    QVERIFY(qwc.waitForFinished(10000));
    const QByteArray again = qwc.readAllStandardOutput();
    QVERIFY(again.contains("<FileID>" + values["FileID"].toUtf8() + "</FileID>"));
    QVERIFY(again.contains("<AppURL>https://billing.example.org/qbwc</AppURL>"));
    QVERIFY(again.contains("<AppSupport>https://billing.example.org/</AppSupport>"));
}

void TestWebConnector::hostileInputs_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("answer"); // how the answer begins
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("waitMs");
    const QByteArray post = "POST /qbwc HTTP/1.1\r\nHost: localhost\r\n";
    QTest::newRow("a body over 16 MiB announced")
        << post + "Content-Length: 16777217\r\nExpect: 100-continue\r\n\r\n"
        << QByteArray("HTTP/1.1 413") << true << 2000;
    QTest::newRow("a Content-Length that is no number")
        << post + "Content-Length: 1e11\r\n\r\n"
        << QByteArray("HTTP/1.1 400") << true << 2000;
    QTest::newRow("Expect: 100-continue, body held back")
        << post + "Content-Length: 10\r\nExpect: 100-continue\r\n\r\n"
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << false << 1000;
    QTest::newRow("HTTP/1.0") << QByteArray("GET /qbwc?wsdl HTTP/1.0\r\n\r\n")
                              << QByteArray("HTTP/1.1 200 OK") << true << 2000;
    QTest::newRow("Connection: close")
        << QByteArray("GET /qbwc?wsdl HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << true << 2000;
    QTest::newRow("headers never finished")
        << QByteArray("GET /qbwc?wsdl HTTP/1.1\r\nHost: a\r\nX-Slow: ") << QByteArray() << true
        << 12000;
    QByteArray chunked = post + "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, 'x') + "\r\n";
    while (chunked.size() < 17 * 1024 * 1024)
        chunked += chunk;
    QTest::newRow("a chunked body growing past 16 MiB") << chunked << QByteArray() << true << 5000;
}

// What a stranger on the network sends never stops the bridge: each is refused or cut off
// as it arrives, and the clerk's next run works.
void TestWebConnector::hostileInputs() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, answer);
    QFETCH(bool, closes);
    QFETCH(int, waitMs);
    if (!m_bridge) {
        m_company = std::make_unique<QbHostProcess>(customers(), QStringList{"Membership Dues"});
        m_bridge = std::make_unique<BridgeProcess>();
        QVERIFY(m_bridge->start());
        QVERIFY(m_bridge->startConnector(m_company->companyFile()));
    }
    bool closed = false;
    const QByteArray got = exchange(m_bridge->port(), bytes, &closed, waitMs);
    QVERIFY2(got.startsWith(answer), got.left(200).constData());
    QCOMPARE(closed, closes);

    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, {Members[QTest::currentDataTag()[0] % Members.size()]});
    postOnce(m_bridge->socketPath(), grid, journal);
    QVERIFY2(resultsOf(grid)[0].startsWith("Successful"), qPrintable(resultsOf(grid)[0]));
}

// A flood of connections is closed as it comes, and password guesses from one address are
// slowed and logged, while the clerk's run goes on untouched.
void TestWebConnector::floodsAndGuessesCostNothing() {
    QbHostProcess company(customers(), {"Membership Dues"});
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.startConnector(company.companyFile(), {"--latency", "100"}));

    // 300 idle connections from eight addresses: at most 64 are kept, 16 from each.
    QList<QTcpSocket*> flood;
    for (int i = 0; i < 300; ++i) {
        auto* socket = new QTcpSocket;
        socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i % 8)));
        socket->connectToHost(QHostAddress::LocalHost, bridge.port());
        flood << socket;
    }
    QTest::qWait(1500);
    int open = 0;
    for (QTcpSocket* socket : flood)
        open += socket->state() == QAbstractSocket::ConnectedState;
    qDeleteAll(flood);
    QVERIFY2(open <= 64, qPrintable(QString::number(open)));
    QTRY_VERIFY_WITH_TIMEOUT(post(bridge.url() + "?wsdl", QByteArray()).first == 200, 1000);

    // Guesses from 127.0.0.3 while the run goes on: five answered at once, then each later
    // answer spaced by a doubling delay, the right password's too.
    QList<qint64> answeredAt;
    QStringList answers;
    std::thread guesser([&] {
        QElapsedTimer clock;
        clock.start();
        for (const char* password :
             {"x1", "x2", "x3", "x4", "x5", "x6", "x7", BridgeProcess::Password, "x9"}) {
            bool closed = false;
            const bool right = password == BridgeProcess::Password;
            const QByteArray body =
                soapCall("authenticate", {{"strUserName", right ? BridgeProcess::User : "mallory"},
                                          {"strPassword", password}});
            const QByteArray got = exchange(bridge.port(),
                                            "POST /qbwc HTTP/1.1\r\nHost: a\r\nContent-Length: " +
                                                QByteArray::number(body.size()) +
                                                "\r\nConnection: close\r\n\r\n" + body,
                                            &closed, 35000, "127.0.0.3");
            answeredAt << clock.elapsed();
            answers << QString::fromUtf8(got.mid(got.indexOf("<string>", 200)));
        }
    });
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid);
    postOnce(bridge.socketPath(), grid, journal);
    guesser.join();
    QCOMPARE(resultsOf(grid), QStringList(Members.size(), "Successful"));
    QCOMPARE(company.invoices().size(), Members.size());
    QCOMPARE(answers.filter("nvu").size(), answers.size() - 1);
    QVERIFY(!answers[7].contains("nvu"));
    QVERIFY2(answeredAt[5] - answeredAt[4] >= 900 && answeredAt[6] - answeredAt[5] >= 1900 &&
                 answeredAt[7] - answeredAt[6] >= 3900 && answeredAt[8] - answeredAt[7] < 900,
             qPrintable(QString::number(answeredAt.value(8) - answeredAt.value(4))));
    const QByteArray log = bridge.log();
    QCOMPARE(log.count("sign-in refused from 127.0.0.3 for user \"mallory\""), 8);
    QVERIFY(!log.contains(BridgeProcess::Password) && !log.contains("x9"));
}

// Once a Web Connector with company file A has taken a request of a run, one with company
// file B gets nothing of that run: the request waits, then says which file to open. The next
// run may go to B.
void TestWebConnector::oneCompanyFilePerRun() {
    QbHostProcess chamber(customers(), {"Membership Dues"}, "Kestlemere Chamber");
    QbHostProcess other(customers(), {"Membership Dues"}, "Viderizo Foundation");
    BridgeProcess bridge;
    QVERIFY(bridge.start({"--wait", "3"}));
    QLocalSocket run;
    run.connectToServer(bridge.socketPath());
    QVERIFY(run.waitForConnected(5000));
    run.write(QbChannel::frame(CompanyQuery));
    QVERIFY(bridge.startConnector(chamber.companyFile()));
    int taken = 0;
    QVERIFY(answerOn(run, &taken).contains("<CompanyName>Kestlemere Chamber</CompanyName>"));
    QCOMPARE(taken, 1);

    QVERIFY(bridge.startConnector(other.companyFile()));
    run.write(QbChannel::frame(CompanyQuery));
    const QString refused = QString::fromUtf8(answerOn(run));
    QVERIFY2(
        refused.contains("code=\"-2147220472\"") &&
            refused.contains(QStringLiteral("The Web Connector that called has company file %1 "
                                            "open, but this run's invoices went to %2: open "
                                            "%2 in QuickBooks and press Update Selected.")
                                 .arg(QDir::cleanPath(other.companyFile()),
                                      QDir::cleanPath(chamber.companyFile()))),
        qPrintable(refused));

    QLocalSocket nextRun;
    nextRun.connectToServer(bridge.socketPath());
    QVERIFY(nextRun.waitForConnected(5000));
    nextRun.write(QbChannel::frame(CompanyQuery));
    QVERIFY(answerOn(nextRun).contains("<CompanyName>Viderizo Foundation</CompanyName>"));
}

// A session lives while a program is connected: "none" before, an ending told in plain words
// when the program goes; and a session that reported a connection error still says goodbye.
void TestWebConnector::sessionsEndWithTheProgram() {
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    const auto callResult = [&](const QString& method, const QString& ticket) {
        const auto result = SoapMessage::readResult(
            post(bridge.url(), soapCall(method, {{"ticket", ticket}})).second, method);
        return result ? result->text : QStringLiteral("(no answer)");
    };
    QVERIFY(authenticate(bridge.url(), BridgeProcess::Password).endsWith(u"|none"));
    auto program = std::make_unique<QLocalSocket>();
    program->connectToServer(bridge.socketPath());
    QVERIFY(program->waitForConnected(5000));
    QTRY_VERIFY(authenticate(bridge.url(), BridgeProcess::Password).endsWith(u'|'));
    QString ticket = authenticate(bridge.url(), BridgeProcess::Password).section(u'|', 0, 0);
    QCOMPARE(callResult("connectionError", ticket), QStringLiteral("done"));
    QCOMPARE(callResult("closeConnection", ticket),
             QStringLiteral("Velloran: the session has ended."));

    ticket = authenticate(bridge.url(), BridgeProcess::Password).section(u'|', 0, 0);
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(bridge.url())};
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/xml; charset=utf-8");
    QNetworkReply* held = network.post(request, soapCall("sendRequestXML", {{"ticket", ticket}}));
    QTest::qWait(300);
    program.reset(); // the clerk closes Velloran
    QTRY_VERIFY(held->isFinished());
    QCOMPARE(SoapMessage::readResult(held->readAll(), "sendRequestXML")->text, QString());
    delete held;
    QCOMPARE(
        callResult("getLastError", ticket),
        QStringLiteral("Velloran has closed its connection to the bridge: nothing more to do."));
    QVERIFY(authenticate(bridge.url(), BridgeProcess::Password).endsWith(u"|none"));
}

// A Web Connector that opens a connection for each call, in front of a QuickBooks that takes
// longer than the program's answer time from the moment it sent: the answer still counts.
void TestWebConnector::slowQuickBooksOnNewConnections() {
    QbHostProcess company(customers(), {"Membership Dues"});
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(
        bridge.startConnector(company.companyFile(), {"--new-connections", "--latency", "3500"}));
    BillingGrid grid;
    PostingJournal journal;
    fillMembers(grid, Members.mid(1, 1));
    postOnce(bridge.socketPath(), grid, journal, 5000);
    QCOMPARE(resultsOf(grid), QStringList{"Successful"});
    QCOMPARE(company.invoices().size(), 1);
}

void TestWebConnector::serveRefusesUnsafeSetUps_data() {
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a password of 11 characters") << "short"
                                                 << "has 11 characters: it needs at least 12";
    QTest::newRow("a password file others may read")
        << "644"
        << "may be read or changed by others (mode 0644)";
    QTest::newRow("a link to a password file anyone may change")
        << "link"
        << "may be read or changed by others (mode 0666)";
    QTest::newRow("a key others may read") << "key644"
                                           << "the key file";
    QTest::newRow("the key of another certificate") << "otherkey"
                                                    << "does not belong to the certificate";
    QTest::newRow("an expired certificate") << "expired"
                                            << "expired on 2020-01-02T00:00:00Z";
    QTest::newRow("a public URL the certificate does not name")
        << "url"
        << "not for billing.example.org, the host of the public URL";
}

// Before it listens, serve refuses secrets others can read and certificates the Web Connector
// would refuse: exit 1 and one line saying why.
void TestWebConnector::serveRefusesUnsafeSetUps() {
    QFETCH(QString, setUp);
    QFETCH(QString, reason);
    BridgeProcess bridge;
    QString passwordFile = bridge.passwordFile();
    QStringList extra;
    if (setUp == u"short") {
        QFile file(passwordFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("s3cret pass\n");
    } else if (setUp == u"644" || setUp == u"link") {
        QFile::setPermissions(
            passwordFile,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther |
                (setUp == u"link" ? QFile::WriteGroup | QFile::WriteOther : QFile::Permissions()));
        if (setUp == u"link") {
            QVERIFY(QFile::link(passwordFile, bridge.path("link")));
            passwordFile = bridge.path("link");
        }
    } else {
        const QString dir = bridge.path(QString());
        if (!BridgeProcess::makeSelfSigned(dir, "cert", "localhost") ||
            !BridgeProcess::makeSelfSigned(dir, "old", "localhost", "20200101000000Z",
                                           "20200102000000Z"))
            QSKIP("skipped: openssl cannot make certificates here");
        const QString cert = setUp == u"expired" ? "old" : "cert";
        extra << "--cert" << bridge.path(cert + ".pem") << "--key"
              << bridge.path((setUp == u"otherkey" ? "old" : cert) + QString(".key"));
        if (setUp == u"key644")
            QFile::setPermissions(bridge.path("cert.key"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        if (setUp == u"url")
            extra << "--public-url"
                  << "https://billing.example.org:8443/qbwc";
    }
    QProcess serve;
    serve.start(BridgeProcess::program(),
                QStringList{"serve", "--listen", "127.0.0.1:0", "--user", "clerk",
                            "--password-file", passwordFile, "--socket", bridge.socketPath()} +
                    extra);
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(serve.exitCode(), 1);
    const QString said = QString::fromUtf8(serve.readAllStandardError());
    QVERIFY2(said.contains(reason) && said.count(u'\n') == 1, qPrintable(said));
    QVERIFY(!QFile::exists(bridge.socketPath()));
}

void TestWebConnector::cleanupTestCase() {
    m_bridge.reset();
    m_company.reset();
}

QTEST_MAIN(TestWebConnector)
#include "tst_web_connector.moc"
