#include "HostServer.h"

#include "QbxmlHost.h"
#include "posting/QbChannel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

HostServer::HostServer(QbxmlHost& host, QObject* parent)
    : QObject(parent)
    , m_host(host) {
    connect(&m_server, &QLocalServer::newConnection, this, &HostServer::accept);
}

QString HostServer::listen(const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000))
        return QStringLiteral("another company-file host already serves %1").arg(path);
    probe.abort();

    const QString dir = QFileInfo(path).absolutePath();
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QLocalServer::removeServer(path); // a socket file left by a host that was killed
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(path))
        return m_server.errorString();
    return QString();
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
            socket->write(QbChannel::frame(m_host.answer(request)));
            socket->flush();
        }
    } catch (...) {
        // A damaged frame ends the conversation; the client reports the lost connection.
        socket->abort();
    }
}
