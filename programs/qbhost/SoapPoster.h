#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

// The Web Connector's HTTP client, as .NET's behaves: every POST says "Expect: 100-continue"
// and holds its body back until "100 Continue" arrives or 350 ms pass; connections are kept
// and reused, or (newConnectionPerCall) each call opens its own and closes it after.
class SoapPoster {
public:
    SoapPoster(QUrl url, QSslConfiguration ssl, bool newConnectionPerCall);

    struct Answer {
        int status = 0;
        QByteArray body;
    };
    // One call; nullopt, with the reason in errorString(), when no HTTP answer came.
    std::optional<Answer> post(const QByteArray& soapAction, const QByteArray& body, int timeoutMs);
    QString errorString() const { return m_errorString; }

    static constexpr int ContinueWaitMs = 350;

    // An answer's status line and headers, up to the blank line.
    struct Head {
        int status = 0;
        qint64 length = -1; // -1: the body ends with the connection
        bool close = false;
    };
    static Head readHead(const QByteArray& head);
    // A larger answer is refused (length -2), as no service's answer is that large.
    static constexpr qint64 MaxAnswerBytes = 64 * 1024 * 1024;

private:
    bool connectIfNeeded();
    // Reads one HTTP answer off the connection: its status line, headers and body.
    std::optional<Answer> readAnswer(const QDeadlineTimer& deadline, bool* close);
    bool fill(const QDeadlineTimer& deadline);

    QUrl m_url;
    QSslConfiguration m_ssl;
    bool m_newConnectionPerCall;
    std::unique_ptr<QSslSocket> m_socket;
    QByteArray m_buffer;
    QString m_errorString;
};
