// Start-up: config.txt, the connection string, the connection, the previous-instance test and
// the one place that reports failures.

#include "QbHostProcess.h"
#include "TestSupport.h"

#include "app/FailureReport.h"
#include "app/MessageBoxes.h"
#include "app/Module1.h"
#include "app/SingleInstance.h"
#include "core/ConfigReader.h"
#include "core/ConnectionString.h"
#include "core/Failure.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHostAddress>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::failureOf;
using TestSupport::MessageRecorder;

namespace {
QStringList itemsOf(const QByteArray& content, int count) {
    ConfigReader reader(content);
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << reader.nextItem();
    return items;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void configItems_data();
    void configItems();
    void configTooFewItemsIsInputPastEnd();
    void configMissingFileIsFileNotFound();
    void configReadsItemsThreeFiveSeven();
    void configLookedForBesideTheProgramThenInTheUsersAndTheOfficesFolders_data();
    void configLookedForBesideTheProgramThenInTheUsersAndTheOfficesFolders();

    void connectionString_data();
    void connectionString();
    void connectionStringRefusesWindowsSignIn();
    void silentServerFailsTheOpenInTime();

    void openConnectionOnRealDatabase();
    void openConnectionFailureCarriesDriverMessage();
    void closeAndEndClosesConnectionFirst();

    void earlierCopyIsDetected();
    void staleLockOfDeadCopyIsTakenOver();
    void mainRefusesBesideEarlierCopy();
    void helpAndWrongUsage_data();
    void helpAndWrongUsage();

    void runtimeFolderMustBeTheUsersOwn_data();
    void runtimeFolderMustBeTheUsersOwn();

    void messageBoxesFitTheirCaptions_data();
    void messageBoxesFitTheirCaptions();
    void messageBoxTextCopiedAtOnce();

    void failureReportShowsNumberAndDescription();
    void guardReportsEscapingFailure();

private:
    QTemporaryDir m_dir;
};

void TestStartup::configItems_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("quoted connection string keeps its commas")
        << QByteArray("Velloran\nDatabase,\"Driver=X;Server=a,1433;\"\nChamber,Dues\n")
        << QStringList{"Velloran", "Database", "Driver=X;Server=a,1433;", "Chamber", "Dues"};
    QTest::newRow("unquoted comma cuts the item")
        << QByteArray("H\nDatabase,Driver=X;Server=a,1433;\nChamber,Dues\n")
        << QStringList{"H", "Database", "Driver=X;Server=a", "1433;", "Chamber"};
    QTest::newRow("CRLF line ends")
        << QByteArray("H\r\nL1,V1\r\nL2,V2\r\n") << QStringList{"H", "L1", "V1", "L2", "V2"};
    QTest::newRow("blank lines are skipped")
        << QByteArray("H\n\n\nL1,V1\n   \nL2,V2") << QStringList{"H", "L1", "V1", "L2", "V2"};
    QTest::newRow("blanks around unquoted items dropped, inside quotes kept")
        << QByteArray("  H  \n L1 , \" V 1 \" \n\tL2\t,V2")
        << QStringList{"H", "L1", " V 1 ", "L2", "V2"};
    QTest::newRow("empty item between commas")
        << QByteArray("a,,b\nc,\nd") << QStringList{"a", "", "b", "c", ""};
    QTest::newRow("byte-order mark is not part of the heading")
        << QByteArray("\xEF\xBB\xBFHeading\nL,V") << QStringList{"Heading", "L", "V"};
    QTest::newRow("text after a closing quote is dropped")
        << QByteArray("\"quoted\"tail,next") << QStringList{"quoted", "next"};
    QTest::newRow("UTF-8 names arrive intact")
        << QByteArray("H,Cotisation \xC3\xA9l\xC3\xA8ve")
        << QStringList{"H", QString::fromUtf8("Cotisation \xC3\xA9l\xC3\xA8ve")};
}

void TestStartup::configItems() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, items);
    QCOMPARE(itemsOf(content, items.size()), items);
}

