#pragma once

#include <QString>
#include <QXmlStreamWriter>

// The start of every qbXML document, request or answer: the declaration, the version
// instruction, QBXML and its message set ("QBXMLMsgsRq" or "QBXMLMsgsRs"), left open for the
// message set's attributes and content.
namespace QbxmlEnvelope {

inline void start(QXmlStreamWriter& xml, const QString& version, const QString& messageSet) {
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeProcessingInstruction(QStringLiteral("qbxml"),
                                   QStringLiteral("version=\"%1\"").arg(version));
    xml.writeStartElement(QStringLiteral("QBXML"));
    xml.writeStartElement(messageSet);
}

} // namespace QbxmlEnvelope
