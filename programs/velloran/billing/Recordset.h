#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

class DbConnection;

// The records of one statement, walked from first to last with fields read by name or place. They
// are read through the ODBC API on the program's connection, a block of records per trip to the
// driver, each column bound as text (wide characters, or UTF-8 where the driver keeps it so);
// values come back typed by their column as Qt's ODBC driver types them (numbers, dates, texts,
// null for an empty field). A value longer than its bound buffer is read whole: the statement
// then runs again record by record from where it was. A driver that cannot fetch blocks is
// read record by record.
class Recordset {
public:
    static constexpr int DefaultBlockRows = 64;

    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset();

    // Records per trip to the driver; 1 reads record by record, as for a driver that cannot
    // fetch blocks.
    void setBlockRows(int rows) { m_wantedBlockRows = qMax(1, rows); }
    // The records per trip the driver took for the open statement.
    int blockRows() const { return m_blockRows; }

    // Runs the statement on the open connection; throws Failure with the driver's message.
    // With read, only those fields are fetched in blocks: reading another one after all
    // costs a second run of the statement, record by record.
    void open(const QString& statement, const DbConnection& connection,
              const QStringList& read = {});
    bool eof() const { return m_eof; }
    // The place of the named field in the statement's records, the same for every record;
    // throws Failure (Item not found) for a name the statement does not return.
    int position(const QString& name) const;
    // The value of a field of the current record, by its place or its name.
    QVariant field(int position);
    QVariant field(const QString& name) { return field(position(name)); }
    void moveNext();
    void close();

private:
    // A short text value met lately in a column, kept with its bytes: a column such as the
    // billing frequency holds a few texts over and over, each read from its bytes only once.
    // A column whose texts seldom come again (names) soon stops keeping them.
    struct RecentText {
        QByteArray bytes;
        QVariant value;
    };
    static constexpr int RecentTexts = 4;
    static constexpr int LongestRecentText = 32; // bytes

    struct Column {
        QString name;
        short sqlType = 0;
        bool bound = false;
        int width = 0; // wide characters bound per record, the terminator included
        std::vector<char16_t> buffer;
        std::vector<long> indicator;
        RecentText recent[RecentTexts];
        int nextRecent = 0;
        int recentFound = 0, recentMissed = 0;
    };

    void execute();
    // Whether a MariaDB session hands its narrow texts over in UTF-8.
    bool sessionSpeaksUtf8() const;
    void bindColumns();
    void fetch();
    QString wholeText(int column, bool& null);
    QVariant typed(const Column& column, const QString& text, bool null) const;
    static bool keepsRecentTexts(const Column& column);
    static QVariant recentText(Column& column, const char* utf8, long length);
    void restartRecordByRecord();
    [[noreturn]] void fail(short handleType, void* handle) const;

    void* m_connection = nullptr; // the driver's connection handle
    void* m_statement = nullptr;
    QString m_text;
    QString m_database; // which database, for the messages of its failures
    QStringList m_read; // the fields fetched in blocks; empty: all
    std::vector<Column> m_columns;
    QHash<QString, int> m_positions;
    int m_wantedBlockRows = DefaultBlockRows;
    int m_blockRows = 1;
    bool m_bound = false;
    bool m_utf8 = false; // texts bound as UTF-8 rather than wide characters
    unsigned long m_fetched = 0;
    unsigned long m_rowInBlock = 0;
    qint64 m_current = -1; // the current record's place, from 0
    bool m_eof = true;
    // The current record's values, decoded when first read.
    std::vector<QVariant> m_values;
    std::vector<bool> m_decoded;
};
