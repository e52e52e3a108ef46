#include "qbhost/RequestTree.h"

#include "qbxml/QbxmlAnswer.h"

#include <QDate>
#include <QRegularExpression>
#include <QXmlStreamReader>

using RequestTree::Node;

const Node* Node::child(const QString& childName) const {
    for (const auto& c : children)
        if (c->name == childName)
            return c.get();
    return nullptr;
}

QString Node::childText(const QString& childName) const {
    const Node* c = child(childName);
    return c ? c->text : QString();
}

namespace {
std::unique_ptr<Node> readNode(QXmlStreamReader& xml) {
    auto node = std::make_unique<Node>();
    node->name = xml.name().toString();
    node->attributes = xml.attributes();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            node->children.push_back(readNode(xml));
        else if (xml.isCharacters())
            node->text += xml.text();
        else if (xml.isEndElement())
            break;
    }
    node->text = node->text.trimmed();
    return node;
}
} // namespace

Failure RequestTree::notParsed(const QString& detail) {
    return Failure(QbError::ParseError, detail);
}

RequestTree::Document RequestTree::parse(const QByteArray& request) {
    Document doc;
    QXmlStreamReader xml(request);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isProcessingInstruction() && xml.processingInstructionTarget() == u"qbxml") {
            static const QRegularExpression version(
                QStringLiteral("version\\s*=\\s*\"([0-9.]+)\""));
            const auto m = version.match(xml.processingInstructionData().toString());
            if (!m.hasMatch())
                throw notParsed(QStringLiteral("the qbxml instruction names no version"));
            doc.versionText = m.captured(1);
            doc.version = doc.versionText.toDouble();
        } else if (xml.isStartElement()) {
            doc.root = readNode(xml);
        }
    }
    if (xml.hasError())
        throw notParsed(xml.errorString());
    if (doc.versionText.isEmpty())
        throw notParsed(QStringLiteral("no <?qbxml version?> instruction"));
    if (!doc.root || doc.root->name != u"QBXML" || !doc.root->child(QStringLiteral("QBXMLMsgsRq")))
        throw notParsed(QStringLiteral("no QBXML/QBXMLMsgsRq"));
    return doc;
}

int RequestTree::indexOf(ElementNames names, const QString& name) {
    int at = 0;
    for (const char* candidate : names) {
        if (name == QLatin1String(candidate))
            return at;
        ++at;
    }
    return -1;
}

void RequestTree::checkOrder(const Node& node, ElementNames allowed, ElementNames repeatable,
                             ElementNames fromSix, double version) {
    int last = -1;
    for (const auto& child : node.children) {
        const int at = indexOf(allowed, child->name);
        if (at < 0)
            throw notParsed(QStringLiteral("%1 has no element %2").arg(node.name, child->name));
        if (at < last || (at == last && indexOf(repeatable, child->name) < 0))
            throw notParsed(QStringLiteral("%1 out of order in %2").arg(child->name, node.name));
        if (version < 6.0 && indexOf(fromSix, child->name) >= 0)
            throw notParsed(QStringLiteral("%1 needs qbXML 6.0 or later").arg(child->name));
        last = at;
    }
}

bool RequestTree::readBool(const Node& node) {
    const QString t = node.text.toLower();
    if (t == u"true" || t == u"1")
        return true;
    if (t == u"false" || t == u"0")
        return false;
    throw notParsed(QStringLiteral("%1 is no Boolean: %2").arg(node.name, node.text));
}

QString RequestTree::readDate(const Node& parent, const QString& field) {
    const Node* node = parent.child(field);
    if (!node)
        return QString();
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!iso.match(node->text).hasMatch() || !QDate::fromString(node->text, Qt::ISODate).isValid())
        throw Failure(QbStatus::BadDate,
                      QStringLiteral("There was an error when converting the date value "
                                     "\"%1\" in the field \"%2\".")
                          .arg(node->text, field));
    return node->text;
}

void RequestTree::checkLength(const QString& text, int limit, const QString& field) {
    if (text.size() > limit)
        throw Failure(QbStatus::TooLong,
                      QStringLiteral("The string \"%1\" in the field \"%2\" is too long.")
                          .arg(text.left(40) + QStringLiteral("..."), field));
}

QString RequestTree::fullNameOf(const Node& parent, const QString& aggregate) {
    const Node* ref = parent.child(aggregate);
    const Node* name = ref ? ref->child(QStringLiteral("FullName")) : nullptr;
    if (!name)
        throw notParsed(QStringLiteral("%1/FullName is missing").arg(aggregate));
    return name->text;
}

Failure RequestTree::invalidReference(const QString& list, const QString& name) {
    return Failure(QbStatus::InvalidReference,
                   QStringLiteral("There is an invalid reference to QuickBooks %1 \"%2\" in "
                                  "the Invoice. QuickBooks error message: Invalid argument. "
                                  "The specified record does not exist in the list.")
                       .arg(list, name));
}

Failure RequestTree::notFound(const QString& what) {
    return Failure(QbStatus::NotFound,
                   QStringLiteral("The query request has not been fully completed. There was "
                                  "a required element (\"%1\") that could not be found in "
                                  "QuickBooks.")
                       .arg(what));
}