void TestStartup::configTooFewItemsIsInputPastEnd() {
    const Failure f = failureOf([] { itemsOf("H\nL1,V1\nL2,V2\nL3\n", 7); });
    QCOMPARE(f.number(), ErrorNumber::InputPastEndOfFile);
    QCOMPARE(f.description(), QStringLiteral("Input past end of file"));

    // An unbalanced quote swallows the rest of the file.
    const Failure g = failureOf([] { itemsOf("H\nL1,\"V1\nL2,V2\nL3,V3\n", 7); });
    QCOMPARE(g.number(), ErrorNumber::InputPastEndOfFile);
}

void TestStartup::configMissingFileIsFileNotFound() {
    const QString path = m_dir.filePath(QStringLiteral("nowhere/config.txt"));
    const Failure f = failureOf([&] { ConfigReader::readItems(path, 7); });
    QCOMPARE(f.number(), ErrorNumber::FileNotFound);
    QVERIFY(f.description().startsWith(QStringLiteral("File not found")));
    QVERIFY(f.description().contains(path));
}

void TestStartup::configReadsItemsThreeFiveSeven() {
    const QString path = m_dir.filePath(QStringLiteral("config.txt"));
    writeFile(path, "Velloran settings\r\nContact database,\"Driver=SQLite3;Database=/x,y.db;\"\r\n"
                    "Chamber item,Membership Dues\r\nFoundation item,Pledge\r\nignored,after\r\n");
    Module1::ReadConfig(path);
    QCOMPARE(Module1::dbConnectionString(), QStringLiteral("Driver=SQLite3;Database=/x,y.db;"));
    QCOMPARE(Module1::chamberItemName(), QStringLiteral("Membership Dues"));
    QCOMPARE(Module1::foundationItemName(), QStringLiteral("Pledge"));
}

void TestStartup::configLookedForBesideTheProgramThenInTheUsersAndTheOfficesFolders_data() {
    QTest::addColumn<QStringList>("present"); // of: beside, user, office1, office2
    QTest::addColumn<QString>("used");        // empty: none found
    QTest::newRow("beside the program first")
        << QStringList{"beside", "user", "office2"} << "beside";
    QTest::newRow("the user's folder next") << QStringList{"user", "office1"} << "user";
    QTest::newRow("the office's folders in order") << QStringList{"office2"} << "office2";
    QTest::newRow("none: File not found naming every place") << QStringList{} << QString();
}

void TestStartup::configLookedForBesideTheProgramThenInTheUsersAndTheOfficesFolders() {
    QFETCH(QStringList, present);
    QFETCH(QString, used);
    QTemporaryDir dir;
    const QMap<QString, QString> places{
        {"beside", QDir(QCoreApplication::applicationDirPath()).filePath("config.txt")},
        {"user", dir.filePath("home/velloran/config.txt")},
        {"office1", dir.filePath("etc1/velloran/config.txt")},
        {"office2", dir.filePath("etc2/velloran/config.txt")}};
    for (const QString& key : present) {
        QDir().mkpath(QFileInfo(places[key]).absolutePath());
        QFile file(places[key]);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const auto cleanup = qScopeGuard([&] {
        QFile::remove(places["beside"]);
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
    });
    qputenv("XDG_CONFIG_HOME", dir.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (dir.filePath("etc1") + u':' + dir.filePath("etc2")).toUtf8());
    if (!used.isEmpty()) {
        QCOMPARE(Module1::configPath(), places[used]);
        return;
    }
    const Failure none = failureOf([] { Module1::configPath(); });
    QCOMPARE(none.number(), ErrorNumber::FileNotFound);
    for (const QString& place : places)
        QVERIFY2(none.description().contains(place), qPrintable(none.description()));
}

void TestStartup::connectionString_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("odbc");

    QTest::newRow("ODBC string unchanged") << "Driver=SQLite3;Database=/srv/contacts.db;NoCreat=1;"
                                           << "Driver=SQLite3;Database=/srv/contacts.db;NoCreat=1;";
    QTest::newRow("DSN unchanged") << "DSN=Contacts;UID=a;PWD=b"
                                   << "DSN=Contacts;UID=a;PWD=b";
    QTest::newRow("SQLOLEDB with instance")
        << "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=billing;Password=s3cret;"
           "Initial Catalog=CRM;Data Source=crmhost\\SQLEXPRESS"
        << "Driver=FreeTDS;Server=crmhost\\SQLEXPRESS;Database=CRM;UID=billing;PWD=s3cret;";
    QTest::newRow("SQLNCLI with port")
        << "Provider=SQLNCLI11;Data Source=10.0.0.5,1533;Initial Catalog=CRM;User ID=u;Password=p"
        << "Driver=FreeTDS;Server=10.0.0.5;Port=1533;Database=CRM;UID=u;PWD=p;";
    QTest::newRow("MSOLEDBSQL, local server, password with semicolon")
        << "provider=msoledbsql;data source=(local);database=CRM;uid=u;pwd=\"a;b\""
        << "Driver=FreeTDS;Server=localhost;Database=CRM;UID=u;PWD={a;b};";
}

