#include "core/DbConnection.h"

#include "core/ConnectionString.h"
#include "core/Failure.h"

#include <QAtomicInt>
#include <QSqlError>

namespace {
QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("DbConnection-%1").arg(counter.fetchAndAddRelaxed(1));
}
} // namespace

DbConnection::DbConnection()
    : m_name(nextConnectionName()) {}

DbConnection::~DbConnection() {
    if (QSqlDatabase::contains(m_name)) {
        close();
        QSqlDatabase::removeDatabase(m_name);
    }
}

void DbConnection::open() {
    QSqlDatabase db = QSqlDatabase::contains(m_name)
                          ? QSqlDatabase::database(m_name, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    if (!db.isValid())
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("The ODBC database driver of Qt (QODBC) is not installed."));
    const QString odbc = ConnectionString::toOdbc(m_connectionString);
    db.setDatabaseName(odbc);
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(m_timeoutSeconds));
    if (!db.open(QString(), QString())) {
        const Failure driver = Failure::fromSqlError(db.lastError());
        const QString named = ConnectionString::describe(odbc);
        throw Failure(driver.number(),
                      QStringLiteral("The contact database%1 could not be opened. The driver "
                                     "said: %2")
                          .arg(named.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(named),
                               driver.description()));
    }
}

bool DbConnection::isOpen() const {
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

void DbConnection::close() {
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::database(m_name, false).close();
}

QSqlDatabase DbConnection::database() const {
    return QSqlDatabase::database(m_name, false);
}
