#include "core/DbConnection.h"

#include "core/ConnectionString.h"
#include "core/Failure.h"
#include "core/SqliteLibrary.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

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
    // Before the driver can start SQLite: later it is too late.
    SqliteLibrary::settleBeforeFirstUse();
    QSqlDatabase db = QSqlDatabase::contains(m_name)
                          ? QSqlDatabase::database(m_name, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    if (!db.isValid())
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("The ODBC database driver of Qt (QODBC) is not installed."));
    // The string as config.txt writes it, less a closing ";": MariaDB's driver refuses an
    // empty last item ("Error while parsing DSN"), and no driver needs one.
    QString odbc = ConnectionString::toOdbc(m_connectionString).trimmed();
    while (odbc.endsWith(u';'))
        odbc.chop(1);
    db.setDatabaseName(odbc);
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(m_timeoutSeconds));
    const auto refuse = [&](const QSqlError& error) {
        const Failure driver = Failure::fromSqlError(error);
        const QString named = ConnectionString::describe(odbc);
        return Failure(driver.number(),
                       QStringLiteral("The contact database%1 could not be opened. The driver "
                                      "said: %2")
                           .arg(named.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(named),
                                driver.description()));
    };
    if (!db.open(QString(), QString()))
        throw refuse(db.lastError());
    // A file that is no database opens without complaint and fails at its first statement
    // that reads it: it should fail here, at start-up, naming the file, not at the first
    // Refresh. SQLite reads its file for its catalogue; a server answers a plain SELECT.
    static const QRegularExpression sqliteDriver(
        QStringLiteral("(^|;)\\s*Driver\\s*=\\s*\\{?SQLite"),
        QRegularExpression::CaseInsensitiveOption);
    QSqlQuery probe(db);
    if (!probe.exec(sqliteDriver.match(odbc).hasMatch()
                        ? QStringLiteral("SELECT count(*) FROM sqlite_master")
                        : QStringLiteral("SELECT 1"))) {
        const QSqlError error = probe.lastError();
        probe = QSqlQuery();
        db.close();
        throw refuse(error);
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

QString DbConnection::describe() const {
    return ConnectionString::describe(ConnectionString::toOdbc(m_connectionString));
}
