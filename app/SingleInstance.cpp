#include "app/SingleInstance.h"

#include "core/RuntimeDir.h"
#include <QDir>

SingleInstance::SingleInstance(const QString& lockPath)
    : m_lock(lockPath) {
    // Only a live holder counts; age alone never makes a running copy's lock stale.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::earlierCopyRunning() {
    if (m_lock.isLocked())
        return false;
    return !m_lock.tryLock(0);
}

QString SingleInstance::defaultLockPath() {
    return QDir(RuntimeDir::path()).filePath(QStringLiteral("velloran.lock"));
}
