#include "qbbridge/QwcFile.h"

#include <QHostAddress>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamWriter>
#include <utility>

namespace {
// Velloran's one OwnerID: the Web Connector keys the application's data by it.
const QString OwnerId = QStringLiteral("{5b0d7c2e-9a41-4c8e-b7f3-2d6e1a9c4f10}");
} // namespace

QwcFile::QwcFile(Settings settings)
    : m_settings(std::move(settings)) {}

bool QwcFile::fail(const QString& reason) {
    m_errorString = reason;
    return false;
}

bool QwcFile::check() {
    const QString& url = m_settings.url;
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return fail(QStringLiteral("%1 is no web address").arg(url));
    if (!QHostAddress(parsed.host()).isNull())
        return fail(
            QStringLiteral("the Web Connector takes no IP address (%1): use the host's name")
                .arg(parsed.host()));
    if (parsed.scheme() != u"https" && parsed.host() != u"localhost")
        return fail(QStringLiteral("the Web Connector needs https:// for any host but localhost"));
    if (!parsed.userInfo().isEmpty())
        return fail(
            QStringLiteral("the address may hold no user name or password: the Web Connector "
                           "asks for the password itself"));
    if (parsed.path() != u"/qbwc" || parsed.hasQuery() || parsed.hasFragment())
        return fail(QStringLiteral("the bridge serves the Web Connector at /qbwc, not at %1")
                        .arg(parsed.path(QUrl::FullyEncoded) +
                             (parsed.hasQuery() ? u'?' + parsed.query() : QString())));
    return true;
}

QString QwcFile::fileIdOf(const QString& text) {
    const QUuid id(text.trimmed());
    return id.isNull() ? QString() : id.toString(QUuid::WithBraces);
}

QByteArray QwcFile::text() const {
    const Settings& settings = m_settings;
    const QUrl url(settings.url);
    QUrl support(url);
    support.setPath(QStringLiteral("/"));
    support.setQuery(QString());
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("QBWCXML"));
    xml.writeTextElement(QStringLiteral("AppName"), settings.appName);
    xml.writeTextElement(QStringLiteral("AppID"), QString());
    xml.writeTextElement(QStringLiteral("AppURL"), url.toString());
    xml.writeTextElement(QStringLiteral("AppDescription"),
                         QStringLiteral("Velloran creates the members' invoices"));
    xml.writeTextElement(QStringLiteral("AppSupport"), support.toString());
    xml.writeTextElement(QStringLiteral("UserName"), settings.user);
    xml.writeTextElement(QStringLiteral("OwnerID"), OwnerId);
    xml.writeTextElement(QStringLiteral("FileID"), settings.fileId.isEmpty()
                                                       ? QUuid::createUuid().toString()
                                                       : settings.fileId);
    xml.writeTextElement(QStringLiteral("QBType"), QStringLiteral("QBFS"));
    if (settings.everySeconds > 0) {
        xml.writeStartElement(QStringLiteral("Scheduler"));
        xml.writeTextElement(QStringLiteral("RunEveryNSeconds"),
                             QString::number(settings.everySeconds));
        xml.writeEndElement();
    }
    xml.writeTextElement(QStringLiteral("IsReadOnly"), QStringLiteral("false"));
    xml.writeEndDocument();
    return out;
}
