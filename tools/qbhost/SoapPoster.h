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
    // One call; nullopt with the reason in *error when no HTTP answer came.
    std::optional<Answer> post(const QByteArray& soapAction, const QByteArray& body, int timeoutMs,
                               QString* error);

    static constexpr int ContinueWaitMs = 350;

private:
    bool connectIfNeeded(QString* error);
    // Reads one HTTP answer off the connection: its status line, headers and body.
    std::optional<Answer> readAnswer(const QDeadlineTimer& deadline, bool* close, QString* error);
    bool fill(const QDeadlineTimer& deadline);

    QUrl m_url;
    QSslConfiguration m_ssl;
    bool m_newConnectionPerCall;
    std::unique_ptr<QSslSocket> m_socket;
    QByteArray m_buffer;
};
