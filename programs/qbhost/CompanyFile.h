#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <optional>

// A company file: customers, items, invoices and the stored answers of message sets in a
// SQLite file. Every change is committed before the call that made it returns, or with the
// outermost transaction that encloses it. Failures of the file itself throw Failure with the
// database layer's unspecified error number (a negative one, never a request's status).
class CompanyFile {
public:
    struct Customer {
        QString listId;
        QString name;
        QString email;
        bool active = true;
        QString editSequence;
        QString timeCreated;
    };
    struct Line {
        QString txnLineId;
        QString item;
        QString description;
        QString quantity;
        QString amount; // "83.33"
        QString other1;
    };
    struct Invoice {
        QString txnId;
        qint64 txnNumber = 0;
        QString editSequence;
        QString timeCreated;
        QString customer;
        QString txnDate; // YYYY-MM-DD
        QString dueDate;
        bool toBePrinted = false;
        bool toBeEmailed = false;
        QList<Line> lines;
    };

    // An entry of the Other Name list: programs keep notes for one another there.
    struct OtherName {
        QString listId;
        QString name;
        QString notes;
        bool active = true;
        QString editSequence;
        QString timeCreated;
        QString timeModified;
    };

    // Creates an empty company file for the company of that name (the file's base name when
    // empty); throws Failure when it cannot.
    static void create(const QString& path, const QString& companyName = QString());
    // At most this many characters, as QuickBooks keeps a company name.
    static constexpr int MaxCompanyName = 59;

    explicit CompanyFile(const QString& path); // throws Failure
    ~CompanyFile();

    // The company's name: as given when the file was made, or the file's base name.
    QString companyName() const;
    void addCustomer(const QString& name, const QString& email);
    void addItem(const QString& name);
    std::optional<Customer> customer(const QString& fullName) const;
    bool hasItem(const QString& fullName) const;

    // True when a customer or an other name (any letter case) has the name: names are unique
    // across QuickBooks' name lists.
    bool nameInUse(const QString& name) const;
    std::optional<OtherName> otherName(const QString& fullName) const;
    std::optional<OtherName> otherNameById(const QString& listId) const;
    // Stores a new other name, or an other name's new fields, with a new edit sequence.
    OtherName addOtherName(OtherName otherName);
    OtherName updateOtherName(OtherName otherName);

    // Stores a new invoice, giving it its identifier, number and edit sequence.
    Invoice addInvoice(Invoice invoice);
    std::optional<Invoice> invoice(const QString& txnId) const;
    // Stores the invoice's new header and a new edit sequence.
    Invoice updateInvoice(Invoice invoice);
    // A new edit sequence for every invoice.
    void touchInvoices();
    QList<Invoice> invoices() const;
    // The invoices of a customer (any letter case) dated from..to (YYYY-MM-DD; empty for no
    // bound), in creation order, at most maxReturned of them (0 for all).
    QList<Invoice> invoicesOf(const QString& customer, const QString& from, const QString& to,
                              int maxReturned) const;

    // The answer kept for a message set, with the checksum of its requests.
    struct StoredAnswer {
        QByteArray checksum;
        QByteArray answer;
    };
    std::optional<StoredAnswer> storedAnswer(const QString& messageSetId) const;
    void storeAnswer(const QString& messageSetId, const StoredAnswer& stored);
    // False when nothing was stored under the ID.
    bool forgetAnswer(const QString& messageSetId);

    // The changes made while one lives are stored together or not at all: commit() keeps
    // them, and leaving without it (a failure unwinding) takes them back. Transactions nest;
    // the outermost one stores, and any one taken back takes back all.
    class Transaction {
    public:
        explicit Transaction(CompanyFile& file);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        CompanyFile& m_file;
        bool m_committed = false;
    };

private:
    void begin();
    void commit();
    void rollback();
    void exec(const QString& statement, const QVariantList& values = {}) const;
    QString nextSequence(const QString& counter);
    QList<Line> linesOf(const QString& txnId) const;
    std::optional<OtherName> otherNameWhere(const QString& column, const QString& value) const;
    // The invoices a query of InvoiceColumns found, each with its lines.
    QList<Invoice> invoicesWithLines(QSqlQuery& query) const;

    QString m_connection;
    QSqlDatabase m_db;
    int m_depth = 0;
};
