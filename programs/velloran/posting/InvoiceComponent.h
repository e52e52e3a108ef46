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
struct QbxmlAnswer;

// The invoice component: holds one invoice's fields and keeps it for a batch of adds to the
// open company file, or loads an existing invoice and changes it. It sends nothing itself:
// each operation is a request and the reader of its answer, and the caller sends the request
// and hands the answer back when it comes. Every reader that fails throws Failure with a
// number and a description.
class InvoiceComponent {
public:
    InvoiceComponent();

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
    // Keeps the invoice for the batch's request; AddedInvoiceId names it provisionally, and
    // loadKnown and updateRequest of that name change the kept add, so that an e-mail mark
    // goes out in the add itself.
    void AddInvoice();
    QString AddedInvoiceId() const { return m_addedId; }

    // Starts a new batch: drops what was kept.
    void beginBatch();
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
    // A batch's answer, just received or as QuickBooks stored it: lead's answer first (read
    // only where readLead is given), then those of `adds` adds.
    QList<AddOutcome> readBatchAnswer(const QByteArray& document, int adds,
                                      const std::function<void(const QbxmlAnswer&)>& readLead);

    // Error recovery. The next change (updateRequest, or addRequest) goes as message set id
    // (at most 24 characters), whose answer QuickBooks keeps; ClearInvoice forgets the ID.
    void setMessageSetId(const QString& id);
    // The answer of an add or a change, as it arrived or as QuickBooks stored it.
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
    static constexpr int BatchSize = 100;
    // Forgets the invoices loadKnown could take without asking (a new run starts afresh).
    void forgetFound() { m_known.clear(); }

    // Each request as it goes, and the reader of its answer. An invoice is loaded by
    // loadKnown (a kept add, or one an add or a look-up of this run answered), or else by
    // loadQuery and readLoaded; a change of a kept add needs no request (updateRequest
    // answers none).
    bool loadKnown(const QString& txnId);
    QByteArray loadQuery(const QString& txnId) const;
    void readLoaded(const QByteArray& answer, const QString& txnId);
    std::optional<QByteArray> updateRequest();
    // The add of the fields set, alone in its message set.
    QByteArray addRequest() const;
    // The name of the company whose file QuickBooks has open; empty when it gives none.
    QByteArray companyQuery() const;
    static QString readCompanyName(const QByteArray& answer);
    // The invoices of customers (at most BatchSize, each known to QuickBooks) dated from..to,
    // with their lines; loadKnown of any of them then needs no request.
    QByteArray invoicesQuery(const QStringList& customers, const QDate& from,
                             const QDate& to) const;
    // Its answer; *nameUnknown, where given, tells that QuickBooks found none because one of
    // the customers asked for is not in the company file (it then answers for none of them).
    QList<Existing> readInvoices(const QByteArray& answer, bool* nameUnknown = nullptr);
    QByteArray statusCheck(const QString& id) const;
    QByteArray forgetRequest(const QString& id) const;
    // The kept adds as one message set under messageSetId, behind lead, to stop at the first
    // refusal; it ends the batch.
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
    QByteArray modRequest() const;
    QString qbDate(const QString& monthDayYear) const;
    // The invoices of a query's answer; each is remembered for loadKnown.
    QList<Existing> existingOf(const QbxmlAnswer& answer);

    // What loadKnown takes without asking: an invoice as an add or a query answered it.
    struct Loaded {
        QString editSequence;
        QString customer;
        QString txnDate;
        QString dueDate;
        bool toBePrinted = false;
    };
    void remember(const QHash<QString, QString>& record);
    QHash<QString, Loaded> m_known;
    QString m_customer;
    QString m_txnDate;
    QString m_dueDate;
    std::optional<bool> m_toBePrinted;
    QString m_version;
    RequestInsertions m_insertions;
    QVector<Line> m_lines;
    QString m_addedId;
    QString m_messageSetId;
    QVector<Add> m_kept;
    int m_loadedKept = -1; // the kept add loadKnown took, or -1
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
