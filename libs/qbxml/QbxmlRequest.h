#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

// Writes one qbXML request document: the envelope of the given version around one request
// element ("InvoiceAddRq"), whose content the caller writes in between, or several, each
// begun with nextRequest and numbered from 1 in its requestID. A message-set ID makes
// QuickBooks keep the answer under that ID, so that a lost answer can be asked for again
// instead of the request being sent twice.
class QbxmlRequest {
public:
    QbxmlRequest(const QString& version, const QString& requestName,
                 const QString& messageSetId = QString());

    QXmlStreamWriter& xml() { return m_xml; }
    // Writes <name>text</name>.
    void field(const QString& name, const QString& text) { m_xml.writeTextElement(name, text); }
    // Writes <aggregate><FullName>text</FullName></aggregate>.
    void reference(const QString& aggregate, const QString& fullName);

    // Ends the request being written and begins the next one, whose requestID is one more.
    void nextRequest(const QString& requestName);
    int requestCount() const { return m_requests; }

    QByteArray finish();

    // A message set without requests: with newId equal to oldId it asks for the stored answer
    // of message set oldId; with newId empty it tells QuickBooks to forget that answer.
    static QByteArray emptyMessageSet(const QString& version, const QString& oldId,
                                      const QString& newId);

private:
    QByteArray m_document;
    QXmlStreamWriter m_xml;
    int m_requests = 1;
};
