#include "BridgeProcess.h"

#include "QbHostProcess.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

QString BridgeProcess::program() {
    return QStringLiteral(QBBRIDGE_PATH);
}

BridgeProcess::BridgeProcess() {
    QFile file(passwordFile());
    if (file.open(QIODevice::WriteOnly)) {
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        file.write(QByteArray(Password) + '\n');
    }
}

BridgeProcess::~BridgeProcess() {
    stopConnector();
    stop();
}

QByteArray BridgeProcess::connectorLog() const {
    QFile file(path(QStringLiteral("connector.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray BridgeProcess::log() const {
    QFile file(path(QStringLiteral("bridge.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool BridgeProcess::start(const QStringList& extra) {
    // In a file, so that a full pipe never holds the bridge up.
    m_bridge.setStandardErrorFile(path(QStringLiteral("bridge.log")), QIODevice::Append);
    const QByteArray said = TestSupport::startServer(
        m_bridge, program(),
        QStringList{"serve", "--listen", "127.0.0.1:0", "--user", User, "--password-file",
                    passwordFile(), "--socket", socketPath()} +
            extra);
    static const QRegularExpression serving(QStringLiteral("^qbbridge: serving \\S+ and (\\S+)"));
    const auto match = serving.match(QString::fromUtf8(said));
    m_url = match.captured(1);
    return match.hasMatch();
}

void BridgeProcess::stop() {
    TestSupport::stopServer(m_bridge);
}

bool BridgeProcess::startConnector(const QString& companyFile, const QStringList& extra) {
    stopConnector();
    m_connector.setStandardOutputFile(path(QStringLiteral("connector.log")), QIODevice::Append);
    m_connector.setStandardErrorFile(path(QStringLiteral("connector.log")), QIODevice::Append);
    const QStringList every =
        extra.contains("--every") ? QStringList() : QStringList{"--every", "1"};
    m_connector.start(QbHostProcess::program(),
                      QStringList{"webconnector", companyFile, "--url", m_url, "--user", User,
                                  "--password-file", passwordFile()} +
                          every + extra);
    return m_connector.waitForStarted(10000);
}

void BridgeProcess::stopConnector() {
    if (m_connector.state() == QProcess::NotRunning)
        return;
    m_connector.kill();
    m_connector.waitForFinished(10000);
}

namespace {
bool openssl(const QString& dir, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("openssl"), arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

const QStringList EcKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
} // namespace

bool BridgeProcess::makeSelfSigned(const QString& dir, const QString& name, const QString& host,
                                   const QString& from, const QString& to) {
    const QString cert = name + ".pem", key = name + ".key";
    if (from.isEmpty())
        return openssl(dir,
                       QStringList{"req", "-x509"} + EcKey +
                           QStringList{"-keyout", key, "-out", cert, "-days", "2", "-subj",
                                       "/CN=" + host, "-addext", "subjectAltName=DNS:" + host});
    // Any dates, past ones included, through openssl's own small authority.
    const QDir ca(dir);
    return writeText(ca.filePath("ca.cnf"),
                     "[ca]\ndefault_ca=x\n[x]\ndatabase=index.txt\nserial=serial\n"
                     "new_certs_dir=.\ndefault_md=sha256\npolicy=p\ncopy_extensions=copy\n"
                     "[p]\ncommonName=supplied\n") &&
           writeText(ca.filePath("index.txt"), "") && writeText(ca.filePath("serial"), "01\n") &&
           openssl(dir, QStringList{"req", "-new"} + EcKey +
                            QStringList{"-keyout", key, "-out", name + ".csr", "-subj",
                                        "/CN=" + host, "-addext", "subjectAltName=DNS:" + host}) &&
           openssl(dir, {"ca", "-batch", "-config", "ca.cnf", "-selfsign", "-keyfile", key, "-in",
                         name + ".csr", "-startdate", from, "-enddate", to, "-out", cert});
}

bool BridgeProcess::makeChain(const QString& dir) {
    const QDir d(dir);
    const auto sign = [&](const QString& name, const QString& subject, const QString& by,
                          const QByteArray& extensions) {
        return writeText(d.filePath(name + ".ext"), extensions) &&
               openssl(dir, QStringList{"req", "-new"} + EcKey +
                                QStringList{"-keyout", name + ".key", "-out", name + ".csr",
                                            "-subj", subject}) &&
               openssl(dir, {"x509", "-req", "-in", name + ".csr", "-CA", by + ".pem", "-CAkey",
                             by + ".key", "-CAcreateserial", "-days", "2", "-extfile",
                             name + ".ext", "-out", name + ".pem"});
    };
    QFile leaf(d.filePath("leaf.pem")), intermediate(d.filePath("intermediate.pem"));
    return openssl(dir, QStringList{"req", "-x509"} + EcKey +
                            QStringList{"-keyout", "root.key", "-out", "root.pem", "-days", "2",
                                        "-subj", "/CN=Office Root", "-addext",
                                        "basicConstraints=critical,CA:true", "-addext",
                                        "keyUsage=critical,keyCertSign,cRLSign"}) &&
           sign("intermediate", "/CN=Office Intermediate", "root",
                "basicConstraints=critical,CA:true\nkeyUsage=critical,keyCertSign,cRLSign\n") &&
           sign("leaf", "/CN=localhost", "intermediate",
                "subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n") &&
           leaf.open(QIODevice::ReadOnly) && intermediate.open(QIODevice::ReadOnly) &&
           writeText(d.filePath("chain.pem"), leaf.readAll() + intermediate.readAll());
}
