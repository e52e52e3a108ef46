#include "posting/InvoiceComponent.h"

#include "core/Failure.h"
#include "core/FixedForms.h"
#include "core/Money.h"
#include "qbxml/MessageSetRecovery.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"

#include <QSet>
#include <QXmlStreamReader>

const QString InvoiceComponent::DefaultVersion = QStringLiteral("3.0");

namespace {
constexpr qint32 SubscriptOutOfRange = 9;

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

InvoiceComponent::InvoiceComponent()
    : m_version(DefaultVersion) {}

void InvoiceComponent::ClearInvoice() {
    m_customer.clear();
    m_txnDate.clear();
    m_dueDate.clear();
    m_toBePrinted.reset();
    m_version = DefaultVersion;
    m_insertions.clear();
    m_lines.clear();
    m_loadedId.clear();
    m_loadedEditSequence.clear();
    m_loadedKept = -1;
    m_changed = 0;
    m_linesChanged = false;
    m_messageSetId.clear();
}

void InvoiceComponent::SetInvoiceCustomer(const QString& fullName) {
    m_customer = fullName;
    m_changed |= CustomerChanged;
}

void InvoiceComponent::SetTransactionDate(const QString& monthDayYear) {
    m_txnDate = monthDayYear;
    m_changed |= TxnDateChanged;
}

void InvoiceComponent::SetDueDate(const QString& monthDayYear) {
    m_dueDate = monthDayYear;
    m_changed |= DueDateChanged;
}

void InvoiceComponent::SetToBePrinted(bool toBePrinted) {
    m_toBePrinted = toBePrinted;
    m_changed |= PrintedChanged;
}

void InvoiceComponent::SetRequestVersion(const QString& version) {
    bool ok = false;
    version.toDouble(&ok);
    if (!ok)
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("\"%1\" is not a qbXML version.").arg(version));
    m_version = version;
}

void InvoiceComponent::ApplyConfig(const QString& config) {
    m_insertions.apply(config);
}

InvoiceComponent::Line& InvoiceComponent::line(int index) {
    if (index < 0 || index >= m_lines.size())
        throw Failure(
            SubscriptOutOfRange,
            QStringLiteral("Subscript out of range: the invoice has no line %1.").arg(index));
    m_linesChanged = true;
    return m_lines[index];
}

void InvoiceComponent::SetLineCount(int count) {
    if (count < 0)
        throw Failure(SubscriptOutOfRange, QStringLiteral("Subscript out of range."));
    m_lines.resize(count);
    m_linesChanged = true;
}

void InvoiceComponent::SetLineItem(int index, const QString& fullName) {
    line(index).item = fullName;
}

void InvoiceComponent::SetLineDescription(int index, const QString& text) {
    line(index).description = text;
}

void InvoiceComponent::SetLineQuantity(int index, qint32 quantity) {
    line(index).quantity = quantity;
}

void InvoiceComponent::SetLineAmount(int index, qint32 hundredths) {
    line(index).amount = hundredths;
}

void InvoiceComponent::SetLineExtra(int index, const QString& text) {
    line(index).extra = text;
}

// Month/day/year text as qbXML writes dates; a text that is no date goes as it is, and
// QuickBooks answers that it cannot convert it.
QString InvoiceComponent::qbDate(const QString& monthDayYear) const {
    const auto date = FixedForms::readDate(monthDayYear);
    return date ? date->toString(Qt::ISODate) : monthDayYear;
}

InvoiceComponent::Add InvoiceComponent::currentAdd() const {
    return Add{m_customer, m_txnDate, m_dueDate, m_toBePrinted, m_version, m_insertions, m_lines};
}

