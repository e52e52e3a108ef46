#include "posting/RunLease.h"

#include "core/Clock.h"
#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>
#include <QUuid>
#include <cerrno>
#include <signal.h>
#include <unistd.h>

const QString RunLease::RecordName = QStringLiteral("Velloran billing run");

namespace {
const QString Version = QStringLiteral("3.0");

// This program's own mark in the notes: a lease it took and lost track of (its answer lost)
// is its own to take again at once.
const QString& programMark() {
    static const QString mark = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return mark;
}

// The notes' "key: value" lines.
QString noteValue(const QString& notes, const QString& key) {
    for (const QString& line : notes.split(u'\n')) {
        if (line.startsWith(key + QStringLiteral(": ")))
            return line.mid(key.size() + 2).trimmed();
    }
    return QString();
}

QDateTime utcOf(const QString& text) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? time.toUTC() : QDateTime();
}

// A process of this computer that still runs (one of another user's counts as running).
bool running(const QString& pidText) {
    bool ok = false;
    const qint64 pid = pidText.toLongLong(&ok);
    if (!ok || pid <= 0 || pid != qint64(pid_t(pid)))
        return true; // nothing to tell: taken for alive
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}
} // namespace

RunLease::RunLease(const Clock& clock, QString mark, qint64 pid)
    : m_clock(clock)
    , m_mark(mark.isEmpty() ? programMark() : std::move(mark))
    , m_pid(pid > 0 ? pid : QCoreApplication::applicationPid()) {}

QString RunLease::holderText() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QDir::home().dirName();
    return QStringLiteral("%1 on %2").arg(user, QSysInfo::machineHostName());
}

QString RunLease::notes(bool held) const {
    if (!held)
        return QStringLiteral("free");
    const QDateTime now = m_clock.now().toUTC();
    // "until" is the holder's own clock, for a person reading the record; no program trusts it.
    return QStringLiteral("holder: %1\nsince: %2\nuntil: %3\nprogram: %4\npid: %5")
        .arg(holderText(), m_since.toUTC().toString(Qt::ISODate),
             now.addSecs(ExpirySeconds).toString(Qt::ISODate), m_mark)
        .arg(m_pid);
}

void RunLease::keep(const QbxmlAnswer& answer) {
    m_listId = answer.field(QStringLiteral("OtherNameRet/ListID"));
    m_editSequence = answer.field(QStringLiteral("OtherNameRet/EditSequence"));
    if (m_listId.isEmpty() || m_editSequence.isEmpty())
        throw Failure(QbError::BadAnswer,
                      QStringLiteral("QuickBooks kept the billing run's lease but did not name "
                                     "it."));
}

void RunLease::beginTake() {
    m_listId.clear();
    m_editSequence.clear();
    m_since = m_clock.now();
    m_step = Step::Read;
    m_racesLost = 0;
}

QByteArray RunLease::takeRequest(bool* query) {
    *query = m_step == Step::Read;
    if (m_step == Step::Read) {
        QbxmlRequest read(Version, QStringLiteral("OtherNameQueryRq"));
        read.field(QStringLiteral("FullName"), RecordName);
        return read.finish();
    }
    QbxmlRequest write(Version, m_exists ? QStringLiteral("OtherNameModRq")
                                         : QStringLiteral("OtherNameAddRq"));
    if (m_exists) {
        write.xml().writeStartElement(QStringLiteral("OtherNameMod"));
        write.field(QStringLiteral("ListID"), m_foundId);
        write.field(QStringLiteral("EditSequence"), m_foundSequence);
    } else {
        write.xml().writeStartElement(QStringLiteral("OtherNameAdd"));
        write.field(QStringLiteral("Name"), RecordName);
    }
    write.field(QStringLiteral("Notes"), notes(true));
    write.xml().writeEndElement();
    return write.finish();
}

