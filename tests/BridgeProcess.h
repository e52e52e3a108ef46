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
    static constexpr const char* Password = "s3cret pass phrase";

    BridgeProcess();
    ~BridgeProcess();

    // Starts the bridge; extra arguments such as {"--wait", "2"}.
    bool start(const QStringList& extra = {});
    void stop();
    QString socketPath() const { return m_dir.filePath(QStringLiteral("bridge.sock")); }
    QString url() const { return m_url; }
    quint16 port() const { return quint16(m_url.section(u':', -1).section(u'/', 0, 0).toUInt()); }
    // What the bridge has logged on standard error so far.
    QByteArray log() const;
    QString passwordFile() const { return m_dir.filePath(QStringLiteral("password")); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Starts the Web Connector's part against the bridge for companyFile, calling every second
    // unless extra says --every: it is in session once a program is connected to the bridge.
    bool startConnector(const QString& companyFile, const QStringList& extra = {});
    void stopConnector();
    // What the Web Connector's part has printed so far: how each of its sessions ended.
    QByteArray connectorLog() const;
    QProcess& connector() { return m_connector; }

    static QString program();

    // Certificates made with the openssl program, in dir: a leaf for localhost signed by an
    // office root through an intermediate (root.pem; chain.pem, leaf then intermediate;
    // leaf.key), or one self-signed certificate for host (NAME.pem, NAME.key), valid from..to
    // ("20200101000000Z") or for two days from now. False when openssl cannot make them.
    static bool makeChain(const QString& dir);
    static bool makeSelfSigned(const QString& dir, const QString& name, const QString& host,
                               const QString& from = QString(), const QString& to = QString());

private:
    QTemporaryDir m_dir;
    QString m_url;
    QProcess m_bridge;
    QProcess m_connector;
};
