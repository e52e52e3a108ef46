#include "qbhost/HostServer.h"

#include "qbhost/QbxmlHost.h"

HostServer::HostServer(QbxmlHost& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_connections(
          [this](QLocalSocket* socket, const QByteArray& request) { serve(socket, request); }) {}

void HostServer::serve(QLocalSocket* socket, const QByteArray& request) {
    const HostFaults::Fault fault = m_faults.before(request, m_host);
    HostFaults::deliver(fault, *socket, m_host.answer(request));
}
