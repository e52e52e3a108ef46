#pragma once

#include <QByteArray>
#include <QHash>
#include <QLocalServer>
#include <QObject>

class QbxmlHost;
class QLocalSocket;

// Serves the company file on a local socket: one framed qbXML request at a time, each answered
// before the next is read.
class HostServer : public QObject {
    Q_OBJECT
public:
    explicit HostServer(QbxmlHost& host, QObject* parent = nullptr);

    // Refuses when another host answers on path; a socket file left by a host that died is
    // taken over. Returns an error text, empty on success.
    QString listen(const QString& path);

private:
    void accept();
    void serve(QLocalSocket* socket);

    QbxmlHost& m_host;
    QLocalServer m_server;
    QHash<QLocalSocket*, QByteArray> m_buffers;
};
