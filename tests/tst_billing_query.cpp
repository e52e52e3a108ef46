// The billing statement, character for character, and its records read through the real ODBC
// driver manager and the SQLite3 ODBC driver.

#include "TestSupport.h"

#include "billing/BillingQuery.h"
#include "billing/Recordset.h"
#include "core/DbConnection.h"
#include "core/Failure.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Chamber = QStringLiteral("Kestlemere Chamber of Commerce");
const QString Foundation = QStringLiteral("Viderizo Ruzerevurar Arovezeruv");

const char* const Select =
    "SELECT [VRP_CONTACT].[CONTACT Contact],[VRP_CONTACT].[CONTACT Company],[VRP_CONTACT].[CONTACT "
    "M-Annual Dues],[VRP_CONTACT].[CONTACT M-Annual Rate],[VRP_CONTACT].[CONTACT M-Billing "
    "Anniv-],[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 M-Billing "
    "Frequency],[VRP_CUSTOM_TABLE_0].[CUSTOM "
    "TABLE 0 M-Billing Method],[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Anniv "
    "Date],[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Billing Freq],[VRP_CUSTOM_TABLE_0].[CUSTOM "
    "TABLE "
    "0 EDF Pledge Amt]";
const char* const From =
    " From [VRP_CONTACT] LEFT JOIN [VRP_CUSTOM_TABLE_0] ON [VRP_CONTACT].[CONTACT ContactID] = "
    "[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 CONTACTID] ";
const char* const ChamberWhere =
    " WHERE ([VRP_CONTACT].[CONTACT M-Annual Dues] IS NOT NULL) AND ([VRP_CONTACT].[CONTACT "
    "M-Annual Dues] > 0) AND ([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 M-Billing Method] = '";
const char* const FoundationWhere =
    " WHERE ([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Pledge Amt] IS NOT NULL) AND "
    "([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Pledge Amt] > 0)  AND ([VRP_CUSTOM_TABLE_0].[CUSTOM "
    "TABLE 0 EDF Billing Method] = '";
const char* const Order =
    " ORDER BY [VRP_CONTACT].[CONTACT Company],[VRP_CONTACT].[CONTACT Contact]";

QString expected(const char* where, const char* method) {
    return QString::fromUtf8(Select) + QString::fromUtf8(From) + QString::fromUtf8(where) +
           QString::fromUtf8(method) + QStringLiteral("')") + QString::fromUtf8(Order);
}
} // namespace

class TestBillingQuery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void statementText_data();
    void statementText();
    void quoteInMethodIsDoubled();
    void fieldSets();

    void chamberRecordsInCompanyContactOrder();
    void foundationRecordsInCompanyContactOrder();
    void fieldsReadByName();
    void unknownFieldAndRefusedStatementFail();
    void everyValueWholeInBlocksAndRecordByRecord_data();
    void everyValueWholeInBlocksAndRecordByRecord();

private:
    QStringList contactsOf(const QString& organisation, const QString& method);

    QTemporaryDir m_dir;
    QString m_db;
    DbConnection m_connection;
};

void TestBillingQuery::initTestCase() {
    m_db = TestSupport::makeContacts(m_dir.path());
    TestSupport::open(m_connection, m_db);
}

void TestBillingQuery::statementText_data() {
    QTest::addColumn<QString>("organisation");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("statement");
    QTest::newRow("chamber, invoice") << Chamber << "Invoice" << expected(ChamberWhere, "Invoice");
    QTest::newRow("chamber, withdrawal")
        << Chamber << "Electronic Withdrawal" << expected(ChamberWhere, "Electronic Withdrawal");
    QTest::newRow("foundation, invoice")
        << Foundation << "Invoice" << expected(FoundationWhere, "Invoice");
    QTest::newRow("foundation, withdrawal") << Foundation << "Electronic Withdrawal"
                                            << expected(FoundationWhere, "Electronic Withdrawal");
    // Only the exact chamber name selects the chamber.
    QTest::newRow("chamber in other case") << "kestlemere chamber of commerce"
                                           << "Invoice" << expected(FoundationWhere, "Invoice");
}

void TestBillingQuery::statementText() {
    QFETCH(QString, organisation);
    QFETCH(QString, method);
    QFETCH(QString, statement);
    QCOMPARE(BillingQuery::statement(organisation, method), statement);
}

void TestBillingQuery::quoteInMethodIsDoubled() {
    QCOMPARE(BillingQuery::statement(Chamber, QStringLiteral("x') OR ('1'='1")),
             expected(ChamberWhere, "x'') OR (''1''=''1"));
    // The doubled quote keeps the text a value: it matches nothing instead of everything.
    Recordset records;
    records.open(BillingQuery::statement(Chamber, QStringLiteral("x') OR ('1'='1")), m_connection);
    QVERIFY(records.eof());
}

