#pragma once

#include <QSqlQuery>
#include <QSqlRecord>
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
    QSqlRecord m_fields;
    bool m_eof = true;
};
