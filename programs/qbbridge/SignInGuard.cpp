#include "qbbridge/SignInGuard.h"

#include <algorithm>

void SignInGuard::prune(Record& record, qint64 now) const {
    record.failures.removeIf([now](qint64 at) { return now - at > WindowMs; });
    if (record.failures.size() < MaxFailures)
        record.delayMs = 0;
}

qint64 SignInGuard::delayFor(const QString& peer) {
    const auto found = m_records.find(peer);
    if (found == m_records.end())
        return 0;
    const qint64 now = m_clock.elapsed();
    Record& record = *found;
    prune(record, now);
    if (record.failures.size() < MaxFailures)
        return 0;
    record.delayMs = record.delayMs == 0 ? FirstDelayMs : std::min(2 * record.delayMs, MaxDelayMs);
    record.nextAnswerAt = std::max(now, record.nextAnswerAt) + record.delayMs;
    return record.nextAnswerAt - now;
}

void SignInGuard::failed(const QString& peer) {
    const qint64 now = m_clock.elapsed();
    if (m_records.size() >= MaxAddresses && !m_records.contains(peer)) {
        m_records.removeIf([&](QHash<QString, Record>::iterator it) {
            prune(it.value(), now);
            return it.value().failures.isEmpty();
        });
        if (m_records.size() >= MaxAddresses)
            m_records.clear(); // a flood from thousands of addresses: start over
    }
    m_records[peer].failures.append(now);
}
