#pragma once

#include "qbbridge/HttpEndpoint.h"
#include "qbbridge/WebConnectorService.h"
#include "service/FramedServer.h"

#include <QObject>

class QLocalSocket;

// qbbridge's two ends: the program's per-user socket, framed as the company-file host's, and
// the Web Connector's SOAP service at /qbwc (GET /qbwc?wsdl gives its WSDL).
class BridgeServer : public QObject {
    Q_OBJECT
public:
    struct Settings {
        WebConnectorService::Options service;
        HttpEndpoint::Limits limits;
        // The URL the Web Connector uses, for the WSDL; empty: built from each request's Host.
        QString publicUrl;
        // PEM; empty for plain HTTP.
        QByteArray certificateChain;
        QByteArray key;
    };

    explicit BridgeServer(Settings settings, QObject* parent = nullptr);
    ~BridgeServer() override;

    // Each is false, with the reason in errorString(), when it cannot listen.
    bool listenLocal(const QString& path);
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_errorString; }
    quint16 port() const { return m_http.port(); }

private:
    void submit(QLocalSocket* socket, const QByteArray& request);
    void handle(const HttpEndpoint::Request& request, const HttpEndpoint::Responder& respond);
    QByteArray wsdl(const HttpEndpoint::Request& request) const;

    Settings m_settings;
    QHostAddress m_address;
    WebConnectorService m_service;
    // After the service, so that its connections close, and withdraw what they asked for,
    // while the service is still there.
    FramedServer m_local;
    // Last, so that it goes first: held calls are let go before anything they reach.
    HttpEndpoint m_http;
    QString m_errorString;
};
