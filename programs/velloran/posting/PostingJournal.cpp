#include "posting/PostingJournal.h"

#include "qbxml/QbxmlAnswer.h"

#include <QUuid>
#include <algorithm>

void PostingJournal::clear() {
    m_unanswered.clear();
    m_invoices.clear();
}

QString PostingJournal::newMessageSetId() {
    // 96 random bits: no two writes, of this run or any other, share an ID.
    return QString::fromLatin1(
        QUuid::createUuid().toRfc4122().toHex().left(MessageSetStatus::MaxIdLength));
}

const PostingJournal::Unanswered* PostingJournal::unanswered(int row) const {
    const auto found = m_unanswered.constFind(row);
    return found == m_unanswered.constEnd() ? nullptr : &*found;
}

QList<int> PostingJournal::unansweredRows() const {
    QList<int> rows = m_unanswered.keys();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void PostingJournal::setUnanswered(int row, const Unanswered& write) {
    m_unanswered.insert(row, write);
}

void PostingJournal::answered(int row) {
    m_unanswered.remove(row);
}

void PostingJournal::setInvoice(int row, const QString& txnId) {
    m_invoices.insert(row, txnId);
}

QSet<QString> PostingJournal::invoices() const {
    return QSet<QString>(m_invoices.cbegin(), m_invoices.cend());
}
