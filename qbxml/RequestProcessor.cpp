#include "qbxml/RequestProcessor.h"

#include "core/Failure.h"
#include "qbxml/QbChannel.h"
#include "qbxml/QbxmlAnswer.h"

#include <QDeadlineTimer>
#include <QLocale>

RequestProcessor::RequestProcessor(QString socketPath)
    : m_socketPath(socketPath.isEmpty() ? QbChannel::defaultSocketPath() : std::move(socketPath)) {}

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
        throw Failure(QbError::CouldNotStart, QStringLiteral("Could not start QuickBooks."));
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
        // Short waits while someone wants to paint in between.
        const qint64 slice = m_waitHook ? 30 : 1000;
        m_socket.waitForReadyRead(
            int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), slice))));
        m_buffer += m_socket.readAll();
        if (m_waitHook)
            m_waitHook();
    }
    return answer;
}
