#include "qbbridge/HttpEndpoint.h"

#include <microhttpd.h>

#include <QDateTime>
#include <QSet>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

// AEAD suites only (GCM, CCM, ChaCha20-Poly1305), TLS 1.2 and 1.3, key exchanges as GnuTLS
// orders them by default.
const char* const HttpEndpoint::TlsPriorities =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:"
    "+CHACHA20-POLY1305:+AES-256-CCM:+AES-128-CCM";

namespace {
// How many connections the library takes in for each one admitted: the rest are closed at once.
constexpr int AcceptedPerAdmitted = 4;
} // namespace

// One TCP connection: which deadline applies to it now.
struct HttpEndpoint::Connection {
    MHD_socket fd = MHD_INVALID_SOCKET;
    bool admitted = false;
    enum Phase { Headers, Body, Held, Idle } phase = Headers;
    QElapsedTimer since;
};

// One request, from its headers to its answer. The endpoint's responders hold it weakly: once
// the library is done with it (or the endpoint is gone) a late answer finds it finished.
struct HttpEndpoint::Exchange {
    HttpEndpoint* endpoint = nullptr;
    MHD_Connection* connection = nullptr;
    Connection* socket = nullptr;
    Request request;
    qint64 reserved = 0; // bytes of the body budget held
    bool dispatched = false;
    bool suspended = false;
    bool answered = false;
    bool finished = false;
    int status = 0;
    QByteArray type;
    QByteArray body;
    bool close = false;
};

