#pragma once

#include "tools/common/FramedServer.h"

#include <QByteArray>
#include <QObject>

class QbxmlHost;
class QLocalSocket;

// Serves the company file on a local socket: one framed qbXML request at a time, each answered
// before the next is read.
class HostServer : public QObject {
    Q_OBJECT
public:
    // Failures to rehearse at the Nth request of a kind (InvoiceAdd unless named; Any counts
    // every request): the host
    // ends before carrying it out, or after storing it but before answering; or it answers
    // with a document that is no XML, with half a frame, or not at all; or every invoice was
    // changed by someone else just before it (stale: a modify then finds its edit sequence
    // out of date).
    enum class Fault { None, DieBeforeStore, DieAfterStore, Garble, Truncate, Mute, Stale };

    explicit HostServer(QbxmlHost& host, QObject* parent = nullptr);

    // "die-before-store@3", "mute@2:InvoiceMod" and the like; false for a text that names no
    // fault.
    bool setFault(const QString& fault);
    // Each request is answered this many milliseconds late, as a slow QuickBooks would.
    void setLatency(int ms) { m_latencyMs = ms; }

    // Refuses when another host answers on path; a socket file left by a host that died is
    // taken over. False, with the reason in errorString(), when it cannot listen.
    bool listen(const QString& path) { return m_connections.listen(path); }
    QString errorString() const { return m_connections.errorString(); }

private:
    void serve(QLocalSocket* socket, const QByteArray& request);

    QbxmlHost& m_host;
    Fault m_fault = Fault::None;
    int m_faultAt = 0;
    QByteArray m_faultRequest;
    int m_faultCount = 0;
    int m_latencyMs = 0;
    // Last, so that its connections close while the rest is still there.
    FramedServer m_connections;
};
