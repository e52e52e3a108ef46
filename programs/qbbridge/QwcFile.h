#pragma once

#include <QByteArray>
#include <QString>

// The .qwc file that adds the bridge to the QuickBooks Web Connector. It never holds the
// password: the Web Connector asks for it once.
class QwcFile {
public:
    struct Settings {
        QString url; // https://billing.example.org:8443/qbwc, or http://localhost:PORT/qbwc
        QString user;
        QString appName = QStringLiteral("Velloran");
        int everySeconds = 0; // 0: no schedule, the clerk presses Update Selected
        // The Web Connector keys what it knows of the service by FileID: a file made again
        // keeps the first one's. Empty: a new one.
        QString fileId;
    };

    explicit QwcFile(Settings settings);

    // False, with the reason in errorString(), when the Web Connector or the bridge would
    // refuse the URL: an IP address, plain HTTP away from localhost, a user name or password
    // in it, a path other than the service's /qbwc.
    bool check();
    QString errorString() const { return m_errorString; }

    // The file: the same OwnerID always; AppURL and AppSupport with one spelling of the host.
    QByteArray text() const;

    // "{xxxxxxxx-...}" for a GUID in any of its usual spellings; empty for no GUID.
    static QString fileIdOf(const QString& text);

private:
    bool fail(const QString& reason);

    Settings m_settings;
    QString m_errorString;
};
