#include "qbhost/CompanyFile.h"

#include "core/Failure.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <stdexcept>

namespace {
// The company file's own failures: a file that cannot be made, opened or written.
Failure fileFailure(const QString& text) {
    return Failure(ErrorNumber::Unspecified, text);
}

const char* const Schema[] = {
    "CREATE TABLE counter (name TEXT PRIMARY KEY, value INTEGER NOT NULL)",
    "INSERT INTO counter VALUES ('list', 0), ('txn', 0), ('edit', 0)",
    "CREATE TABLE customer (list_id TEXT PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " email TEXT, is_active INTEGER NOT NULL DEFAULT 1, edit_sequence TEXT, time_created TEXT)",
    "CREATE TABLE item (list_id TEXT PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE)",
    "CREATE TABLE invoice (seq INTEGER PRIMARY KEY AUTOINCREMENT, txn_id TEXT NOT NULL UNIQUE,"
    " txn_number INTEGER NOT NULL, edit_sequence TEXT NOT NULL, time_created TEXT,"
    " customer TEXT NOT NULL, txn_date TEXT, due_date TEXT, is_to_be_printed INTEGER NOT NULL,"
    " is_to_be_emailed INTEGER NOT NULL)",
    "CREATE TABLE invoice_line (txn_id TEXT NOT NULL, line_no INTEGER NOT NULL, item TEXT,"
    " description TEXT, quantity TEXT, amount TEXT, other1 TEXT)",
};

// Files made before answers or other names were kept gain their tables when they are opened.
const char* const LaterTables[] = {
    "CREATE TABLE IF NOT EXISTS message_set (id TEXT PRIMARY KEY, checksum BLOB NOT NULL,"
    " answer BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS other_name (list_id TEXT PRIMARY KEY, name TEXT NOT NULL UNIQUE"
    " COLLATE NOCASE, notes TEXT NOT NULL, is_active INTEGER NOT NULL, edit_sequence TEXT NOT NULL,"
    " time_created TEXT NOT NULL, time_modified TEXT NOT NULL)",
};

// Identifiers in QuickBooks' shape: a hexadecimal counter, a dash, the time of creation.
QString newId(const QString& counter) {
    return QStringLiteral("%1-%2")
        .arg(counter.toLongLong(), 0, 16)
        .arg(QDateTime::currentSecsSinceEpoch())
        .toUpper();
}

QString now() {
    return QDateTime::currentDateTime().toString(Qt::ISODate);
}

// A line's identifier: the invoice's counter part, a dash, the line's number from 1.
QString lineId(const QString& txnId, int lineNo) {
    return QStringLiteral("%1-%2").arg(txnId.section(u'-', 0, 0)).arg(lineNo + 1);
}
} // namespace

void CompanyFile::create(const QString& path, const QString& companyName) {
    if (QFileInfo::exists(path))
        throw fileFailure(QStringLiteral("%1 exists already").arg(path));
    const QString name = companyName.isEmpty() ? QFileInfo(path).completeBaseName() : companyName;
    if (name.size() > MaxCompanyName)
        throw fileFailure(
            QStringLiteral("a company name has at most %1 characters").arg(MaxCompanyName));
    CompanyFile file(path);
    for (const char* statement : Schema)
        file.exec(QString::fromLatin1(statement));
    for (const char* statement : LaterTables)
        file.exec(QString::fromLatin1(statement));
    file.exec(QStringLiteral("CREATE TABLE company (name TEXT NOT NULL)"));
    file.exec(QStringLiteral("INSERT INTO company VALUES (?)"), {name});
}

QString CompanyFile::companyName() const {
    QSqlQuery query(m_db);
    // Files made before companies had names are named after themselves.
    if (m_db.tables().contains(QStringLiteral("company")) &&
        query.exec(QStringLiteral("SELECT name FROM company")) && query.next())
        return query.value(0).toString();
    return QFileInfo(m_db.databaseName()).completeBaseName().left(MaxCompanyName);
}

