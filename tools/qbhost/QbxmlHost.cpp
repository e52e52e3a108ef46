#include "QbxmlHost.h"

#include "CompanyFile.h"

#include <QDate>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr qint32 ParseError = -2147220480;
const QString ParseMessage =
    QStringLiteral("QuickBooks found an error when parsing the provided XML text stream.");

// A request that does not parse: the processor refuses the whole document.
struct NotParsed {
    QString detail;
};

// A request that parses but cannot be carried out: its answer carries the status.
struct Refused {
    qint32 code;
    QString message;
};

struct Node {
    QString name;
    QString text;
    QXmlStreamAttributes attributes;
    std::vector<std::unique_ptr<Node>> children;

    const Node* child(const QString& childName) const {
        for (const auto& c : children)
            if (c->name == childName)
                return c.get();
        return nullptr;
    }
    QString childText(const QString& childName) const {
        const Node* c = child(childName);
        return c ? c->text : QString();
    }
};

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

struct Document {
    double version = 0;
    QString versionText;
    std::unique_ptr<Node> root;
};

Document parse(const QByteArray& request) {
    Document doc;
    QXmlStreamReader xml(request);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isProcessingInstruction() && xml.processingInstructionTarget() == u"qbxml") {
            static const QRegularExpression version(
                QStringLiteral("version\\s*=\\s*\"([0-9.]+)\""));
            const auto m = version.match(xml.processingInstructionData().toString());
            if (!m.hasMatch())
                throw NotParsed{QStringLiteral("the qbxml instruction names no version")};
            doc.versionText = m.captured(1);
            doc.version = doc.versionText.toDouble();
        } else if (xml.isStartElement()) {
            doc.root = readNode(xml);
        }
    }
    if (xml.hasError())
        throw NotParsed{xml.errorString()};
    if (doc.versionText.isEmpty())
        throw NotParsed{QStringLiteral("no <?qbxml version?> instruction")};
    if (!doc.root || doc.root->name != u"QBXML" || !doc.root->child(QStringLiteral("QBXMLMsgsRq")))
        throw NotParsed{QStringLiteral("no QBXML/QBXMLMsgsRq")};
    return doc;
}

// Checks that the children of node come in the order of allowed, each at most once unless
// repeatable, and that elements newer than the request version are absent.
void checkOrder(const Node& node, const QStringList& allowed, const QStringList& repeatable,
                const QStringList& fromSix, double version) {
    int last = -1;
    for (const auto& child : node.children) {
        const int at = allowed.indexOf(child->name);
        if (at < 0)
            throw NotParsed{QStringLiteral("%1 has no element %2").arg(node.name, child->name)};
        if (at < last || (at == last && !repeatable.contains(child->name)))
            throw NotParsed{QStringLiteral("%1 out of order in %2").arg(child->name, node.name)};
        if (version < 6.0 && fromSix.contains(child->name))
            throw NotParsed{QStringLiteral("%1 needs qbXML 6.0 or later").arg(child->name)};
        last = at;
    }
}

bool readBool(const Node* node, const QString& field) {
    const QString t = node->text.toLower();
    if (t == u"true" || t == u"1")
        return true;
    if (t == u"false" || t == u"0")
        return false;
    throw NotParsed{QStringLiteral("%1 is no Boolean: %2").arg(field, node->text)};
}

QString readDate(const Node& parent, const QString& field) {
    const Node* node = parent.child(field);
    if (!node)
        return QString();
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!iso.match(node->text).hasMatch() || !QDate::fromString(node->text, Qt::ISODate).isValid())
        throw Refused{3020, QStringLiteral("There was an error when converting the date value "
                                           "\"%1\" in the field \"%2\".")
                                .arg(node->text, field)};
    return node->text;
}

void checkLength(const QString& text, int limit, const QString& field) {
    if (text.size() > limit)
        throw Refused{3070, QStringLiteral("The string \"%1\" in the field \"%2\" is too long.")
                                .arg(text.left(40) + QStringLiteral("..."), field)};
}