bool RunLease::heldElsewhere(const QString& current) {
    m_lastNotes = current;
    if (!m_exists || noteValue(current, QStringLiteral("holder")).isEmpty() ||
        noteValue(current, QStringLiteral("program")) == m_mark)
        return false;
    // This clerk's program on this computer runs once at a time: a lease it holds from a
    // program that has ended is left from a crash.
    if (noteValue(current, QStringLiteral("holder")) == holderText() &&
        !running(noteValue(current, QStringLiteral("pid"))))
        return false;
    const QString seen = m_foundId + u'|' + m_foundSequence;
    if (seen != m_watched) {
        m_watched = seen;
        m_watchedSince = m_clock.elapsedMs();
    }
    return m_clock.elapsedMs() - m_watchedSince < qint64(ExpirySeconds) * 1000;
}

Failure RunLease::refusal(const QString& current) const {
    const QDateTime since = utcOf(noteValue(current, QStringLiteral("since")));
    const qint64 left =
        qMax<qint64>(0, qint64(ExpirySeconds) * 1000 - (m_clock.elapsedMs() - m_watchedSince));
    const QString form = QStringLiteral("H:mm");
    return Failure(QbError::RunInProgress,
                   QStringLiteral("Another billing run is posting to this company file (%1 since "
                                  "%2; free at %3 if that run has ended); nothing was added. "
                                  "Create Invoices again when it has finished.")
                       .arg(noteValue(current, QStringLiteral("holder")),
                            since.toLocalTime().toString(form),
                            m_clock.now().addMSecs(left).toString(form)));
}

bool RunLease::takeAnswer(const QByteArray& document) {
    if (m_step == Step::Read) {
        const QbxmlAnswer found =
            QbxmlAnswer::read(document, QStringLiteral("OtherNameQueryRs"), true);
        m_exists = found.statusCode != QbStatus::NotFound && !found.records.isEmpty();
        m_foundId = found.field(QStringLiteral("OtherNameRet/ListID"));
        m_foundSequence = found.field(QStringLiteral("OtherNameRet/EditSequence"));
        const QString current = found.field(QStringLiteral("OtherNameRet/Notes"));
        if (heldElsewhere(current))
            throw refusal(current);
        m_step = Step::Write;
        return false;
    }
    try {
        keep(QbxmlAnswer::read(document, m_exists ? QStringLiteral("OtherNameModRs")
                                                  : QStringLiteral("OtherNameAddRs")));
        return true;
    } catch (const Failure& failure) {
        // Two programs may race for the record: the loser reads it again, and finds the
        // winner's lease there.
        const bool lostRace = failure.number() == QbStatus::NameInUse ||
                              failure.number() == QbStatus::EditSequenceOutOfDate;
        if (!lostRace)
            throw;
        if (m_racesLost++ > 0)
            throw refusal(m_lastNotes);
        m_step = Step::Read;
        return false;
    }
}

void RunLease::writeRenewal(QbxmlRequest& request) const {
    request.xml().writeStartElement(QStringLiteral("OtherNameMod"));
    request.field(QStringLiteral("ListID"), m_listId);
    request.field(QStringLiteral("EditSequence"), m_editSequence);
    request.field(QStringLiteral("Notes"), notes(true));
    request.xml().writeEndElement();
}

void RunLease::readRenewal(const QbxmlAnswer& answer) {
    if (answer.statusCode == QbStatus::EditSequenceOutOfDate ||
        answer.statusCode == QbStatus::ObjectNotFound) {
        m_editSequence.clear();
        throw Failure(QbError::RunTakenOver,
                      QStringLiteral("Another billing run took over this run's lease, which it "
                                     "found unchanged for 2 minutes; nothing more was added. "
                                     "Create Invoices again when it has finished: what either "
                                     "run billed is found in QuickBooks and not added again."));
    }
    answer.check();
    keep(answer);
}

std::optional<QByteArray> RunLease::releaseRequest() {
    if (!held())
        return std::nullopt;
    QbxmlRequest request(Version, QStringLiteral("OtherNameModRq"));
    request.xml().writeStartElement(QStringLiteral("OtherNameMod"));
    request.field(QStringLiteral("ListID"), m_listId);
    request.field(QStringLiteral("EditSequence"), m_editSequence);
    request.field(QStringLiteral("Notes"), notes(false));
    request.xml().writeEndElement();
    m_editSequence.clear();
    return request.finish();
}
