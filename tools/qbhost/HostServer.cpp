#include "HostServer.h"

#include "LocalEndpoint.h"

#include "QbxmlHost.h"
#include "posting/QbChannel.h"

#include <QLocalSocket>
#include <QRegularExpression>
#include <unistd.h>

HostServer::HostServer(QbxmlHost& host, QObject* parent)
    : QObject(parent)
    , m_host(host) {
    connect(&m_server, &QLocalServer::newConnection, this, &HostServer::accept);
}

HostServer::~HostServer() {
    // The connections are the server's children and each says "disconnected" as it goes; they
    // go first, cut off from their handlers, while everything those handlers touch exists.
    // An answer still on its way is handed over first.
    for (QLocalSocket* socket : m_server.findChildren<QLocalSocket*>()) {
        socket->disconnect(this);
        if (socket->bytesToWrite() > 0)
            socket->waitForBytesWritten(2000);
        delete socket;
    }
    m_server.close();
}

bool HostServer::setFault(const QString& fault) {
    static const QHash<QString, Fault> kinds{{"die-before-store", Fault::DieBeforeStore},
                                             {"die-after-store", Fault::DieAfterStore},
                                             {"garble", Fault::Garble},
                                             {"truncate", Fault::Truncate},
                                             {"mute", Fault::Mute}};
    static const QRegularExpression form(QStringLiteral("^([a-z-]+)@([0-9]+)(?::([A-Za-z]+))?$"));
    const auto match = form.match(fault);
    const int at = match.captured(2).toInt();
    const QString request =
        match.captured(3).isEmpty() ? QStringLiteral("InvoiceAdd") : match.captured(3);
    if (!match.hasMatch() || at < 1 || !kinds.contains(match.captured(1)))
        return false;
    m_fault = kinds.value(match.captured(1));
    m_faultAt = at;
    m_faultRequest = QByteArray("<") + request.toLatin1() + "Rq";
    return true;
}

QString HostServer::listen(const QString& path) {
    return LocalEndpoint::listen(m_server, path);
}

void HostServer::accept() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        serve(socket);
    }
}

void HostServer::serve(QLocalSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    QByteArray request;
    try {
        while (QbChannel::takeFrame(buffer, request)) {
            const bool faulty = m_fault != Fault::None && request.contains(m_faultRequest) &&
                                ++m_faultCount == m_faultAt;
            const Fault fault = faulty ? m_fault : Fault::None;
            if (fault == Fault::DieBeforeStore)
                ::_exit(3);
            const QByteArray answer = m_host.answer(request);
            switch (fault) {
            case Fault::DieAfterStore:
                ::_exit(3);
            case Fault::Mute:
                continue;
            case Fault::Garble:
                socket->write(QbChannel::frame("<QBXML><QBXMLMsgsRs><InvoiceAddRs statusCode="));
                break;
            case Fault::Truncate: {
                const QByteArray whole = QbChannel::frame(answer);
                socket->write(whole.left(whole.size() / 2));
                socket->flush();
                socket->disconnectFromServer();
                return;
            }
            default:
                socket->write(QbChannel::frame(answer));
            }
            socket->flush();
        }
    } catch (...) {
        // A damaged frame ends the conversation; the client reports the lost connection.
        socket->abort();
    }
}