CompanyFile::CompanyFile(const QString& path)
    : m_connection(QUuid::createUuid().toString()) {
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(path);
    if (!m_db.open())
        throw fileFailure(m_db.lastError().text());
    // Every answer follows a commit that is on disk. A write-ahead log makes that one flush
    // per commit instead of several, and lets `qbhost invoices` read while the host serves.
    exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    exec(QStringLiteral("PRAGMA synchronous = FULL"));
    if (m_db.tables().contains(QStringLiteral("invoice")))
        for (const char* statement : LaterTables)
            exec(QString::fromLatin1(statement));
}

CompanyFile::~CompanyFile() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

void CompanyFile::exec(const QString& statement, const QVariantList& values) const {
    QSqlQuery query(m_db);
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw fileFailure(query.lastError().text() + u' ' + statement);
}

QString CompanyFile::nextSequence(const QString& counter) {
    exec(QStringLiteral("UPDATE counter SET value = value + 1 WHERE name = ?"), {counter});
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT value FROM counter WHERE name = ?"));
    query.addBindValue(counter);
    if (!query.exec() || !query.next())
        throw fileFailure(QStringLiteral("the company file has no counters"));
    return query.value(0).toString();
}

CompanyFile::Transaction::Transaction(CompanyFile& file)
    : m_file(file) {
    m_file.begin();
}

CompanyFile::Transaction::~Transaction() {
    if (m_committed)
        return;
    try {
        m_file.rollback();
    } catch (const Failure&) {
        // The failure that unwinds past here is the one to report; SQLite takes the
        // transaction back by itself when it cannot roll back.
    }
}

void CompanyFile::Transaction::commit() {
    m_file.commit();
    m_committed = true;
}

void CompanyFile::begin() {
    if (m_depth++ == 0)
        exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void CompanyFile::commit() {
    if (--m_depth == 0)
        exec(QStringLiteral("COMMIT"));
}

void CompanyFile::rollback() {
    if (m_depth == 0)
        return;
    m_depth = 0;
    exec(QStringLiteral("ROLLBACK"));
}

void CompanyFile::addCustomer(const QString& name, const QString& email) {
    Transaction transaction(*this);
    const QString id = newId(nextSequence(QStringLiteral("list")));
    exec(QStringLiteral("INSERT INTO customer VALUES (?, ?, ?, 1, ?, ?)"),
         {id, name, email.isEmpty() ? QVariant() : email, nextSequence(QStringLiteral("edit")),
          now()});
    transaction.commit();
}

void CompanyFile::addItem(const QString& name) {
    Transaction transaction(*this);
    const QString id = newId(nextSequence(QStringLiteral("list")));
    exec(QStringLiteral("INSERT INTO item VALUES (?, ?)"), {id, name});
    transaction.commit();
}

std::optional<CompanyFile::Customer> CompanyFile::customer(const QString& fullName) const {
    QSqlQuery query(m_db);
    query.prepare(
        QStringLiteral("SELECT list_id, name, email, is_active, edit_sequence, time_created "
                       "FROM customer WHERE name = ?"));
    query.addBindValue(fullName);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return Customer{query.value(0).toString(), query.value(1).toString(),
                    query.value(2).toString(), query.value(3).toBool(),
                    query.value(4).toString(), query.value(5).toString()};
}

bool CompanyFile::hasItem(const QString& fullName) const {
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT 1 FROM item WHERE name = ?"));
    query.addBindValue(fullName);
    return query.exec() && query.next();
}

bool CompanyFile::nameInUse(const QString& name) const {
    return customer(name) || otherName(name);
}

std::optional<CompanyFile::OtherName> CompanyFile::otherNameWhere(const QString& column,
                                                                  const QString& value) const {
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT list_id, name, notes, is_active, edit_sequence, "
                                 "time_created, time_modified FROM other_name WHERE %1 = ?")
                      .arg(column));
    query.addBindValue(value);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return OtherName{query.value(0).toString(), query.value(1).toString(),
                     query.value(2).toString(), query.value(3).toBool(),
                     query.value(4).toString(), query.value(5).toString(),
                     query.value(6).toString()};
}

