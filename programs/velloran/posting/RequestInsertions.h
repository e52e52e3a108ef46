#pragma once

#include <QList>
#include <QString>

class QbxmlRequest;

// The invoice component's configuration texts: "AppendAfter:Element=<xml/>" makes the
// requests it writes carry the xml right after Element (the e-mail mark after IsToBePrinted).
class RequestInsertions {
public:
    // Takes one configuration text; throws Failure for one of another kind or whose xml is no
    // whole elements, which would make the request unreadable.
    void apply(const QString& config);
    void clear() { m_insertions.clear(); }
    // Writes what is to follow element `after` into the request being written.
    void writeAfter(QbxmlRequest& request, const QString& after) const;

private:
    struct Insertion {
        QString after;
        QString xml;
    };
    QList<Insertion> m_insertions;
};
