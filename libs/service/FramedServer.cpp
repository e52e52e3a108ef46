#include "service/FramedServer.h"

#include "qbxml/QbChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

FramedServer::FramedServer(Handler handler, Gone gone, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_gone(std::move(gone)) {
    connect(&m_server, &QLocalServer::newConnection, this, &FramedServer::accept);
}

FramedServer::~FramedServer() {
    // The connections are the server's children and each says "disconnected" as it goes.
    // An answer still on its way is handed over first.
    for (QLocalSocket* connection : m_server.findChildren<QLocalSocket*>()) {
        connection->disconnect(this);
        if (m_gone)
            m_gone(connection);
        if (connection->bytesToWrite() > 0)
            connection->waitForBytesWritten(2000);
        delete connection;
    }
    m_server.close(); // removes the socket file
}

bool FramedServer::listen(const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000)) {
        m_errorString = QStringLiteral("another company-file host already serves %1").arg(path);
        return false;
    }
    probe.abort();

    // A folder made here is private; one that exists is left as its owner set it.
    const QString dir = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(dir) && QDir().mkpath(dir))
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QLocalServer::removeServer(path); // a socket file left by a server that was killed
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(path)) {
        m_errorString = m_server.errorString();
        return false;
    }
    return true;
}

void FramedServer::accept() {
    while (QLocalSocket* connection = m_server.nextPendingConnection()) {
        if (m_arrived)
            m_arrived(connection);
        connect(connection, &QLocalSocket::readyRead, this,
                [this, connection] { read(connection); });
        connect(connection, &QLocalSocket::disconnected, this, [this, connection] {
            if (m_gone)
                m_gone(connection);
            m_buffers.remove(connection);
            connection->deleteLater();
        });
        read(connection);
    }
}

void FramedServer::read(QLocalSocket* connection) {
    QByteArray& buffer = m_buffers[connection];
    buffer += connection->readAll();
    QByteArray request;
    try {
        while (connection->state() == QLocalSocket::ConnectedState &&
               QbChannel::takeFrame(buffer, request))
            m_handler(connection, request);
    } catch (...) {
        // The client reports the lost connection.
        connection->abort();
    }
}
