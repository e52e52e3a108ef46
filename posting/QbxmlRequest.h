#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

// Writes one qbXML request document: the envelope of the given version around one request
// element ("InvoiceAddRq"), whose content the caller writes in between.
class QbxmlRequest {
public:
    QbxmlRequest(const QString& version, const QString& requestName);

    QXmlStreamWriter& xml() { return m_xml; }
    // Writes <name>text</name>.
    void field(const QString& name, const QString& text) { m_xml.writeTextElement(name, text); }
    // Writes <aggregate><FullName>text</FullName></aggregate>.
    void reference(const QString& aggregate, const QString& fullName);

    QByteArray finish();

private:
    QByteArray m_document;
    QXmlStreamWriter m_xml;
};