Refused invalidReference(const QString& list, const QString& name) {
    return Refused{3140, QStringLiteral("There is an invalid reference to QuickBooks %1 \"%2\" in "
                                        "the Invoice. QuickBooks error message: Invalid argument. "
                                        "The specified record does not exist in the list.")
                             .arg(list, name)};
}

QString fullNameOf(const Node& parent, const QString& aggregate) {
    const Node* ref = parent.child(aggregate);
    const Node* name = ref ? ref->child(QStringLiteral("FullName")) : nullptr;
    if (!name)
        throw NotParsed{QStringLiteral("%1/FullName is missing").arg(aggregate)};
    return name->text;
}

void writeInvoice(QXmlStreamWriter& out, const CompanyFile::Invoice& invoice) {
    out.writeStartElement(QStringLiteral("InvoiceRet"));
    out.writeTextElement(QStringLiteral("TxnID"), invoice.txnId);
    out.writeTextElement(QStringLiteral("TimeCreated"), invoice.timeCreated);
    out.writeTextElement(QStringLiteral("EditSequence"), invoice.editSequence);
    out.writeTextElement(QStringLiteral("TxnNumber"), QString::number(invoice.txnNumber));
    out.writeStartElement(QStringLiteral("CustomerRef"));
    out.writeTextElement(QStringLiteral("FullName"), invoice.customer);
    out.writeEndElement();
    if (!invoice.txnDate.isEmpty())
        out.writeTextElement(QStringLiteral("TxnDate"), invoice.txnDate);
    if (!invoice.dueDate.isEmpty())
        out.writeTextElement(QStringLiteral("DueDate"), invoice.dueDate);
    out.writeTextElement(QStringLiteral("IsToBePrinted"), invoice.toBePrinted ? "true" : "false");
    out.writeTextElement(QStringLiteral("IsToBeEmailed"), invoice.toBeEmailed ? "true" : "false");
    for (const auto& line : invoice.lines) {
        out.writeStartElement(QStringLiteral("InvoiceLineRet"));
        out.writeStartElement(QStringLiteral("ItemRef"));
        out.writeTextElement(QStringLiteral("FullName"), line.item);
        out.writeEndElement();
        out.writeTextElement(QStringLiteral("Desc"), line.description);
        out.writeTextElement(QStringLiteral("Quantity"), line.quantity);
        out.writeTextElement(QStringLiteral("Amount"), line.amount);
        if (!line.other1.isEmpty())
            out.writeTextElement(QStringLiteral("Other1"), line.other1);
        out.writeEndElement();
    }
    out.writeEndElement();
}

CompanyFile::Invoice invoiceToAdd(const Node& add, double version, CompanyFile& file) {
    checkOrder(add,
               {"CustomerRef", "TxnDate", "RefNumber", "DueDate", "Memo", "IsToBePrinted",
                "IsToBeEmailed", "Other", "InvoiceLineAdd"},
               {"InvoiceLineAdd"}, {"IsToBeEmailed", "Other"}, version);
    CompanyFile::Invoice invoice;
    invoice.customer = fullNameOf(add, QStringLiteral("CustomerRef"));
    checkLength(invoice.customer, 209, QStringLiteral("CustomerRef FullName"));
    invoice.txnDate = readDate(add, QStringLiteral("TxnDate"));
    invoice.dueDate = readDate(add, QStringLiteral("DueDate"));
    if (const Node* p = add.child(QStringLiteral("IsToBePrinted")))
        invoice.toBePrinted = readBool(p, p->name);
    if (const Node* e = add.child(QStringLiteral("IsToBeEmailed")))
        invoice.toBeEmailed = readBool(e, e->name);
    if (!file.customer(invoice.customer))
        throw invalidReference(QStringLiteral("Customer"), invoice.customer);
    for (const auto& child : add.children) {
        if (child->name != u"InvoiceLineAdd")
            continue;
        checkOrder(*child, {"ItemRef", "Desc", "Quantity", "Rate", "Amount", "Other1", "Other2"},
                   {}, {"Other1", "Other2"}, version);
        CompanyFile::Line line;
        line.item = fullNameOf(*child, QStringLiteral("ItemRef"));
        checkLength(line.item, 209, QStringLiteral("ItemRef FullName"));
        line.description = child->childText(QStringLiteral("Desc"));
        checkLength(line.description, 4095, QStringLiteral("Desc"));
        line.quantity = child->childText(QStringLiteral("Quantity"));
        line.amount = child->childText(QStringLiteral("Amount"));
        static const QRegularExpression amount(QStringLiteral("^-?\\d+(\\.\\d{1,2})?$"));
        if (!line.amount.isEmpty() && !amount.match(line.amount).hasMatch())
            throw NotParsed{QStringLiteral("Amount is no amount: %1").arg(line.amount)};
        line.other1 = child->childText(QStringLiteral("Other1"));
        checkLength(line.other1, 29, QStringLiteral("Other1"));
        if (!file.hasItem(line.item))
            throw invalidReference(QStringLiteral("Item"), line.item);
        invoice.lines.append(line);
    }
    return invoice;
}

