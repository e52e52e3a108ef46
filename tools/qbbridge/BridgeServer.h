#pragma once

#include "tools/common/FramedServer.h"
#include "tools/qbbridge/WebConnectorService.h"

#include <QAbstractHttpServer>

class QLocalSocket;

// qbbridge's two ends: the program's per-user socket, framed as the company-file host's, and
// the Web Connector's SOAP service at /qbwc (GET /qbwc?wsdl gives its WSDL).
class BridgeServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    // SOAP bodies larger than this are refused with a fault.
    static constexpr qsizetype MaxBodyBytes = 16 * 1024 * 1024;

    explicit BridgeServer(WebConnectorService::Options options, QObject* parent = nullptr);
    ~BridgeServer() override;

    // Returns an error text, empty on success.
    QString listenLocal(const QString& path);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void submit(QLocalSocket* socket, const QByteArray& request);

    WebConnectorService m_service;
    // After the service, so that its connections close, and withdraw what they asked for,
    // while the service is still there.
    FramedServer m_local;
};