void TestStartup::connectionString() {
    QFETCH(QString, given);
    QFETCH(QString, odbc);
    QCOMPARE(ConnectionString::toOdbc(given), odbc);
}

void TestStartup::connectionStringRefusesWindowsSignIn() {
    const Failure f = failureOf([] {
        ConnectionString::toOdbc(QStringLiteral(
            "Provider=SQLOLEDB;Integrated Security=SSPI;Initial Catalog=CRM;Data Source=crm"));
    });
    QVERIFY(f.number() != 0);
    QVERIFY(f.description().contains(QStringLiteral("Windows sign-in")));
    QVERIFY(f.description().contains(QStringLiteral("user name")));
}

// A server that accepts and never answers, through a driver that does not keep the login
// time-out (MariaDB's): the open fails within its 10 seconds all the same, naming the database
// and never the user name or password.
void TestStartup::silentServerFailsTheOpenInTime() {
    QTcpServer silent; // the system accepts its connections; nothing ever answers them
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QProcess drivers;
    drivers.start(QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")});
    drivers.waitForFinished(5000);
    if (!drivers.readAllStandardOutput().contains("[MariaDB Unicode]"))
        QSKIP("skipped: MariaDB's ODBC driver is not installed (Debian package odbc-mariadb)");
    const QString path = m_dir.filePath(QStringLiteral("config.txt"));
    QFile config(path);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("Velloran settings\nContact database,\"Driver=MariaDB Unicode;"
                                "Server=127.0.0.1;Port=%1;Database=CRM;User=billing;"
                                "Password=s3cret;\"\nChamber item,Dues\nFoundation item,Pledge\n")
                     .arg(silent.serverPort())
                     .toUtf8());
    config.close();
    Module1::ReadConfig(path);
    QElapsedTimer clock;
    clock.start();
    const Failure f = failureOf([] { Module1::OpenConnection(); });
    QVERIFY2(clock.elapsed() < 12000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(f.description(),
             QStringLiteral("The contact database (Server=127.0.0.1; Database=CRM) could not be "
                            "opened: it did not answer within 10 seconds."));
}

void TestStartup::openConnectionOnRealDatabase() {
    const QString db = TestSupport::makeContacts(m_dir.path());
    const QString path = m_dir.filePath(QStringLiteral("config.txt"));
    TestSupport::writeConfig(path, db);
    Module1::ReadConfig(path);
    Module1::OpenConnection();
    DbConnection& connection = Module1::dbConnection();
    QVERIFY(Module1::database().isOpen());
    QCOMPARE(connection.connectionTimeout(), 10);
    QCOMPARE(connection.cursorLocation(), DbConnection::UseClient);
    // The connection is the database thread's, and used there alone.
    QString driver;
    QThread* openedOn = nullptr;
    std::optional<Failure> failure;
    QVERIFY(Module1::database().runAndWait(
        [&](DbConnection& opened) {
            driver = opened.database().driverName();
            openedOn = QThread::currentThread();
        },
        5000, &failure));
    QCOMPARE(driver, QStringLiteral("QODBC"));
    QVERIFY(openedOn && openedOn != QThread::currentThread());
    Module1::database().close();
    QVERIFY(!Module1::database().isOpen());
}

void TestStartup::openConnectionFailureCarriesDriverMessage() {
    DbConnection connection;
    connection.setConnectionString(
        TestSupport::odbcString(m_dir.filePath(QStringLiteral("missing.db"))));
    const Failure f = failureOf([&] { connection.open(); });
    QVERIFY(f.number() != 0);
    QVERIFY2(f.description().contains(QStringLiteral("[SQLite]")), qPrintable(f.description()));
    // The message names the database.
    QVERIFY2(f.description().contains(m_dir.filePath(QStringLiteral("missing.db"))),
             qPrintable(f.description()));
    // NoCreat: a wrong path must not leave an empty database behind.
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("missing.db"))));

    connection.setConnectionString(
        QStringLiteral("Driver=NoSuchDriver;Server=crm;Database=x;UID=billing;PWD=s3cret"));
    const Failure g = failureOf([&] { connection.open(); });
    QVERIFY2(g.description().contains(QStringLiteral("(Server=crm; Database=x)")) &&
                 !g.description().contains(QStringLiteral("s3cret")) &&
                 !g.description().contains(QStringLiteral("billing")),
             qPrintable(g.description()));
    QVERIFY2(g.description().contains(QStringLiteral("NoSuchDriver")) ||
                 g.description().contains(QStringLiteral("not found")),
             qPrintable(g.description()));

    // A file that is no database fails at start-up already, named.
    const QString text = m_dir.filePath(QStringLiteral("notes.db"));
    QFile notes(text);
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write(QByteArray(4096, 'x'));
    notes.close();
    connection.setConnectionString(TestSupport::odbcString(text));
    const Failure h = failureOf([&] { connection.open(); });
    QVERIFY2(h.number() == 26 && h.description().contains(text) &&
                 h.description().contains(QStringLiteral("not a database")),
             qPrintable(QStringLiteral("%1 %2").arg(h.number()).arg(h.description())));
    QVERIFY(!connection.isOpen());
}

