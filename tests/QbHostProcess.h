#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A real company-file host (qbhost) on a temporary company file and socket.
class QbHostProcess {
public:
    // Customers as "Name" or "Name|address"; items by name; the company's name, "company"
    // (the file's) unless given.
    QbHostProcess(const QStringList& customers, const QStringList& items,
                  const QString& company = QString());
    ~QbHostProcess();

    // Starts serving; extra arguments such as {"--refuse", "InvoiceMod"}.
    bool start(const QStringList& extra = {});
    // Ends the host with SIGTERM; true when it then ended by itself with status 0.
    bool stop();
    void kill();

    QString socketPath() const {
        return m_socketPath.isEmpty() ? m_dir.filePath(QStringLiteral("qb.sock")) : m_socketPath;
    }
    void setSocketPath(const QString& path) { m_socketPath = path; }
    void setEnvironment(const QProcessEnvironment& environment) {
        m_process.setProcessEnvironment(environment);
    }
    QString companyFile() const { return m_dir.filePath(QStringLiteral("company.qbw")); }
    // The invoices of the company file, as qbhost invoices prints them.
    QList<QJsonObject> invoices() const;

    static QString program();
    static int run(const QStringList& arguments, QByteArray* output = nullptr);

private:
    QTemporaryDir m_dir;
    QString m_socketPath;
    QProcess m_process;
};
