#include "tools/common/FramedServer.h"

#include "qbxml/QbChannel.h"
#include "tools/common/LocalEndpoint.h"

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

QString FramedServer::listen(const QString& path) {
    return LocalEndpoint::listen(m_server, path);
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