void TestStartup::closeAndEndClosesConnectionFirst() {
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("end.db"));
    const QString path = m_dir.filePath(QStringLiteral("config.txt"));
    TestSupport::writeConfig(path, db);
    Module1::ReadConfig(path);
    Module1::OpenConnection();
    bool openWhenEnding = true;
    int ends = 0;
    Module1::setEndAction([&] {
        openWhenEnding = Module1::database().isOpen();
        ++ends;
    });
    Module1::CloseAndEnd();
    Module1::setEndAction({});
    QCOMPARE(ends, 1);
    QVERIFY(!openWhenEnding);
}

void TestStartup::earlierCopyIsDetected() {
    const QString lock = m_dir.filePath(QStringLiteral("first.lock"));
    SingleInstance first(lock);
    QVERIFY(!first.earlierCopyRunning());
    int shown = 0;
    first.onLaterCopy([&] { ++shown; });
    SingleInstance second(lock);
    QVERIFY(second.earlierCopyRunning());
    // The first copy is undisturbed and keeps its lock; the second brings its window forward.
    QVERIFY(!first.earlierCopyRunning());
    second.showEarlierCopy();
    QTRY_COMPARE(shown, 1);
}

void TestStartup::staleLockOfDeadCopyIsTakenOver() {
    // A copy that crashed leaves its lock file behind, naming a process that is gone.
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForFinished());
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    const QString lock = m_dir.filePath(QStringLiteral("stale.lock"));
    writeFile(lock, QByteArray::number(deadPid) + "\nvelloran\n" +
                        QSysInfo::machineHostName().toUtf8() + "\n");
    QVERIFY(QFile::exists(lock));
    SingleInstance next(lock);
    QVERIFY(!next.earlierCopyRunning());
}

void TestStartup::helpAndWrongUsage_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    const QString programs[] = {QStringLiteral(VELLORAN_PATH), QStringLiteral(QBHOST_PATH),
                                QStringLiteral(QBBRIDGE_PATH), QStringLiteral(MAKE_CONTACTS_PATH)};
    for (const QString& program : programs) {
        const QString name = QFileInfo(program).fileName();
        QTest::addRow("%s --help", qPrintable(name)) << program << QStringList{"--help"} << 0;
        if (name != u"velloran") // the window takes whatever Qt's own options are
            QTest::addRow("%s --bogus", qPrintable(name)) << program << QStringList{"--bogus"} << 2;
    }
}

