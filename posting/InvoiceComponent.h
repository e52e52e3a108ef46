#pragma once

#include "core/Failure.h"
#include "posting/RequestInsertions.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class QbxmlRequest;
class RequestProcessor;
struct QbxmlAnswer;

// The invoice component: holds one invoice's fields and creates it in the open company file,
// or loads an existing invoice and sends changes to it. Every operation that fails throws
// Failure with a number and a description.
class InvoiceComponent {
public:
    explicit InvoiceComponent(RequestProcessor& processor);

    // Forgets every field, the loaded invoice, the request version and the configuration.
    void ClearInvoice();
    void SetInvoiceCustomer(const QString& fullName);
    QString InvoiceCustomer() const { return m_customer; }
    // Month/day/year texts, sent as YYYY-MM-DD.
    void SetTransactionDate(const QString& monthDayYear);
    void SetDueDate(const QString& monthDayYear);
    void SetToBePrinted(bool toBePrinted);
    void SetRequestVersion(const QString& version);
    QString requestVersion() const { return m_version; }
    // "AppendAfter:Element=<xml/>": the next requests carry the xml right after Element.
    void ApplyConfig(const QString& config);
    void SetLineCount(int count);
    void SetLineItem(int line, const QString& fullName);
    void SetLineDescription(int line, const QString& text);
    void SetLineQuantity(int line, qint32 quantity);
    // Hundredths of the currency: 8333 is 83.33.
    void SetLineAmount(int line, qint32 hundredths);
    void SetLineExtra(int line, const QString& text);
    void AddInvoice();
    QString AddedInvoiceId() const { return m_addedId; }
    // Asks QuickBooks for the invoice, unless the component knows its identifier and edit
    // sequence already: from the answer of the add that made it, or from findInvoicesOf.
    void LoadInvoice(const QString& txnId);
    void UpdateInvoice();

    // Adds in batches. After beginBatch, AddInvoice keeps the invoice instead of sending it and
    // AddedInvoiceId names it provisionally; LoadInvoice and UpdateInvoice of that name change
    // the kept add, so that an e-mail mark goes out in the add itself. sendBatch sends them.
    void beginBatch();
    // Drops what was kept, sending nothing.
    void endBatch();
    int keptAdds() const { return int(m_kept.size()); }
    // What QuickBooks made of one kept add: the invoice it added, its refusal, or neither
    // when it stopped at an earlier refusal.
    struct AddOutcome {
        QString txnId;
        std::optional<Failure> refused;
    };
    // A request that goes ahead of the adds in their message set, and the reader of its
    // answer; when that answer refuses, QuickBooks carries out none of the adds.
    struct Lead {
        QString requestName;
        std::function<void(QbxmlRequest&)> write;
        std::function<void(const QbxmlAnswer&)> read;
    };
    // Sends the kept adds as one message set under messageSetId, behind lead, to stop at the
    // first refusal, and ends the batch. Throws Failure when the set fails as a whole: the
    // channel's failures, QuickBooks refusing the set, or lead's reader throwing.
    QList<AddOutcome> sendBatch(const QString& messageSetId, const Lead& lead);
    // A batch's answer, just received or as QuickBooks stored it: lead's answer first (read
    // only where readLead is given), then those of `adds` adds.
    QList<AddOutcome> readBatchAnswer(const QByteArray& document, int adds,
                                      const std::function<void(const QbxmlAnswer&)>& readLead);

    // Error recovery. The next AddInvoice or UpdateInvoice goes as message set id (at most 24
    // characters), whose answer QuickBooks keeps; ClearInvoice forgets the ID.
    void setMessageSetId(const QString& id);
    // Asks for the stored answer of message set id: none when QuickBooks holds none (600,
    // 9002). Throws Failure when the question itself fails or QuickBooks answers otherwise.
    std::optional<QByteArray> storedAnswer(const QString& id);
    // Tells QuickBooks to forget the stored answer of message set id.
    void forgetMessageSet(const QString& id);
    // Takes a stored answer as if it had just arrived for AddInvoice or UpdateInvoice.
    void readAddAnswer(const QByteArray& answer);
    void readUpdateAnswer(const QByteArray& answer);