std::optional<CompanyFile::OtherName> CompanyFile::otherName(const QString& fullName) const {
    return otherNameWhere(QStringLiteral("name"), fullName);
}

std::optional<CompanyFile::OtherName> CompanyFile::otherNameById(const QString& listId) const {
    return otherNameWhere(QStringLiteral("list_id"), listId);
}

CompanyFile::OtherName CompanyFile::addOtherName(OtherName otherName) {
    Transaction transaction(*this);
    otherName.listId = newId(nextSequence(QStringLiteral("list")));
    otherName.editSequence = nextSequence(QStringLiteral("edit"));
    otherName.timeCreated = otherName.timeModified = now();
    exec(QStringLiteral("INSERT INTO other_name VALUES (?, ?, ?, ?, ?, ?, ?)"),
         {otherName.listId, otherName.name, otherName.notes, int(otherName.active),
          otherName.editSequence, otherName.timeCreated, otherName.timeModified});
    transaction.commit();
    return otherName;
}

CompanyFile::OtherName CompanyFile::updateOtherName(OtherName otherName) {
    Transaction transaction(*this);
    otherName.editSequence = nextSequence(QStringLiteral("edit"));
    otherName.timeModified = now();
    exec(QStringLiteral("UPDATE other_name SET name = ?, notes = ?, is_active = ?, "
                        "edit_sequence = ?, time_modified = ? WHERE list_id = ?"),
         {otherName.name, otherName.notes, int(otherName.active), otherName.editSequence,
          otherName.timeModified, otherName.listId});
    transaction.commit();
    return otherName;
}

CompanyFile::Invoice CompanyFile::addInvoice(Invoice invoice) {
    Transaction transaction(*this);
    const QString number = nextSequence(QStringLiteral("txn"));
    invoice.txnNumber = number.toLongLong();
    invoice.txnId = newId(number);
    invoice.editSequence = nextSequence(QStringLiteral("edit"));
    invoice.timeCreated = now();
    exec(QStringLiteral("INSERT INTO invoice (txn_id, txn_number, edit_sequence, time_created, "
                        "customer, txn_date, due_date, is_to_be_printed, is_to_be_emailed) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
         {invoice.txnId, invoice.txnNumber, invoice.editSequence, invoice.timeCreated,
          invoice.customer, invoice.txnDate, invoice.dueDate, int(invoice.toBePrinted),
          int(invoice.toBeEmailed)});
    for (int i = 0; i < invoice.lines.size(); ++i) {
        Line& line = invoice.lines[i];
        line.txnLineId = lineId(invoice.txnId, i);
        exec(QStringLiteral("INSERT INTO invoice_line VALUES (?, ?, ?, ?, ?, ?, ?)"),
             {invoice.txnId, i, line.item, line.description, line.quantity, line.amount,
              line.other1});
    }
    transaction.commit();
    return invoice;
}

QList<CompanyFile::Line> CompanyFile::linesOf(const QString& txnId) const {
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT line_no, item, description, quantity, amount, other1 "
                                 "FROM invoice_line WHERE txn_id = ? ORDER BY line_no"));
    query.addBindValue(txnId);
    query.exec();
    QList<Line> lines;
    while (query.next())
        lines.append({lineId(txnId, query.value(0).toInt()), query.value(1).toString(),
                      query.value(2).toString(), query.value(3).toString(),
                      query.value(4).toString(), query.value(5).toString()});
    return lines;
}

namespace {
const QString InvoiceColumns = QStringLiteral(
    "SELECT txn_id, txn_number, edit_sequence, time_created, customer, txn_date, due_date, "
    "is_to_be_printed, is_to_be_emailed FROM invoice");

CompanyFile::Invoice invoiceFrom(const QSqlQuery& query) {
    CompanyFile::Invoice invoice;
    invoice.txnId = query.value(0).toString();
    invoice.txnNumber = query.value(1).toLongLong();
    invoice.editSequence = query.value(2).toString();
    invoice.timeCreated = query.value(3).toString();
    invoice.customer = query.value(4).toString();
    invoice.txnDate = query.value(5).toString();
    invoice.dueDate = query.value(6).toString();
    invoice.toBePrinted = query.value(7).toBool();
    invoice.toBeEmailed = query.value(8).toBool();
    return invoice;
}
} // namespace

