#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// The contacts a fill passed over because their data is unusable as it stands: a billing
// frequency that is none of the four the rules know ("quarterly", "Quarterly ", empty), or a
// quarterly, semi-annual or annual one without an anniversary date. Such a member is never
// listed, whatever the month, so the clerk is told who they are.
class PassedOver {
public:
    enum Reason { UnknownFrequency, NoAnniversary, ReasonCount };

    void clear();
    // name: the contact's company, or its contact name when it has no company. value: the
    // field at fault as stored.
    void add(Reason reason, const QString& name, const QVariant& value);
    bool isEmpty() const;

    // The line under the list: each reason with its count and up to `names` names, the rest
    // counted as "and N more"; empty when nothing was passed over.
    QString line(int names = 3) const;
    // Every contact passed over, one to a line under its reason.
    QString details() const;

private:
    QString heading(Reason reason) const;

    QList<QString> m_entries[ReasonCount];
};
