#pragma once

#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

// Hands qbXML requests to the company file that is open and returns its answers. The
// connection is kept between requests and opened again when the host closed it; a request is
// sent once and never again, whatever happens to its answer. A request goes either way: send
// returns at once and reports from the event loop (a window's run), processRequest waits
// without running the event loop (the tests' support, which plays another user of QuickBooks
// while a run goes on in the same thread). One request at a time.
class RequestProcessor {
public:
    explicit RequestProcessor(QString socketPath = QString());
    ~RequestProcessor();
    RequestProcessor(const RequestProcessor&) = delete;
    RequestProcessor& operator=(const RequestProcessor&) = delete;

    using Answered = std::function<void(const QByteArray&)>;
    using Failed = std::function<void(const Failure&)>;
    // Hands the request over and returns; later, from the event loop, exactly one of answered
    // (the answer) or failed (what processRequest would have thrown) is called.
    void send(const QByteArray& request, Answered answered, Failed failed);
    bool awaiting() const { return m_pending.has_value(); }
    // Forgets the request in flight, whose answer then goes nowhere (its caller is going):
    // the connection is dropped with it.
    void cancel();

    // Throws Failure: -2147220472 "Could not start QuickBooks." when no company file is open
    // (or, once QuickBooks has answered, "The connection to QuickBooks was lost: ..."), or a
    // plain description of a lost connection or a missing answer.
    QByteArray processRequest(const QByteArray& request);
    // A request that changes nothing, its answer read by read: when its connection was lost or
    // its answer could not be read, it is asked once more on a fresh connection before the
    // failure stands. Never for a write: a write's lost answer is settled from QuickBooks'
    // stored answer instead.
    template <typename Read>
    auto processQuery(const QByteArray& request, Read read) -> decltype(read(QByteArray())) {
        try {
            return read(processRequest(request));
        } catch (const Failure& failure) {
            if (failure.number() != QbError::ConnectionLost &&
                failure.number() != QbError::BadAnswer)
                throw;
        }
        disconnect();
        return read(processRequest(request));
    }

    // QuickBooks is given a minute for each answer, unless told otherwise.
    static constexpr int DefaultAnswerTimeoutMs = 60000;
    void setAnswerTimeoutMs(int ms) { m_answerTimeoutMs = ms; }
    // Ends the conversation: the next request opens a new connection. A run is one
    // conversation, so that the Web Connector bridge keeps each run to one company file.
    void disconnect();
    // How many requests were handed over so far.
    qint64 requestsSent() const { return m_requestsSent; }
    const QString& socketPath() const { return m_socketPath; }

private:
    void connectIfNeeded();
    bool takeAnswer(QByteArray& answer);
    // The request sent, its answer now readable, its connection gone, its time up.
    void readPending();
    void losePending(const Failure& failure);

    struct Pending {
        Answered answered;
        Failed failed;
    };
    QString m_socketPath;
    QLocalSocket m_socket;
    QByteArray m_buffer;
    int m_answerTimeoutMs = DefaultAnswerTimeoutMs;
    qint64 m_requestsSent = 0;
    std::optional<Pending> m_pending;
    quint64 m_sends = 0;     // tells a request from the one before it
    bool m_answered = false; // QuickBooks has answered a request of this processor
    QTimer m_deadline;
};
