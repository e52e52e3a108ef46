#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

class DbConnection;

// The records of one statement, walked from first to last with fields read by name.
class Recordset {
public:
    // Runs the statement on the open connection; throws Failure with the driver's message.
    void open(const QString& statement, const DbConnection& connection);
    bool eof() const { return m_eof; }
    // The value of the named field of the current record; throws Failure for an unknown name.
    QVariant field(const QString& name) const;
    void moveNext();
    void close();

private:
    QSqlQuery m_query;
    // Field positions by name, learnt once per statement: looking a name up in the record
    // for every read costs more than the read itself.
    QHash<QString, int> m_positions;
    bool m_eof = true;
};
