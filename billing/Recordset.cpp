#include "billing/Recordset.h"

#include "app/DbConnection.h"
#include "app/Failure.h"

#include <QSqlError>
#include <QSqlRecord>

void Recordset::open(const QString& statement, const DbConnection& connection) {
    m_query = QSqlQuery(connection.database());
    // The records are read once, first to last: a forward-only query does that without
    // keeping the records already read, whichever side holds the cursor.
    m_query.setForwardOnly(true);
    if (!m_query.exec(statement))
        throw Failure::fromSqlError(m_query.lastError());
    const QSqlRecord fields = m_query.record();
    m_positions.clear();
    for (int i = 0; i < fields.count(); ++i)
        m_positions.insert(fields.fieldName(i), i);
    moveNext();
}

QVariant Recordset::field(const QString& name) const {
    const int index = m_positions.value(name, -1);
    if (index < 0)
        throw Failure(3265, QStringLiteral("Item cannot be found in the collection corresponding "
                                           "to the requested name or ordinal: %1")
                                .arg(name));
    return m_query.value(index);
}

void Recordset::moveNext() {
    m_eof = !m_query.next();
    if (m_eof && m_query.lastError().isValid())
        throw Failure::fromSqlError(m_query.lastError());
}

void Recordset::close() {
    m_query.finish();
    m_query = QSqlQuery();
    m_positions.clear();
    m_eof = true;
}
