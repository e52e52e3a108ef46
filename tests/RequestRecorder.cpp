#include "RequestRecorder.h"

#include "qbxml/QbChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

RequestRecorder::RequestRecorder(QByteArray answer)
    : m_answer(std::move(answer)) {}

RequestRecorder::~RequestRecorder() {
    wait();
}

void RequestRecorder::startListening() {
    start();
    m_ready.acquire();
}

void RequestRecorder::run() {
    QLocalServer server;
    QLocalServer::removeServer(path());
    server.listen(path());
    m_ready.release();
    if (!server.waitForNewConnection(10000))
        return;
    // A client that asks again on a fresh connection is answered there too.
    do {
        std::unique_ptr<QLocalSocket> socket(server.nextPendingConnection());
        QByteArray buffer, request;
        while (socket->state() == QLocalSocket::ConnectedState && socket->waitForReadyRead(1000)) {
            buffer += socket->readAll();
            while (QbChannel::takeFrame(buffer, request)) {
                requests << request;
                socket->write(QbChannel::frame(m_answer));
                socket->waitForBytesWritten(3000);
            }
        }
    } while (server.waitForNewConnection(1000));
}
