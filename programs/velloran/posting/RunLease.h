#pragma once

#include "core/Clock.h"
#include "core/Failure.h"

#include <QDateTime>
#include <QString>
#include <optional>

class QbxmlRequest;
struct QbxmlAnswer;

// One billing run at a time in a company file. The lease is kept in the company file itself,
// as an Other Name record whose notes name the run that holds it and until when, so it holds
// however the programs reach QuickBooks (one host, a bridge, two bridges). QuickBooks takes a
// change to the record only with its latest edit sequence, so of two runs that read it at once
// one alone gets it. Each batch of adds renews it as its first request: a run that lost it
// adds nothing more. Whether a lease is still alive is told without any computer's time of
// day: a lease whose record this program has seen unchanged for ExpirySeconds of its own
// waiting is taken over, and one that names this clerk on this computer, taken by a program
// that is no longer running (a crash), is taken over at once.
class RunLease {
public:
    // programMark tells this program's leases from others'; empty for this process's own.
    // pid, the process the lease names as its holder's: this one unless given. clock gives
    // the lease's times and how long another run's lease was seen unchanged.
    explicit RunLease(const Clock& clock = Clock::system(), QString programMark = QString(),
                      qint64 pid = 0);

    static const QString RecordName;
    static constexpr int ExpirySeconds = 120;

    bool held() const { return !m_editSequence.isEmpty(); }
    // Takes the lease for this run, step by step: begin, then each request with whether it
    // only asks (a query may be asked again), and its answer. takeAnswer is true once the
    // lease is held; it throws Failure: QbError::RunInProgress while another run holds it, or
    // QuickBooks' refusal.
    void beginTake();
    QByteArray takeRequest(bool* query);
    bool takeAnswer(const QByteArray& answer);
    // The renewal, written as the request in hand of a message set (OtherNameModRq).
    void writeRenewal(QbxmlRequest& request) const;
    // Its answer. Throws Failure: QbError::RunTakenOver when another run has the lease now.
    void readRenewal(const QbxmlAnswer& answer);
    // The request that gives the lease back, none when no lease is held; its answer needs no
    // reading (a lease not given back runs out).
    std::optional<QByteArray> releaseRequest();

    // "USER on HOST": who a run's lease names.
    static QString holderText();

private:
    QString notes(bool held) const;
    void keep(const QbxmlAnswer& answer);
    // Whether the lease in notes, read as record m_foundId at m_foundSequence, is still
    // another run's; a refusal that says whose and until when.
    bool heldElsewhere(const QString& notes);
    Failure refusal(const QString& notes) const;

    QString m_listId;
    QString m_editSequence;
    QDateTime m_since;
    const Clock& m_clock;
    QString m_mark;
    qint64 m_pid;
    // Where take stands: the record to read, or to write (added, or changed from what was
    // read), and how often a race for it was lost.
    enum class Step { Read, Write } m_step = Step::Read;
    bool m_exists = false;
    QString m_foundId;
    QString m_foundSequence;
    int m_racesLost = 0;
    QString m_lastNotes;
    // The other run's lease as last seen (record and edit sequence), and since when on this
    // program's own clock: unchanged for ExpirySeconds, it is taken to be dead.
    QString m_watched;
    qint64 m_watchedSince = 0;
};
