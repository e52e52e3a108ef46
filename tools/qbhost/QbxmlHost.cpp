#include "tools/qbhost/QbxmlHost.h"

#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlEnvelope.h"

#include "tools/qbhost/CompanyFile.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <memory>
#include <stdexcept>
#include <vector>

// One element of a request, with its children.
struct QbxmlHost::Node {
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

namespace {
using Node = QbxmlHost::Node;

using QbError::ParseError;
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

// Element names as the schema writes them, in its order.
using ElementNames = std::initializer_list<const char*>;

int indexOf(ElementNames names, const QString& name) {
    int at = 0;
    for (const char* candidate : names) {
        if (name == QLatin1String(candidate))
            return at;
        ++at;
    }
    return -1;
}

// Checks that the children of node come in the order of allowed, each at most once unless
// repeatable, and that elements newer than the request version are absent.
void checkOrder(const Node& node, ElementNames allowed, ElementNames repeatable,
                ElementNames fromSix, double version) {
    int last = -1;
    for (const auto& child : node.children) {
        const int at = indexOf(allowed, child->name);
        if (at < 0)
            throw NotParsed{QStringLiteral("%1 has no element %2").arg(node.name, child->name)};
        if (at < last || (at == last && indexOf(repeatable, child->name) < 0))
            throw NotParsed{QStringLiteral("%1 out of order in %2").arg(child->name, node.name)};
        if (version < 6.0 && indexOf(fromSix, child->name) >= 0)
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

// A date-time as QuickBooks writes it: local time with its offset from UTC.
QString qbDateTime(const QString& stored) {
    QDateTime time = QDateTime::fromString(stored, Qt::ISODate);
    if (!time.isValid())
        return stored;
    time = time.toLocalTime();
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// An amount as QuickBooks writes it: two decimals.
QString qbAmount(const QString& stored) {
    const int point = stored.indexOf(u'.');
    if (stored.isEmpty())
        return stored;
    if (point < 0)
        return stored + QStringLiteral(".00");
    return stored.leftJustified(point + 3, u'0');
}

void writeRef(QXmlStreamWriter& out, const QString& aggregate, const QString& fullName) {
    out.writeStartElement(aggregate);
    out.writeTextElement(QStringLiteral("FullName"), fullName);
    out.writeEndElement();
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// An InvoiceRet in the format's element order; lines where the request asked for them.
void writeInvoice(QXmlStreamWriter& out, const CompanyFile::Invoice& invoice, bool withLines) {
    out.writeStartElement(QStringLiteral("InvoiceRet"));
    out.writeTextElement(QStringLiteral("TxnID"), invoice.txnId);
    out.writeTextElement(QStringLiteral("TimeCreated"), qbDateTime(invoice.timeCreated));
    out.writeTextElement(QStringLiteral("TimeModified"), qbDateTime(invoice.timeCreated));
    out.writeTextElement(QStringLiteral("EditSequence"), invoice.editSequence);
    out.writeTextElement(QStringLiteral("TxnNumber"), QString::number(invoice.txnNumber));
    writeRef(out, QStringLiteral("CustomerRef"), invoice.customer);
    if (!invoice.txnDate.isEmpty())
        out.writeTextElement(QStringLiteral("TxnDate"), invoice.txnDate);
    if (!invoice.dueDate.isEmpty())
        out.writeTextElement(QStringLiteral("DueDate"), invoice.dueDate);
    out.writeTextElement(QStringLiteral("IsToBePrinted"), boolText(invoice.toBePrinted));
    out.writeTextElement(QStringLiteral("IsToBeEmailed"), boolText(invoice.toBeEmailed));
    for (const auto& line : invoice.lines) {
        if (!withLines)
            break;
        out.writeStartElement(QStringLiteral("InvoiceLineRet"));
        out.writeTextElement(QStringLiteral("TxnLineID"), line.txnLineId);
        writeRef(out, QStringLiteral("ItemRef"), line.item);
        if (!line.description.isEmpty())
            out.writeTextElement(QStringLiteral("Desc"), line.description);
        if (!line.quantity.isEmpty())
            out.writeTextElement(QStringLiteral("Quantity"), line.quantity);
        if (!line.amount.isEmpty())
            out.writeTextElement(QStringLiteral("Amount"), qbAmount(line.amount));
        if (!line.other1.isEmpty())
            out.writeTextElement(QStringLiteral("Other1"), line.other1);
        out.writeEndElement();
    }
    out.writeEndElement();
}

// A CustomerRet in the format's element order; only the included elements where the request
// named some (IncludeRetElement).
void writeCustomer(QXmlStreamWriter& out, const CompanyFile::Customer& customer,
                   const QSet<QString>& included) {
    const auto element = [&](const QString& name, const QString& text) {
        if (included.isEmpty() || included.contains(name))
            out.writeTextElement(name, text);
    };
    out.writeStartElement(QStringLiteral("CustomerRet"));
    element(QStringLiteral("ListID"), customer.listId);
    element(QStringLiteral("TimeCreated"), qbDateTime(customer.timeCreated));
    element(QStringLiteral("TimeModified"), qbDateTime(customer.timeCreated));
    element(QStringLiteral("EditSequence"), customer.editSequence);
    element(QStringLiteral("Name"), customer.name);
    element(QStringLiteral("FullName"), customer.name);
    element(QStringLiteral("IsActive"), boolText(customer.active));
    element(QStringLiteral("Sublevel"), QStringLiteral("0"));
    if (!customer.email.isEmpty())
        element(QStringLiteral("Email"), customer.email);
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

// A stable text of a message set's requests, whose checksum tells a repeated message set from
// another one sent under the same ID.
void canonical(const Node& node, QByteArray& out) {
    out += node.name.toUtf8() + '\x1f';
    QStringList attributes;
    for (const auto& attribute : node.attributes)
        attributes << attribute.qualifiedName().toString() + u'=' + attribute.value().toString();
    attributes.sort();
    out += attributes.join(u'\x1e').toUtf8() + '\x1f' + node.text.toUtf8() + '\x1f';
    for (const auto& child : node.children)
        canonical(*child, out);
    out += '\x1d';
}

QByteArray checksumOf(const Node& messages) {
    QByteArray text;
    for (const auto& request : messages.children)
        canonical(*request, text);
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

// An answer about the message set as a whole, without answers of requests.
QByteArray messageSetAnswer(const QString& version, const QString& newId, qint32 status) {
    QByteArray document;
    QXmlStreamWriter out(&document);
    QbxmlEnvelope::start(out, version, QStringLiteral("QBXMLMsgsRs"));
    if (!newId.isEmpty())
        out.writeAttribute(QStringLiteral("newMessageSetID"), newId);
    out.writeAttribute(QStringLiteral("messageSetStatusCode"), QString::number(status));
    out.writeEndDocument();
    return document;
}

QString severityOf(qint32 code) {
    if (code == 0 || code == 1)
        return QStringLiteral("Info");
    return code < 1000 ? QStringLiteral("Warn") : QStringLiteral("Error");
}

} // namespace

QbxmlHost::QbxmlHost(CompanyFile& file)
    : m_file(file) {}

QByteArray QbxmlHost::answer(const QByteArray& request) {
    try {
        const Document doc = parse(request);
        const Node* messages = doc.root->child(QStringLiteral("QBXMLMsgsRq"));
        for (const auto& rq : messages->children)
            if (indexOf({"InvoiceAddRq", "InvoiceQueryRq", "InvoiceModRq", "CustomerQueryRq",
                         "CompanyQueryRq"},
                        rq->name) < 0)
                throw NotParsed{QStringLiteral("unknown request %1").arg(rq->name)};
        const QString newId =
            messages->attributes.value(QLatin1String("newMessageSetID")).toString();
        const QString oldId =
            messages->attributes.value(QLatin1String("oldMessageSetID")).toString();
        if (!oldId.isEmpty()) {
            if (!messages->children.empty())
                throw NotParsed{
                    QStringLiteral("a message set with oldMessageSetID holds no requests")};
            if (newId.isEmpty()) // forget the stored answer
                return messageSetAnswer(doc.versionText, QString(),
                                        m_file.forgetAnswer(oldId) ? 0 : 600);
            if (newId != oldId)
                throw NotParsed{QStringLiteral("a status check names one message set")};
            const auto stored = m_file.storedAnswer(oldId);
            return stored ? stored->answer : messageSetAnswer(doc.versionText, newId, 9002);
        }
        QByteArray checksum;
        if (!newId.isEmpty()) {
            if (newId.size() > 24)
                return messageSetAnswer(doc.versionText, newId, 9004);
            checksum = checksumOf(*messages);
            if (const auto stored = m_file.storedAnswer(newId))
                return stored->checksum == checksum
                           ? stored->answer
                           : messageSetAnswer(doc.versionText, newId, 9001);
        }
        // A message set is carried out whole or not at all, and its answer is stored in the
        // same transaction as the changes it reports, so that a host that dies after the
        // commit still knows it.
        m_file.begin();
        try {
            const QByteArray answer = carryOut(doc.versionText, doc.version, *messages, newId);
            if (!newId.isEmpty())
                m_file.storeAnswer(newId, {checksum, answer});
            m_file.commit();
            return answer;
        } catch (...) {
            m_file.rollback();
            throw;
        }
    } catch (const NotParsed& notParsed) {
        m_file.rollback();
        QByteArray document;
        QXmlStreamWriter error(&document);
        error.writeStartDocument();
        error.writeEmptyElement(QStringLiteral("ProcessorError"));
        error.writeAttribute(QStringLiteral("code"), QString::number(ParseError));
        error.writeAttribute(QStringLiteral("message"), ParseMessage + u' ' + notParsed.detail);
        error.writeEndDocument();
        return document;
    }
}

QList<CompanyFile::Invoice> QbxmlHost::queryInvoices(const Node& rq, double version,
                                                     bool& withLines) {
    checkOrder(rq,
               {"TxnID", "RefNumber", "MaxReturned", "ModifiedDateRangeFilter",
                "TxnDateRangeFilter", "EntityFilter", "AccountFilter", "RefNumberFilter",
                "RefNumberRangeFilter", "CurrencyFilter", "PaidStatus", "IncludeLineItems",
                "IncludeLinkedTxns", "IncludeRetElement", "OwnerID"},
               {"TxnID", "RefNumber", "IncludeRetElement", "OwnerID"}, {}, version);
    for (const char* unserved : {"RefNumber", "ModifiedDateRangeFilter", "AccountFilter",
                                 "RefNumberFilter", "RefNumberRangeFilter", "CurrencyFilter",
                                 "PaidStatus", "IncludeLinkedTxns", "IncludeRetElement", "OwnerID"})
        if (rq.child(QLatin1String(unserved)))
            throw NotParsed{
                QStringLiteral("qbhost does not serve %1").arg(QLatin1String(unserved))};
    const Node* lines = rq.child(QStringLiteral("IncludeLineItems"));
    withLines = lines && readBool(lines, lines->name);

    QList<CompanyFile::Invoice> found;
    if (rq.child(QStringLiteral("TxnID"))) {
        if (rq.children.front()->name != u"TxnID" || rq.child(QStringLiteral("MaxReturned")) ||
            rq.child(QStringLiteral("TxnDateRangeFilter")) ||
            rq.child(QStringLiteral("EntityFilter")))
            throw NotParsed{QStringLiteral("TxnID cannot be combined with filters")};
        for (const auto& child : rq.children) {
            if (child->name != u"TxnID")
                continue;
            const auto invoice = m_file.invoice(child->text);
            if (!invoice)
                notFound(child->text);
            found.append(*invoice);
        }
        return found;
    }
    int maxReturned = 0;
    if (const Node* max = rq.child(QStringLiteral("MaxReturned"))) {
        bool ok = false;
        maxReturned = max->text.toInt(&ok);
        if (!ok || maxReturned < 1)
            throw NotParsed{QStringLiteral("MaxReturned is no positive number: %1").arg(max->text)};
    }
    QString from, to;
    if (const Node* range = rq.child(QStringLiteral("TxnDateRangeFilter"))) {
        checkOrder(*range, {"FromTxnDate", "ToTxnDate"}, {}, {}, version);
        from = readDate(*range, QStringLiteral("FromTxnDate"));
        to = readDate(*range, QStringLiteral("ToTxnDate"));
    }
    const Node* entity = rq.child(QStringLiteral("EntityFilter"));
    if (!entity)
        throw NotParsed{QStringLiteral("qbhost serves invoice queries by TxnID or EntityFilter")};
    checkOrder(*entity, {"FullName"}, {"FullName"}, {}, version);
    if (entity->children.empty())
        throw NotParsed{QStringLiteral("EntityFilter names no FullName")};
    for (const auto& name : entity->children) {
        if (!m_file.customer(name->text))
            notFound(name->text);
        found += m_file.invoicesOf(name->text, from, to, maxReturned);
    }
    if (found.isEmpty())
        throw Refused{1, QStringLiteral("A query request did not find a matching object in "
                                        "QuickBooks")};
    return found;
}

QByteArray QbxmlHost::carryOut(const QString& versionText, double version, const Node& messages,
                               const QString& messageSetId) {
    QByteArray document;
    QXmlStreamWriter out(&document);
    QbxmlEnvelope::start(out, versionText, QStringLiteral("QBXMLMsgsRs"));
    if (!messageSetId.isEmpty()) {
        out.writeAttribute(QStringLiteral("newMessageSetID"), messageSetId);
        out.writeAttribute(QStringLiteral("messageSetStatusCode"), QStringLiteral("0"));
    }
    for (const auto& rq : messages.children) {
        const QString kind = rq->name.chopped(2); // "InvoiceAdd"
        // Checked and carried out before anything of its answer is written.
        QList<CompanyFile::Invoice> invoiceRets;
        bool withLines = true;
        QList<CompanyFile::Customer> customerRets;
        QSet<QString> included;
        std::optional<QString> companyRet;
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
                invoiceRets << m_file.addInvoice(invoiceToAdd(*add, version, m_file));
            } else if (kind == u"InvoiceQuery") {
                invoiceRets = queryInvoices(*rq, version, withLines);
            } else if (kind == u"InvoiceMod") {
                invoiceRets << modifyInvoice(*rq, version);
            } else if (kind == u"CompanyQuery") {
                checkOrder(*rq, {"IncludeRetElement", "OwnerID"}, {"IncludeRetElement", "OwnerID"},
                           {}, version);
                companyRet = m_file.companyName();
            } else {
                queryCustomers(*rq, version, included, customerRets);
            }
        } catch (const Refused& refused) {
            status = refused;
            invoiceRets.clear();
            if (refused.code != 500)
                customerRets.clear();
        }

        out.writeStartElement(kind + QStringLiteral("Rs"));
        const QString requestId = rq->attributes.value(QLatin1String("requestID")).toString();
        if (!requestId.isEmpty())
            out.writeAttribute(QStringLiteral("requestID"), requestId);
        out.writeAttribute(QStringLiteral("statusCode"), QString::number(status.code));
        out.writeAttribute(QStringLiteral("statusSeverity"), severityOf(status.code));
        out.writeAttribute(QStringLiteral("statusMessage"), status.message);
        for (const auto& invoice : invoiceRets)
            writeInvoice(out, invoice, withLines);
        for (const auto& customer : std::as_const(customerRets))
            writeCustomer(out, customer, included);
        if (companyRet) {
            out.writeStartElement(QStringLiteral("CompanyRet"));
            out.writeTextElement(QStringLiteral("CompanyName"), *companyRet);
            out.writeEndElement();
        }
        out.writeEndElement();
        if (status.code != 0 && status.code != 1 &&
            messages.attributes.value(QLatin1String("onError")) != u"continueOnError")
            break;
    }
    out.writeEndDocument();
    return document;
}

// Customers by FullName, one or many. Those found are answered; a name the file does not know
// makes the answer's status 500, naming the first such name, with the others still answered.
void QbxmlHost::queryCustomers(const Node& rq, double version, QSet<QString>& included,
                               QList<CompanyFile::Customer>& found) {
    checkOrder(rq, {"FullName", "IncludeRetElement"}, {"FullName", "IncludeRetElement"}, {},
               version);
    QString missing;
    for (const auto& child : rq.children) {
        if (child->name == u"IncludeRetElement") {
            included.insert(child->text);
            continue;
        }
        if (const auto customer = m_file.customer(child->text))
            found.append(*customer);
        else if (missing.isNull())
            missing = child->text;
    }
    if (found.isEmpty() && missing.isNull())
        throw NotParsed{QStringLiteral("CustomerQueryRq names no FullName")};
    if (!missing.isNull())
        notFound(missing);
}

CompanyFile::Invoice QbxmlHost::modifyInvoice(const Node& rq, double version) {
    const Node* mod = rq.child(QStringLiteral("InvoiceMod"));
    if (!mod)
        throw NotParsed{QStringLiteral("InvoiceModRq holds one InvoiceMod")};
    checkOrder(*mod,
               {"TxnID", "EditSequence", "CustomerRef", "TxnDate", "DueDate", "IsToBePrinted",
                "IsToBeEmailed"},
               {}, {"IsToBeEmailed"}, version);
    if (!mod->child(QStringLiteral("TxnID")) || !mod->child(QStringLiteral("EditSequence")))
        throw NotParsed{QStringLiteral("InvoiceMod needs TxnID and EditSequence")};
    const QString id = mod->childText(QStringLiteral("TxnID"));
    auto current = m_file.invoice(id);
    if (!current)
        throw Refused{
            3120,
            QStringLiteral("Object \"%1\" specified in the request cannot be found.").arg(id)};
    const QString sequence = mod->childText(QStringLiteral("EditSequence"));
    if (sequence != current->editSequence)
        throw Refused{
            3200,
            QStringLiteral("The provided edit sequence \"%1\" is out-of-date.").arg(sequence)};
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
    return m_file.updateInvoice(*current);
}
