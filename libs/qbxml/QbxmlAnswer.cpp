#include "qbxml/QbxmlAnswer.h"

#include "core/Failure.h"

#include <QXmlStreamReader>
#include <optional>

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

namespace {
// The answer element at the reader's position, with its records, read to its end.
QbxmlAnswer responseAt(QXmlStreamReader& xml) {
    QbxmlAnswer answer;
    const QXmlStreamAttributes a = xml.attributes();
    bool ok = false;
    answer.responseName = xml.name().toString();
    answer.requestId = a.value(QLatin1String("requestID")).toString();
    answer.statusCode = a.value(QLatin1String("statusCode")).toInt(&ok);
    if (!ok)
        throw badAnswer(QStringLiteral("no status code"));
    answer.statusSeverity = a.value(QLatin1String("statusSeverity")).toString();
    answer.statusMessage = a.value(QLatin1String("statusMessage")).toString();
    while (xml.readNextStartElement()) {
        QbxmlAnswer::Record record;
        flatten(xml, xml.name().toString(), record);
        answer.records.append(record);
    }
    return answer;
}

// Walks the document's elements up to its answers, refusing a processor error and a message
// set that was not carried out; true once the reader stands at the message set.
bool reachMessages(QXmlStreamReader& xml) {
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"ProcessorError")
            throwProcessorError(xml);
        if (xml.name() == u"QBXMLMsgsRs") {
            const qint32 setStatus = setStatusAt(xml);
            if (setStatus != 0)
                throw Failure(setStatus, MessageSetStatus::describe(setStatus));
            return true;
        }
    }
    return false;
}
} // namespace

QbxmlAnswer QbxmlAnswer::read(const QByteArray& document, const QString& responseName,
                              bool acceptWarnings) {
    QXmlStreamReader xml(document);
    std::optional<QbxmlAnswer> answer;
    while (reachMessages(xml) && !answer) {
        while (!xml.atEnd() && !answer) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"ProcessorError")
                throwProcessorError(xml);
            if (xml.isStartElement() && xml.name() == responseName)
                answer = responseAt(xml);
        }
    }
    if (xml.hasError())
        throw badAnswer(xml.errorString());
    if (!answer)
        throw badAnswer(QStringLiteral("no %1 in it").arg(responseName));
    answer->check(acceptWarnings);
    return *answer;
}

QList<QbxmlAnswer> QbxmlAnswer::readAll(const QByteArray& document) {
    QXmlStreamReader xml(document);
    if (!reachMessages(xml))
        throw badAnswer(xml.hasError() ? xml.errorString()
                                       : QStringLiteral("no QBXMLMsgsRs in it"));
    QList<QbxmlAnswer> answers;
    while (xml.readNextStartElement())
        answers.append(responseAt(xml));
    // The rest of the document, so that a damaged end is not taken for a whole answer.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        throw badAnswer(xml.errorString());
    return answers;
}

void QbxmlAnswer::check(bool acceptWarnings) const {
    // A warning that comes with records (QuickBooks' way of saying "done, but note this") is
    // read like an OK; one without records is the failure it reports, unless the caller takes
    // "nothing found" as an answer.
    const bool warning = statusSeverity == u"Info" || statusSeverity == u"Warn";
    if (statusCode != 0 && !(warning && (acceptWarnings || !records.isEmpty())))
        throw Failure(statusCode, statusMessage);
}
