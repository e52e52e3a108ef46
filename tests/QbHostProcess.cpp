#include "QbHostProcess.h"

#include "TestSupport.h"

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

QbHostProcess::QbHostProcess(const QStringList& customers, const QStringList& items,
                             const QString& company) {
    run(company.isEmpty() ? QStringList{QStringLiteral("init"), companyFile()}
                          : QStringList{QStringLiteral("init"), companyFile(),
                                        QStringLiteral("--company"), company});
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
    return TestSupport::startServer(m_process, program(),
                                    QStringList{QStringLiteral("serve"), companyFile(),
                                                QStringLiteral("--socket"), socketPath()} +
                                        extra)
        .startsWith("qbhost: serving");
}

bool QbHostProcess::stop() {
    return TestSupport::stopServer(m_process);
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
