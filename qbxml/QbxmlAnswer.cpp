#include "qbxml/QbxmlAnswer.h"

#include "core/Failure.h"

#include <QXmlStreamReader>

QString MessageSetStatus::describe(qint32 code) {
    switch (code) {
    case Unknown:
        return QStringLiteral("QuickBooks has no message set of that ID.");
    case OtherContent:
        return QStringLiteral("QuickBooks holds other requests under this message set's ID.");
    case NothingStored:
        return QStringLiteral("QuickBooks has no stored answer for this message set.");
    case IdTooLong:
        return QStringLiteral("The message set's ID is longer than %1 characters.")
            .arg(MaxIdLength);
    case NotStored:
        return QStringLiteral("QuickBooks could not store the answer of this message set.");
    default:
        return QStringLiteral("QuickBooks did not carry out the message set (status %1).")
            .arg(code);
    }
}

namespace {
Failure badAnswer(const QString& why) {
    return Failure(
        QbError::BadAnswer,
        QStringLiteral("QuickBooks sent an answer that could not be read (%1).").arg(why));
}

// Reads the element at the reader's position, to its end, into path/value pairs: each
// element holding text becomes one field ("InvoiceRet/CustomerRef/FullName").
void flatten(QXmlStreamReader& xml, const QString& path, QbxmlAnswer::Record& fields) {
    QString text;
    bool aggregate = false;
    QHash<QString, int> seen;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            aggregate = true;
            const QString name = xml.name().toString();
            const int count = ++seen[name];
            flatten(xml, path + u'/' + (count == 1 ? name : name + u'#' + QString::number(count)),
                    fields);
        } else if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isEndElement()) {
            break;
        }
    }
    if (!aggregate)
        fields.insert(path, text);
}

void throwProcessorError(const QXmlStreamReader& xml) {
    bool ok = false;
    const qint32 code = xml.attributes().value(QLatin1String("code")).toInt(&ok);
    throw Failure(ok ? code : QbError::ParseError,
                  xml.attributes().value(QLatin1String("message")).toString());
}

// The messageSetStatusCode attribute at the reader's QBXMLMsgsRs, 0 where absent.
qint32 setStatusAt(const QXmlStreamReader& xml) {
    const auto value = xml.attributes().value(QLatin1String("messageSetStatusCode"));
    if (value.isEmpty())
        return 0;
    bool ok = false;
    const qint32 code = value.toInt(&ok);
    if (!ok)
        throw badAnswer(QStringLiteral("message set status \"%1\"").arg(value.toString()));
    return code;
}
} // namespace

qint32 QbxmlAnswer::messageSetStatus(const QByteArray& document) {
    QXmlStreamReader xml(document);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"ProcessorError")
            throwProcessorError(xml);
        if (xml.name() == u"QBXMLMsgsRs")
            return setStatusAt(xml);
    }
    throw badAnswer(xml.hasError() ? xml.errorString() : QStringLiteral("no QBXMLMsgsRs in it"));
}

QbxmlAnswer QbxmlAnswer::read(const QByteArray& document, const QString& responseName,
                              bool acceptWarnings) {
    QXmlStreamReader xml(document);
    QbxmlAnswer answer;
    bool found = false;
    while (!xml.atEnd() && !found) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"ProcessorError")
            throwProcessorError(xml);
        if (xml.name() == u"QBXMLMsgsRs") {
            const qint32 setStatus = setStatusAt(xml);
            if (setStatus != 0)
                throw Failure(setStatus, MessageSetStatus::describe(setStatus));
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
            while (xml.readNextStartElement()) {
                Record record;
                flatten(xml, xml.name().toString(), record);
                answer.records.append(record);
            }
        }
    }
    if (xml.hasError())
        throw badAnswer(xml.errorString());
    if (!found)
        throw badAnswer(QStringLiteral("no %1 in it").arg(responseName));
    // A warning that comes with records (QuickBooks' way of saying "done, but note this") is
    // read like an OK; one without records is the failure it reports, unless the caller takes
    // "nothing found" as an answer.
    const bool warning = answer.statusSeverity == u"Info" || answer.statusSeverity == u"Warn";
    if (answer.statusCode != 0 && !(warning && (acceptWarnings || !answer.records.isEmpty())))
        throw Failure(answer.statusCode, answer.statusMessage);
    return answer;
}