void InvoiceComponent::writeAdd(QbxmlRequest& request, const Add& add) const {
    QXmlStreamWriter& xml = request.xml();
    xml.writeStartElement(QStringLiteral("InvoiceAdd"));
    const auto element = [&](const QString& name, const QString& text) {
        request.field(name, text);
        add.insertions.writeAfter(request, name);
    };
    request.reference(QStringLiteral("CustomerRef"), add.customer);
    add.insertions.writeAfter(request, QStringLiteral("CustomerRef"));
    if (!add.txnDate.isEmpty())
        element(QStringLiteral("TxnDate"), qbDate(add.txnDate));
    if (!add.dueDate.isEmpty())
        element(QStringLiteral("DueDate"), qbDate(add.dueDate));
    if (add.toBePrinted)
        element(QStringLiteral("IsToBePrinted"), boolText(*add.toBePrinted));
    for (const Line& line : add.lines) {
        xml.writeStartElement(QStringLiteral("InvoiceLineAdd"));
        if (!line.item.isEmpty())
            request.reference(QStringLiteral("ItemRef"), line.item);
        if (!line.description.isEmpty())
            request.field(QStringLiteral("Desc"), line.description);
        if (line.quantity)
            request.field(QStringLiteral("Quantity"), QString::number(*line.quantity));
        if (line.amount)
            request.field(QStringLiteral("Amount"), Money::hundredthsFixedText(*line.amount));
        if (!line.extra.isEmpty())
            request.field(QStringLiteral("Other1"), line.extra);
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

QByteArray InvoiceComponent::addRequest() const {
    QbxmlRequest request(m_version, QStringLiteral("InvoiceAddRq"), m_messageSetId);
    writeAdd(request, currentAdd());
    return request.finish();
}

namespace {
const QString KeptPrefix = QStringLiteral("kept:");
} // namespace

void InvoiceComponent::AddInvoice() {
    m_kept.append(currentAdd());
    m_addedId = KeptPrefix + QString::number(m_kept.size() - 1);
}

void InvoiceComponent::beginBatch() {
    m_kept.clear();
}

QByteArray InvoiceComponent::batchRequest(const QString& messageSetId, const Lead& lead) {
    const QVector<Add> kept = std::exchange(m_kept, {});
    // One version for the set: the newest any add needs (the e-mail mark's 6.0).
    QString version = DefaultVersion;
    for (const Add& add : kept)
        if (add.version.toDouble() > version.toDouble())
            version = add.version;
    QbxmlRequest request(version, lead.requestName, messageSetId);
    lead.write(request);
    for (const Add& add : kept) {
        request.nextRequest(QStringLiteral("InvoiceAddRq"));
        writeAdd(request, add);
    }
    return request.finish();
}

QList<InvoiceComponent::AddOutcome>
InvoiceComponent::readBatchAnswer(const QByteArray& document, int adds,
                                  const std::function<void(const QbxmlAnswer&)>& readLead) {
    // Each answer by its requestID: the lead is 1, the adds 2 on.
    QHash<QString, QbxmlAnswer> byId;
    for (QbxmlAnswer& answer : QbxmlAnswer::readAll(document))
        byId.insert(answer.requestId, std::move(answer));
    const auto lead = byId.constFind(QStringLiteral("1"));
    if (readLead) {
        if (lead == byId.constEnd())
            throw Failure(QbError::BadAnswer,
                          QStringLiteral("QuickBooks sent an answer that could not be read (no "
                                         "answer to the batch's first request)."));
        readLead(*lead);
    }
    QList<AddOutcome> outcomes;
    for (int i = 0; i < adds; ++i) {
        AddOutcome outcome;
        const auto answer = byId.constFind(QString::number(i + 2));
        if (answer != byId.constEnd()) {
            if (answer->responseName != u"InvoiceAddRs")
                throw Failure(QbError::BadAnswer,
                              QStringLiteral("QuickBooks sent an answer that could not be read "
                                             "(%1 for an invoice's add).")
                                  .arg(answer->responseName));
            try {
                answer->check();
                outcome.txnId = answer->field(QStringLiteral("InvoiceRet/TxnID"));
                if (outcome.txnId.isEmpty())
                    throw Failure(QbError::BadAnswer,
                                  QStringLiteral("QuickBooks created the invoice but did not "
                                                 "name it."));
                remember(answer->records.value(0));
            } catch (const Failure& failure) {
                outcome.txnId.clear();
                outcome.refused = failure;
            }
        }
        outcomes.append(outcome);
    }
    return outcomes;
}

void InvoiceComponent::readAddAnswer(const QByteArray& document) {
    m_addedId.clear();
    const QbxmlAnswer answer = QbxmlAnswer::read(document, QStringLiteral("InvoiceAddRs"));
    m_addedId = answer.field(QStringLiteral("InvoiceRet/TxnID"));
    if (m_addedId.isEmpty())
        throw Failure(QbError::BadAnswer,
                      QStringLiteral("QuickBooks created the invoice but did not name it."));
    remember(answer.records.value(0));
}

namespace {
QString monthDayYearOf(const QString& isoDate) {
    const QDate d = QDate::fromString(isoDate, Qt::ISODate);
    return d.isValid() ? FixedForms::dateText(d) : QString();
}
} // namespace

void InvoiceComponent::remember(const QHash<QString, QString>& record) {
    const QString id = record.value(QStringLiteral("InvoiceRet/TxnID"));
    const QString sequence = record.value(QStringLiteral("InvoiceRet/EditSequence"));
    if (id.isEmpty() || sequence.isEmpty())
        return;
    m_known.insert(id,
                   Loaded{sequence, record.value(QStringLiteral("InvoiceRet/CustomerRef/FullName")),
                          monthDayYearOf(record.value(QStringLiteral("InvoiceRet/TxnDate"))),
                          monthDayYearOf(record.value(QStringLiteral("InvoiceRet/DueDate"))),
                          record.value(QStringLiteral("InvoiceRet/IsToBePrinted")) == u"true"});
}

bool InvoiceComponent::loadKnown(const QString& txnId) {
    if (txnId.startsWith(KeptPrefix)) {
        bool ok = false;
        const int index = txnId.mid(KeptPrefix.size()).toInt(&ok);
        if (!ok || index < 0 || index >= m_kept.size())
            throw Failure(ErrorNumber::Unspecified,
                          QStringLiteral("No kept add is named %1.").arg(txnId));
        const Add& add = m_kept[index];
        m_loadedKept = index;
        m_loadedId = txnId;
        m_customer = add.customer;
        m_txnDate = add.txnDate;
        m_dueDate = add.dueDate;
        m_toBePrinted = add.toBePrinted;
        m_changed = 0;
        m_linesChanged = false;
        return true;
    }
    // Known from an answer of this run: its edit sequence is QuickBooks' latest unless the
    // invoice was changed meanwhile, which the change's answer then tells as 3200.
    const auto known = m_known.constFind(txnId);
    if (known == m_known.constEnd())
        return false;
    m_loadedId = txnId;
    m_loadedEditSequence = known->editSequence;
    m_customer = known->customer;
    m_txnDate = known->txnDate;
    m_dueDate = known->dueDate;
    m_toBePrinted = known->toBePrinted;
    m_known.erase(known);
    m_changed = 0;
    m_linesChanged = false;
    return true;
}

QByteArray InvoiceComponent::loadQuery(const QString& txnId) const {
    QbxmlRequest request(m_version, QStringLiteral("InvoiceQueryRq"));
    request.field(QStringLiteral("TxnID"), txnId);
    return request.finish();
}

void InvoiceComponent::readLoaded(const QByteArray& document, const QString& txnId) {
    const QbxmlAnswer answer = QbxmlAnswer::read(document, QStringLiteral("InvoiceQueryRs"));
    m_loadedId = answer.field(QStringLiteral("InvoiceRet/TxnID"));
    m_loadedEditSequence = answer.field(QStringLiteral("InvoiceRet/EditSequence"));
    if (m_loadedId.isEmpty() || m_loadedEditSequence.isEmpty())
        throw Failure(QbError::BadAnswer,
                      QStringLiteral("QuickBooks did not return invoice %1.").arg(txnId));
    // The component now holds the invoice as QuickBooks has it; what is set from here on is
    // what the change sends.
    m_customer = answer.field(QStringLiteral("InvoiceRet/CustomerRef/FullName"));
    m_txnDate = monthDayYearOf(answer.field(QStringLiteral("InvoiceRet/TxnDate")));
    m_dueDate = monthDayYearOf(answer.field(QStringLiteral("InvoiceRet/DueDate")));
    m_toBePrinted = answer.field(QStringLiteral("InvoiceRet/IsToBePrinted")) == u"true";
    m_changed = 0;
    m_linesChanged = false;
}

QByteArray InvoiceComponent::modRequest() const {
    QbxmlRequest request(m_version, QStringLiteral("InvoiceModRq"), m_messageSetId);
    request.xml().writeStartElement(QStringLiteral("InvoiceMod"));
    request.field(QStringLiteral("TxnID"), m_loadedId);
    request.field(QStringLiteral("EditSequence"), m_loadedEditSequence);
    if (m_changed & CustomerChanged)
        request.reference(QStringLiteral("CustomerRef"), m_customer);
    if (m_changed & TxnDateChanged)
        request.field(QStringLiteral("TxnDate"), qbDate(m_txnDate));
    if (m_changed & DueDateChanged)
        request.field(QStringLiteral("DueDate"), qbDate(m_dueDate));
    if ((m_changed & PrintedChanged) && m_toBePrinted) {
        request.field(QStringLiteral("IsToBePrinted"), boolText(*m_toBePrinted));
        m_insertions.writeAfter(request, QStringLiteral("IsToBePrinted"));
    }
    request.xml().writeEndElement();
    return request.finish();
}

std::optional<QByteArray> InvoiceComponent::updateRequest() {
    if (m_loadedId.isEmpty())
        throw Failure(
            ErrorNumber::Unspecified,
            QStringLiteral("No invoice is loaded: an invoice is loaded before it is changed."));
    if (m_linesChanged)
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("The lines of a loaded invoice cannot be changed here."));
    if (m_loadedKept >= 0) {
        // The add has not gone yet: the change goes out with it.
        Add& add = m_kept[m_loadedKept];
        if (m_changed & CustomerChanged)
            add.customer = m_customer;
        if (m_changed & TxnDateChanged)
            add.txnDate = m_txnDate;
        if (m_changed & DueDateChanged)
            add.dueDate = m_dueDate;
        if (m_changed & PrintedChanged)
            add.toBePrinted = m_toBePrinted;
        m_changed = 0;
        return std::nullopt;
    }
    return modRequest();
}

void InvoiceComponent::readUpdateAnswer(const QByteArray& document) {
    const QbxmlAnswer answer = QbxmlAnswer::read(document, QStringLiteral("InvoiceModRs"));
    m_loadedEditSequence = answer.field(QStringLiteral("InvoiceRet/EditSequence"));
    m_changed = 0;
}

void InvoiceComponent::setMessageSetId(const QString& id) {
    m_messageSetId = id;
}

QByteArray InvoiceComponent::statusCheck(const QString& id) const {
    return MessageSetRecovery::statusCheck(m_version, id);
}

QByteArray InvoiceComponent::forgetRequest(const QString& id) const {
    return MessageSetRecovery::forgetRequest(m_version, id);
}

QByteArray InvoiceComponent::companyQuery() const {
    QbxmlRequest request(DefaultVersion, QStringLiteral("CompanyQueryRq"));
    request.field(QStringLiteral("IncludeRetElement"), QStringLiteral("CompanyName"));
    return request.finish();
}

QString InvoiceComponent::readCompanyName(const QByteArray& document) {
    return QbxmlAnswer::read(document, QStringLiteral("CompanyQueryRs"))
        .field(QStringLiteral("CompanyRet/CompanyName"));
}

// One InvoiceQueryRq: the customers' invoices dated from..to, with their lines.
QByteArray InvoiceComponent::invoicesQuery(const QStringList& customers, const QDate& from,
                                           const QDate& to) const {
    QbxmlRequest request(m_version, QStringLiteral("InvoiceQueryRq"));
    QXmlStreamWriter& xml = request.xml();
    xml.writeStartElement(QStringLiteral("TxnDateRangeFilter"));
    request.field(QStringLiteral("FromTxnDate"), from.toString(Qt::ISODate));
    request.field(QStringLiteral("ToTxnDate"), to.toString(Qt::ISODate));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("EntityFilter"));
    for (const QString& customer : customers)
        request.field(QStringLiteral("FullName"), customer);
    xml.writeEndElement();
    request.field(QStringLiteral("IncludeLineItems"), QStringLiteral("true"));
    return request.finish();
}

