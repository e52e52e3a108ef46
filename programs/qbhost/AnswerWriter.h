#pragma once

#include "qbhost/CompanyFile.h"

#include <QByteArray>
#include <QSet>
#include <QString>

class QXmlStreamWriter;

// The answers the host writes as QuickBooks writes them: records in the format's element
// order, date-times with their offset from UTC, amounts with two decimals, and the documents
// about a message set as a whole or a request that did not parse.
namespace AnswerWriter {

// An InvoiceRet; its lines where the request asked for them.
void writeInvoice(QXmlStreamWriter& out, const CompanyFile::Invoice& invoice, bool withLines);
// A CustomerRet; only the included elements where the request named some (IncludeRetElement).
void writeCustomer(QXmlStreamWriter& out, const CompanyFile::Customer& customer,
                   const QSet<QString>& included);
void writeOtherName(QXmlStreamWriter& out, const CompanyFile::OtherName& otherName);
void writeCompany(QXmlStreamWriter& out, const QString& companyName);
// The status attributes of a request's answer: code, severity and message.
void writeStatus(QXmlStreamWriter& out, qint32 code, const QString& message);

// An answer about a message set as a whole, without answers of requests.
QByteArray messageSetAnswer(const QString& version, const QString& newId, qint32 status);
// The processor's refusal of a document that does not parse, saying why.
QByteArray processorError(const QString& detail);

} // namespace AnswerWriter
