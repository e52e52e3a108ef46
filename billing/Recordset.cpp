#include "billing/Recordset.h"

#include "app/DbConnection.h"
#include "app/Failure.h"

#include <QSqlError>

void Recordset::open(const QString& statement, const DbConnection& connection)
{
    m_query = QSqlQuery(connection.database());
    // The records are read once, first to last: a forward-only query does that without
    // keeping the records already read, whichever side holds the cursor.
    m_query.setForwardOnly(true);
    if (!m_query.exec(statement))
        throw Failure::fromSqlError(m_query.lastError());
    m_fields = m_query.record();
    moveNext();
}

QVariant Recordset::field(const QString& name) const
{
    const int index = m_fields.indexOf(name);
    if (index < 0)
        throw Failure(3265, QStringLiteral("Item cannot be found in the collection corresponding "
                                           "to the requested name or ordinal: %1")
                                .arg(name));
    return m_query.value(index);
}

void Recordset::moveNext()
{
    m_eof = !m_query.next();
    if (m_eof && m_query.lastError().isValid())
        throw Failure::fromSqlError(m_query.lastError());
}

void Recordset::close()
{
    m_query.finish();
    m_query = QSqlQuery();
    m_fields = QSqlRecord();
    m_eof = true;
}
