#pragma once

#include "qbhost/SoapPoster.h"

#include <QByteArray>
#include <QString>
#include <optional>

class QbxmlHost;

// The QuickBooks Web Connector's part, played against any Web Connector service: a session
// in the protocol's order (serverVersion, clientVersion, authenticate, sendRequestXML and
// receiveResponseXML pairs, closeConnection), the host/company/preferences answer on the
// first sendRequestXML, the company file's path in every one, a 5-second pause on "NoOp", and
// each request run against the company file, as slowly as QuickBooks may. Its HTTP is .NET's
// (SoapPoster).
class WebConnectorClient {
public:
    struct Options {
        QString url;
        QString user;
        QString password;
        QString caFile; // a certificate to trust besides the system's
        // The company file's full path, as QuickBooks names the file it has open.
        QString companyFile;
        // Each SOAP call on a connection of its own.
        bool newConnectionPerCall = false;
        // How long QuickBooks takes over each request.
        int latencyMs = 0;
        // Failures to rehearse at the Nth request handed over: the Web Connector ends before
        // running it, or after running it but before handing the answer back; or it hands
        // back a failure of QuickBooks (hresult) instead of running it.
        enum class Fault { None, DieBeforeRun, DieAfterRun, Hresult } fault = Fault::None;
        int faultAt = 0;
    };

    WebConnectorClient(Options options, QbxmlHost& host);

    // One session; false, with the reason in errorString(), when it did not end in order.
    bool runSession();
    QString errorString() const { return m_errorString; }

    // "die-before-store@2", "die-after-store@2", "hresult@1".
    static bool parseFault(const QString& text, Options& options);

private:
    // One SOAP call; the result's text or list, or nullopt with the reason in errorString().
    std::optional<QStringList> call(const QString& method,
                                    const QList<QPair<QString, QString>>& parameters);
    bool fail(const QString& reason);

    Options m_options;
    QbxmlHost& m_host;
    SoapPoster m_poster;
    int m_handed = 0;
    QString m_errorString;
};
