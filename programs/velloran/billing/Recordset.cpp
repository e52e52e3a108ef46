#include "billing/Recordset.h"

#include "core/DbConnection.h"
#include "core/Failure.h"
#include "core/FixedForms.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlDriver>
#include <cstring>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <string_view>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "QString holds the driver's wide characters");
static_assert(sizeof(SQLLEN) == sizeof(long) && sizeof(SQLULEN) == sizeof(unsigned long),
              "indicators and counts as the header declares them");

namespace {
// Bound text per value: the column's declared size within these bounds. A longer value is
// still read whole (see restartRecordByRecord).
constexpr int LeastWidth = 32;
constexpr int MostWidth = 512;

bool ok(SQLRETURN result) {
    return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO;
}

QMetaType::Type metaTypeOf(SQLSMALLINT sqlType) {
    switch (sqlType) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return QMetaType::Double;
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIT:
    case SQL_TINYINT:
        return QMetaType::Int;
    case SQL_BIGINT:
        return QMetaType::LongLong;
    case SQL_DATE:
    case SQL_TYPE_DATE:
        return QMetaType::QDate;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
        return QMetaType::QDateTime;
    default:
        return QMetaType::QString;
    }
}
// A number or a date in the plain form drivers write, read straight from the driver's bytes:
// most values of a fill are such, and a text made of them first would be thrown away at once.
// Anything else, nullopt, goes the general way.
std::optional<QVariant> plainValue(SQLSMALLINT sqlType, const char* bytes, long length) {
    const std::string_view view(bytes, size_t(length));
    switch (metaTypeOf(sqlType)) {
    case QMetaType::Double:
        if (const auto number = FixedForms::plainNumber(view))
            return QVariant(*number);
        return std::nullopt;
    case QMetaType::QDate:
        if (const auto date = FixedForms::plainIsoDate(view))
            return QVariant(*date);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}
} // namespace

Recordset::~Recordset() {
    close();
}

[[noreturn]] void Recordset::fail(short handleType, void* handle) const {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    QString text;
    if (ok(SQLGetDiagRecW(handleType, handle, 1, state, &native, message, 1024, &length)))
        text =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(message), qMin<int>(length, 1023));
    if (text.isEmpty())
        text = QStringLiteral("The database reported an error without a description.");
    // The clerk's report names the database, so that whoever keeps it knows which one.
    if (!m_database.isEmpty())
        text = QStringLiteral("The contact database (%1) said: %2").arg(m_database, text);
    throw Failure(native != 0 ? native : ErrorNumber::Unspecified, text);
}

void Recordset::open(const QString& statement, const DbConnection& connection,
                     const QStringList& read) {
    close();
    m_read = read;
    const QVariant handle =
        connection.database().driver() ? connection.database().driver()->handle() : QVariant();
    // Qt's ODBC driver hands its connection handle over as an SQLHANDLE (a void pointer).
    const bool odbc = handle.isValid() && (qstrcmp(handle.typeName(), "SQLHANDLE") == 0 ||
                                           qstrcmp(handle.typeName(), "void*") == 0);
    if (!odbc || !*static_cast<SQLHANDLE const*>(handle.constData()))
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("The contact database is not open through ODBC."));
    m_connection = *static_cast<SQLHANDLE const*>(handle.constData());
    m_text = statement;
    m_database = connection.describe();
    m_blockRows = m_wantedBlockRows;
    // SQLite keeps its texts in UTF-8 and its driver hands them over as they are, which costs
    // less than its conversion to wide characters; MariaDB's driver hands them over in the
    // session's character set, UTF-8 where the server says so. Other drivers' narrow texts are
    // in a character set of their own, so they give wide ones.
    SQLWCHAR driver[128] = {};
    SQLSMALLINT driverLength = 0;
    SQLGetInfoW(m_connection, SQL_DRIVER_NAME, driver, sizeof driver, &driverLength);
    const QString driverName = QString::fromUtf16(reinterpret_cast<const char16_t*>(driver));
    m_utf8 =
        driverName.contains(QLatin1String("sqlite3odbc"), Qt::CaseInsensitive) ||
        (driverName.contains(QLatin1String("maodbc"), Qt::CaseInsensitive) && sessionSpeaksUtf8());
    execute();
    m_current = -1;
    moveNext();
}

bool Recordset::sessionSpeaksUtf8() const {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, m_connection, &statement)))
        return false;
    char charset[64] = {};
    SQLLEN length = 0;
    const bool read = ok(SQLExecDirectA(statement,
                                        reinterpret_cast<SQLCHAR*>(
                                            const_cast<char*>("SELECT @@character_set_results")),
                                        SQL_NTS)) &&
                      ok(SQLFetch(statement)) &&
                      ok(SQLGetData(statement, 1, SQL_C_CHAR, charset, sizeof charset, &length));
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return read && qstrncmp(charset, "utf8", 4) == 0;
}

