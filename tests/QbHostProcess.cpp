#include "QbHostProcess.h"

#include <QJsonDocument>

QString QbHostProcess::program() {
    return QStringLiteral(QBHOST_PATH);
}

int QbHostProcess::run(const QStringList& arguments, QByteArray* output) {
    QProcess process;
    process.start(program(), arguments);
    if (!process.waitForFinished(30000))
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode();
}

QbHostProcess::QbHostProcess(const QStringList& customers, const QStringList& items) {
    run({QStringLiteral("init"), companyFile()});
    for (const QString& customer : customers) {
        const QStringList parts = customer.split(u'|');
        QStringList args{QStringLiteral("add-customer"), companyFile(), parts.first()};
        if (parts.size() > 1)
            args << QStringLiteral("--email") << parts.at(1);
        run(args);
    }
    for (const QString& item : items)
        run({QStringLiteral("add-item"), companyFile(), item});
}

QbHostProcess::~QbHostProcess() {
    stop();
}

bool QbHostProcess::start(const QStringList& extra) {
    m_process.start(program(), QStringList{QStringLiteral("serve"), companyFile(),
                                           QStringLiteral("--socket"), socketPath()} +
                                   extra);
    if (!m_process.waitForStarted(10000))
        return false;
    // The host says it serves once it listens.
    while (!m_process.canReadLine())
        if (!m_process.waitForReadyRead(10000))
            return false;
    return m_process.readLine().startsWith("qbhost: serving");
}

bool QbHostProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        kill();
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void QbHostProcess::kill() {
    m_process.kill();
    m_process.waitForFinished(10000);
}

QList<QJsonObject> QbHostProcess::invoices() const {
    QByteArray output;
    run({QStringLiteral("invoices"), companyFile()}, &output);
    QList<QJsonObject> list;
    for (const QByteArray& line : output.split('\n'))
        if (!line.trimmed().isEmpty())
            list << QJsonDocument::fromJson(line).object();
    return list;
}