// Asked for help, every program prints its usage on standard output and exits 0, and needs no
// display for it; a wrong command line gives the usage on standard error and exits 2.
void TestStartup::helpAndWrongUsage() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    QVERIFY2((status == 0 ? out : err).contains("usage: "), (out + err).constData());
    QVERIFY2((status == 0 ? err : out).isEmpty(), (out + err).constData());
}

void TestStartup::mainRefusesBesideEarlierCopy() {
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("main.db"));
    const QString config = QDir(QCoreApplication::applicationDirPath()).filePath("config.txt");
    TestSupport::writeConfig(config, db);
    const QString lock = m_dir.filePath(QStringLiteral("main.lock"));
    SingleInstance first(lock);
    QVERIFY(!first.earlierCopyRunning());

    MessageRecorder boxes;
    bool loaded = false;
    const auto outcome = Module1::Main([&] { loaded = true; }, lock);
    QFile::remove(config);

    QCOMPARE(outcome, Module1::StartOutcome::EarlierCopyRunning);
    QVERIFY(!loaded);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("This application is already running."));
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Application Already Running"));
    QCOMPARE(boxes.boxes[0].style, int(MessageBoxes::OkOnly));
    // The second copy read the configuration and opened its connection before it noticed.
    QVERIFY(Module1::database().isOpen());
    Module1::database().close();
}

void TestStartup::failureReportShowsNumberAndDescription() {
    MessageRecorder boxes;
    int status = -1;
    FailureReport::setTerminator([&](int s) { status = s; });
    FailureReport::report(Failure::fileNotFound(QStringLiteral("/opt/velloran/config.txt")));
    FailureReport::setTerminator({});

    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Velloran"));
    QCOMPARE(boxes.boxes[0].text,
             QStringLiteral("Run-time error '53':\n\nFile not found: /opt/velloran/config.txt"));
    QCOMPARE(boxes.boxes[0].style, int(MessageBoxes::OkOnly));
    QVERIFY(status != 0);
}

void TestStartup::guardReportsEscapingFailure() {
    MessageRecorder boxes;
    QList<int> statuses;
    FailureReport::setTerminator([&](int s) { statuses << s; });
    const int result = FailureReport::guard(
        []() -> int { throw Failure(-2147220472, "Could not start QuickBooks."); });
    const int fine = FailureReport::guard([] { return 7; });
    FailureReport::setTerminator({});

    QCOMPARE(fine, 7);
    QVERIFY(result != 0);
    QCOMPARE(statuses.size(), 1);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].text,
             QStringLiteral("Run-time error '-2147220472':\n\nCould not start QuickBooks."));
}

QTEST_MAIN(TestStartup)
// The folder of the socket and the lock is used only when it is a real folder of the user's
// own that nobody else can read or change; the program (its lock), qbhost and the channel all
// refuse any other in plain words.
void TestStartup::runtimeFolderMustBeTheUsersOwn_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("problem");
    QTest::newRow("missing: made private") << "missing" << QString();
    QTest::newRow("the user's own") << "0700" << QString();
    QTest::newRow("group may write") << "0770"
                                     << "other accounts can use it (mode 0770)";
    QTest::newRow("others may read") << "0704"
                                     << "other accounts can use it (mode 0704)";
    QTest::newRow("a link to a private folder") << "link"
                                                << "it is a link to another place";
    QTest::newRow("another account's") << "chown"
                                       << "it belongs to another account";
    QTest::newRow("XDG_RUNTIME_DIR open to the group") << "xdg0750"
                                                       << "mode 0750";
    QTest::newRow("XDG_RUNTIME_DIR of the user") << "xdg0700" << QString();
}