void notFound(const QString& what) {
    throw Refused{500, QStringLiteral("The query request has not been fully completed. There was "
                                      "a required element (\"%1\") that could not be found in "
                                      "QuickBooks.")
                           .arg(what)};
}

} // namespace

QbxmlHost::QbxmlHost(CompanyFile& file)
    : m_file(file) {}

QByteArray QbxmlHost::answer(const QByteArray& request) {
    QByteArray document;
    QXmlStreamWriter out(&document);
    try {
        const Document doc = parse(request);
        const Node* messages = doc.root->child(QStringLiteral("QBXMLMsgsRq"));
        static const QStringList known{"InvoiceAddRq", "InvoiceQueryRq", "InvoiceModRq",
                                       "CustomerQueryRq"};
        for (const auto& rq : messages->children)
            if (!known.contains(rq->name))
                throw NotParsed{QStringLiteral("unknown request %1").arg(rq->name)};

        out.setAutoFormatting(true);
        out.writeStartDocument();
        out.writeProcessingInstruction(QStringLiteral("qbxml"),
                                       QStringLiteral("version=\"%1\"").arg(doc.versionText));
        out.writeStartElement(QStringLiteral("QBXML"));
        out.writeStartElement(QStringLiteral("QBXMLMsgsRs"));
        for (const auto& rq : messages->children) {
            const QString kind = rq->name.chopped(2); // "InvoiceAdd"
            const QString rsName = kind + QStringLiteral("Rs");
            // Checked and carried out before anything of its answer is written.
            std::optional<CompanyFile::Invoice> invoiceRet;
            std::optional<CompanyFile::Customer> customerRet;
            Refused status{0, QStringLiteral("Status OK")};
            try {
                if (m_refused.contains(kind))
                    throw Refused{3170, QStringLiteral("There was an error when saving the %1 "
                                                       "request. The company file refused it.")
                                            .arg(kind)};
                if (kind == u"InvoiceAdd") {
                    const Node* add = rq->child(QStringLiteral("InvoiceAdd"));
                    if (!add || rq->children.size() != 1)
                        throw NotParsed{QStringLiteral("InvoiceAddRq holds one InvoiceAdd")};
                    invoiceRet = m_file.addInvoice(invoiceToAdd(*add, doc.version, m_file));
                } else if (kind == u"InvoiceQuery") {
                    checkOrder(*rq, {"TxnID"}, {}, {}, doc.version);
                    const QString id = rq->childText(QStringLiteral("TxnID"));
                    invoiceRet = m_file.invoice(id);
                    if (!invoiceRet)
                        notFound(id);
                } else if (kind == u"InvoiceMod") {
                    const Node* mod = rq->child(QStringLiteral("InvoiceMod"));
                    if (!mod)
                        throw NotParsed{QStringLiteral("InvoiceModRq holds one InvoiceMod")};
                    checkOrder(*mod,
                               {"TxnID", "EditSequence", "CustomerRef", "TxnDate", "DueDate",
                                "IsToBePrinted", "IsToBeEmailed"},
                               {}, {"IsToBeEmailed"}, doc.version);
                    if (!mod->child(QStringLiteral("TxnID")) ||
                        !mod->child(QStringLiteral("EditSequence")))
                        throw NotParsed{QStringLiteral("InvoiceMod needs TxnID and EditSequence")};
                    const QString id = mod->childText(QStringLiteral("TxnID"));
                    auto current = m_file.invoice(id);
                    if (!current)
                        throw Refused{3120, QStringLiteral("Object \"%1\" specified in the request "
                                                           "cannot be found.")
                                                .arg(id)};
                    const QString sequence = mod->childText(QStringLiteral("EditSequence"));
                    if (sequence != current->editSequence)
                        throw Refused{3200, QStringLiteral("The provided edit sequence \"%1\" is "
                                                           "out-of-date.")
                                                .arg(sequence)};
                    if (mod->child(QStringLiteral("CustomerRef"))) {
                        current->customer = fullNameOf(*mod, QStringLiteral("CustomerRef"));
                        if (!m_file.customer(current->customer))
                            throw invalidReference(QStringLiteral("Customer"), current->customer);
                    }
                    if (mod->child(QStringLiteral("TxnDate")))
                        current->txnDate = readDate(*mod, QStringLiteral("TxnDate"));
                    if (mod->child(QStringLiteral("DueDate")))
                        current->dueDate = readDate(*mod, QStringLiteral("DueDate"));
                    if (const Node* p = mod->child(QStringLiteral("IsToBePrinted")))
                        current->toBePrinted = readBool(p, p->name);
                    if (const Node* e = mod->child(QStringLiteral("IsToBeEmailed")))
                        current->toBeEmailed = readBool(e, e->name);
                    invoiceRet = m_file.updateInvoice(*current);
                } else {
                    checkOrder(*rq, {"FullName"}, {}, {}, doc.version);
                    const QString name = rq->childText(QStringLiteral("FullName"));
                    customerRet = m_file.customer(name);
                    if (!customerRet)
                        notFound(name);
                }
            } catch (const Refused& refused) {
                status = refused;
            }

            out.writeStartElement(rsName);
            out.writeAttribute(QStringLiteral("requestID"),
                               rq->attributes.value(QLatin1String("requestID")).toString());
            out.writeAttribute(QStringLiteral("statusCode"), QString::number(status.code));
            out.writeAttribute(QStringLiteral("statusSeverity"),
                               status.code == 0     ? QStringLiteral("Info")
                               : status.code < 1000 ? QStringLiteral("Warn")
                                                    : QStringLiteral("Error"));
            out.writeAttribute(QStringLiteral("statusMessage"), status.message);
            if (invoiceRet)
                writeInvoice(out, *invoiceRet);
            if (customerRet) {
                out.writeStartElement(QStringLiteral("CustomerRet"));
                out.writeTextElement(QStringLiteral("ListID"), customerRet->listId);
                out.writeTextElement(QStringLiteral("TimeCreated"), customerRet->timeCreated);
                out.writeTextElement(QStringLiteral("EditSequence"), customerRet->editSequence);
                out.writeTextElement(QStringLiteral("Name"), customerRet->name);
                out.writeTextElement(QStringLiteral("FullName"), customerRet->name);
                out.writeTextElement(QStringLiteral("IsActive"),
                                     customerRet->active ? "true" : "false");
                if (!customerRet->email.isEmpty())
                    out.writeTextElement(QStringLiteral("Email"), customerRet->email);
                out.writeEndElement();
            }
            out.writeEndElement();
            if (status.code != 0 &&
                messages->attributes.value(QLatin1String("onError")) != u"continueOnError")
                break;
        }
        out.writeEndDocument();
    } catch (const NotParsed& notParsed) {
        document.clear();
        QXmlStreamWriter error(&document);
        error.writeStartDocument();
        error.writeEmptyElement(QStringLiteral("ProcessorError"));
        error.writeAttribute(QStringLiteral("code"), QString::number(ParseError));
        error.writeAttribute(QStringLiteral("message"), ParseMessage + u' ' + notParsed.detail);
        error.writeEndDocument();
    }
    return document;
}
