#include "qbxml/QbxmlRequest.h"

#include "qbxml/QbxmlEnvelope.h"

QbxmlRequest::QbxmlRequest(const QString& version, const QString& requestName,
                           const QString& messageSetId)
    : m_xml(&m_document) {
    QbxmlEnvelope::start(m_xml, version, QStringLiteral("QBXMLMsgsRq"));
    if (!messageSetId.isEmpty())
        m_xml.writeAttribute(QStringLiteral("newMessageSetID"), messageSetId);
    m_xml.writeAttribute(QStringLiteral("onError"), QStringLiteral("stopOnError"));
    m_xml.writeStartElement(requestName);
    m_xml.writeAttribute(QStringLiteral("requestID"), QStringLiteral("1"));
}

void QbxmlRequest::nextRequest(const QString& requestName) {
    m_xml.writeEndElement();
    m_xml.writeStartElement(requestName);
    m_xml.writeAttribute(QStringLiteral("requestID"), QString::number(++m_requests));
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

QByteArray QbxmlRequest::emptyMessageSet(const QString& version, const QString& oldId,
                                         const QString& newId) {
    QByteArray document;
    QXmlStreamWriter xml(&document);
    QbxmlEnvelope::start(xml, version, QStringLiteral("QBXMLMsgsRq"));
    xml.writeAttribute(QStringLiteral("oldMessageSetID"), oldId);
    if (!newId.isEmpty())
        xml.writeAttribute(QStringLiteral("newMessageSetID"), newId);
    xml.writeAttribute(QStringLiteral("onError"), QStringLiteral("stopOnError"));
    xml.writeEndDocument();
    return document;
}