void TestBillingQuery::fieldSets() {
    const auto& chamber = BillingQuery::fieldSetFor(Chamber);
    QCOMPARE(chamber.frequency, QStringLiteral("CUSTOM TABLE 0 M-Billing Frequency"));
    QCOMPARE(chamber.yearlyAmount, QStringLiteral("CONTACT M-Annual Dues"));
    QCOMPARE(chamber.anniversary, QStringLiteral("CONTACT M-Billing Anniv-"));
    const auto& foundation = BillingQuery::fieldSetFor(Foundation);
    QCOMPARE(foundation.frequency, QStringLiteral("CUSTOM TABLE 0 EDF Billing Freq"));
    QCOMPARE(foundation.yearlyAmount, QStringLiteral("CUSTOM TABLE 0 EDF Pledge Amt"));
    QCOMPARE(foundation.anniversary, QStringLiteral("CUSTOM TABLE 0 EDF Anniv Date"));
    QCOMPARE(foundation.company, chamber.company);
    QCOMPARE(foundation.contact, chamber.contact);
}

void TestBillingQuery::everyValueWholeInBlocksAndRecordByRecord_data() {
    QTest::addColumn<int>("blockRows");
    QTest::addColumn<QStringList>("bound"); // fetched in blocks; the others read after all
    QTest::addColumn<int>("generated");     // contacts made up; 0: the demo's and a long name
    QTest::newRow("blocks of 128") << 128 << QStringList{} << 0;
    QTest::newRow("blocks of 3") << 3 << QStringList{} << 0;
    QTest::newRow("record by record, as for a driver without blocks") << 1 << QStringList{} << 0;
    QTest::newRow("blocks of 64 binding two fields")
        << 64 << QStringList{"CONTACT Contact", "CUSTOM TABLE 0 M-Billing Frequency"} << 0;
    // Hundreds of records in blocks throughout: short texts that recur (frequencies, methods)
    // and names that never do.
    QTest::newRow("2,000 contacts in blocks of 64") << 64 << QStringList{} << 2000;
}

// Texts far longer than their declared columns, empty fields in every column, and names in
// other scripts read exactly as SQLite itself returns them, whatever the block size.
void TestBillingQuery::everyValueWholeInBlocksAndRecordByRecord() {
    QFETCH(int, blockRows);
    QFETCH(QStringList, bound);
    QFETCH(int, generated);
    QTemporaryDir dir;
    const QString db =
        generated ? TestSupport::makeContacts(
                        dir.path(), {"--contacts", QString::number(generated), "--seed", "5"})
                  : TestSupport::makeContacts(dir.path());
    const QString longName = QStringLiteral("Ελληνική & 株式会社 ") + QString(3000, u'é');
    if (!generated)
        TestSupport::execSql(
            db,
            {QStringLiteral("INSERT INTO contact VALUES (9001, '%1', 'Ярослав', 1200, 1200, "
                            "'2019-03-05')")
                 .arg(longName),
             "INSERT INTO custom_table_0 VALUES (9001, 9001, 'Monthly Invoice', 'Invoice', NULL, "
             "NULL, NULL, NULL)",
             "INSERT INTO contact VALUES (9002, NULL, NULL, NULL, NULL, NULL)",
             "INSERT INTO custom_table_0 VALUES (9002, 9002, NULL, 'Invoice', NULL, NULL, NULL, "
             "NULL)"});
    DbConnection connection;
    TestSupport::open(connection, db);
    const QString statement = BillingQuery::statement(Chamber, QStringLiteral("Invoice"));

    // What SQLite itself returns, through Qt's own SQLite driver.
    QList<QStringList> expected;
    QStringList names;
    {
        QSqlDatabase direct = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "direct");
        direct.setDatabaseName(db);
        QVERIFY(direct.open());
        QSqlQuery query(statement, direct);
        for (int i = 0; i < query.record().count(); ++i)
            names << query.record().fieldName(i);
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < names.size(); ++i)
                values << (query.isNull(i) ? QStringLiteral("<null>")
                                           : query.value(i).toString().replace(u'/', u'-'));
            expected << values;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("direct"));

    Recordset records;
    records.setBlockRows(blockRows);
    records.open(statement, connection, bound);
    QList<QStringList> read;
    while (!records.eof()) {
        QStringList values;
        for (const QString& name : names) {
            const QVariant value = records.field(name);
            values << (value.isNull()                       ? QStringLiteral("<null>")
                       : value.typeId() == QMetaType::QDate ? value.toDate().toString(Qt::ISODate)
                                                            : value.toString().replace(u'/', u'-'));
        }
        read << values;
        records.moveNext();
    }
    // A long value makes it read record by record; without one, blocks serve every record.
    QCOMPARE(records.blockRows(), generated ? blockRows : 1);
    records.close();
    QCOMPARE(read.size(), expected.size());
    QVERIFY(read.size() > (generated ? 400 : 20));
    for (int row = 0; row < read.size(); ++row)
        for (int column = 0; column < names.size(); ++column)
            QCOMPARE(read[row][column].section(u'.', 0, 0),
                     expected[row][column].section(u'.', 0, 0));
    QCOMPARE(std::any_of(read.begin(), read.end(),
                         [&](const QStringList& r) { return r.contains(longName); }),
             !generated);
    connection.close();
}

