#include "soap/SoapMessage.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {
const QString Envelope = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");

// Writes the envelope around what body writes.
template <typename Body> QByteArray envelope(Body body) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeNamespace(Envelope, QStringLiteral("soap"));
    xml.writeStartElement(Envelope, QStringLiteral("Envelope"));
    xml.writeStartElement(Envelope, QStringLiteral("Body"));
    body(xml);
    xml.writeEndDocument();
    return out;
}

// Moves the reader to the first element inside soap:Body; false where there is none.
bool enterBody(QXmlStreamReader& xml) {
    if (!xml.readNextStartElement() || xml.name() != u"Envelope" || xml.namespaceUri() != Envelope)
        return false;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"Body" && xml.namespaceUri() == Envelope)
            return xml.readNextStartElement();
        xml.skipCurrentElement(); // a Header
    }
    return false;
}
} // namespace

QString SoapMessage::Call::parameter(const QString& name) const {
    for (const auto& [key, value] : parameters)
        if (key == name)
            return value;
    return QString();
}

std::optional<SoapMessage::Call> SoapMessage::readCall(const QByteArray& body) {
    QXmlStreamReader xml(body);
    if (!enterBody(xml) || xml.namespaceUri() != Namespace)
        return std::nullopt;
    Call call;
    call.method = xml.name().toString();
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        const QString text = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (xml.hasError())
            return std::nullopt;
        call.parameters.append({name, text});
    }
    // The rest of the document must be well-formed too.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.error() != QXmlStreamReader::NoError)
        return std::nullopt;
    return call;
}

QByteArray SoapMessage::writeCall(const Call& call) {
    return envelope([&](QXmlStreamWriter& xml) {
        xml.writeDefaultNamespace(Namespace);
        xml.writeStartElement(Namespace, call.method);
        for (const auto& [name, value] : call.parameters)
            xml.writeTextElement(Namespace, name, value);
        xml.writeEndElement();
    });
}

QByteArray SoapMessage::writeResult(const QString& method, const QString& text) {
    return envelope([&](QXmlStreamWriter& xml) {
        xml.writeDefaultNamespace(Namespace);
        xml.writeStartElement(Namespace, method + QStringLiteral("Response"));
        xml.writeTextElement(Namespace, method + QStringLiteral("Result"), text);
        xml.writeEndElement();
    });
}

QByteArray SoapMessage::writeResult(const QString& method, const QStringList& list) {
    return envelope([&](QXmlStreamWriter& xml) {
        xml.writeDefaultNamespace(Namespace);
        xml.writeStartElement(Namespace, method + QStringLiteral("Response"));
        xml.writeStartElement(Namespace, method + QStringLiteral("Result"));
        for (const QString& item : list)
            xml.writeTextElement(Namespace, QStringLiteral("string"), item);
        xml.writeEndElement();
        xml.writeEndElement();
    });
}

QByteArray SoapMessage::writeFault(const QString& faultString, const QString& faultCode) {
    return envelope([&](QXmlStreamWriter& xml) {
        xml.writeStartElement(Envelope, QStringLiteral("Fault"));
        xml.writeTextElement(QStringLiteral("faultcode"), faultCode);
        xml.writeTextElement(QStringLiteral("faultstring"), faultString);
        xml.writeEmptyElement(QStringLiteral("detail"));
        xml.writeEndElement();
    });
}

bool SoapMessage::otherEnvelopeVersion(const QByteArray& body) {
    QXmlStreamReader xml(body);
    return xml.readNextStartElement() && xml.name() == u"Envelope" &&
           xml.namespaceUri() != Envelope;
}

std::optional<SoapMessage::Result> SoapMessage::readResult(const QByteArray& body,
                                                           const QString& method) {
    QXmlStreamReader xml(body);
    if (!enterBody(xml))
        return std::nullopt;
    Result result;
    result.method = method;
    if (xml.name() == u"Fault" && xml.namespaceUri() == Envelope) {
        result.fault = QString();
        while (xml.readNextStartElement()) {
            if (xml.name() == u"faultstring")
                result.fault = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            else
                xml.skipCurrentElement();
        }
        return xml.hasError() ? std::nullopt : std::optional<Result>(result);
    }
    if (xml.name() != QString(method + QStringLiteral("Response")) || !xml.readNextStartElement() ||
        xml.name() != QString(method + QStringLiteral("Result")))
        return std::nullopt;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"string") {
            result.isList = true;
            result.list << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isCharacters() && !result.isList) {
            result.text += xml.text();
        } else if (xml.isEndElement() && xml.name() == QString(method + QStringLiteral("Result"))) {
            break;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    if (result.isList)
        result.text.clear();
    return result;
}
