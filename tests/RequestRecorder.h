#pragma once

#include <QByteArray>
#include <QList>
#include <QSemaphore>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

// A listener on a local socket that records each request of its connections, one after the
// other, and answers each with the same canned document, so that the exact text a component
// writes can be read back and odd answers can be tried. It ends a second after the last
// request.
class RequestRecorder : public QThread {
public:
    // Listens in a folder of its own; path() is where to connect.
    explicit RequestRecorder(QByteArray answer);
    // Waits for the conversation to end: destroy the client's channel first.
    ~RequestRecorder() override;
    // Starts, and returns once the socket listens.
    void startListening();
    QString path() const { return m_dir.filePath(QStringLiteral("rec.sock")); }

    QList<QByteArray> requests;

protected:
    void run() override;

private:
    QTemporaryDir m_dir;
    QByteArray m_answer;
    QSemaphore m_ready;
};
