#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

struct MHD_Connection;
struct MHD_Daemon;

// The Web Connector's side of the bridge: HTTP/1.1 and HTTPS served by GNU libmicrohttpd in
// the Qt event loop (one thread; the library's epoll descriptor is watched like any socket).
// The library reads request bodies as they arrive, answers "Expect: 100-continue" and closes
// HTTP/1.0 and "Connection: close" exchanges after their answer, and holds a call open
// (suspended) while its answer is awaited. Everything a stranger on the network could use to
// wear the bridge down has a limit here: connections, time to send headers, time to send a
// body, time idle, body size and the memory all bodies take together.
class HttpEndpoint : public QObject {
    Q_OBJECT
public:
    struct Limits {
        // More connections than this are closed at once, never queued.
        int maxConnections = 64;
        // And more than this from one address, so that one host cannot take them all.
        int maxConnectionsPerAddress = 16;
        // A request's line and headers must arrive within this, from the connection's start
        // or from the request's first line.
        int headerSeconds = 10;
        // A connection with no request in progress, or a request that stalls, is closed.
        int idleSeconds = 30;
        // A body must arrive whole within this after its headers.
        int bodySeconds = 60;
        // A larger body is refused with 413 before it is read.
        qint64 maxBodyBytes = 16 * 1024 * 1024;
        // All bodies being read at once together; a request that would pass it is refused
        // with 503, so that memory stays bounded whatever clients send.
        qint64 bodyBudgetBytes = 128 * 1024 * 1024;
    };

    struct Request {
        QByteArray method;
        QByteArray path;
        QByteArray query;
        QByteArray host; // the Host header
        QByteArray body;
        QString peer; // the client's address
    };
    // Answers a request, now or later; false when its connection has gone meanwhile.
    using Responder =
        std::function<bool(int status, const QByteArray& contentType, const QByteArray& body)>;
    using Handler = std::function<void(const Request& request, Responder respond)>;
    // The library's and the endpoint's own notices about refused connections and requests.
    using Notice = std::function<void(const QString& text)>;

    HttpEndpoint(Handler handler, Notice notice, Limits limits, QObject* parent = nullptr);
    ~HttpEndpoint() override;

    // TLS credentials: the certificate chain (leaf first) and the key, both PEM. Set before
    // listen; without them the endpoint speaks plain HTTP.
    void setTls(const QByteArray& certificateChainPem, const QByteArray& keyPem);
    // Listens on address:port (0 for any free port); false, with the reason in errorString(),
    // when it cannot.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_errorString; }
    quint16 port() const { return m_port; }

    // The priorities given to GnuTLS: TLS 1.2 and 1.3, AEAD suites only.
    static const char* const TlsPriorities;

    // One request and its answer, and one TCP connection; the library's callbacks, in the
    // source file, reach them and the endpoint's state through Callbacks.
    struct Exchange;
    struct Connection;
    struct Callbacks;

private:
    void run();
    void sweep();
    void tell(const QString& text);

    Handler m_handler;
    Notice m_notice;
    // The library's last message, awaiting the connection it concerns.
    QString m_libraryMessage;
    Limits m_limits;
    QByteArray m_certificate;
    QByteArray m_key;
    MHD_Daemon* m_daemon = nullptr;
    quint16 m_port = 0;
    QString m_errorString;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;   // the library's own time-outs
    QTimer m_sweeper; // the header and body deadlines
    qint64 m_bodyBytes = 0;
    QHash<Connection*, std::shared_ptr<Connection>> m_connections;
    int m_admitted = 0;
    QHash<Exchange*, std::weak_ptr<Exchange>> m_exchanges;
    // The library repeats some notices once per refused connection: each text is told at
    // most once a minute, with how often it came.
    QHash<QString, QPair<QElapsedTimer, int>> m_told;
};
