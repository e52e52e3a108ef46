#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// What the invoice runs of the list on screen know beyond its grid, for as long as the list
// lives: the invoice each posted row owns, and each row whose last write to QuickBooks was
// sent but never answered. A new list starts a new journal.
class PostingJournal {
public:
    // A write whose answer was lost: the message set it went in and what it was for.
    struct Unanswered {
        enum Stage { Add, EmailFollowUp };
        QString messageSetId;
        Stage stage = Add;
        // For the e-mail follow-up: the invoice it marks. For an add: whether the invoice
        // was to be marked for e-mail afterwards.
        QString txnId;
        bool email = false;
        // The company QuickBooks had open when the write went: its answer is there alone.
        QString company;
        // An add's place in its batch: the requestID of its answer.
        int position = 0;
    };

    void clear();

    // A message-set ID for a new write: unique, and at most 24 characters.
    static QString newMessageSetId();

    const Unanswered* unanswered(int row) const;
    QList<int> unansweredRows() const;
    void setUnanswered(int row, const Unanswered& write);
    void answered(int row);

    // The invoice that row owns, once known.
    void setInvoice(int row, const QString& txnId);
    QSet<QString> invoices() const;

private:
    QHash<int, Unanswered> m_unanswered;
    QHash<int, QString> m_invoices;
};
