#include "BridgeProcess.h"

#include "QbHostProcess.h"
#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>

QString BridgeProcess::program() {
    return QStringLiteral(QBBRIDGE_PATH);
}

BridgeProcess::BridgeProcess() {
    QFile file(passwordFile());
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(Password) + '\n');
}

BridgeProcess::~BridgeProcess() {
    stopConnector();
    stop();
}

bool BridgeProcess::start(const QStringList& extra) {
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
    m_connector.start(QbHostProcess::program(),
                      QStringList{"webconnector", companyFile, "--url", m_url, "--user", User,
                                  "--password-file", passwordFile(), "--every", "1"} +
                          extra);
    if (!m_connector.waitForStarted(10000))
        return false;
    while (!m_connector.readAllStandardOutput().contains("in session"))
        if (!m_connector.waitForReadyRead(10000))
            return false;
    return true;
}

void BridgeProcess::stopConnector() {
    if (m_connector.state() == QProcess::NotRunning)
        return;
    m_connector.kill();
    m_connector.waitForFinished(10000);
}
