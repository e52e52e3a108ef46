#include "posting/QbxmlRequest.h"

QbxmlRequest::QbxmlRequest(const QString& version, const QString& requestName)
    : m_xml(&m_document) {
    m_xml.setAutoFormatting(true);
    m_xml.writeStartDocument();
    m_xml.writeProcessingInstruction(QStringLiteral("qbxml"),
                                     QStringLiteral("version=\"%1\"").arg(version));
    m_xml.writeStartElement(QStringLiteral("QBXML"));
    m_xml.writeStartElement(QStringLiteral("QBXMLMsgsRq"));
    m_xml.writeAttribute(QStringLiteral("onError"), QStringLiteral("stopOnError"));
    m_xml.writeStartElement(requestName);
    m_xml.writeAttribute(QStringLiteral("requestID"), QStringLiteral("1"));
}

void QbxmlRequest::reference(const QString& aggregate, const QString& fullName) {
    m_xml.writeStartElement(aggregate);
    m_xml.writeTextElement(QStringLiteral("FullName"), fullName);
    m_xml.writeEndElement();
}

QByteArray QbxmlRequest::finish() {
    m_xml.writeEndDocument();
    return m_document;
}