std::optional<CompanyFile::Invoice> CompanyFile::invoice(const QString& txnId) const {
    QSqlQuery query(m_db);
    query.prepare(InvoiceColumns + QStringLiteral(" WHERE txn_id = ?"));
    query.addBindValue(txnId);
    if (!query.exec() || !query.next())
        return std::nullopt;
    Invoice found = invoiceFrom(query);
    found.lines = linesOf(found.txnId);
    return found;
}

CompanyFile::Invoice CompanyFile::updateInvoice(Invoice invoice) {
    Transaction transaction(*this);
    invoice.editSequence = nextSequence(QStringLiteral("edit"));
    exec(
        QStringLiteral("UPDATE invoice SET edit_sequence = ?, customer = ?, txn_date = ?, "
                       "due_date = ?, is_to_be_printed = ?, is_to_be_emailed = ? WHERE txn_id = ?"),
        {invoice.editSequence, invoice.customer, invoice.txnDate, invoice.dueDate,
         int(invoice.toBePrinted), int(invoice.toBeEmailed), invoice.txnId});
    transaction.commit();
    return invoice;
}

QList<CompanyFile::Invoice> CompanyFile::invoicesWithLines(QSqlQuery& query) const {
    QList<Invoice> found;
    while (query.next())
        found.append(invoiceFrom(query));
    for (Invoice& invoice : found)
        invoice.lines = linesOf(invoice.txnId);
    return found;
}

QList<CompanyFile::Invoice> CompanyFile::invoices() const {
    QSqlQuery query(m_db);
    query.exec(InvoiceColumns + QStringLiteral(" ORDER BY seq"));
    return invoicesWithLines(query);
}

QList<CompanyFile::Invoice> CompanyFile::invoicesOf(const QString& customer, const QString& from,
                                                    const QString& to, int maxReturned) const {
    QSqlQuery query(m_db);
    query.prepare(InvoiceColumns +
                  QStringLiteral(" WHERE customer = ? COLLATE NOCASE AND (? = '' OR txn_date >= ?)"
                                 " AND (? = '' OR txn_date <= ?) ORDER BY seq LIMIT ?"));
    for (const QVariant& value : {QVariant(customer), QVariant(from), QVariant(from), QVariant(to),
                                  QVariant(to), QVariant(maxReturned > 0 ? maxReturned : -1)})
        query.addBindValue(value);
    if (!query.exec())
        throw fileFailure(query.lastError().text());
    return invoicesWithLines(query);
}

std::optional<CompanyFile::StoredAnswer>
CompanyFile::storedAnswer(const QString& messageSetId) const {
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT checksum, answer FROM message_set WHERE id = ?"));
    query.addBindValue(messageSetId);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return StoredAnswer{query.value(0).toByteArray(), query.value(1).toByteArray()};
}

void CompanyFile::storeAnswer(const QString& messageSetId, const StoredAnswer& stored) {
    Transaction transaction(*this);
    exec(QStringLiteral("INSERT OR REPLACE INTO message_set VALUES (?, ?, ?)"),
         {messageSetId, stored.checksum, stored.answer});
    transaction.commit();
}

bool CompanyFile::forgetAnswer(const QString& messageSetId) {
    const bool known = storedAnswer(messageSetId).has_value();
    Transaction transaction(*this);
    exec(QStringLiteral("DELETE FROM message_set WHERE id = ?"), {messageSetId});
    transaction.commit();
    return known;
}

void CompanyFile::touchInvoices() {
    Transaction transaction(*this);
    exec(QStringLiteral("UPDATE invoice SET edit_sequence = ?"),
         {nextSequence(QStringLiteral("edit"))});
    transaction.commit();
}
