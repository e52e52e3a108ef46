#include "QbSync.h"

#include "qbxml/MessageSetRecovery.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/RequestProcessor.h"

void SyncInvoice::AddInvoice() {
    InvoiceComponent::AddInvoice();
    if (m_batching)
        return;
    // Not batched: the add just kept goes alone.
    InvoiceComponent::beginBatch();
    readAddAnswer(m_processor.processRequest(addRequest()));
}

void SyncInvoice::beginBatch() {
    InvoiceComponent::beginBatch();
    m_batching = true;
}

QList<InvoiceComponent::AddOutcome> SyncInvoice::sendBatch(const QString& messageSetId,
                                                           const Lead& lead) {
    m_batching = false;
    const int adds = keptAdds();
    return readBatchAnswer(m_processor.processRequest(batchRequest(messageSetId, lead)), adds,
                           lead.read);
}

void SyncInvoice::LoadInvoice(const QString& txnId) {
    if (loadKnown(txnId))
        return;
    m_processor.processQuery(loadQuery(txnId), [&](const QByteArray& document) {
        readLoaded(document, txnId);
        return true;
    });
}

void SyncInvoice::UpdateInvoice() {
    if (const auto request = updateRequest())
        readUpdateAnswer(m_processor.processRequest(*request));
}

std::optional<QByteArray> SyncInvoice::storedAnswer(const QString& id) {
    return m_processor.processQuery(statusCheck(id), &MessageSetRecovery::readStatusCheck);
}

void SyncInvoice::forgetMessageSet(const QString& id) {
    MessageSetRecovery::readForget(m_processor.processRequest(forgetRequest(id)));
}

QString SyncInvoice::openCompanyName() {
    return m_processor.processQuery(companyQuery(), &InvoiceComponent::readCompanyName);
}

QList<InvoiceComponent::Existing> SyncInvoice::findInvoices(const QString& customer,
                                                            const QString& monthDayYear) {
    const QDate date = QDate::fromString(monthDayYear, QStringLiteral("M/d/yyyy"));
    return findInvoicesOf({customer}, date, date);
}

QList<InvoiceComponent::Existing> SyncInvoice::findInvoicesOf(const QStringList& customers,
                                                              const QDate& from, const QDate& to) {
    QList<Existing> found;
    for (int first = 0; first < customers.size(); first += BatchSize)
        found += m_processor.processQuery(
            invoicesQuery(customers.mid(first, BatchSize), from, to),
            [this](const QByteArray& document) { return readInvoices(document); });
    return found;
}

void SyncCustomer::LookupCustomer(const QString& fullName) {
    lookUpAll({fullName});
    CustomerComponent::LookupCustomer(fullName);
}

void SyncCustomer::lookUpAll(const QStringList& fullNames) {
    while (const auto request = nextLookUp(fullNames))
        m_processor.processQuery(*request, [this](const QByteArray& document) {
            takeLookUp(document);
            return true;
        });
}

void SyncLease::take() {
    beginTake();
    for (;;) {
        bool query = false;
        const QByteArray request = takeRequest(&query);
        const bool taken =
            query ? m_processor.processQuery(
                        request, [this](const QByteArray& answer) { return takeAnswer(answer); })
                  : takeAnswer(m_processor.processRequest(request));
        if (taken)
            return;
    }
}

void SyncLease::release() {
    const auto request = releaseRequest();
    if (!request)
        return;
    try {
        m_processor.processRequest(*request);
    } catch (const Failure&) {
        // Not given back, the lease runs out by itself.
    }
}
