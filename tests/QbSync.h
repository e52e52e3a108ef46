#pragma once

#include "TestSupport.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/RunLease.h"

class RequestProcessor;

// The components' operations made whole for tests that play QuickBooks' other users, set up
// a company file or look at single requests: each sends its request and waits for the answer.
// The program itself only ever sends a request and goes on when its answer comes. A query
// whose connection was lost or whose answer could not be read is asked once more. They hide
// the components' own names: through a plain InvoiceComponent& AddInvoice only keeps the add,
// so a helper that means to send takes a SyncInvoice&.

class SyncInvoice : public InvoiceComponent {
public:
    explicit SyncInvoice(RequestProcessor& processor)
        : m_processor(processor) {}

    // Outside a batch, the add goes at once, alone; after beginBatch it is kept for sendBatch.
    void AddInvoice();
    void beginBatch();
    // The kept adds as one message set behind lead; throws Failure when the set fails whole.
    QList<AddOutcome> sendBatch(const QString& messageSetId, const Lead& lead);
    // Asks QuickBooks for the invoice, unless loadKnown has it.
    void LoadInvoice(const QString& txnId);
    void UpdateInvoice();
    // The stored answer of message set id, none when QuickBooks holds none; and forgetting it.
    std::optional<QByteArray> storedAnswer(const QString& id);
    void forgetMessageSet(const QString& id);
    QString openCompanyName();
    // The customer's invoices of one date (month/day/year); the invoices of customers dated
    // from..to, in requests of at most BatchSize customers.
    QList<Existing> findInvoices(const QString& customer, const QString& monthDayYear);
    QList<Existing> findInvoicesOf(const QStringList& customers, const QDate& from,
                                   const QDate& to);

private:
    RequestProcessor& m_processor;
    bool m_batching = false;
};

class SyncCustomer : public CustomerComponent {
public:
    explicit SyncCustomer(RequestProcessor& processor)
        : m_processor(processor) {}

    // Asks QuickBooks about a customer not asked about before (since forgetLookUps), then
    // loads its record; a run's customers are all known, and it asks nothing then.
    void LookupCustomer(const QString& fullName) override;
    void lookUpAll(const QStringList& fullNames);

private:
    RequestProcessor& m_processor;
};

class SyncLease : public RunLease {
public:
    explicit SyncLease(RequestProcessor& processor, QString programMark = QString(), qint64 pid = 0)
        : RunLease(TestSupport::clock(), std::move(programMark), pid)
        , m_processor(processor) {}

    // Throws Failure: QbError::RunInProgress while another run holds the lease.
    void take();
    // A failure is dropped: the lease then runs out by itself.
    void release();

private:
    RequestProcessor& m_processor;
};
