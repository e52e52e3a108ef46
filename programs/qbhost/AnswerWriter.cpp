#include "qbhost/AnswerWriter.h"

#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlEnvelope.h"

#include <QDateTime>
#include <QXmlStreamWriter>

namespace {
// A date-time as QuickBooks writes it: local time with its offset from UTC.
QString qbDateTime(const QString& stored) {
    QDateTime time = QDateTime::fromString(stored, Qt::ISODate);
    if (!time.isValid())
        return stored;
    time = time.toLocalTime();
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// An amount as QuickBooks writes it: two decimals.
QString qbAmount(const QString& stored) {
    const int point = stored.indexOf(u'.');
    if (stored.isEmpty())
        return stored;
    if (point < 0)
        return stored + QStringLiteral(".00");
    return stored.leftJustified(point + 3, u'0');
}

void writeRef(QXmlStreamWriter& out, const QString& aggregate, const QString& fullName) {
    out.writeStartElement(aggregate);
    out.writeTextElement(QStringLiteral("FullName"), fullName);
    out.writeEndElement();
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString severityOf(qint32 code) {
    if (code == 0 || code == 1)
        return QStringLiteral("Info");
    return code < 1000 ? QStringLiteral("Warn") : QStringLiteral("Error");
}
} // namespace

void AnswerWriter::writeOtherName(QXmlStreamWriter& out, const CompanyFile::OtherName& otherName) {
    out.writeStartElement(QStringLiteral("OtherNameRet"));
    out.writeTextElement(QStringLiteral("ListID"), otherName.listId);
    out.writeTextElement(QStringLiteral("TimeCreated"), qbDateTime(otherName.timeCreated));
    out.writeTextElement(QStringLiteral("TimeModified"), qbDateTime(otherName.timeModified));
    out.writeTextElement(QStringLiteral("EditSequence"), otherName.editSequence);
    out.writeTextElement(QStringLiteral("Name"), otherName.name);
    out.writeTextElement(QStringLiteral("IsActive"), boolText(otherName.active));
    if (!otherName.notes.isEmpty())
        out.writeTextElement(QStringLiteral("Notes"), otherName.notes);
    out.writeEndElement();
}

void AnswerWriter::writeInvoice(QXmlStreamWriter& out, const CompanyFile::Invoice& invoice,
                                bool withLines) {
    out.writeStartElement(QStringLiteral("InvoiceRet"));
    out.writeTextElement(QStringLiteral("TxnID"), invoice.txnId);
    out.writeTextElement(QStringLiteral("TimeCreated"), qbDateTime(invoice.timeCreated));
    out.writeTextElement(QStringLiteral("TimeModified"), qbDateTime(invoice.timeCreated));
    out.writeTextElement(QStringLiteral("EditSequence"), invoice.editSequence);
    out.writeTextElement(QStringLiteral("TxnNumber"), QString::number(invoice.txnNumber));
    writeRef(out, QStringLiteral("CustomerRef"), invoice.customer);
    if (!invoice.txnDate.isEmpty())
        out.writeTextElement(QStringLiteral("TxnDate"), invoice.txnDate);
    if (!invoice.dueDate.isEmpty())
        out.writeTextElement(QStringLiteral("DueDate"), invoice.dueDate);
    out.writeTextElement(QStringLiteral("IsToBePrinted"), boolText(invoice.toBePrinted));
    out.writeTextElement(QStringLiteral("IsToBeEmailed"), boolText(invoice.toBeEmailed));
    for (const auto& line : invoice.lines) {
        if (!withLines)
            break;
        out.writeStartElement(QStringLiteral("InvoiceLineRet"));
        out.writeTextElement(QStringLiteral("TxnLineID"), line.txnLineId);
        writeRef(out, QStringLiteral("ItemRef"), line.item);
        if (!line.description.isEmpty())
            out.writeTextElement(QStringLiteral("Desc"), line.description);
        if (!line.quantity.isEmpty())
            out.writeTextElement(QStringLiteral("Quantity"), line.quantity);
        if (!line.amount.isEmpty())
            out.writeTextElement(QStringLiteral("Amount"), qbAmount(line.amount));
        if (!line.other1.isEmpty())
            out.writeTextElement(QStringLiteral("Other1"), line.other1);
        out.writeEndElement();
    }
    out.writeEndElement();
}

void AnswerWriter::writeCustomer(QXmlStreamWriter& out, const CompanyFile::Customer& customer,
                                 const QSet<QString>& included) {
    const auto element = [&](const QString& name, const QString& text) {
        if (included.isEmpty() || included.contains(name))
            out.writeTextElement(name, text);
    };
    out.writeStartElement(QStringLiteral("CustomerRet"));
    element(QStringLiteral("ListID"), customer.listId);
    element(QStringLiteral("TimeCreated"), qbDateTime(customer.timeCreated));
    element(QStringLiteral("TimeModified"), qbDateTime(customer.timeCreated));
    element(QStringLiteral("EditSequence"), customer.editSequence);
    element(QStringLiteral("Name"), customer.name);
    element(QStringLiteral("FullName"), customer.name);
    element(QStringLiteral("IsActive"), boolText(customer.active));
    element(QStringLiteral("Sublevel"), QStringLiteral("0"));
    if (!customer.email.isEmpty())
        element(QStringLiteral("Email"), customer.email);
    out.writeEndElement();
}

void AnswerWriter::writeCompany(QXmlStreamWriter& out, const QString& companyName) {
    out.writeStartElement(QStringLiteral("CompanyRet"));
    out.writeTextElement(QStringLiteral("CompanyName"), companyName);
    out.writeEndElement();
}

void AnswerWriter::writeStatus(QXmlStreamWriter& out, qint32 code, const QString& message) {
    out.writeAttribute(QStringLiteral("statusCode"), QString::number(code));
    out.writeAttribute(QStringLiteral("statusSeverity"), severityOf(code));
    out.writeAttribute(QStringLiteral("statusMessage"), message);
}

QByteArray AnswerWriter::messageSetAnswer(const QString& version, const QString& newId,
                                          qint32 status) {
    QByteArray document;
    QXmlStreamWriter out(&document);
    QbxmlEnvelope::start(out, version, QStringLiteral("QBXMLMsgsRs"));
    if (!newId.isEmpty())
        out.writeAttribute(QStringLiteral("newMessageSetID"), newId);
    out.writeAttribute(QStringLiteral("messageSetStatusCode"), QString::number(status));
    out.writeEndDocument();
    return document;
}

QByteArray AnswerWriter::processorError(const QString& detail) {
    static const QString parseMessage =
        QStringLiteral("QuickBooks found an error when parsing the provided XML text stream.");
    QByteArray document;
    QXmlStreamWriter error(&document);
    error.writeStartDocument();
    error.writeEmptyElement(QStringLiteral("ProcessorError"));
    error.writeAttribute(QStringLiteral("code"), QString::number(QbError::ParseError));
    error.writeAttribute(QStringLiteral("message"), parseMessage + u' ' + detail);
    error.writeEndDocument();
    return document;
}
