#include "TestSupport.h"

#include "app/MessageBoxes.h"
#include "app/Module1.h"
#include "core/DbConnection.h"
#include "core/Failure.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>
#include <QWidget>

QString TestSupport::makeContacts(const QString& dir, const QStringList& extraArgs,
                                  const QString& name) {
    const QString path = dir + u'/' + name;
    QProcess tool;
    tool.start(QStringLiteral(MAKE_CONTACTS_PATH), QStringList{path} + extraArgs);
    if (!tool.waitForFinished(120000) || tool.exitCode() != 0)
        qFatal("make_contacts failed: %s", tool.readAllStandardError().constData());
    return path;
}

QString TestSupport::odbcString(const QString& databasePath) {
    return QStringLiteral("Driver=SQLite3;Database=%1;NoCreat=1;").arg(databasePath);
}

void TestSupport::open(DbConnection& connection, const QString& databasePath) {
    connection.setConnectionString(odbcString(databasePath));
    connection.setConnectionTimeout(10);
    connection.open();
    connection.setCursorLocation(DbConnection::UseClient);
}

void TestSupport::writeConfig(const QString& path, const QString& databasePath,
                              const QString& extra) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(("Velloran settings\nContact database,\"" + odbcString(databasePath) + extra +
                "\"\nChamber item,Membership Dues\nFoundation item,Pledge\n")
                   .toUtf8());
}

void TestSupport::startOn(const QString& dir, const QString& databasePath, const QString& extra) {
    const QString config = dir + QStringLiteral("/config.txt");
    writeConfig(config, databasePath, extra);
    Module1::ReadConfig(config);
    Module1::OpenConnection();
}

void TestSupport::execSql(const QString& databasePath, const QStringList& statements) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(databasePath));
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(name);
}

QByteArray TestSupport::startServer(QProcess& process, const QString& program,
                                    const QStringList& arguments) {
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return QByteArray();
    while (!process.canReadLine())
        if (!process.waitForReadyRead(10000))
            return QByteArray();
    return process.readLine();
}

bool TestSupport::stopServer(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return false;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

Failure TestSupport::failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const Failure& failure) {
        return failure;
    }
    return Failure(0, QString());
}

namespace {
TestSupport::MessageRecorder*& livingRecorder() {
    static TestSupport::MessageRecorder* recorder = nullptr;
    return recorder;
}
} // namespace

TestSupport::MessageRecorder::MessageRecorder(int answer_)
    : answer(answer_) {
    livingRecorder() = this;
    MessageBoxes::setHandler(TestSupport::boxes());
}

TestSupport::MessageRecorder::~MessageRecorder() {
    livingRecorder() = nullptr;
    MessageBoxes::setHandler({});
}

MessageBoxes::Handler TestSupport::boxes() {
    return [](const QString& text, const QString& caption, int style) {
        MessageRecorder* recorder = livingRecorder();
        if (!recorder)
            return MessageBoxes::show(text, caption, style);
        recorder->boxes.append({text, caption, style});
        return recorder->answer;
    };
}

QDateTime TestSupport::TestClock::now() const {
    return m_fixed.isValid() ? m_fixed : Clock::now();
}

qint64 TestSupport::TestClock::elapsedMs() const {
    return Clock::elapsedMs() + m_advanced;
}

TestSupport::TestClock& TestSupport::clock() {
    static TestClock clock;
    return clock;
}

bool TestSupport::waitForFill(int timeoutMs) {
    return QTest::qWaitFor([] { return !QGuiApplication::overrideCursor(); }, timeoutMs);
}