void Recordset::execute() {
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, m_connection, &m_statement)))
        fail(SQL_HANDLE_DBC, m_connection);
    // Records are read once, first to last.
    SQLSetStmtAttr(m_statement, SQL_ATTR_CURSOR_TYPE,
                   reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
    if (m_blockRows > 1) {
        const SQLRETURN set = SQLSetStmtAttr(m_statement, SQL_ATTR_ROW_ARRAY_SIZE,
                                             reinterpret_cast<SQLPOINTER>(SQLULEN(m_blockRows)), 0);
        SQLULEN taken = 1;
        if (ok(set) && ok(SQLGetStmtAttr(m_statement, SQL_ATTR_ROW_ARRAY_SIZE, &taken, 0, nullptr)))
            m_blockRows = int(qMax<SQLULEN>(1, taken));
        else
            m_blockRows = 1; // the driver fetches one record at a time
    }
    m_bound = m_blockRows > 1;
    SQLSetStmtAttr(m_statement, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, 0);
    if (!ok(SQLExecDirectW(m_statement,
                           reinterpret_cast<SQLWCHAR*>(const_cast<ushort*>(m_text.utf16())),
                           SQLINTEGER(m_text.size()))))
        fail(SQL_HANDLE_STMT, m_statement);

    SQLSMALLINT count = 0;
    SQLNumResultCols(m_statement, &count);
    m_columns.assign(size_t(count), Column{});
    m_positions.clear();
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeColW(m_statement, SQLUSMALLINT(i + 1), name, 256, &nameLength, &type, &size,
                        &digits, &nullable);
        Column& column = m_columns[size_t(i)];
        column.name =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(name), qMin<int>(nameLength, 255));
        column.sqlType = type;
        column.width = int(qBound<SQLULEN>(LeastWidth, size, MostWidth)) + 1;
        m_positions.insert(column.name, i);
    }
    if (m_bound)
        bindColumns();
    m_fetched = 0;
    m_rowInBlock = 0;
    m_values.assign(m_columns.size(), QVariant());
    m_decoded.assign(m_columns.size(), false);
}

void Recordset::bindColumns() {
    for (size_t i = 0; i < m_columns.size(); ++i) {
        Column& column = m_columns[i];
        // The driver copies every bound value of every record; a field nobody reads is left
        // where it is.
        column.bound = m_read.isEmpty() || m_read.contains(column.name);
        if (!column.bound)
            continue;
        column.buffer.assign(size_t(column.width) * size_t(m_blockRows), u'\0');
        column.indicator.assign(size_t(m_blockRows), 0);
        if (!ok(SQLBindCol(m_statement, SQLUSMALLINT(i + 1), m_utf8 ? SQL_C_CHAR : SQL_C_WCHAR,
                           column.buffer.data(), SQLLEN(column.width * sizeof(SQLWCHAR)),
                           column.indicator.data())))
            fail(SQL_HANDLE_STMT, m_statement);
    }
}

void Recordset::fetch() {
    std::fill(m_decoded.begin(), m_decoded.end(), false);
    if (m_bound && ++m_rowInBlock < m_fetched)
        return;
    m_rowInBlock = 0;
    m_fetched = 0;
    const SQLRETURN result = SQLFetch(m_statement);
    if (result == SQL_NO_DATA) {
        m_eof = true;
        return;
    }
    if (!ok(result))
        fail(SQL_HANDLE_STMT, m_statement);
    if (!m_bound)
        m_fetched = 1;
    m_eof = m_fetched == 0;
}

void Recordset::moveNext() {
    if (!m_statement) {
        m_eof = true;
        return;
    }
    fetch();
    if (!m_eof)
        ++m_current;
}

// The whole text of a column of the current record, read in pieces: record by record only.
QString Recordset::wholeText(int column, bool& null) {
    QString text;
    std::vector<SQLWCHAR> piece(4096);
    for (;;) {
        SQLLEN length = 0;
        const SQLRETURN result =
            SQLGetData(m_statement, SQLUSMALLINT(column + 1), SQL_C_WCHAR, piece.data(),
                       SQLLEN(piece.size() * sizeof(SQLWCHAR)), &length);
        if (result == SQL_NO_DATA)
            break;
        if (!ok(result))
            fail(SQL_HANDLE_STMT, m_statement);
        if (length == SQL_NULL_DATA) {
            null = true;
            return QString();
        }
        const qsizetype room = qsizetype(piece.size()) - 1;
        const qsizetype got = length == SQL_NO_TOTAL || length / qsizetype(sizeof(SQLWCHAR)) > room
                                  ? room
                                  : length / qsizetype(sizeof(SQLWCHAR));
        text += QString::fromUtf16(reinterpret_cast<const char16_t*>(piece.data()), got);
        if (result == SQL_SUCCESS)
            break;
    }
    null = false;
    return text;
}

// A value cut short by its buffer: the statement runs again, record by record, reading every
// value whole, and goes on from the record in hand.
void Recordset::restartRecordByRecord() {
    SQLFreeHandle(SQL_HANDLE_STMT, m_statement);
    m_statement = nullptr;
    m_blockRows = 1;
    execute();
    for (qint64 i = 0; i <= m_current; ++i) {
        fetch();
        if (m_eof)
            throw Failure(ErrorNumber::Unspecified,
                          QStringLiteral("The contact database changed while it was read."));
    }
}

