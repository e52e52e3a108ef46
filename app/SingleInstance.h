#pragma once

#include <QLockFile>
#include <QString>

// The per-user previous-instance test. The lock is held for the life of the object; a lock
// left behind by a copy that crashed is recognised as stale and taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath());

    // True when an earlier copy of the program holds the lock.
    bool earlierCopyRunning();

    static QString defaultLockPath();

private:
    QLockFile m_lock;
};
