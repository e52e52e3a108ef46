#include "qbhost/QbxmlHost.h"

#include "qbhost/AnswerWriter.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlEnvelope.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamWriter>

using namespace RequestTree;

QbxmlHost::QbxmlHost(CompanyFile& file)
    : m_file(file)
    , m_messageSets(file) {}

QbxmlHost::Handler QbxmlHost::handlerOf(const QString& kind) {
    static const QHash<QString, Handler> handlers{
        {QStringLiteral("InvoiceAdd"), &QbxmlHost::addInvoice},
        {QStringLiteral("InvoiceQuery"), &QbxmlHost::queryInvoices},
        {QStringLiteral("InvoiceMod"), &QbxmlHost::modifyInvoice},
        {QStringLiteral("CustomerQuery"), &QbxmlHost::queryCustomers},
        {QStringLiteral("CompanyQuery"), &QbxmlHost::queryCompany},
        {QStringLiteral("OtherNameAdd"), &QbxmlHost::addOtherName},
        {QStringLiteral("OtherNameQuery"), &QbxmlHost::queryOtherNames},
        {QStringLiteral("OtherNameMod"), &QbxmlHost::modifyOtherName},
    };
    return handlers.value(kind, nullptr);
}

QByteArray QbxmlHost::answer(const QByteArray& request) {
    try {
        const Document doc = parse(request);
        const Node* messages = doc.root->child(QStringLiteral("QBXMLMsgsRq"));
        for (const auto& rq : messages->children)
            if (!rq->name.endsWith(u"Rq") || !handlerOf(rq->name.chopped(2)))
                throw notParsed(QStringLiteral("unknown request %1").arg(rq->name));
        if (auto settled = m_messageSets.answerWithout(doc.versionText, *messages))
            return *settled;
        // A message set is carried out whole or not at all, and its answer is kept in the
        // same transaction as the changes it reports.
        CompanyFile::Transaction transaction(m_file);
        const QByteArray answer = carryOut(doc.versionText, doc.version, *messages);
        m_messageSets.keep(*messages, answer);
        transaction.commit();
        return answer;
    } catch (const Failure& failure) {
        if (failure.number() != QbError::ParseError)
            throw;
        return AnswerWriter::processorError(failure.description());
    }
}

QByteArray QbxmlHost::carryOut(const QString& versionText, double version, const Node& messages) {
    QByteArray document;
    QXmlStreamWriter out(&document);
    QbxmlEnvelope::start(out, versionText, QStringLiteral("QBXMLMsgsRs"));
    const QString messageSetId =
        messages.attributes.value(QLatin1String("newMessageSetID")).toString();
    if (!messageSetId.isEmpty()) {
        out.writeAttribute(QStringLiteral("newMessageSetID"), messageSetId);
        out.writeAttribute(QStringLiteral("messageSetStatusCode"), QStringLiteral("0"));
    }
    for (const auto& rq : messages.children) {
        const QString kind = rq->name.chopped(2); // "InvoiceAdd"
        // Checked and carried out before anything of its answer is written.
        Rets rets;
        qint32 status = 0;
        QString message = QStringLiteral("Status OK");
        try {
            if (m_refused.contains(kind))
                throw Failure(QbStatus::SaveError,
                              QStringLiteral("There was an error when saving the %1 "
                                             "request. The company file refused it.")
                                  .arg(kind));
            (this->*handlerOf(kind))(*rq, version, rets);
        } catch (const Failure& refused) {
            // A request's status is a number from 0 up; the processor's and the company
            // file's own failures (negative) are not the request's answer.
            if (refused.number() < 0)
                throw;
            status = refused.number();
            message = refused.description();
            rets.invoices.clear();
            rets.otherNames.clear();
            if (status != QbStatus::NotFound) // a customer query answers the customers it found
                rets.customers.clear();
        }

        out.writeStartElement(kind + QStringLiteral("Rs"));
        const QString requestId = rq->attributes.value(QLatin1String("requestID")).toString();
        if (!requestId.isEmpty())
            out.writeAttribute(QStringLiteral("requestID"), requestId);
        AnswerWriter::writeStatus(out, status, message);
        for (const auto& invoice : std::as_const(rets.invoices))
            AnswerWriter::writeInvoice(out, invoice, rets.withLines);
        for (const auto& customer : std::as_const(rets.customers))
            AnswerWriter::writeCustomer(out, customer, rets.included);
        for (const auto& otherName : std::as_const(rets.otherNames))
            AnswerWriter::writeOtherName(out, otherName);
        if (rets.companyName)
            AnswerWriter::writeCompany(out, *rets.companyName);
        out.writeEndElement();
        if (status != 0 && status != 1 &&
            messages.attributes.value(QLatin1String("onError")) != u"continueOnError")
            break;
    }
    out.writeEndDocument();
    return document;
}

