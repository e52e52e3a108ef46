// The bridge's settings file, read as serve and check read it, and what check tells the person
// who sets up the Web Connector.

#include "BridgeProcess.h"

#include "qbbridge/BridgeSettings.h"

#include <QDir>
#include <QProcess>
#include <QTest>

namespace {
// Runs qbbridge with arguments; its exit status, what it printed (both streams) in *out.
int runBridge(const QStringList& arguments, QByteArray* out) {
    QProcess process;
    process.start(BridgeProcess::program(), arguments);
    process.waitForFinished(10000);
    *out = process.readAllStandardOutput() + process.readAllStandardError();
    return process.exitCode();
}
} // namespace

class TestBridgeSettings : public QObject {
    Q_OBJECT
private slots:
    void settingsLines_data();
    void settingsLines();
    void optionsWinOverTheFile();
    void checkSaysWhatTheWebConnectorSees();
    void oneScheduleForBothSides_data();
    void oneScheduleForBothSides();
};

void TestBridgeSettings::settingsLines_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem"); // empty: read
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QString>("passwordFile");
    QTest::addColumn<int>("wait"); // the wait serve keeps
    QTest::newRow("every key, comments, blanks and spaces")
        << QByteArray("# the office's bridge\n\nlisten = 0.0.0.0:8443\nuser=billing\n"
                      "  password-file =  secret  \ncert = /etc/ssl/b.pem\nkey = b.key\n"
                      "public-url = https://billing.example.org:8443/qbwc\nsocket = s.sock\n"
                      "wait = 45\n")
        << QString() << "0.0.0.0:8443"
        << "/conf/secret" << 45;
    QTest::newRow("a home-relative path")
        << QByteArray("password-file = ~/.velloran-qbwc") << QString() << QString()
        << QDir::home().filePath(".velloran-qbwc") << 30;
    QTest::newRow("a schedule: a whole period and 30 seconds")
        << QByteArray("every = 60\n") << QString() << QString() << QString() << 90;
    QTest::newRow("a schedule and a wait of its own")
        << QByteArray("every = 60\nwait = 75\n") << QString() << QString() << QString() << 75;
    QTest::newRow("Windows line ends") << QByteArray("listen = 127.0.0.1:8080\r\nwait = 5\r\n")
                                       << QString() << "127.0.0.1:8080" << QString() << 5;
    QTest::newRow("an unknown key")
        << QByteArray("listen = 127.0.0.1:1\nport = 8080\n") << "f.conf:2: unknown setting \"port\""
        << ""
        << "" << 0;
    QTest::newRow("no equals sign")
        << QByteArray("listen 127.0.0.1:8080") << "f.conf:1: a setting reads KEY = VALUE"
        << ""
        << "" << 0;
    QTest::newRow("a wait that is no number")
        << QByteArray("\n# x\nwait = soon") << "f.conf:3: wait takes a number of seconds"
        << ""
        << "" << 0;
    QTest::newRow("an address without port")
        << QByteArray("listen = 127.0.0.1") << "f.conf:1: listen takes ADDRESS:PORT"
        << ""
        << "" << 0;
    QTest::newRow("an empty value") << QByteArray("user =") << "f.conf:1: user needs a value"
                                    << ""
                                    << "" << 0;
    QTest::newRow("a public URL with a password")
        << QByteArray("public-url = https://u:p@billing.example.org/qbwc")
        << "f.conf:1: public-url: the address may hold no user name or password"
        << ""
        << "" << 0;
}

void TestBridgeSettings::settingsLines() {
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    QFETCH(QString, listen);
    QFETCH(QString, passwordFile);
    QFETCH(int, wait);
    BridgeSettings settings;
    const bool loaded = settings.load(text, "f.conf", "/conf");
    QCOMPARE(loaded, problem.isEmpty());
    if (!loaded) {
        QVERIFY2(settings.errorString().startsWith(problem), qPrintable(settings.errorString()));
        QCOMPARE(settings.listen, QString()); // nothing taken from a file with a bad line
        return;
    }
    QCOMPARE(settings.listen, listen);
    QCOMPARE(settings.passwordFile, passwordFile);
    QCOMPARE(settings.waitFor(), wait);
}

void TestBridgeSettings::optionsWinOverTheFile() {
    BridgeSettings settings;
    QVERIFY(settings.load("listen = 0.0.0.0:8443\nuser = billing\nwait = 45\n", "f", "/"));
    QStringList args{"--listen", "127.0.0.1:9000", "--wait", "5"};
    QVERIFY(settings.takeOptions(args));
    QVERIFY(args.isEmpty());
    QCOMPARE(settings.listen, "127.0.0.1:9000");
    QCOMPARE(settings.waitSeconds, 5);
    QCOMPARE(settings.user, "billing");
    args = QStringList{"--wait", "0"};
    QVERIFY(!settings.takeOptions(args));
    QVERIFY(settings.errorString().startsWith("wait takes a number of seconds"));
}