QStringList TestBillingQuery::contactsOf(const QString& organisation, const QString& method) {
    Recordset records;
    records.open(BillingQuery::statement(organisation, method), m_connection);
    QStringList contacts;
    while (!records.eof()) {
        contacts << records.field(QStringLiteral("CONTACT Contact")).toString();
        records.moveNext();
    }
    records.close();
    return contacts;
}

void TestBillingQuery::chamberRecordsInCompanyContactOrder() {
    // Null company first; zero, negative and null dues, and the contact without a custom row
    // (Walter Vale), never come back.
    const QStringList invoice{
        "Kevin Walsh",     "Lucy Abbott",  "Margaret Abbott", "Tom Birch",       "Ada Bell",
        "Élodie Marchand", "Niall Copper", "Mei Lin",         "Patrick O'Neill", "Raj Patel",
        "Sam Green",       "Ana Ruiz",     "Bill Stone",      "Nina Park",       "Jake Iron",
        "Derek Maple",     "Priya Shah",   "Hugh Appleton",   "Carla Pine",      "Sean Quay",
        "Zoë Westbrook",   "Ingrid Yarrow"};
    QCOMPARE(contactsOf(Chamber, QStringLiteral("Invoice")), invoice);
    const QStringList withdrawal{"Gus Rivera",   "Helen Summit", "Fiona Thistle",
                                 "Victor Umber", "Yusuf Demir",  "Tariq Zaman"};
    QCOMPARE(contactsOf(Chamber, QStringLiteral("Electronic Withdrawal")), withdrawal);
}

void TestBillingQuery::foundationRecordsInCompanyContactOrder() {
    const QStringList invoice{
        "Ava Whitfield",    "Bruno Castellanos", "Farah Nasser", "Hana Sato",    "Jonas Berg",
        "María José Núñez", "Noah Fischer",      "Olga Petrova", "Quinn Harper", "Tomás Silva",
        "Uma Krishnan",     "Vera Lindqvist",    "Ellen Dawson", "Klara Keller", "Paul Pemberton"};
    QCOMPARE(contactsOf(Foundation, QStringLiteral("Invoice")), invoice);
    const QStringList withdrawal{"Chloé Dubois", "Isaac Greene", "Liam O'Connor", "Rosa Delgado",
                                 "Walter Brooks"};
    QCOMPARE(contactsOf(Foundation, QStringLiteral("Electronic Withdrawal")), withdrawal);
}

void TestBillingQuery::fieldsReadByName() {
    Recordset records;
    records.open(BillingQuery::statement(Foundation, QStringLiteral("Invoice")), m_connection);
    QVERIFY(!records.eof());
    const auto& fields = BillingQuery::fieldSetFor(Foundation);
    QCOMPARE(records.field(fields.contact).toString(), QStringLiteral("Ava Whitfield"));
    QVERIFY(records.field(fields.company).isNull());
    QCOMPARE(records.field(fields.yearlyAmount).toDouble(), 120.0);
    QCOMPARE(records.field(fields.frequency).toString(), QStringLiteral("Monthly Invoice"));
    QCOMPARE(records.field(fields.anniversary).toDate(), QDate(2023, 3, 8));
    // Read again, out of order: the same values.
    QCOMPARE(records.field(fields.contact).toString(), QStringLiteral("Ava Whitfield"));
    records.close();
    QVERIFY(records.eof());
}

void TestBillingQuery::unknownFieldAndRefusedStatementFail() {
    Recordset records;
    records.open(BillingQuery::statement(Chamber, QStringLiteral("Invoice")), m_connection);
    try {
        records.field(QStringLiteral("CONTACT Nickname"));
        QFAIL("an unknown field was read");
    } catch (const Failure& failure) {
        QVERIFY(failure.description().contains(QStringLiteral("CONTACT Nickname")));
    }
    records.close();

    Recordset refused;
    try {
        refused.open(QStringLiteral("SELECT [x] FROM [NO_SUCH_VIEW]"), m_connection);
        QFAIL("a statement over a missing view ran");
    } catch (const Failure& failure) {
        QVERIFY2(failure.description().contains(QStringLiteral("NO_SUCH_VIEW")),
                 qPrintable(failure.description()));
    }
}

QTEST_MAIN(TestBillingQuery)
#include "tst_billing_query.moc"