void QbxmlHost::addInvoice(const Node& rq, double version, Rets& rets) {
    const Node* add = rq.child(QStringLiteral("InvoiceAdd"));
    if (!add || rq.children.size() != 1)
        throw notParsed(QStringLiteral("InvoiceAddRq holds one InvoiceAdd"));
    checkOrder(*add,
               {"CustomerRef", "TxnDate", "RefNumber", "DueDate", "Memo", "IsToBePrinted",
                "IsToBeEmailed", "Other", "InvoiceLineAdd"},
               {"InvoiceLineAdd"}, {"IsToBeEmailed", "Other"}, version);
    CompanyFile::Invoice invoice;
    invoice.customer = fullNameOf(*add, QStringLiteral("CustomerRef"));
    checkLength(invoice.customer, 209, QStringLiteral("CustomerRef FullName"));
    invoice.txnDate = readDate(*add, QStringLiteral("TxnDate"));
    invoice.dueDate = readDate(*add, QStringLiteral("DueDate"));
    if (const Node* p = add->child(QStringLiteral("IsToBePrinted")))
        invoice.toBePrinted = readBool(*p);
    if (const Node* e = add->child(QStringLiteral("IsToBeEmailed")))
        invoice.toBeEmailed = readBool(*e);
    if (!m_file.customer(invoice.customer))
        throw invalidReference(QStringLiteral("Customer"), invoice.customer);
    for (const auto& child : add->children) {
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
            throw notParsed(QStringLiteral("Amount is no amount: %1").arg(line.amount));
        line.other1 = child->childText(QStringLiteral("Other1"));
        checkLength(line.other1, 29, QStringLiteral("Other1"));
        if (!m_file.hasItem(line.item))
            throw invalidReference(QStringLiteral("Item"), line.item);
        invoice.lines.append(line);
    }
    rets.invoices << m_file.addInvoice(invoice);
}

void QbxmlHost::queryInvoices(const Node& rq, double version, Rets& rets) {
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
            throw notParsed(
                QStringLiteral("qbhost does not serve %1").arg(QLatin1String(unserved)));
    const Node* lines = rq.child(QStringLiteral("IncludeLineItems"));
    rets.withLines = lines && readBool(*lines);

    QList<CompanyFile::Invoice>& found = rets.invoices;
    if (rq.child(QStringLiteral("TxnID"))) {
        if (rq.children.front()->name != u"TxnID" || rq.child(QStringLiteral("MaxReturned")) ||
            rq.child(QStringLiteral("TxnDateRangeFilter")) ||
            rq.child(QStringLiteral("EntityFilter")))
            throw notParsed(QStringLiteral("TxnID cannot be combined with filters"));
        for (const auto& child : rq.children) {
            if (child->name != u"TxnID")
                continue;
            const auto invoice = m_file.invoice(child->text);
            if (!invoice)
                throw notFound(child->text);
            found.append(*invoice);
        }
        return;
    }
    int maxReturned = 0;
    if (const Node* max = rq.child(QStringLiteral("MaxReturned"))) {
        bool ok = false;
        maxReturned = max->text.toInt(&ok);
        if (!ok || maxReturned < 1)
            throw notParsed(QStringLiteral("MaxReturned is no positive number: %1").arg(max->text));
    }
    QString from, to;
    if (const Node* range = rq.child(QStringLiteral("TxnDateRangeFilter"))) {
        checkOrder(*range, {"FromTxnDate", "ToTxnDate"}, {}, {}, version);
        from = readDate(*range, QStringLiteral("FromTxnDate"));
        to = readDate(*range, QStringLiteral("ToTxnDate"));
    }
    const Node* entity = rq.child(QStringLiteral("EntityFilter"));
    if (!entity)
        throw notParsed(QStringLiteral("qbhost serves invoice queries by TxnID or EntityFilter"));
    checkOrder(*entity, {"FullName"}, {"FullName"}, {}, version);
    if (entity->children.empty())
        throw notParsed(QStringLiteral("EntityFilter names no FullName"));
    for (const auto& name : entity->children) {
        if (!m_file.customer(name->text))
            throw notFound(name->text);
        found += m_file.invoicesOf(name->text, from, to, maxReturned);
    }
    if (found.isEmpty())
        throw Failure(1, QStringLiteral("A query request did not find a matching object in "
                                        "QuickBooks"));
}

