#pragma once

#include <QByteArray>
#include <QString>

class QbxmlHost;
class QLocalSocket;

// The failures the host rehearses, one at the Nth request of a kind (InvoiceAdd unless named;
// Any counts every request), and the latency of every request. The host ends before carrying
// the request out, or after storing it but before answering; or it answers with a document
// that is no XML, with half a frame, or not at all; or every invoice was changed by someone
// else just before it (stale: a modify then finds its edit sequence out of date).
class HostFaults {
public:
    enum class Fault { None, DieBeforeStore, DieAfterStore, Garble, Truncate, Mute, Stale };

    // "die-before-store@3", "mute@2:InvoiceMod" and the like; false for a text that names no
    // fault.
    bool set(const QString& fault);
    // Each request is answered this many milliseconds late, as a slow QuickBooks would.
    void setLatency(int ms) { m_latencyMs = ms; }

    // Before request is carried out: counts it, ends the host or makes the file's invoices
    // stale when this is the fault's request, and waits the latency. The fault it carries.
    Fault before(const QByteArray& request, QbxmlHost& host);
    // Hands answer to socket as the request's fault has it: whole, garbled, half, or not at
    // all; or the host ends.
    static void deliver(Fault fault, QLocalSocket& socket, const QByteArray& answer);

private:
    Fault m_fault = Fault::None;
    int m_at = 0;
    QByteArray m_request;
    int m_count = 0;
    int m_latencyMs = 0;
};