// A good set-up: exit 0 and what the Web Connector will meet. A bad one: exit 1 and every
// reason, the weak password file and the certificate that names another host among them.
void TestBridgeSettings::checkSaysWhatTheWebConnectorSees() {
    BridgeProcess files;
    if (!BridgeProcess::makeChain(files.path(QString())))
        QSKIP("skipped: openssl cannot make certificates here");
    QFile conf(files.path("qbbridge.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("listen = 0.0.0.0:8443\nuser = clerk\npassword-file = password\n"
               "cert = chain.pem\nkey = leaf.key\npublic-url = https://localhost:8443/qbwc\n");
    conf.close();
    const auto check = [&](const QStringList& extra, QByteArray* out) {
        return runBridge(QStringList{"check", "--config", conf.fileName()} + extra, out);
    };
    QByteArray out;
    QCOMPARE(check({}, &out), 0);
    for (const char* line : {"the Web Connector's URL: https://localhost:8443/qbwc\n",
                             "  names: localhost\n", "  issuer: CN=Office Intermediate\n",
                             "  chain sent: CN=localhost <- CN=Office Intermediate\n",
                             "  names the URL's host localhost: yes\n", "serve would start.\n"})
        QVERIFY2(out.contains(line), out.constData());
    QVERIFY(out.contains("days left)"));
    // The office root is not sent: the Web Connector's computer must trust it.
    QVERIFY2(out.contains("  chain ends at: CN=Office Intermediate, issued by CN=Office Root, "
                          "which is not sent: the Web Connector's computer must trust CN=Office "
                          "Root as a root certificate"),
             out.constData());
    // Only the leaf: the intermediate is named as what is missing.
    QCOMPARE(check({"--cert", files.path("leaf.pem")}, &out), 0);
    QVERIFY2(out.contains("  chain ends at: CN=localhost, issued by CN=Office Intermediate, which "
                          "is not sent") &&
                 out.contains("if it is an intermediate, it belongs in --cert"),
             out.constData());

    QFile::setPermissions(files.passwordFile(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QCOMPARE(check({"--public-url", "https://billing.example.org:8443/qbwc"}, &out), 1);
    QVERIFY2(out.contains("serve would not start:\n  - the password file ") &&
                 out.contains("(mode 0604)") &&
                 out.contains("not for billing.example.org, the host of the public URL") &&
                 out.contains("names the URL's host billing.example.org: no"),
             out.constData());
    // Neither the certificate nor the key there: both named at once.
    QCOMPARE(check({"--cert", files.path("gone.pem"), "--key", files.path("gone.key")}, &out), 1);
    QVERIFY2(out.contains("gone.pem") && out.contains("gone.key"), out.constData());

    // Under systemd the reason reaches the journal as an error.
    QProcess serve;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("JOURNAL_STREAM", "8:12345");
    serve.setProcessEnvironment(environment);
    serve.start(BridgeProcess::program(), {"serve", "--config", conf.fileName()});
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(serve.exitCode(), 1);
    QVERIFY(serve.readAllStandardError().startsWith("<3>the password file "));
}

void TestBridgeSettings::oneScheduleForBothSides_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("line");
    QTest::newRow("no schedule") << QStringList() << 0
                                 << "the Web Connector calls: when the clerk presses Update "
                                    "Selected (every not set); a run waits up to 30 seconds";
    QTest::newRow("every minute") << QStringList{"--every", "60"} << 0
                                  << "the Web Connector calls: every 60 seconds (every); a run "
                                     "waits up to 90 seconds for its call";
    QTest::newRow("a wait too short for the schedule")
        << QStringList{"--every", "60", "--wait", "65"} << 1
        << "  - wait 65 is shorter than every 60 and 10 seconds: a run started just after the "
           "Web Connector's call would give up before the next; give wait 70 or more";
}

// check and serve keep one schedule, and the Web Connector's file is written with it.
void TestBridgeSettings::oneScheduleForBothSides() {
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, line);
    BridgeProcess files;
    QFile conf(files.path("qbbridge.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("listen = 127.0.0.1:8080\nuser = clerk\npassword-file = password\n"
               "public-url = http://localhost:8080/qbwc\n");
    conf.close();
    const auto run = runBridge;
    QByteArray out;
    QCOMPARE(run(QStringList{"check", "--config", conf.fileName()} + options, &out), status);
    QVERIFY2(out.contains(line.toUtf8()), out.constData());
    if (status != 0) { // serve says the same in one line
        QCOMPARE(run(QStringList{"serve", "--config", conf.fileName()} + options, &out), 1);
        QVERIFY2(out.contains(line.mid(4).toUtf8()), out.constData());
        return;
    }
    // qwc takes the URL, the user and the schedule from the same settings file.
    const bool every = options.contains("--every");
    QVERIFY(conf.open(QIODevice::Append));
    conf.write(every ? "every = 60\n" : "");
    conf.close();
    QCOMPARE(run({"qwc", "--config", conf.fileName()}, &out), 0);
    QVERIFY2(out.contains("<AppURL>http://localhost:8080/qbwc</AppURL>") &&
                 out.contains("<UserName>clerk</UserName>"),
             out.constData());
    QCOMPARE(out.contains("<RunEveryNSeconds>60</RunEveryNSeconds>"), every);
}

QTEST_GUILESS_MAIN(TestBridgeSettings)
#include "tst_bridge_settings.moc"