QVariant Recordset::typed(const Column& column, const QString& text, bool null) const {
    const QMetaType::Type type = metaTypeOf(column.sqlType);
    if (null)
        return QVariant(QMetaType(type));
    bool converted = false;
    switch (type) {
    case QMetaType::Double: {
        const double value = QLocale::c().toDouble(text.trimmed(), &converted);
        return converted ? QVariant(value) : QVariant(text);
    }
    case QMetaType::Int: {
        const int value = text.trimmed().toInt(&converted);
        return converted ? QVariant(value) : QVariant(text);
    }
    case QMetaType::LongLong: {
        const qlonglong value = text.trimmed().toLongLong(&converted);
        return converted ? QVariant(value) : QVariant(text);
    }
    case QMetaType::QDate: {
        // Drivers write dates as YYYY-MM-DD; other forms take the slower reader.
        const QDate iso = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
        if (iso.isValid())
            return iso;
        const auto date = FixedForms::readDate(text.trimmed());
        return date ? QVariant(*date) : QVariant(text);
    }
    case QMetaType::QDateTime: {
        const QDateTime time =
            QDateTime::fromString(text.trimmed().replace(u' ', u'T'), Qt::ISODateWithMs);
        return time.isValid() ? QVariant(time) : QVariant(text);
    }
    default:
        return QVariant(text);
    }
}

int Recordset::position(const QString& name) const {
    const int index = m_positions.value(name, -1);
    if (index < 0)
        throw Failure(ErrorNumber::ItemNotFound,
                      QStringLiteral("Item cannot be found in the collection corresponding "
                                     "to the requested name or ordinal: %1")
                          .arg(name));
    return index;
}

bool Recordset::keepsRecentTexts(const Column& column) {
    // Worth it while at least every other short text is one met lately.
    return column.recentMissed < 64 || column.recentFound >= column.recentMissed;
}

QVariant Recordset::recentText(Column& column, const char* utf8, long length) {
    for (const RecentText& recent : column.recent)
        if (recent.value.isValid() && recent.bytes.size() == length &&
            std::memcmp(recent.bytes.constData(), utf8, size_t(length)) == 0) {
            ++column.recentFound;
            return recent.value;
        }
    ++column.recentMissed;
    RecentText& slot = column.recent[column.nextRecent];
    column.nextRecent = (column.nextRecent + 1) % RecentTexts;
    slot.bytes = QByteArray(utf8, length);
    slot.value = QVariant(QString::fromUtf8(slot.bytes));
    return slot.value;
}

QVariant Recordset::field(int index) {
    Q_ASSERT(index >= 0 && size_t(index) < m_columns.size());
    if (m_decoded[size_t(index)])
        return m_values[size_t(index)];
    Column& column = m_columns[size_t(index)];
    QString text;
    bool null = false;
    if (m_bound && !column.bound) {
        // Read after all: record by record, every field is there to be read.
        restartRecordByRecord();
        return field(index);
    }
    if (m_bound) {
        const long length = column.indicator[m_rowInBlock];
        const long bytes = long(column.width) * long(sizeof(SQLWCHAR));
        const long room = m_utf8 ? bytes - 1 : bytes - long(sizeof(SQLWCHAR));
        if (length == SQL_NO_TOTAL || length > room) {
            restartRecordByRecord();
            return field(index);
        }
        null = length == SQL_NULL_DATA;
        const char16_t* value = column.buffer.data() + size_t(column.width) * m_rowInBlock;
        if (!null && m_utf8) {
            const auto* utf8 = reinterpret_cast<const char*>(value);
            std::optional<QVariant> plain = plainValue(column.sqlType, utf8, length);
            if (!plain && metaTypeOf(column.sqlType) == QMetaType::QString &&
                length <= LongestRecentText && keepsRecentTexts(column))
                plain = recentText(column, utf8, length);
            if (plain) {
                m_values[size_t(index)] = std::move(*plain);
                m_decoded[size_t(index)] = true;
                return m_values[size_t(index)];
            }
            text = QString::fromUtf8(utf8, length);
        } else if (!null) {
            text = QString::fromUtf16(value, length / qsizetype(sizeof(SQLWCHAR)));
        }
    } else {
        // Record by record every column is read in order, so that any driver allows it.
        for (int i = 0; i <= index; ++i) {
            if (m_decoded[size_t(i)])
                continue;
            bool isNull = false;
            const QString whole = wholeText(i, isNull);
            m_values[size_t(i)] = typed(m_columns[size_t(i)], whole, isNull);
            m_decoded[size_t(i)] = true;
        }
        return m_values[size_t(index)];
    }
    m_values[size_t(index)] = typed(column, text, null);
    m_decoded[size_t(index)] = true;
    return m_values[size_t(index)];
}

void Recordset::close() {
    if (m_statement)
        SQLFreeHandle(SQL_HANDLE_STMT, m_statement);
    m_statement = nullptr;
    m_columns.clear();
    m_positions.clear();
    m_values.clear();
    m_decoded.clear();
    m_eof = true;
    m_fetched = 0;
}
