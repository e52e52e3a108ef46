#pragma once

#include <QSqlDatabase>
#include <QString>

// The one connection to the contact database, reached through the ODBC driver manager.
class DbConnection {
public:
    enum CursorLocation { UseServer = 2, UseClient = 3 };

    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    void setConnectionString(const QString& connectionString) {
        m_connectionString = connectionString;
    }
    const QString& connectionString() const { return m_connectionString; }
    void setConnectionTimeout(int seconds) { m_timeoutSeconds = seconds; }
    int connectionTimeout() const { return m_timeoutSeconds; }

    // Opens with an empty user name and password; throws Failure with the driver's message.
    void open();
    bool isOpen() const;
    void close();

    // A kept call that does nothing here: start-up takes its steps in the earlier version's
    // order, but the fill's records are read forward only, once, whatever the location says.
    void setCursorLocation(CursorLocation location) { m_cursorLocation = location; }
    CursorLocation cursorLocation() const { return m_cursorLocation; }

    QSqlDatabase database() const;
    // Which database the connection reaches, for messages: its Database, Server or DSN, never
    // a user name or password.
    QString describe() const;

private:
    QString m_name;
    QString m_connectionString;
    int m_timeoutSeconds = 15;
    CursorLocation m_cursorLocation = UseServer;
};