struct HttpEndpoint::Callbacks {
    static Connection* connectionOf(MHD_Connection* connection) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Connection*>(info->socket_context) : nullptr;
    }

    static QString peerOf(MHD_Connection* connection) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (!info || !info->client_addr)
            return QString();
        QHostAddress address(info->client_addr);
        bool mapped = false;
        const quint32 v4 = address.toIPv4Address(&mapped);
        if (mapped)
            address = QHostAddress(v4);
        return address.toString();
    }

    static void release(HttpEndpoint& endpoint, Exchange& exchange) {
        endpoint.m_bodyBytes -= exchange.reserved;
        exchange.reserved = 0;
        exchange.request.body = QByteArray();
    }

    static MHD_Result queue(Exchange& exchange) {
        release(*exchange.endpoint, exchange);
        MHD_Response* response = MHD_create_response_from_buffer(
            size_t(exchange.body.size()), const_cast<char*>(exchange.body.constData()),
            MHD_RESPMEM_MUST_COPY);
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, exchange.type.constData());
        if (exchange.close)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
        const MHD_Result queued =
            MHD_queue_response(exchange.connection, unsigned(exchange.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    // A refusal before or while the body is read; the connection closes after it, so that
    // the rest of the body is never read.
    static MHD_Result refuse(Exchange& exchange, int status, const QByteArray& text) {
        exchange.answered = true;
        exchange.status = status;
        exchange.type = QByteArrayLiteral("text/plain; charset=utf-8");
        exchange.body = text;
        exchange.close = true;
        exchange.endpoint->tell(QStringLiteral("refused a request from %1: %2")
                                    .arg(exchange.request.peer, QString::fromUtf8(text.trimmed())));
        return queue(exchange);
    }

    // True when the peer has closed or reset the connection.
    static bool gone(const Exchange& exchange) {
        if (!exchange.socket || exchange.socket->fd == MHD_INVALID_SOCKET)
            return true;
        pollfd poll{exchange.socket->fd, POLLRDHUP, 0};
        return ::poll(&poll, 1, 0) > 0 && (poll.revents & (POLLRDHUP | POLLHUP | POLLERR));
    }

    static Responder responderFor(std::weak_ptr<Exchange> weak) {
        return [weak](int status, const QByteArray& type, const QByteArray& body) {
            const std::shared_ptr<Exchange> exchange = weak.lock();
            if (!exchange || exchange->finished || exchange->answered)
                return false;
            const bool alive = !gone(*exchange);
            exchange->answered = true;
            // An answer for a connection that has gone is not sent; the library closes it.
            exchange->status = alive ? status : 503;
            exchange->type = type;
            exchange->body = alive ? body : QByteArray();
            if (exchange->suspended) {
                // The library calls the access handler again, which queues the answer; a
                // connection that has gone is then closed and forgotten.
                exchange->suspended = false;
                if (exchange->socket)
                    exchange->socket->phase = Connection::Body;
                MHD_resume_connection(exchange->connection);
                // The library takes a resumed connection up at its next run, which nothing
                // else may bring soon.
                QMetaObject::invokeMethod(exchange->endpoint, &HttpEndpoint::run,
                                          Qt::QueuedConnection);
            }
            return alive;
        };
    }

    static MHD_Result begin(HttpEndpoint& endpoint, MHD_Connection* connection, const char* url,
                            const char* method, void** context) {
        auto exchange = std::make_shared<Exchange>();
        exchange->endpoint = &endpoint;
        exchange->connection = connection;
        exchange->socket = connectionOf(connection);
        exchange->request.method = method;
        exchange->request.path = url;
        exchange->request.host =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
        exchange->request.peer = peerOf(connection);
        MHD_get_connection_values(
            connection, MHD_GET_ARGUMENT_KIND,
            [](void* cls, MHD_ValueKind, const char* key, const char* value) {
                QByteArray& query = *static_cast<QByteArray*>(cls);
                if (!query.isEmpty())
                    query += '&';
                query += key;
                if (value)
                    query += '=' + QByteArray(value);
                return MHD_YES;
            },
            &exchange->request.query);
        *context = new std::shared_ptr<Exchange>(exchange);
        endpoint.m_exchanges.insert(exchange.get(), exchange);
        if (exchange->socket) {
            exchange->socket->phase = Connection::Body;
            exchange->socket->since.restart();
        }

        const Limits& limits = endpoint.m_limits;
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                         MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length) {
            bool ok = false;
            const qulonglong bytes = QByteArray(length).trimmed().toULongLong(&ok);
            if (!ok)
                return refuse(*exchange, MHD_HTTP_BAD_REQUEST,
                              QByteArrayLiteral("The Content-Length is no number.\n"));
            if (bytes > qulonglong(limits.maxBodyBytes))
                return refuse(*exchange, MHD_HTTP_CONTENT_TOO_LARGE,
                              QByteArrayLiteral("The request is too large.\n"));
            if (endpoint.m_bodyBytes + qint64(bytes) > limits.bodyBudgetBytes)
                return refuse(*exchange, MHD_HTTP_SERVICE_UNAVAILABLE,
                              QByteArrayLiteral("Too many requests are being read; try again.\n"));
            exchange->reserved = qint64(bytes);
            endpoint.m_bodyBytes += exchange->reserved;
            exchange->request.body.reserve(qsizetype(bytes));
        }
        // With the answer still to come the library says "100 Continue" where asked.
        return MHD_YES;
    }

    static MHD_Result body(Exchange& exchange, const char* data, size_t* size) {
        HttpEndpoint& endpoint = *exchange.endpoint;
        const qint64 after = exchange.request.body.size() + qint64(*size);
        if (after > endpoint.m_limits.maxBodyBytes) {
            // A chunked body that grows past the limit: refused, or cut off where the
            // library takes no answer in the middle of a body.
            const MHD_Result answered = refuse(exchange, MHD_HTTP_CONTENT_TOO_LARGE,
                                               QByteArrayLiteral("The request is too large.\n"));
            *size = 0;
            return answered;
        }
        if (after > exchange.reserved) {
            const qint64 more = after - exchange.reserved;
            if (endpoint.m_bodyBytes + more > endpoint.m_limits.bodyBudgetBytes) {
                const MHD_Result answered =
                    refuse(exchange, MHD_HTTP_SERVICE_UNAVAILABLE,
                           QByteArrayLiteral("Too many requests are being read; try again.\n"));
                *size = 0;
                return answered;
            }
            endpoint.m_bodyBytes += more;
            exchange.reserved = after;
        }
        exchange.request.body.append(data, qsizetype(*size));
        *size = 0;
        return MHD_YES;
    }

    static MHD_Result access(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char* upload,
                             size_t* uploadSize, void** context) {
        HttpEndpoint& endpoint = *static_cast<HttpEndpoint*>(cls);
        if (!*context)
            return begin(endpoint, connection, url, method, context);
        const std::shared_ptr<Exchange> exchange =
            *static_cast<std::shared_ptr<Exchange>*>(*context);
        if (*uploadSize > 0) {
            if (exchange->answered) { // refused: the rest is not kept
                *uploadSize = 0;
                return MHD_YES;
            }
            return body(*exchange, upload, uploadSize);
        }
        if (exchange->answered)
            return queue(*exchange);
        if (exchange->dispatched)
            return MHD_YES;
        exchange->dispatched = true;
        endpoint.m_handler(exchange->request, responderFor(exchange));
        if (exchange->answered)
            return queue(*exchange);
        MHD_suspend_connection(connection);
        exchange->suspended = true;
        if (exchange->socket)
            exchange->socket->phase = Connection::Held;
        return MHD_YES;
    }

    static void completed(void* cls, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode) {
        HttpEndpoint& endpoint = *static_cast<HttpEndpoint*>(cls);
        if (Connection* socket = connectionOf(connection)) {
            socket->phase = Connection::Idle;
            socket->since.restart();
        }
        auto* holder = static_cast<std::shared_ptr<Exchange>*>(*context);
        if (!holder)
            return;
        Exchange& exchange = **holder;
        exchange.finished = true;
        release(endpoint, exchange);
        endpoint.m_exchanges.remove(&exchange);
        delete holder;
        *context = nullptr;
    }

    static void notify(void* cls, MHD_Connection* connection, void** context,
                       MHD_ConnectionNotificationCode what) {
        HttpEndpoint& endpoint = *static_cast<HttpEndpoint*>(cls);
        if (what == MHD_CONNECTION_NOTIFY_STARTED) {
            auto socket = std::make_shared<Connection>();
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            socket->fd = info ? info->connect_fd : MHD_INVALID_SOCKET;
            socket->since.start();
            *context = socket.get();
            endpoint.m_connections.insert(socket.get(), socket);
            // The library accepts more than the limit, so that those beyond it are closed at
            // once instead of waiting unaccepted while the file table fills.
            if (endpoint.m_admitted >= endpoint.m_limits.maxConnections) {
                ::shutdown(socket->fd, SHUT_RDWR);
                socket->phase = Connection::Idle;
                endpoint.tell(QStringLiteral("refused a connection from %1: %2 are open already")
                                  .arg(peerOf(connection))
                                  .arg(endpoint.m_limits.maxConnections));
            } else {
                socket->admitted = true;
                ++endpoint.m_admitted;
            }
        } else if (*context) {
            auto* socket = static_cast<Connection*>(*context);
            // The library's complaint of this run of it (a TLS handshake that failed) belongs
            // to the connection it closes.
            if (!endpoint.m_libraryMessage.isEmpty())
                endpoint.tell(
                    QStringLiteral("connection from %1 closed: %2")
                        .arg(peerOf(connection),
                             withHint(std::exchange(endpoint.m_libraryMessage, QString()))));
            socket->fd = MHD_INVALID_SOCKET;
            endpoint.m_admitted -= socket->admitted;
            endpoint.m_connections.remove(socket);
            *context = nullptr;
        }
    }

    // The request's first line: its headers must follow in time.
    static void* uriSeen(void*, const char*, MHD_Connection* connection) {
        if (Connection* socket = connectionOf(connection)) {
            socket->phase = Connection::Headers;
            socket->since.restart();
        }
        return nullptr;
    }

    // A client that will not go on with the TLS handshake most often does not trust the
    // certificate chain it was sent: the library only says the handshake broke off.
    static QString withHint(const QString& message) {
        if (!message.contains(QLatin1String("out of context")) &&
            !message.contains(QLatin1String("fatal alert")))
            return message;
        return message + QStringLiteral(" The client ended the TLS handshake: it may not trust "
                                        "the certificate chain this bridge sends (qbbridge check "
                                        "shows the chain and the root its computer must trust).");
    }

    // The library's own messages, printf-style: the format is its, which the attribute says.
    __attribute__((format(printf, 2, 0))) static void logged(void* cls, const char* format,
                                                             va_list arguments) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        // Told with the connection it closes, once the library says which (notify).
        auto* endpoint = static_cast<HttpEndpoint*>(cls);
        if (!endpoint->m_libraryMessage.isEmpty())
            endpoint->tell(endpoint->m_libraryMessage);
        endpoint->m_libraryMessage = QString::fromUtf8(text).trimmed();
    }
};