void TestStartup::runtimeFolderMustBeTheUsersOwn() {
    QFETCH(QString, setup);
    QFETCH(QString, problem);
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("velloran-%1").arg(getuid()));
    const QString mode = setup.startsWith(u"xdg") ? setup.mid(3) : setup;
    const QString made = setup.startsWith(u"xdg") ? tmp.filePath(QStringLiteral("xdg")) : folder;
    if (mode == u"link") {
        QVERIFY(QDir().mkdir(tmp.filePath(QStringLiteral("elsewhere"))));
        QVERIFY(QFile::link(tmp.filePath(QStringLiteral("elsewhere")), folder));
    } else if (mode == u"chown") {
        if (getuid() != 0)
            QSKIP("handing a folder to another account needs root");
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), 54321, 54321), 0);
    } else if (mode != u"missing") {
        QVERIFY(QDir().mkdir(made));
        QCOMPARE(::chmod(QFile::encodeName(made).constData(), mode.toUInt(nullptr, 8)), 0);
    }
    const QByteArray oldTmp = qgetenv("TMPDIR"), oldXdg = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.path().toUtf8());
    if (setup.startsWith(u"xdg"))
        qputenv("XDG_RUNTIME_DIR", made.toUtf8());
    else
        qunsetenv("XDG_RUNTIME_DIR");
    const Failure lock = failureOf([] { SingleInstance::defaultLockPath(); });
    const QString company = tmp.filePath(QStringLiteral("company.qbw"));
    QCOMPARE(QbHostProcess::run({QStringLiteral("init"), company}), 0);
    QProcess host; // serves where the folder is good, so it is asked only where it is not
    if (!problem.isEmpty())
        host.start(QbHostProcess::program(), {QStringLiteral("serve"), company});
    qputenv("TMPDIR", oldTmp);
    if (oldXdg.isEmpty())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", oldXdg);
    if (problem.isEmpty()) {
        QCOMPARE(lock.number(), 0);
        QFileInfo used(made);
        QVERIFY(used.isDir() && !used.isSymLink());
        QCOMPARE(int(used.permissions() & 0x0077), 0); // nothing for group and others
        return;
    }
    QVERIFY(host.waitForFinished(10000));
    const QString hostSaid = QString::fromUtf8(host.readAllStandardError());
    QCOMPARE(lock.number(), ErrorNumber::PermissionDenied);
    QVERIFY2(lock.description().contains(made) && lock.description().contains(problem) &&
                 lock.description().contains(QStringLiteral("XDG_RUNTIME_DIR")),
             qPrintable(lock.description()));
    QVERIFY(host.exitCode() != 0);
    QVERIFY2(hostSaid.contains(made) && hostSaid.contains(problem), qPrintable(hostSaid));
}

void TestStartup::messageBoxesFitTheirCaptions_data() {
    QTest::addColumn<QString>("caption");
    for (const char* caption : {"Velloran", "QB File Open", "Invalid Dates", "No Company Selected",
                                "No Payment Selected", "Application Already Running"})
        QTest::newRow(caption) << QString::fromLatin1(caption);
}

// A box is at least as wide as its caption in a bold title font, with room for the title
// bar's buttons, so that no window manager cuts it.
void TestStartup::messageBoxesFitTheirCaptions() {
    QFETCH(QString, caption);
    QMessageBox box(QMessageBox::NoIcon, caption, QStringLiteral("OK?"), QMessageBox::Ok);
    MessageBoxes::fitCaption(box);
    box.show();
    QFont title = box.font();
    title.setBold(true);
    QVERIFY2(box.width() >= QFontMetrics(title).horizontalAdvance(caption) + 100,
             qPrintable(QString::number(box.width())));
}

#include "tst_startup.moc"

// A box's text is selected as it opens: Ctrl+C copies it without a click.
void TestStartup::messageBoxTextCopiedAtOnce() {
    const QString text = QStringLiteral("4 contacts whose billing frequency is none of ...:\n"
                                        "Elm Street Pharmacy (empty)");
    QString copied;
    QTimer::singleShot(100, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box, Qt::Key_C,
                        Qt::ControlModifier);
        copied = QGuiApplication::clipboard()->text();
        // Return, where the keyboard is, still closes the box.
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box,
                        Qt::Key_Return);
    });
    bool leftOpen = false;
    QTimer::singleShot(3000, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            leftOpen = true;
            box->close();
        }
    });
    MessageBoxes::show(text, QStringLiteral("Not Listed"), MessageBoxes::OkOnly);
    QCOMPARE(copied, text);
    QVERIFY(!leftOpen);
}
