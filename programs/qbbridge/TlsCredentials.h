#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The certificate chain and key the bridge serves HTTPS with, read and judged before it
// listens: a chain the Web Connector's Windows can follow (leaf first, then intermediates),
// a key that belongs to the leaf, no certificate outside its dates, and names that include the
// host the Web Connector is given.
struct TlsCredentials {
    struct Certificate {
        QString subject;
        QString issuer;
        QStringList names; // the subject's DNS names and IP addresses
        QDateTime notBefore;
        QDateTime notAfter;
    };

    QByteArray chainPem;
    QByteArray keyPem;
    QList<Certificate> chain;

    // Whether the first certificate names host, as a client checks it: a DNS name equal to it
    // in any letter case, a wildcard for its first label, or its IP address.
    bool names(const QString& host) const;

    // Reads certificatePem (one or more certificates) and keyText, named by their files for the
    // messages; host is the one of the public URL, or empty. False, with the reason in
    // errorString(), when they cannot serve; what could be read of the chain is kept either way.
    bool load(const QByteArray& certificatePem, const QString& certificateFile,
              const QByteArray& keyText, const QString& keyFile, const QString& host,
              const QDateTime& now);
    QString errorString() const { return m_errorString; }

private:
    bool fail(const QString& reason);

    QString m_errorString;
};
