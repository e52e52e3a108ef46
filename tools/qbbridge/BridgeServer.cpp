#include "tools/qbbridge/BridgeServer.h"

#include "posting/QbChannel.h"
#include "tools/qbwc/SoapMessage.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QLocalSocket>
#include <QPointer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace {
// One HTTP answer, written whole; the connection stays open for the Web Connector's next call.
void writeHttp(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body) {
    const QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Error";
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                  "\r\nContent-Type: " + type +
                  "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

QByteArray wsdl() {
    QFile file(QStringLiteral(":/qbbridge/qbwc.wsdl"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

BridgeServer::BridgeServer(WebConnectorService::Options options, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_service(std::move(options))
    , m_local([this](QLocalSocket* socket, const QByteArray& request) { submit(socket, request); },
              [this](QLocalSocket* socket) { m_service.withdraw(socket); }) {}

BridgeServer::~BridgeServer() {
    // The Web Connector's connections are the HTTP server's; they must not reach the service
    // once it is gone.
    for (QTcpSocket* socket : findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

QString BridgeServer::listenLocal(const QString& path) {
    return m_local.listen(path);
}

void BridgeServer::submit(QLocalSocket* socket, const QByteArray& request) {
    QPointer<QLocalSocket> to(socket);
    m_service.submit(socket, request, [to](const QByteArray& answer) {
        if (to) {
            to->write(QbChannel::frame(answer));
            to->flush();
        }
    });
}

bool BridgeServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (request.url().path() != u"/qbwc")
        return false;
    if (request.method() == QHttpServerRequest::Method::Get &&
        QUrlQuery(request.url()).hasQueryItem(QStringLiteral("wsdl"))) {
        writeHttp(socket, 200, "text/xml; charset=utf-8", wsdl());
        return true;
    }
    if (request.method() != QHttpServerRequest::Method::Post) {
        writeHttp(socket, 405, "text/plain", "POST SOAP calls to /qbwc\n");
        return true;
    }
    if (request.body().size() > MaxBodyBytes) {
        writeHttp(socket, 500, "text/xml; charset=utf-8",
                  SoapMessage::writeFault(QStringLiteral("The request is too large.")));
        return true;
    }
    if (!socket->property("watched").toBool()) {
        socket->setProperty("watched", true);
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { m_service.webConnectorDisconnected(socket); });
    }
    QPointer<QTcpSocket> to(socket);
    m_service.call(
        request.body(),
        [to](int status, const QByteArray& body) {
            if (!to || to->state() != QAbstractSocket::ConnectedState)
                return false;
            writeHttp(to, status, "text/xml; charset=utf-8", body);
            return true;
        },
        socket);
    return true;
}

void BridgeServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    writeHttp(socket, 404, "text/plain", "The Web Connector service is at /qbwc\n");
}
