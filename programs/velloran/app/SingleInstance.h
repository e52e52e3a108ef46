#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>

// The per-user previous-instance test. The lock is held for the life of the object; a lock
// left behind by a copy that crashed is recognised as stale and taken over. The copy that
// holds it hears a later copy's start on a socket beside the lock, so that its window comes
// to the front instead of the clerk hunting for it.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath());

    // True when an earlier copy of the program holds the lock.
    bool earlierCopyRunning();
    // Held by this copy: shown is called when a later copy starts.
    void onLaterCopy(std::function<void()> shown);
    // A later copy: asks the earlier one to show its window.
    void showEarlierCopy();

    static QString defaultLockPath();

private:
    QString socketPath() const;

    QString m_lockPath;
    QLockFile m_lock;
    QLocalServer m_server;
};
