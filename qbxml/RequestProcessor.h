#pragma once

#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QString>
#include <functional>

// Hands qbXML requests to the company file that is open and returns its answers. The
// connection is kept between requests and opened again when the host closed it; a request is
// sent once and never again, whatever happens to its answer.
class RequestProcessor {
public:
    explicit RequestProcessor(QString socketPath = QString());

    // Throws Failure: -2147220472 "Could not start QuickBooks." when no company file is open,
    // or a plain description of a lost connection or a missing answer.
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

    void setAnswerTimeoutMs(int ms) { m_answerTimeoutMs = ms; }
    // Called every few milliseconds while an answer is awaited, so that a window can paint.
    void setWaitHook(std::function<void()> hook) { m_waitHook = std::move(hook); }
    // Ends the conversation: the next request opens a new connection. A run is one
    // conversation, so that the Web Connector bridge keeps each run to one company file.
    void disconnect();
    // How many requests were handed over so far.
    qint64 requestsSent() const { return m_requestsSent; }
    const QString& socketPath() const { return m_socketPath; }

private:
    void connectIfNeeded();
    bool takeAnswer(QByteArray& answer);

    QString m_socketPath;
    QLocalSocket m_socket;
    QByteArray m_buffer;
    int m_answerTimeoutMs = 60000;
    std::function<void()> m_waitHook;
    qint64 m_requestsSent = 0;
};
