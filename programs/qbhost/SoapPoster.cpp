#include "qbhost/SoapPoster.h"

#include <QDeadlineTimer>

SoapPoster::SoapPoster(QUrl url, QSslConfiguration ssl, bool newConnectionPerCall)
    : m_url(std::move(url))
    , m_ssl(std::move(ssl))
    , m_newConnectionPerCall(newConnectionPerCall) {}

bool SoapPoster::connectIfNeeded() {
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        // A kept connection the service closed meanwhile shows up only when it is read.
        m_socket->waitForReadyRead(0);
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            return true;
    }
    m_socket = std::make_unique<QSslSocket>();
    m_buffer.clear();
    const bool tls = m_url.scheme() == u"https";
    const quint16 port = quint16(m_url.port(tls ? 443 : 80));
    if (tls) {
        m_socket->setSslConfiguration(m_ssl);
        m_socket->connectToHostEncrypted(m_url.host(), port);
        if (m_socket->waitForEncrypted(30000))
            return true;
    } else {
        m_socket->connectToHost(m_url.host(), port);
        if (m_socket->waitForConnected(30000))
            return true;
    }
    m_errorString = m_socket->errorString();
    return false;
}

SoapPoster::Head SoapPoster::readHead(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    Head head;
    head.status = lines.value(0).split(' ').value(1).toInt();
    head.close = lines.value(0).startsWith("HTTP/1.0");
    for (const QByteArray& line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        if (name == "content-length")
            head.length = ok && length >= 0 && length <= MaxAnswerBytes ? length : -2;
        else if (name == "connection" && value.toLower() == "close")
            head.close = true;
    }
    return head;
}

bool SoapPoster::fill(const QDeadlineTimer& deadline) {
    if (m_socket->bytesAvailable() == 0 &&
        !m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    m_buffer += m_socket->readAll();
    return true;
}

std::optional<SoapPoster::Answer> SoapPoster::readAnswer(const QDeadlineTimer& deadline,
                                                         bool* close) {
    int end = -1;
    while ((end = m_buffer.indexOf("\r\n\r\n")) < 0)
        if (!fill(deadline)) {
            m_errorString = QStringLiteral("no answer: %1").arg(m_socket->errorString());
            return std::nullopt;
        }
    const Head head = readHead(m_buffer.left(end));
    Answer answer;
    answer.status = head.status;
    qint64 length = head.length;
    *close = head.close;
    m_buffer.remove(0, end + 4);
    if (answer.status >= 100 && answer.status < 200)
        return answer; // an interim answer has no body
    if (length == -2) {
        m_errorString = QStringLiteral("an answer with a Content-Length out of bounds");
        return std::nullopt;
    }
    if (length < 0) { // the body ends with the connection
        *close = true;
        while (fill(deadline)) {
        }
        length = m_buffer.size();
    }
    while (m_buffer.size() < length)
        if (!fill(deadline)) {
            m_errorString = QStringLiteral("the answer was cut off");
            return std::nullopt;
        }
    answer.body = m_buffer.left(length);
    m_buffer.remove(0, length);
    return answer;
}

std::optional<SoapPoster::Answer> SoapPoster::post(const QByteArray& soapAction,
                                                   const QByteArray& body, int timeoutMs) {
    if (!connectIfNeeded())
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray path = m_url.path(QUrl::FullyEncoded).toUtf8();
    m_socket->write("POST " + (path.isEmpty() ? QByteArray("/") : path) +
                    " HTTP/1.1\r\nHost: " + m_url.authority(QUrl::FullyEncoded).toUtf8() +
                    "\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: \"" + soapAction +
                    "\"\r\nContent-Length: " + QByteArray::number(body.size()) +
                    "\r\nExpect: 100-continue\r\n" +
                    (m_newConnectionPerCall ? "Connection: close\r\n" : "") + "\r\n");
    m_socket->flush();
    bool close = false;
    std::optional<Answer> answer;
    // The body waits for "100 Continue", or for the final answer that makes it needless.
    const QDeadlineTimer continueWait(ContinueWaitMs);
    if (m_buffer.indexOf("\r\n\r\n") >= 0 || fill(continueWait)) {
        answer = readAnswer(deadline, &close);
        if (!answer)
            return std::nullopt;
    }
    if (!answer || answer->status == 100) {
        m_socket->write(body);
        m_socket->flush();
        answer = readAnswer(deadline, &close);
    }
    if (close || !answer || m_newConnectionPerCall)
        m_socket.reset();
    return answer;
}
