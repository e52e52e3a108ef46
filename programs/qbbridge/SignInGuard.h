#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

// Keeps password guessing slow: after MaxFailures failed sign-ins from one address within
// WindowMs, every further sign-in from that address (the right password included) is answered
// only after a delay that doubles, from FirstDelayMs up to MaxDelayMs, and the answers are
// spaced by it, so that guesses sent side by side gain nothing. A success clears the address.
class SignInGuard {
public:
    static constexpr int MaxFailures = 5;
    static constexpr qint64 WindowMs = 10 * 60 * 1000;
    static constexpr qint64 FirstDelayMs = 1000;
    static constexpr qint64 MaxDelayMs = 30 * 1000;
    // Beyond this many addresses, those without recent failures are forgotten first.
    static constexpr int MaxAddresses = 4096;

    SignInGuard() { m_clock.start(); }

    // How long to wait before answering a sign-in from peer that arrives now; 0 for at once.
    qint64 delayFor(const QString& peer);
    void failed(const QString& peer);
    void succeeded(const QString& peer) { m_records.remove(peer); }

private:
    struct Record {
        QList<qint64> failures; // when, on m_clock
        qint64 delayMs = 0;
        qint64 nextAnswerAt = 0;
    };
    void prune(Record& record, qint64 now) const;

    QElapsedTimer m_clock;
    QHash<QString, Record> m_records;
};
