#pragma once

#include "app/MessageBoxes.h"
#include "core/Clock.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class DbConnection;
class QProcess;
class QWidget;
class Failure;

// Helpers shared by the tests: real contact databases made by make_contacts, and a recorder
// that answers the program's message boxes.
namespace TestSupport {

// Waits until the window has filled its list (the busy pointer of its fill gone); at once
// when no fill was started.
bool waitForFill(int timeoutMs = 30000);

// Makes a contact database in dir (the demo contacts unless extraArgs says otherwise) and
// returns its path; fails the calling test when make_contacts fails.
QString makeContacts(const QString& dir, const QStringList& extraArgs = {},
                     const QString& name = QStringLiteral("contacts.db"));

// The ODBC connection string of a SQLite file.
QString odbcString(const QString& databasePath);

// Opens connection on a SQLite file through the ODBC driver manager, as start-up does.
void open(DbConnection& connection, const QString& databasePath);

// Writes a config.txt at path naming the database (extra appended to its connection string)
// and the items "Membership Dues" and "Pledge".
void writeConfig(const QString& path, const QString& databasePath, const QString& extra = {});

// Writes config.txt in dir and has start-up read it and open the connection.
void startOn(const QString& dir, const QString& databasePath, const QString& extra = {});

// Runs statements on a SQLite file directly, to shape test data.
void execSql(const QString& databasePath, const QStringList& statements);

// Starts a server program and returns the first line it prints (the servers print one once
// they listen); empty when it did not start or said nothing within ten seconds.
QByteArray startServer(QProcess& process, const QString& program, const QStringList& arguments);

// Asks a server to stop (SIGTERM) and kills it when it has not ended within ten seconds;
// true when it ended by itself with exit code 0. False when it was not running.
bool stopServer(QProcess& process);

// The Failure that work throws, or one with number 0 and no description when it throws none.
Failure failureOf(const std::function<void()>& work);

struct ShownBox {
    QString text;
    QString caption;
    int style;
};

// Records every message box while it lives and answers each with answer: the window's
// (those of boxes()) and start-up's.
class MessageRecorder {
public:
    explicit MessageRecorder(int answer = MessageBoxes::Ok);
    ~MessageRecorder();
    QList<ShownBox> boxes;
    int answer;
};

// The message boxes handed to the tests' windows: the living recorder's, else real ones.
MessageBoxes::Handler boxes();

// A clock whose time of day is set and whose waiting is let pass, rather than read.
class TestClock : public Clock {
public:
    QDateTime now() const override;
    qint64 elapsedMs() const override;
    // The time of day stays at moment; an invalid one is the computer's again.
    void setFixed(const QDateTime& moment) { m_fixed = moment; }
    void reset() { m_fixed = QDateTime(); }
    void advanceElapsed(qint64 ms) { m_advanced += ms; }

private:
    QDateTime m_fixed;
    qint64 m_advanced = 0;
};

// The tests' one clock, handed to their windows and leases.
TestClock& clock();

} // namespace TestSupport