// Customers by FullName, one or many. Those found are answered; a name the file does not know
// makes the answer's status 500, naming the first such name, with the others still answered.
void QbxmlHost::queryCustomers(const Node& rq, double version, Rets& rets) {
    checkOrder(rq, {"FullName", "IncludeRetElement"}, {"FullName", "IncludeRetElement"}, {},
               version);
    QString missing;
    for (const auto& child : rq.children) {
        if (child->name == u"IncludeRetElement") {
            rets.included.insert(child->text);
            continue;
        }
        if (const auto customer = m_file.customer(child->text))
            rets.customers.append(*customer);
        else if (missing.isNull())
            missing = child->text;
    }
    if (rets.customers.isEmpty() && missing.isNull())
        throw notParsed(QStringLiteral("CustomerQueryRq names no FullName"));
    if (!missing.isNull())
        throw notFound(missing);
}

void QbxmlHost::queryCompany(const Node& rq, double version, Rets& rets) {
    checkOrder(rq, {"IncludeRetElement", "OwnerID"}, {"IncludeRetElement", "OwnerID"}, {}, version);
    rets.companyName = m_file.companyName();
}

namespace {
// The record a modify request names, as it stands: 3120 when the file does not hold it, 3200
// when the request's edit sequence is not its latest (someone changed it since it was read).
template <typename Record>
Record latest(const std::optional<Record>& found, const QString& id, const QString& sequence) {
    if (!found)
        throw Failure(
            QbStatus::ObjectNotFound,
            QStringLiteral("Object \"%1\" specified in the request cannot be found.").arg(id));
    if (sequence != found->editSequence)
        throw Failure(
            QbStatus::EditSequenceOutOfDate,
            QStringLiteral("The provided edit sequence \"%1\" is out-of-date.").arg(sequence));
    return *found;
}
} // namespace

void QbxmlHost::modifyInvoice(const Node& rq, double version, Rets& rets) {
    const Node* mod = rq.child(QStringLiteral("InvoiceMod"));
    if (!mod)
        throw notParsed(QStringLiteral("InvoiceModRq holds one InvoiceMod"));
    checkOrder(*mod,
               {"TxnID", "EditSequence", "CustomerRef", "TxnDate", "DueDate", "IsToBePrinted",
                "IsToBeEmailed"},
               {}, {"IsToBeEmailed"}, version);
    if (!mod->child(QStringLiteral("TxnID")) || !mod->child(QStringLiteral("EditSequence")))
        throw notParsed(QStringLiteral("InvoiceMod needs TxnID and EditSequence"));
    const QString id = mod->childText(QStringLiteral("TxnID"));
    CompanyFile::Invoice current =
        latest(m_file.invoice(id), id, mod->childText(QStringLiteral("EditSequence")));
    if (mod->child(QStringLiteral("CustomerRef"))) {
        current.customer = fullNameOf(*mod, QStringLiteral("CustomerRef"));
        if (!m_file.customer(current.customer))
            throw invalidReference(QStringLiteral("Customer"), current.customer);
    }
    if (mod->child(QStringLiteral("TxnDate")))
        current.txnDate = readDate(*mod, QStringLiteral("TxnDate"));
    if (mod->child(QStringLiteral("DueDate")))
        current.dueDate = readDate(*mod, QStringLiteral("DueDate"));
    if (const Node* p = mod->child(QStringLiteral("IsToBePrinted")))
        current.toBePrinted = readBool(*p);
    if (const Node* e = mod->child(QStringLiteral("IsToBeEmailed")))
        current.toBeEmailed = readBool(*e);
    rets.invoices << m_file.updateInvoice(current);
}

