#include "qbbridge/TlsCredentials.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <QHostAddress>
#include <QtEndian>
#include <memory>

namespace {
gnutls_datum_t datumOf(const QByteArray& bytes) {
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.constData())),
            unsigned(bytes.size())};
}

QString textOf(gnutls_datum_t& datum) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(datum.data), int(datum.size));
    gnutls_free(datum.data);
    return text;
}

QStringList namesOf(gnutls_x509_crt_t certificate) {
    QStringList names;
    for (unsigned sequence = 0;; ++sequence) {
        char buffer[512];
        size_t size = sizeof buffer;
        const int type =
            gnutls_x509_crt_get_subject_alt_name(certificate, sequence, buffer, &size, nullptr);
        if (type == GNUTLS_E_REQUESTED_DATA_NOT_AVAILABLE)
            break;
        if (type == GNUTLS_SAN_DNSNAME)
            names << QString::fromUtf8(buffer, int(size));
        else if (type == GNUTLS_SAN_IPADDRESS && (size == 4 || size == 16))
            names << (size == 4 ? QHostAddress(qFromBigEndian<quint32>(buffer))
                                : QHostAddress(reinterpret_cast<const quint8*>(buffer)))
                         .toString();
        else if (type < 0 && type != GNUTLS_E_SHORT_MEMORY_BUFFER)
            break;
    }
    return names;
}

QDateTime timeOf(time_t seconds) {
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
}
} // namespace

bool TlsCredentials::fail(const QString& reason) {
    m_errorString = reason;
    return false;
}

bool TlsCredentials::load(const QByteArray& certificatePem, const QString& certificateFile,
                          const QByteArray& keyText, const QString& keyFile, const QString& host,
                          const QDateTime& now) {
    chainPem = certificatePem;
    keyPem = keyText;
    chain.clear();
    m_errorString.clear();
    gnutls_x509_crt_t* list = nullptr;
    unsigned count = 0;
    const gnutls_datum_t pem = datumOf(certificatePem);
    if (gnutls_x509_crt_list_import2(&list, &count, &pem, GNUTLS_X509_FMT_PEM, 0) < 0 || count == 0)
        return fail(QStringLiteral("%1 holds no certificate").arg(certificateFile));
    const auto freeList = [&] {
        for (unsigned i = 0; i < count; ++i)
            gnutls_x509_crt_deinit(list[i]);
        gnutls_free(list);
    };
    for (unsigned i = 0; i < count; ++i) {
        Certificate certificate;
        gnutls_datum_t dn{};
        if (gnutls_x509_crt_get_dn2(list[i], &dn) >= 0)
            certificate.subject = textOf(dn);
        if (gnutls_x509_crt_get_issuer_dn2(list[i], &dn) >= 0)
            certificate.issuer = textOf(dn);
        certificate.names = namesOf(list[i]);
        certificate.notBefore = timeOf(gnutls_x509_crt_get_activation_time(list[i]));
        certificate.notAfter = timeOf(gnutls_x509_crt_get_expiration_time(list[i]));
        chain << certificate;
    }
    const bool hostNamed =
        host.isEmpty() || gnutls_x509_crt_check_hostname2(list[0], host.toUtf8().constData(), 0);
    freeList();

    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_certificate_allocate_credentials(&credentials);
    const gnutls_datum_t key = datumOf(keyText);
    const int loaded = gnutls_certificate_set_x509_key_mem2(credentials, &pem, &key,
                                                            GNUTLS_X509_FMT_PEM, nullptr, 0);
    gnutls_certificate_free_credentials(credentials);
    if (loaded == GNUTLS_E_CERTIFICATE_KEY_MISMATCH)
        return fail(QStringLiteral("the key %1 does not belong to the certificate %2")
                        .arg(keyFile, certificateFile));
    if (loaded < 0)
        return fail(QStringLiteral("%1 and %2 cannot serve HTTPS: %3")
                        .arg(certificateFile, keyFile, QString::fromUtf8(gnutls_strerror(loaded))));

    for (const Certificate& certificate : std::as_const(chain)) {
        const QString which = &certificate == &chain.first()
                                  ? QStringLiteral("the certificate %1").arg(certificateFile)
                                  : QStringLiteral("the certificate of %1 in %2")
                                        .arg(certificate.subject, certificateFile);
        if (certificate.notAfter < now)
            return fail(QStringLiteral("%1 expired on %2")
                            .arg(which, certificate.notAfter.toString(Qt::ISODate)));
        if (certificate.notBefore > now)
            return fail(QStringLiteral("%1 is not valid before %2")
                            .arg(which, certificate.notBefore.toString(Qt::ISODate)));
    }
    if (!hostNamed)
        return fail(QStringLiteral("the certificate %1 is for %2, not for %3, the host of the "
                                   "public URL: the Web Connector would refuse it")
                        .arg(certificateFile,
                             chain.first().names.isEmpty() ? chain.first().subject
                                                           : chain.first().names.join(u", "),
                             host));
    return true;
}

bool TlsCredentials::names(const QString& host) const {
    if (chain.isEmpty() || host.isEmpty())
        return false;
    for (const QString& name : chain.first().names) {
        if (name.compare(host, Qt::CaseInsensitive) == 0)
            return true;
        if (name.startsWith(QStringLiteral("*.")) && host.indexOf(u'.') > 0 &&
            host.mid(host.indexOf(u'.')).compare(name.mid(1), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
