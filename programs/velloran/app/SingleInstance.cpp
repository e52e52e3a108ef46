#include "app/SingleInstance.h"

#include "core/RuntimeDir.h"

#include <QDir>
#include <QLocalSocket>

SingleInstance::SingleInstance(const QString& lockPath)
    : m_lockPath(lockPath)
    , m_lock(lockPath) {
    // Only a live holder counts; age alone never makes a running copy's lock stale.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::earlierCopyRunning() {
    if (m_lock.isLocked())
        return false;
    return !m_lock.tryLock(0);
}

QString SingleInstance::socketPath() const {
    return m_lockPath + QStringLiteral(".show");
}

void SingleInstance::onLaterCopy(std::function<void()> shown) {
    if (!m_lock.isLocked())
        return;
    // The lock is this copy's: a socket left by a copy that crashed is its to replace.
    QLocalServer::removeServer(socketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socketPath()))
        return; // the window is simply not brought forward
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this, shown] {
        while (QLocalSocket* later = m_server.nextPendingConnection()) {
            later->deleteLater();
            shown();
        }
    });
}

void SingleInstance::showEarlierCopy() {
    QLocalSocket earlier;
    earlier.connectToServer(socketPath());
    if (earlier.waitForConnected(1000))
        earlier.disconnectFromServer();
}

QString SingleInstance::defaultLockPath() {
    return QDir(RuntimeDir::path()).filePath(QStringLiteral("velloran.lock"));
}
