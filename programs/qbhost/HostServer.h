#pragma once

#include "qbhost/HostFaults.h"
#include "service/FramedServer.h"

#include <QByteArray>
#include <QObject>

class QbxmlHost;
class QLocalSocket;

// Serves the company file on a local socket: one framed qbXML request at a time, each answered
// before the next is read.
class HostServer : public QObject {
    Q_OBJECT
public:
    explicit HostServer(QbxmlHost& host, QObject* parent = nullptr);

    // The failures and the latency it rehearses (--fault, --latency).
    HostFaults& faults() { return m_faults; }

    // Refuses when another host answers on path; a socket file left by a host that died is
    // taken over. False, with the reason in errorString(), when it cannot listen.
    bool listen(const QString& path) { return m_connections.listen(path); }
    QString errorString() const { return m_connections.errorString(); }

private:
    void serve(QLocalSocket* socket, const QByteArray& request);

    QbxmlHost& m_host;
    HostFaults m_faults;
    // Last, so that its connections close while the rest is still there.
    FramedServer m_connections;
};
