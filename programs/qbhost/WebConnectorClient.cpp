#include "qbhost/WebConnectorClient.h"

#include "qbhost/QbxmlHost.h"
#include "soap/SoapMessage.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {
// What the Web Connector hands over on the first sendRequestXML of a session: the answers of
// its host, company and preferences queries.
const QString HcpResponse = QStringLiteral(
    "<?xml version=\"1.0\"?><?qbxml version=\"12.0\"?><QBXML><QBXMLMsgsRs>"
    "<HostQueryRs requestID=\"0\" statusCode=\"0\" statusSeverity=\"Info\" "
    "statusMessage=\"Status OK\"><HostRet><ProductName>qbhost company-file host</ProductName>"
    "<MajorVersion>12</MajorVersion><MinorVersion>0</MinorVersion><Country>US</Country>"
    "<SupportedQBXMLVersion>3.0</SupportedQBXMLVersion>"
    "<SupportedQBXMLVersion>6.0</SupportedQBXMLVersion>"
    "<SupportedQBXMLVersion>12.0</SupportedQBXMLVersion>"
    "<IsAutomaticLogin>false</IsAutomaticLogin><QBFileMode>SingleUser</QBFileMode>"
    "</HostRet></HostQueryRs></QBXMLMsgsRs></QBXML>");
constexpr int NoOpPauseMs = 5000;
constexpr int CallTimeoutMs = 120000;

void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

namespace {
QSslConfiguration trusting(const QString& caFile) {
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    if (!caFile.isEmpty()) {
        auto certificates = ssl.caCertificates();
        certificates += QSslCertificate::fromPath(caFile);
        ssl.setCaCertificates(certificates);
    }
    return ssl;
}
} // namespace

WebConnectorClient::WebConnectorClient(Options options, QbxmlHost& host)
    : m_options(std::move(options))
    , m_host(host)
    , m_poster(QUrl(m_options.url), trusting(m_options.caFile), m_options.newConnectionPerCall) {}

bool WebConnectorClient::parseFault(const QString& text, Options& options) {
    static const QRegularExpression form(QStringLiteral("^([a-z-]+)@([0-9]+)$"));
    const auto match = form.match(text);
    const QString kind = match.captured(1);
    options.faultAt = match.captured(2).toInt();
    if (!match.hasMatch() || options.faultAt < 1)
        return false;
    if (kind == u"die-before-store")
        options.fault = Options::Fault::DieBeforeRun;
    else if (kind == u"die-after-store")
        options.fault = Options::Fault::DieAfterRun;
    else if (kind == u"hresult")
        options.fault = Options::Fault::Hresult;
    else
        return false;
    return true;
}

bool WebConnectorClient::fail(const QString& reason) {
    m_errorString = reason;
    return false;
}

std::optional<QStringList>
WebConnectorClient::call(const QString& method, const QList<QPair<QString, QString>>& parameters) {
    const auto answer = m_poster.post("http://developer.intuit.com/" + method.toUtf8(),
                                      SoapMessage::writeCall({method, parameters}), CallTimeoutMs);
    if (!answer) {
        fail(QStringLiteral("%1: %2").arg(method, m_poster.errorString()));
        return std::nullopt;
    }
    const auto result = SoapMessage::readResult(answer->body, method);
    if (result && result->fault) {
        fail(QStringLiteral("%1: SOAP fault: %2").arg(method, *result->fault));
        return std::nullopt;
    }
    if (answer->status != 200 || !result) {
        fail(QStringLiteral("%1: HTTP %2, no answer of the protocol's form")
                 .arg(method)
                 .arg(answer->status));
        return std::nullopt;
    }
    return result->isList ? result->list : QStringList{result->text};
}