namespace {
// The fields of an Other Name that qbhost keeps, in the schema's order within OtherNameAdd and
// OtherNameMod (the elements between IsActive and Notes are not served).
void readOtherName(const Node& node, CompanyFile::OtherName& otherName) {
    for (const char* unserved : {"CompanyName", "Salutation", "FirstName", "MiddleName", "LastName",
                                 "OtherNameAddress", "Phone", "AltPhone", "Fax", "Email", "Contact",
                                 "AltContact", "AccountNumber", "ExternalGUID"})
        if (node.child(QLatin1String(unserved)))
            throw notParsed(
                QStringLiteral("qbhost does not serve %1").arg(QLatin1String(unserved)));
    if (const Node* name = node.child(QStringLiteral("Name"))) {
        checkLength(name->text, 41, QStringLiteral("Name"));
        otherName.name = name->text;
    }
    if (const Node* active = node.child(QStringLiteral("IsActive")))
        otherName.active = readBool(*active);
    if (const Node* notes = node.child(QStringLiteral("Notes"))) {
        checkLength(notes->text, 4095, QStringLiteral("Notes"));
        otherName.notes = notes->text;
    }
}

Failure nameInUse(const QString& name) {
    return Failure(
        QbStatus::NameInUse,
        QStringLiteral("The name \"%1\" of the list element is already in use.").arg(name));
}
} // namespace

void QbxmlHost::addOtherName(const Node& rq, double version, Rets& rets) {
    checkOrder(rq, {"OtherNameAdd", "IncludeRetElement"}, {"IncludeRetElement"}, {}, version);
    const Node* add = rq.child(QStringLiteral("OtherNameAdd"));
    if (!add)
        throw notParsed(QStringLiteral("OtherNameAddRq holds one OtherNameAdd"));
    checkOrder(*add,
               {"Name", "IsActive", "CompanyName", "Salutation", "FirstName", "MiddleName",
                "LastName", "OtherNameAddress", "Phone", "AltPhone", "Fax", "Email", "Contact",
                "AltContact", "AccountNumber", "Notes", "ExternalGUID"},
               {}, {}, version);
    if (!add->child(QStringLiteral("Name")))
        throw notParsed(QStringLiteral("OtherNameAdd needs a Name"));
    CompanyFile::OtherName otherName;
    readOtherName(*add, otherName);
    if (m_file.nameInUse(otherName.name))
        throw nameInUse(otherName.name);
    rets.otherNames << m_file.addOtherName(otherName);
}

// Other names by FullName or ListID, one or many; 500 names the first that is not there.
void QbxmlHost::queryOtherNames(const Node& rq, double version, Rets& rets) {
    checkOrder(rq, {"ListID", "FullName", "IncludeRetElement"},
               {"ListID", "FullName", "IncludeRetElement"}, {}, version);
    bool named = false;
    for (const auto& child : rq.children) {
        if (child->name == u"IncludeRetElement")
            continue;
        named = true;
        const auto found = child->name == u"ListID" ? m_file.otherNameById(child->text)
                                                    : m_file.otherName(child->text);
        if (!found)
            throw notFound(child->text);
        rets.otherNames << *found;
    }
    if (!named)
        throw notParsed(QStringLiteral("qbhost serves other-name queries by FullName or ListID"));
}

void QbxmlHost::modifyOtherName(const Node& rq, double version, Rets& rets) {
    checkOrder(rq, {"OtherNameMod", "IncludeRetElement"}, {"IncludeRetElement"}, {}, version);
    const Node* mod = rq.child(QStringLiteral("OtherNameMod"));
    if (!mod)
        throw notParsed(QStringLiteral("OtherNameModRq holds one OtherNameMod"));
    checkOrder(*mod,
               {"ListID", "EditSequence", "Name", "IsActive", "CompanyName", "Salutation",
                "FirstName", "MiddleName", "LastName", "OtherNameAddress", "Phone", "AltPhone",
                "Fax", "Email", "Contact", "AltContact", "AccountNumber", "Notes", "ExternalGUID"},
               {}, {}, version);
    if (!mod->child(QStringLiteral("ListID")) || !mod->child(QStringLiteral("EditSequence")))
        throw notParsed(QStringLiteral("OtherNameMod needs ListID and EditSequence"));
    const QString id = mod->childText(QStringLiteral("ListID"));
    CompanyFile::OtherName current =
        latest(m_file.otherNameById(id), id, mod->childText(QStringLiteral("EditSequence")));
    const QString oldName = current.name;
    readOtherName(*mod, current);
    if (current.name.compare(oldName, Qt::CaseInsensitive) != 0 && m_file.nameInUse(current.name))
        throw nameInUse(current.name);
    rets.otherNames << m_file.updateOtherName(current);
}
