#include "qbxml/RequestProcessor.h"

#include "core/Failure.h"
#include "qbxml/QbChannel.h"
#include "qbxml/QbxmlAnswer.h"

#include <QDeadlineTimer>
#include <QLocale>
#include <utility>

RequestProcessor::RequestProcessor(QString socketPath)
    : m_socketPath(socketPath.isEmpty() ? QbChannel::defaultSocketPath() : std::move(socketPath)) {
    m_deadline.setSingleShot(true);
    // Only a request sent with send reads here: processRequest reads for itself.
    QObject::connect(&m_socket, &QLocalSocket::readyRead, &m_socket, [this] {
        if (m_pending)
            readPending();
    });
    QObject::connect(&m_socket, &QLocalSocket::disconnected, &m_socket, [this] {
        if (!m_pending)
            return;
        const quint64 request = m_sends;
        readPending(); // what came before the end
        if (m_pending && m_sends == request)
            losePending(Failure(QbError::ConnectionLost,
                                QStringLiteral("The connection to QuickBooks was lost before it "
                                               "answered.")));
    });
    QObject::connect(&m_deadline, &QTimer::timeout, &m_socket, [this] {
        if (m_pending)
            losePending(
                Failure(QbError::NoAnswer,
                        QStringLiteral("QuickBooks did not answer within %1 seconds.")
                            .arg(QLocale::c().toString(m_answerTimeoutMs / 1000.0, 'g', 3))));
    });
}

RequestProcessor::~RequestProcessor() {
    // The socket's last signals reach no caller.
    m_pending.reset();
}

void RequestProcessor::cancel() {
    if (!m_pending)
        return;
    m_pending.reset();
    m_deadline.stop();
    m_socket.abort();
    m_buffer.clear();
}

void RequestProcessor::send(const QByteArray& request, Answered answered, Failed failed) {
    ++m_sends;
    try {
        connectIfNeeded();
    } catch (const Failure& failure) {
        // Reported from the event loop like any outcome, never from inside send.
        m_pending = Pending{std::move(answered), std::move(failed)};
        const quint64 thisSend = m_sends;
        QTimer::singleShot(0, &m_socket, [this, failure, thisSend] {
            if (m_pending && m_sends == thisSend)
                losePending(failure);
        });
        return;
    }
    m_pending = Pending{std::move(answered), std::move(failed)};
    ++m_requestsSent;
    m_socket.write(QbChannel::frame(request));
    m_deadline.start(m_answerTimeoutMs);
}

void RequestProcessor::losePending(const Failure& failure) {
    const Pending pending = *std::exchange(m_pending, std::nullopt);
    m_deadline.stop();
    m_socket.abort();
    m_buffer.clear();
    pending.failed(failure);
}

void RequestProcessor::readPending() {
    m_buffer += m_socket.readAll();
    QByteArray answer;
    try {
        while (takeAnswer(answer)) {
            if (!answer.isEmpty()) {
                m_answered = true;
                m_deadline.stop();
                const Pending pending = *std::exchange(m_pending, std::nullopt);
                pending.answered(answer);
                return;
            }
            // QuickBooks has taken the request only now: its answer time starts from here.
            m_deadline.start(m_answerTimeoutMs);
        }
    } catch (const Failure& failure) {
        losePending(failure);
    }
}

void RequestProcessor::connectIfNeeded() {
    if (m_socket.state() == QLocalSocket::ConnectedState) {
        // A host that went away since the last answer shows up only when the socket is read.
        m_socket.waitForReadyRead(0);
        if (m_socket.state() == QLocalSocket::ConnectedState) {
            m_socket.readAll(); // nothing is due between answers
            return;
        }
    }
    m_socket.abort();
    m_buffer.clear();
    m_socket.connectToServer(m_socketPath);
    if (!m_socket.waitForConnected(5000)) {
        m_socket.abort();
        // Nothing was sent either way; a clerk whose QuickBooks answered a moment ago is told
        // that it went away, not that it never started.
        throw Failure(QbError::CouldNotStart,
                      m_answered ? QStringLiteral("The connection to QuickBooks was lost: it "
                                                  "answered before, and now takes no requests. "
                                                  "Check that QuickBooks (and the Web Connector) "
                                                  "still run.")
                                 : QStringLiteral("Could not start QuickBooks."));
    }
}

void RequestProcessor::disconnect() {
    m_socket.disconnectFromServer();
    if (m_socket.state() != QLocalSocket::UnconnectedState)
        m_socket.abort();
    m_buffer.clear();
}

bool RequestProcessor::takeAnswer(QByteArray& answer) {
    try {
        return QbChannel::takeFrame(m_buffer, answer);
    } catch (const Failure&) {
        m_socket.abort();
        m_buffer.clear();
        throw;
    }
}

QByteArray RequestProcessor::processRequest(const QByteArray& request) {
    connectIfNeeded();
    ++m_requestsSent;
    m_socket.write(QbChannel::frame(request));
    if (!m_socket.waitForBytesWritten(m_answerTimeoutMs) && m_socket.bytesToWrite() > 0) {
        m_socket.abort();
        throw Failure(QbError::ConnectionLost,
                      QStringLiteral("The request could not be handed to QuickBooks: %1")
                          .arg(m_socket.errorString()));
    }
    QDeadlineTimer deadline(m_answerTimeoutMs);
    QByteArray answer;
    for (;;) {
        if (takeAnswer(answer)) {
            if (!answer.isEmpty())
                break;
            // The bridge tells that QuickBooks has taken the request only now: its answer
            // time starts from here.
            deadline.setRemainingTime(m_answerTimeoutMs);
            continue;
        }
        if (m_socket.state() != QLocalSocket::ConnectedState && m_socket.bytesAvailable() == 0) {
            m_socket.abort();
            m_buffer.clear();
            throw Failure(QbError::ConnectionLost,
                          QStringLiteral("The connection to QuickBooks was lost before it "
                                         "answered."));
        }
        if (deadline.hasExpired()) {
            m_socket.abort();
            m_buffer.clear();
            throw Failure(QbError::NoAnswer,
                          QStringLiteral("QuickBooks did not answer within %1 seconds.")
                              .arg(QLocale::c().toString(m_answerTimeoutMs / 1000.0, 'g', 3)));
        }
        m_socket.waitForReadyRead(
            int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 1000))));
        m_buffer += m_socket.readAll();
    }
    m_answered = true;
    return answer;
}
