#pragma once

#include "WebConnectorService.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QLocalServer>

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
    void acceptLocal();
    void readLocal(QLocalSocket* socket);

    WebConnectorService m_service;
    QLocalServer m_local;
    QHash<QLocalSocket*, QByteArray> m_buffers;
};
