#pragma once

#include <QByteArray>
#include <QList>
#include <QSemaphore>
#include <QString>
#include <QThread>

// A listener on a local socket that records each request of one connection and answers each
// with the same canned document, so that the exact text a component writes can be read back
// and odd answers can be tried. It ends a second after the last request.
class RequestRecorder : public QThread {
public:
    RequestRecorder(const QString& path, QByteArray answer);
    // Waits for the conversation to end: destroy the client's channel first.
    ~RequestRecorder() override;
    // Starts, and returns once the socket listens.
    void startListening();

    QList<QByteArray> requests;

protected:
    void run() override;

private:
    QString m_path;
    QByteArray m_answer;
    QSemaphore m_ready;
};
