#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real Web Connector bridge (qbbridge serve) on loopback and a temporary socket, with a real
// Web Connector played by qbhost webconnector on a company file.
class BridgeProcess {
public:
    static constexpr const char* User = "clerk";
    static constexpr const char* Password = "s3cret pass";

    BridgeProcess();
    ~BridgeProcess();

    // Starts the bridge; extra arguments such as {"--wait", "2"}.
    bool start(const QStringList& extra = {});
    void stop();
    QString socketPath() const { return m_dir.filePath(QStringLiteral("bridge.sock")); }
    QString url() const { return m_url; }
    QString passwordFile() const { return m_dir.filePath(QStringLiteral("password")); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Starts the Web Connector's part against the bridge for companyFile.
    // Starts the Web Connector's part against the bridge for companyFile, and waits until it
    // is in session.
    bool startConnector(const QString& companyFile, const QStringList& extra = {});
    void stopConnector();
    QProcess& connector() { return m_connector; }

    static QString program();

private:
    QTemporaryDir m_dir;
    QString m_url;
    QProcess m_bridge;
    QProcess m_connector;
};
