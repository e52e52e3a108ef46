#include "qbbridge/BridgeServer.h"

#include "qbxml/QbChannel.h"
#include "service/Log.h"
#include "soap/SoapMessage.h"

#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>

namespace {
const QByteArray Xml = QByteArrayLiteral("text/xml; charset=utf-8");
const QByteArray Text = QByteArrayLiteral("text/plain; charset=utf-8");

void notice(const QString& text) {
    Log::write("qbbridge", Log::Warning, text);
}
} // namespace

BridgeServer::BridgeServer(Settings settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_service(m_settings.service, notice)
    , m_local([this](QLocalSocket* socket, const QByteArray& request) { submit(socket, request); },
              [this](QLocalSocket* socket) { m_service.withdraw(socket); })
    , m_http([this](const HttpEndpoint::Request& request,
                    HttpEndpoint::Responder respond) { handle(request, respond); },
             notice, m_settings.limits) {
    m_local.onArrival([this](QLocalSocket* socket) { m_service.programConnected(socket); });
    if (!m_settings.certificateChain.isEmpty())
        m_http.setTls(m_settings.certificateChain, m_settings.key);
}

BridgeServer::~BridgeServer() = default;

bool BridgeServer::listenLocal(const QString& path) {
    if (m_local.listen(path))
        return true;
    m_errorString = m_local.errorString();
    return false;
}

bool BridgeServer::listen(const QHostAddress& address, quint16 port) {
    m_address = address;
    if (m_http.listen(address, port))
        return true;
    m_errorString = m_http.errorString();
    return false;
}

void BridgeServer::submit(QLocalSocket* socket, const QByteArray& request) {
    QPointer<QLocalSocket> to(socket);
    const auto send = [to](const QByteArray& document) {
        if (to) {
            to->write(QbChannel::frame(document));
            to->flush();
        }
    };
    // A frame of no bytes tells the program that QuickBooks has the request now.
    m_service.submit(socket, request, send, [send] { send(QByteArray()); });
}

// The WSDL names the service by its whole URL: the public one, or the one the client used.
QByteArray BridgeServer::wsdl(const HttpEndpoint::Request& request) const {
    static const QByteArray document = [] {
        QFile file(QStringLiteral(":/qbbridge/qbwc.wsdl"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QString url = m_settings.publicUrl;
    if (url.isEmpty()) {
        static const QRegularExpression hostForm(QStringLiteral("^[A-Za-z0-9.:\\[\\]-]{1,255}$"));
        QString host = QString::fromLatin1(request.host);
        if (!hostForm.match(host).hasMatch())
            host = (m_address.protocol() == QAbstractSocket::IPv6Protocol
                        ? u'[' + m_address.toString() + u']'
                        : m_address.toString()) +
                   u':' + QString::number(m_http.port());
        url = (m_settings.certificateChain.isEmpty() ? QStringLiteral("http://")
                                                     : QStringLiteral("https://")) +
              host + QStringLiteral("/qbwc");
    }
    return QByteArray(document).replace("location=\"/qbwc\"",
                                        "location=\"" + url.toHtmlEscaped().toUtf8() + '"');
}

void BridgeServer::handle(const HttpEndpoint::Request& request,
                          const HttpEndpoint::Responder& respond) {
    if (request.path != "/qbwc") {
        respond(404, Text, "The Web Connector service is at /qbwc\n");
        return;
    }
    if (request.method == "GET" && request.query.split('&').contains("wsdl")) {
        respond(200, Xml, wsdl(request));
        return;
    }
    if (request.method != "POST") {
        respond(405, Text, "POST SOAP calls to /qbwc\n");
        return;
    }
    m_service.call(
        request.body,
        [respond](int status, const QByteArray& body) { return respond(status, Xml, body); },
        request.peer);
}
