#pragma once

#include <QByteArray>
#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <functional>

class QLocalSocket;

// The server side of the program's per-user socket: each connection's bytes are cut into
// framed requests, handed one at a time to the handler. A damaged frame, or a handler that
// throws, ends that connection; a handler that closes it stops its requests. On destruction
// the connections close first, cut off from their handlers, while what the handlers touch
// still exists.
class FramedServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QLocalSocket* connection, const QByteArray& request)>;
    using Gone = std::function<void(QLocalSocket* connection)>;

    explicit FramedServer(Handler handler, Gone gone = {}, QObject* parent = nullptr);
    ~FramedServer() override;

    // Listens on path; false, with the reason in errorString(), when another server answers
    // there or the socket cannot be made. A socket file left by a server that died is taken
    // over; a folder made for it is private.
    bool listen(const QString& path);
    QString errorString() const { return m_errorString; }
    // Told of each new connection, before its first request.
    void onArrival(Gone arrived) { m_arrived = std::move(arrived); }

private:
    void accept();
    void read(QLocalSocket* connection);

    Handler m_handler;
    Gone m_gone;
    Gone m_arrived;
    QLocalServer m_server;
    QHash<QLocalSocket*, QByteArray> m_buffers;
    QString m_errorString;
};