HttpEndpoint::HttpEndpoint(Handler handler, Notice notice, Limits limits, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_notice(std::move(notice))
    , m_limits(limits) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpEndpoint::run);
    m_sweeper.setInterval(500);
    connect(&m_sweeper, &QTimer::timeout, this, &HttpEndpoint::sweep);
}

HttpEndpoint::~HttpEndpoint() {
    if (!m_daemon)
        return;
    m_notifier.reset();
    // Held calls are answered and let go, so that the library can close them as it stops.
    const auto held = m_exchanges;
    for (const std::weak_ptr<Exchange>& weak : held)
        if (const auto exchange = weak.lock(); exchange && exchange->suspended)
            Callbacks::responderFor(exchange)(503, QByteArrayLiteral("text/plain"),
                                              QByteArrayLiteral("The bridge is stopping.\n"));
    MHD_run(m_daemon);
    MHD_stop_daemon(m_daemon);
}

void HttpEndpoint::setTls(const QByteArray& certificateChainPem, const QByteArray& keyPem) {
    m_certificate = certificateChainPem;
    m_key = keyPem;
}

bool HttpEndpoint::listen(const QHostAddress& address, quint16 port) {
    sockaddr_storage storage{};
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        flags |= MHD_USE_IPv6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
    }
    const bool tls = !m_certificate.isEmpty();
    if (tls)
        flags |= MHD_USE_TLS;
    const auto callback = [](auto function) { return reinterpret_cast<intptr_t>(function); };
    QList<MHD_OptionItem> options{
        {MHD_OPTION_EXTERNAL_LOGGER, callback(&Callbacks::logged), this},
        {MHD_OPTION_CONNECTION_LIMIT, intptr_t(AcceptedPerAdmitted * m_limits.maxConnections),
         nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, intptr_t(m_limits.maxConnectionsPerAddress), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, intptr_t(m_limits.idleSeconds), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, callback(&Callbacks::completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, callback(&Callbacks::notify), this},
        {MHD_OPTION_URI_LOG_CALLBACK, callback(&Callbacks::uriSeen), this},
        {MHD_OPTION_SOCK_ADDR, 0, &storage},
    };
    if (tls)
        options += {{MHD_OPTION_HTTPS_MEM_CERT, 0, m_certificate.data()},
                    {MHD_OPTION_HTTPS_MEM_KEY, 0, m_key.data()},
                    {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(TlsPriorities)}};
    options.append({MHD_OPTION_END, 0, nullptr});
    m_daemon = MHD_start_daemon(flags, port, nullptr, nullptr, &Callbacks::access, this,
                                MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!m_daemon) {
        m_errorString = QStringLiteral("cannot serve HTTP%1 on %2 port %3 (%4)")
                            .arg(tls ? QStringLiteral("S") : QString(), address.toString())
                            .arg(port)
                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_port = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
    const int epoll = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd;
    m_notifier = std::make_unique<QSocketNotifier>(epoll, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &HttpEndpoint::run);
    m_sweeper.start();
    run();
    return true;
}

void HttpEndpoint::run() {
    MHD_run(m_daemon);
    MHD_UNSIGNED_LONG_LONG timeout = 0;
    if (MHD_get_timeout(m_daemon, &timeout) == MHD_YES)
        m_timer.start(int(qMin<MHD_UNSIGNED_LONG_LONG>(timeout, 60000)));
    else
        m_timer.stop();
}

// A connection past its header or body deadline is shut down; the library sees it close at
// once and forgets it.
void HttpEndpoint::sweep() {
    // A message of the library that no closed connection claimed is told as it is.
    if (!m_libraryMessage.isEmpty())
        tell(std::exchange(m_libraryMessage, QString()));
    bool shut = false;
    for (const std::shared_ptr<Connection>& socket : std::as_const(m_connections)) {
        const int limit = socket->phase == Connection::Headers ? m_limits.headerSeconds
                          : socket->phase == Connection::Body  ? m_limits.bodySeconds
                                                               : 0;
        if (limit > 0 && socket->since.hasExpired(qint64(limit) * 1000) &&
            socket->fd != MHD_INVALID_SOCKET) {
            ::shutdown(socket->fd, SHUT_RDWR);
            socket->phase = Connection::Idle;
            tell(QStringLiteral("closed a connection that sent its request too slowly"));
            shut = true;
        }
    }
    if (shut)
        run();
}

void HttpEndpoint::tell(const QString& text) {
    auto& told = m_told[text];
    ++told.second;
    if (told.first.isValid() && !told.first.hasExpired(60000))
        return;
    // Each line with its time in UTC, as the service's own lines.
    const QString time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    if (m_notice)
        m_notice(told.second > 1 ? QStringLiteral("%1 %2 (%3 times in the last minute)")
                                       .arg(time, text)
                                       .arg(told.second)
                                 : time + u' ' + text);
    told.first.start();
    told.second = 0;
    if (m_told.size() > 256)
        m_told.clear();
}