QList<InvoiceComponent::Existing> InvoiceComponent::readInvoices(const QByteArray& document,
                                                                 bool* nameUnknown) {
    const QbxmlAnswer answer = QbxmlAnswer::read(document, QStringLiteral("InvoiceQueryRs"), true);
    if (nameUnknown)
        *nameUnknown = answer.statusCode == QbStatus::NotFound;
    return existingOf(answer);
}

QList<InvoiceComponent::Existing> InvoiceComponent::existingOf(const QbxmlAnswer& answer) {
    QList<Existing> found;
    const QString lineRet = QStringLiteral("InvoiceRet/InvoiceLineRet");
    for (const QbxmlAnswer::Record& record : answer.records) {
        Existing invoice;
        invoice.txnId = record.value(QStringLiteral("InvoiceRet/TxnID"));
        if (invoice.txnId.isEmpty())
            continue;
        // Every line and line group, each counted once by its own element.
        QSet<QStringView> lines;
        for (auto key = record.keyBegin(); key != record.keyEnd(); ++key) {
            const QStringView path(*key);
            if (path.startsWith(u"InvoiceRet/InvoiceLine"))
                lines.insert(path.left(path.indexOf(u'/', 11)));
        }
        invoice.lineCount = int(lines.size());
        invoice.item = record.value(lineRet + QStringLiteral("/ItemRef/FullName"));
        invoice.description = record.value(lineRet + QStringLiteral("/Desc"));
        invoice.amount = record.value(lineRet + QStringLiteral("/Amount"));
        invoice.customer = record.value(QStringLiteral("InvoiceRet/CustomerRef/FullName"));
        invoice.txnDate =
            QDate::fromString(record.value(QStringLiteral("InvoiceRet/TxnDate")), Qt::ISODate);
        invoice.toBePrinted = record.value(QStringLiteral("InvoiceRet/IsToBePrinted")) == u"true";
        remember(record);
        found.append(invoice);
    }
    return found;
}
