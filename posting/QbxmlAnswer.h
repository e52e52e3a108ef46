#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Failure numbers of the request processor, written as signed 32-bit decimals.
namespace QbError {
constexpr qint32 ParseError = -2147220480;    // 0x80040400
constexpr qint32 CouldNotStart = -2147220472; // 0x80040408
// The channel's own: a connection lost before the answer, no answer in time, an answer that
// cannot be read.
constexpr qint32 ConnectionLost = -2147220447; // 0x80040421
constexpr qint32 NoAnswer = -2147220446;       // 0x80040422
constexpr qint32 BadAnswer = -2147220445;      // 0x80040423
} // namespace QbError

// The one answer of a qbXML response document: its status and the fields of its record
// (InvoiceRet, CustomerRet), keyed by path ("InvoiceRet/TxnID").
struct QbxmlAnswer {
    QString responseName;
    qint32 statusCode = 0;
    QString statusSeverity;
    QString statusMessage;
    QHash<QString, QString> fields;

    QString field(const QString& path) const { return fields.value(path); }

    // Reads the answer named responseName ("InvoiceAddRs"). Throws Failure for a processor
    // error, an answer that cannot be read, or a status other than 0.
    static QbxmlAnswer read(const QByteArray& document, const QString& responseName);
};