    // An invoice QuickBooks already holds: its identifier, its number of lines (line groups
    // included) and its first line.
    struct Existing {
        QString txnId;
        int lineCount = 0;
        QString item;
        QString description;
        QString amount; // "83.33"
        QString customer;
        QDate txnDate;
        bool toBePrinted = false;
    };
    // The customer's invoices of one date (month/day/year), with their lines; none when
    // QuickBooks finds none or does not know the customer.
    QList<Existing> findInvoices(const QString& customer, const QString& monthDayYear);
    // The invoices of all these customers (each known to QuickBooks) dated from..to, with
    // their lines, in requests of at most BatchSize customers each; LoadInvoice of any of
    // them then needs no request.
    QList<Existing> findInvoicesOf(const QStringList& customers, const QDate& from,
                                   const QDate& to);
    static constexpr int BatchSize = 100;
    // Forgets the invoices LoadInvoice could take without asking (a new run starts afresh).
    void forgetFound() { m_known.clear(); }

    // The name of the company whose file QuickBooks has open; empty when it gives none.
    QString openCompanyName();

    // The operations in two halves, for a caller that does not wait for QuickBooks: each
    // request as it goes, and the reader of its answer (which throws Failure as the operation
    // does). LoadInvoice is loadKnown, or else loadQuery and readLoaded; UpdateInvoice of a
    // kept add needs no request (updateRequest answers none).
    bool loadKnown(const QString& txnId);
    QByteArray loadQuery(const QString& txnId) const;
    void readLoaded(const QByteArray& answer, const QString& txnId);
    std::optional<QByteArray> updateRequest();
    QByteArray companyQuery() const;
    static QString readCompanyName(const QByteArray& answer);
    // One look-up of findInvoicesOf, for at most BatchSize customers.
    QByteArray invoicesQuery(const QStringList& customers, const QDate& from,
                             const QDate& to) const;
    // Its answer; *nameUnknown, where given, tells that QuickBooks found none because one of
    // the customers asked for is not in the company file (it then answers for none of them).
    QList<Existing> readInvoices(const QByteArray& answer, bool* nameUnknown = nullptr);
    QByteArray statusCheck(const QString& id) const;
    QByteArray forgetRequest(const QString& id) const;
    // sendBatch's request: ends the batch.
    QByteArray batchRequest(const QString& messageSetId, const Lead& lead);

    static const QString DefaultVersion;

private:
    struct Line {
        QString item;
        QString description;
        std::optional<qint32> quantity;
        std::optional<qint32> amount;
        QString extra;
    };
    // An add as it goes to QuickBooks.
    struct Add {
        QString customer;
        QString txnDate;
        QString dueDate;
        std::optional<bool> toBePrinted;
        QString version;
        RequestInsertions insertions;
        QVector<Line> lines;
    };
    Add currentAdd() const;
    void writeAdd(QbxmlRequest& request, const Add& add) const;
    Line& line(int index);
    QByteArray addRequest() const;
    QByteArray modRequest() const;
    QString qbDate(const QString& monthDayYear) const;
    QList<Existing> queryInvoices(const QStringList& customers, const QString& from,
                                  const QString& to);
    QByteArray invoicesRequest(const QStringList& customers, const QString& from,
                               const QString& to) const;
    // The invoices of a query's answer; each is remembered for LoadInvoice.
    QList<Existing> existingOf(const QbxmlAnswer& answer);

    // What LoadInvoice takes without asking: an invoice as an add or a query answered it.
    struct Loaded {
        QString editSequence;
        QString customer;
        QString txnDate;
        QString dueDate;
        bool toBePrinted = false;
    };
    void remember(const QHash<QString, QString>& record);
    QHash<QString, Loaded> m_known;
    // Not owned: the channel the caller shares between the components, which must outlive them.
    RequestProcessor& m_processor;
    QString m_customer;
    QString m_txnDate;
    QString m_dueDate;
    std::optional<bool> m_toBePrinted;
    QString m_version;
    RequestInsertions m_insertions;
    QVector<Line> m_lines;
    QString m_addedId;
    QString m_messageSetId;
    bool m_batching = false;
    QVector<Add> m_kept;
    int m_loadedKept = -1; // the kept add LoadInvoice took, or -1
    // The loaded invoice and what changed since it was loaded.
    QString m_loadedId;
    QString m_loadedEditSequence;
    enum Changed {
        CustomerChanged = 1,
        TxnDateChanged = 2,
        DueDateChanged = 4,
        PrintedChanged = 8
    };
    int m_changed = 0;
    bool m_linesChanged = false;
};
