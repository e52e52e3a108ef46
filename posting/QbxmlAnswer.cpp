#include "posting/QbxmlAnswer.h"

#include "app/Failure.h"

#include <QXmlStreamReader>

namespace {
Failure badAnswer(const QString& why) {
    return Failure(
        QbError::BadAnswer,
        QStringLiteral("QuickBooks sent an answer that could not be read (%1).").arg(why));
}

// Reads the element at the reader's position, to its end, into path/value pairs: each
// element holding text becomes one field ("InvoiceRet/CustomerRef/FullName"); the first of
// repeated elements counts.
void flatten(QXmlStreamReader& xml, const QString& prefix, QHash<QString, QString>& fields) {
    const QString path =
        prefix.isEmpty() ? xml.name().toString() : prefix + u'/' + xml.name().toString();
    QString text;
    bool aggregate = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            aggregate = true;
            flatten(xml, path, fields);
        } else if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isEndElement()) {
            break;
        }
    }
    if (!aggregate && !fields.contains(path))
        fields.insert(path, text);
}
} // namespace

QbxmlAnswer QbxmlAnswer::read(const QByteArray& document, const QString& responseName) {
    QXmlStreamReader xml(document);
    QbxmlAnswer answer;
    bool found = false;
    while (!xml.atEnd() && !found) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"ProcessorError") {
            bool ok = false;
            const qint32 code = xml.attributes().value(QLatin1String("code")).toInt(&ok);
            throw Failure(ok ? code : QbError::ParseError,
                          xml.attributes().value(QLatin1String("message")).toString());
        }
        if (xml.name() == responseName) {
            found = true;
            const QXmlStreamAttributes a = xml.attributes();
            bool ok = false;
            answer.responseName = responseName;
            answer.statusCode = a.value(QLatin1String("statusCode")).toInt(&ok);
            if (!ok)
                throw badAnswer(QStringLiteral("no status code"));
            answer.statusSeverity = a.value(QLatin1String("statusSeverity")).toString();
            answer.statusMessage = a.value(QLatin1String("statusMessage")).toString();
            while (xml.readNextStartElement())
                flatten(xml, QString(), answer.fields);
        }
    }
    if (xml.hasError())
        throw badAnswer(xml.errorString());
    if (!found)
        throw badAnswer(QStringLiteral("no %1 in it").arg(responseName));
    if (answer.statusCode != 0)
        throw Failure(answer.statusCode, answer.statusMessage);
    return answer;
}
