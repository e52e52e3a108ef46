#include "qbhost/HostFaults.h"

#include "qbhost/QbxmlHost.h"
#include "qbxml/QbChannel.h"

#include <QHash>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>
#include <unistd.h>

bool HostFaults::set(const QString& fault) {
    static const QHash<QString, Fault> kinds{
        {QStringLiteral("die-before-store"), Fault::DieBeforeStore},
        {QStringLiteral("die-after-store"), Fault::DieAfterStore},
        {QStringLiteral("garble"), Fault::Garble},
        {QStringLiteral("truncate"), Fault::Truncate},
        {QStringLiteral("mute"), Fault::Mute},
        {QStringLiteral("stale"), Fault::Stale}};
    static const QRegularExpression form(QStringLiteral("^([a-z-]+)@([0-9]+)(?::([A-Za-z]+))?$"));
    const auto match = form.match(fault);
    const int at = match.captured(2).toInt();
    const QString request =
        match.captured(3).isEmpty() ? QStringLiteral("InvoiceAdd") : match.captured(3);
    if (!match.hasMatch() || at < 1 || !kinds.contains(match.captured(1)))
        return false;
    m_fault = kinds.value(match.captured(1));
    m_at = at;
    // "Any" counts every request, whatever it asks.
    m_request = request == u"Any" ? QByteArray() : QByteArray("<") + request.toLatin1() + "Rq";
    return true;
}

HostFaults::Fault HostFaults::before(const QByteArray& request, QbxmlHost& host) {
    const bool faulty = m_fault != Fault::None && request.contains(m_request) && ++m_count == m_at;
    const Fault fault = faulty ? m_fault : Fault::None;
    if (fault == Fault::DieBeforeStore)
        ::_exit(3);
    if (fault == Fault::Stale)
        host.invoicesChangedElsewhere();
    if (m_latencyMs > 0) // QuickBooks' own time, one request after the other
        QThread::msleep(unsigned(m_latencyMs));
    return fault;
}

void HostFaults::deliver(Fault fault, QLocalSocket& socket, const QByteArray& answer) {
    switch (fault) {
    case Fault::DieAfterStore:
        ::_exit(3);
    case Fault::Mute:
        return;
    case Fault::Garble:
        socket.write(QbChannel::frame("<QBXML><QBXMLMsgsRs><InvoiceAddRs statusCode="));
        break;
    case Fault::Truncate: {
        const QByteArray whole = QbChannel::frame(answer);
        socket.write(whole.left(whole.size() / 2));
        socket.flush();
        socket.disconnectFromServer();
        return;
    }
    default:
        socket.write(QbChannel::frame(answer));
    }
    socket.flush();
}