bool WebConnectorClient::runSession() {
    m_errorString.clear();
    if (!call(QStringLiteral("serverVersion"), {}))
        return false;
    const auto client = call(QStringLiteral("clientVersion"),
                             {{QStringLiteral("strVersion"), QStringLiteral("2.3.0.36")}});
    if (!client)
        return false;
    if (client->value(0).startsWith(u"E:"))
        return fail(
            QStringLiteral("the service refuses this Web Connector: %1").arg(client->value(0)));
    const auto auth =
        call(QStringLiteral("authenticate"), {{QStringLiteral("strUserName"), m_options.user},
                                              {QStringLiteral("strPassword"), m_options.password}});
    if (!auth)
        return false;
    const QString ticket = auth->value(0);
    const QString company = auth->value(1);
    if (company == u"nvu")
        return fail(QStringLiteral("the service does not know this user name and password"));
    if (company == u"none" || company == u"busy")
        return true;
    std::printf("qbhost: webconnector in session with %s\n", qPrintable(m_options.url));
    std::fflush(stdout);

    bool first = true;
    QString ended;
    for (;;) {
        const auto next = call(QStringLiteral("sendRequestXML"),
                               {{QStringLiteral("ticket"), ticket},
                                {QStringLiteral("strHCPResponse"), first ? HcpResponse : QString()},
                                {QStringLiteral("strCompanyFileName"),
                                 company.isEmpty() ? m_options.companyFile : company},
                                {QStringLiteral("qbXMLCountry"), QStringLiteral("US")},
                                {QStringLiteral("qbXMLMajorVers"), QStringLiteral("12")},
                                {QStringLiteral("qbXMLMinorVers"), QStringLiteral("0")}});
        if (!next)
            return false;
        first = false;
        const QString request = next->value(0);
        if (request.isEmpty()) {
            const auto last =
                call(QStringLiteral("getLastError"), {{QStringLiteral("ticket"), ticket}});
            if (!last)
                return false;
            if (last->value(0) == u"NoOp") {
                pause(NoOpPauseMs);
                continue;
            }
            // The service has no more work: its message ends the session, shown as an error.
            ended = QStringLiteral("getLastError \"%1\"").arg(last->value(0));
            break;
        }
        ++m_handed;
        const bool faulty =
            m_options.fault != Options::Fault::None && m_handed == m_options.faultAt;
        if (faulty && m_options.fault == Options::Fault::DieBeforeRun)
            ::_exit(3);
        QString response, hresult, message;
        if (faulty && m_options.fault == Options::Fault::Hresult) {
            hresult = QStringLiteral("0x80040408");
            message = QStringLiteral("Could not start QuickBooks.");
        } else {
            if (m_options.latencyMs > 0)
                pause(m_options.latencyMs);
            response = QString::fromUtf8(m_host.answer(request.toUtf8()));
        }
        if (faulty && m_options.fault == Options::Fault::DieAfterRun)
            ::_exit(3);
        const auto done =
            call(QStringLiteral("receiveResponseXML"), {{QStringLiteral("ticket"), ticket},
                                                        {QStringLiteral("response"), response},
                                                        {QStringLiteral("hresult"), hresult},
                                                        {QStringLiteral("message"), message}});
        if (!done)
            return false;
        const int percent = done->value(0).toInt();
        if (percent < 0) {
            const auto last =
                call(QStringLiteral("getLastError"), {{QStringLiteral("ticket"), ticket}});
            ended =
                QStringLiteral("getLastError \"%1\"").arg(last ? last->value(0) : m_errorString);
            break;
        }
        if (percent >= 100) {
            ended = QStringLiteral("100");
            break;
        }
    }
    const auto closed =
        call(QStringLiteral("closeConnection"), {{QStringLiteral("ticket"), ticket}});
    if (!closed)
        return false;
    // How the session ended, as the Web Connector's window would show it.
    std::printf("qbhost: webconnector session ended with %s; closeConnection \"%s\"\n",
                qPrintable(ended), qPrintable(closed->value(0)));
    std::fflush(stdout);
    return true;
}
