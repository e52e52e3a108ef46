// A whole fill of the billing list from a real contact database, through the ODBC driver
// manager and the SQLite3 ODBC driver, into the real grid.

#include "TestSupport.h"

#include "billing/BillingInputs.h"
#include "billing/LoadBillingList.h"
#include "billing/PassedOver.h"
#include "core/DbConnection.h"
#include "core/Failure.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "grid/GridModel.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Chamber = QStringLiteral("Kestlemere Chamber of Commerce");
const QString Foundation = QStringLiteral("Viderizo Ruzerevurar Arovezeruv");

struct Inputs : BillingInputs {
    QString org = Chamber;
    QString method = QStringLiteral("Invoice");
    QDate start{2027, 3, 1};
    QDate end{2027, 3, 31};
    QString organisation() const override { return org; }
    QString billingMethod() const override { return method; }
    QDate startDate() const override { return start; }
    QDate endDate() const override { return end; }
};

QStringList rowsOf(const BillingGrid& grid) {
    QStringList rows;
    for (int row = 1; row < grid.RowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 9; ++column)
            cells << grid.CellText(row, column);
        rows << cells.join(u'\t');
    }
    return rows;
}

// The chamber's members billed by invoice who are due in March 2027, worked out by hand from
// the demo contacts.
const QStringList ChamberMarch{
    "False\t\tKevin Walsh\t30\t360\t1/31/2022\tMonthly Invoice\t3/1/2027\t3/15/2027",
    "False\tAbbott & Sons Hardware\tLucy Abbott\t50\t600\t3/5/2019\tMonthly "
    "Invoice\t3/1/2027\t3/15/2027",
    "False\tAbbott & Sons Hardware\tMargaret Abbott\t100\t1200\t3/5/2019\tMonthly "
    "Invoice\t3/1/2027\t3/15/2027",
    "False\tBirchwood Bakery\tTom Birch\t250\t1000\t06/15/2018\tQuarterly\t3/1/2027\t3/15/2027",
    "False\tBluebell Nursery\tAda Bell\t500\t1999.99\t09/15/2019\tQuarterly\t3/1/2027\t3/15/2027",
    "False\tCafé Lumière\tÉlodie Marchand\t500\t1000\t09/02/2020\tSemi-Annual\t3/1/2027\t3/2/2027",
    "False\tCopperfield Joinery\tNiall "
    "Copper\t26000\t26000\t03/18/2017\tAnnual\t3/1/2027\t3/18/2027",
    "False\tDriftwood Gallery\tMei Lin\t7\t84\t10/9/2022\tMonthly Invoice\t3/1/2027\t3/15/2027",
    "False\tDunmore Legal LLP\tPatrick "
    "O'Neill\t2400\t2400\t03/20/2015\tAnnual\t3/1/2027\t3/20/2027",
    "False\tEvergreen Landscaping\tSam Green\t50\t600\t3/11/2021\tMonthly "
    "Invoice\t3/1/2027\t3/15/2027",
    "False\tFairview Dental\tAna Ruiz\t1.12\t4.5\t12/10/2021\tQuarterly\t3/1/2027\t3/10/2027",
    "False\tNorthgate Pharmacy\tPriya Shah\t450\t1800\t09/30/2019\tQuarterly\t3/1/2027\t3/30/2027",
    "False\tOrchard Veterinary Clinic\tHugh "
    "Appleton\t1000\t1000\t03/31/2010\tAnnual\t3/1/2027\t3/31/2027",
    "False\tQuayside Fish Co.\tSean Quay\t83.33\t1000\t3/29/2021\tMonthly "
    "Invoice\t3/1/2027\t3/15/2027",
    "False\tWestbrook Bistro\tZoë Westbrook\t275\t1100\t12/15/2020\tQuarterly\t3/1/2027\t3/15/2027",
};
} // namespace

class TestLoadBillingList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void generatedNamesAreWhole();
    void chamberMarchRowsInOrder();
    void passedOverNamed_data();
    void passedOverNamed();
    void foundationFirstHalfOfMarch();
    void emptyListKeepsFormattedHeader();
    void refillStartsAfresh();
    void sameRowsUnderGermanLocale();
    void textAmountColumns();
    void refusedStatementLeavesHeader();
    void textInNumberColumnIsNotBilled();
    void numbersInAnniversaryColumn();
    void longAndNonLatinNames();
    void sameRowsFromAServer_data();
    void sameRowsFromAServer();

private:
    QTemporaryDir m_dir;
    DbConnection m_connection;
};

void TestLoadBillingList::initTestCase() {
    const QString db = TestSupport::makeContacts(m_dir.path());
    TestSupport::open(m_connection, db);
}

void TestLoadBillingList::chamberMarchRowsInOrder() {
    BillingGrid grid;
    Inputs inputs;
    QCOMPARE(LoadBillingList(inputs, grid, m_connection), Chamber);
    QCOMPARE(grid.ColumnCount(), 10);
    QCOMPARE(grid.RowCount(), ChamberMarch.size() + 1);
    for (int column = 0; column < 10; ++column)
        QCOMPARE(grid.CellText(0, column), GridColumns::headerTexts()[column]);
    const QStringList rows = rowsOf(grid);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], ChamberMarch[i]);
    for (int row = 1; row < grid.RowCount(); ++row)
        QCOMPARE(grid.CellText(row, GridColumns::Result), QString());
}

void TestLoadBillingList::passedOverNamed_data() {
    QTest::addColumn<QStringList>("change");
    QTest::addColumn<QString>("line");
    const QString frequencies =
        "whose billing frequency is none of Monthly Invoice, Quarterly, Semi-Annual, Annual: ";
    const QString anniversaries = "billed quarterly, semi-annually or annually whose anniversary "
                                  "is missing or no date: ";
    QTest::newRow("the demo's")
        << QStringList{}
        << "4 contacts not listed: 3 " + frequencies +
               "Elm Street Pharmacy (empty), Harbor Lights Inn (\"quarterly\"), Ironside Fitness "
               "(\"Quarterly \"); 1 " +
               anniversaries + "Pinecrest Realty (missing)";
    QTest::newRow("none of the four, no anniversary date")
        << QStringList{"UPDATE custom_table_0 SET m_billing_frequency = NULL WHERE contact_id = 8",
                       "UPDATE custom_table_0 SET m_billing_frequency = 'Yearly' WHERE "
                       "contact_id IN (15, 16)",
                       "UPDATE contact SET billing_anniv = 'soon' WHERE contact_id = 2"}
        << "7 contacts not listed: 5 " + frequencies +
               "Elm Street Pharmacy (empty), Harbor Lights Inn (empty), Ironside Fitness "
               "(\"Quarterly \") and 2 more; 2 " +
               anniversaries + "Birchwood Bakery (\"soon\"), Pinecrest Realty (missing)";
    QTest::newRow("nothing amiss")
        << QStringList{"UPDATE custom_table_0 SET m_billing_frequency = 'Quarterly' WHERE "
                       "contact_id IN (8, 9, 32)",
                       "UPDATE contact SET billing_anniv = '2019-01-01' WHERE contact_id = 17"}
        << QString();
}

// Whoever the rules pass over for unusable data is named under the list; the list is the
// same as without the naming.
void TestLoadBillingList::passedOverNamed() {
    QFETCH(QStringList, change);
    QFETCH(QString, line);
    const QString db = TestSupport::makeContacts(
        m_dir.path(), {}, QString::fromUtf8(QTest::currentDataTag()) + ".db");
    TestSupport::execSql(db, change);
    DbConnection connection;
    TestSupport::open(connection, db);
    BillingGrid named, plain;
    Inputs inputs;
    PassedOver passedOver;
    LoadBillingList(inputs, named, connection, &passedOver);
    QCOMPARE(passedOver.line(), line);
    QCOMPARE(passedOver.isEmpty(), line.isEmpty());
    LoadBillingList(inputs, plain, connection);
    QCOMPARE(rowsOf(named), rowsOf(plain));
    if (change.isEmpty())
        QCOMPARE(rowsOf(named), ChamberMarch);
}

void TestLoadBillingList::foundationFirstHalfOfMarch() {
    BillingGrid grid;
    Inputs inputs;
    inputs.org = Foundation;
    inputs.end = QDate(2027, 3, 15);
    LoadBillingList(inputs, grid, m_connection);
    const QStringList expected{
        "False\t\tAva Whitfield\t10\t120\t3/8/2023\tMonthly Invoice\t3/1/2027\t3/15/2027",
        "False\t\tFarah Nasser\t5\t60\t\tMonthly Invoice\t3/1/2027\t3/15/2027",
        "False\t\tQuinn Harper\t8.33\t100\t1/31/2023\tMonthly Invoice\t3/1/2027\t3/15/2027",
        "False\t\tUma Krishnan\t4.17\t50\t3/9/2020\tMonthly Invoice\t3/1/2027\t3/15/2027",
        "False\tDawson Family Trust\tEllen "
        "Dawson\t1250\t2500\t09/14/2020\tSemi-Annual\t3/1/2027\t3/14/2027",
        "False\tKeller & Söhne\tKlara "
        "Keller\t400\t800\t09/09/2018\tSemi-Annual\t3/1/2027\t3/9/2027",
        "False\tPemberton Foundation\tPaul "
        "Pemberton\t10000\t10000\t03/15/2016\tAnnual\t3/1/2027\t3/15/2027",
    };
    QCOMPARE(rowsOf(grid), expected);
}

void TestLoadBillingList::emptyListKeepsFormattedHeader() {
    BillingGrid grid;
    Inputs inputs;
    inputs.method = QStringLiteral("Cheque");
    LoadBillingList(inputs, grid, m_connection);
    QCOMPARE(grid.RowCount(), 1);
    GridModel* model = grid.gridModel();
    QCOMPARE(model->fixedRows(), 1);
    QCOMPARE(model->columnType(0), GridColumns::TypeBoolean);
    QCOMPARE(model->columnType(5), GridColumns::TypeDate);
    QCOMPARE(model->columnFormat(3), GridColumns::moneyFormat());
    QCOMPARE(model->columnFormat(4), GridColumns::moneyFormat());
    QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Send"));
    QCOMPARE(model->rowCount(), 0);
}

void TestLoadBillingList::refillStartsAfresh() {
    BillingGrid grid;
    Inputs inputs;
    LoadBillingList(inputs, grid, m_connection);
    const QStringList first = rowsOf(grid);
    grid.SetCellText(2, GridColumns::Send, QStringLiteral("True"));
    grid.SetCellText(2, GridColumns::Result, QStringLiteral("Successful"));
    LoadBillingList(inputs, grid, m_connection);
    QCOMPARE(rowsOf(grid), first);
    QCOMPARE(grid.CellText(2, GridColumns::Send), QStringLiteral("False"));
    QCOMPARE(grid.CellText(2, GridColumns::Result), QString());
    // What the grid shows: checks, money and the header.
    const QAbstractItemModel* model = grid.model();
    QCOMPARE(model->data(model->index(0, 3)).toString(), QStringLiteral("$30.00"));
    QCOMPARE(model->data(model->index(6, 4)).toString(), QStringLiteral("$26,000.00"));
    QCOMPARE(model->data(model->index(0, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void TestLoadBillingList::sameRowsUnderGermanLocale() {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    BillingGrid grid;
    Inputs inputs;
    LoadBillingList(inputs, grid, m_connection);
    QLocale::setDefault(before);
    QCOMPARE(rowsOf(grid), ChamberMarch);
}

void TestLoadBillingList::textAmountColumns() {
    // Some contact managers hand yearly amounts over as text: a number in it counts, anything
    // else stops the fill as a type mismatch.
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("text.db"));
    TestSupport::execSql(
        db, {
                "DROP VIEW VRP_CONTACT",
                "CREATE VIEW VRP_CONTACT AS SELECT contact_id AS [CONTACT ContactID], company AS "
                "[CONTACT Company], contact AS [CONTACT Contact], CAST(annual_dues AS TEXT) AS "
                "[CONTACT "
                "M-Annual Dues], annual_rate AS [CONTACT M-Annual Rate], billing_anniv AS [CONTACT "
                "M-Billing Anniv-] FROM contact",
            });
    DbConnection connection;
    TestSupport::open(connection, db);
    BillingGrid grid;
    Inputs inputs;
    LoadBillingList(inputs, grid, connection);
    QCOMPARE(grid.CellText(5, GridColumns::AnnualDues), QStringLiteral("1999.99"));
    QCOMPARE(grid.CellText(5, GridColumns::AmountToBill), QStringLiteral("500"));

    TestSupport::execSql(
        db, {"UPDATE contact SET annual_dues = 'twelve hundred' WHERE contact_id = 1"});
    const Failure failure =
        TestSupport::failureOf([&] { LoadBillingList(inputs, grid, connection); });
    QCOMPARE(failure.number(), ErrorNumber::TypeMismatch);
    // The rows before the bad record stay, behind the header.
    QCOMPARE(grid.CellText(0, 0), QStringLiteral("Send"));
    QCOMPARE(grid.CellText(2, GridColumns::Contact), QStringLiteral("Lucy Abbott"));
    QCOMPARE(grid.RowCount(), 3);
}

void TestLoadBillingList::refusedStatementLeavesHeader() {
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("broken.db"));
    TestSupport::execSql(db, {"DROP VIEW VRP_CUSTOM_TABLE_0"});
    DbConnection connection;
    TestSupport::open(connection, db);
    BillingGrid grid;
    Inputs inputs;
    const Failure failure =
        TestSupport::failureOf([&] { LoadBillingList(inputs, grid, connection); });
    // The driver's words, and which database said them.
    QVERIFY2(failure.description().contains(QStringLiteral("VRP_CUSTOM_TABLE_0")) &&
                 failure.description().contains("(Database=" + db + ")"),
             qPrintable(failure.description()));
    QCOMPARE(grid.RowCount(), 1);
    QCOMPARE(grid.CellText(0, 9), QStringLiteral("Result"));
}

void TestLoadBillingList::textInNumberColumnIsNotBilled() {
    // Text stored in a number column passes the statement's "> 0" and reads as 0 through the
    // driver; it must stop the fill rather than bill $0.00.
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("garbage.db"));
    TestSupport::execSql(db, {"UPDATE contact SET annual_dues = 'call me' WHERE contact_id = 24"});
    DbConnection connection;
    TestSupport::open(connection, db);
    BillingGrid grid;
    Inputs inputs;
    const Failure failure =
        TestSupport::failureOf([&] { LoadBillingList(inputs, grid, connection); });
    QCOMPARE(failure.number(), ErrorNumber::TypeMismatch);
    QCOMPARE(grid.RowCount(), 2); // the header and Kevin Walsh, who comes before Lucy Abbott
}

void TestLoadBillingList::numbersInAnniversaryColumn() {
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("numbers.db"));
    TestSupport::execSql(
        db, {
                "DROP VIEW VRP_CONTACT",
                "CREATE VIEW VRP_CONTACT AS SELECT contact_id AS [CONTACT ContactID], company AS "
                "[CONTACT Company], contact AS [CONTACT Contact], annual_dues AS [CONTACT M-Annual "
                "Dues], "
                "annual_rate AS [CONTACT M-Annual Rate], CAST(strftime('%Y%m%d', billing_anniv) AS "
                "INTEGER) AS [CONTACT M-Billing Anniv-] FROM contact",
            });
    DbConnection connection;
    TestSupport::open(connection, db);
    BillingGrid grid;
    Inputs inputs;
    LoadBillingList(inputs, grid, connection);
    // No anniversary is a date now: only the monthly members are listed, each with the
    // field's own text.
    QCOMPARE(grid.RowCount(), 7);
    for (int row = 1; row < grid.RowCount(); ++row)
        QCOMPARE(grid.CellText(row, GridColumns::BillFrequency), QStringLiteral("Monthly Invoice"));
    QCOMPARE(grid.CellText(1, GridColumns::Contact), QStringLiteral("Kevin Walsh"));
    QCOMPARE(grid.CellText(1, GridColumns::BillAnniv), QStringLiteral("20220131"));
}

void TestLoadBillingList::longAndNonLatinNames() {
    const QString db = TestSupport::makeContacts(m_dir.path(), {}, QStringLiteral("names.db"));
    const QString longName = QString(300, u'L');
    TestSupport::execSql(
        db,
        {
            QStringLiteral("UPDATE contact SET company = '%1' WHERE contact_id = 2").arg(longName),
            QStringLiteral("UPDATE contact SET company = 'Ελληνική Εταιρεία', contact = 'Γιώργος "
                           "Παπαδόπουλος' WHERE contact_id = 4"),
            QStringLiteral(
                "UPDATE contact SET company = '株式会社テスト', contact = '山田太郎' WHERE "
                "contact_id = 16"),
        });
    DbConnection connection;
    TestSupport::open(connection, db);
    BillingGrid grid;
    Inputs inputs;
    LoadBillingList(inputs, grid, connection);
    QStringList companies;
    for (int row = 1; row < grid.RowCount(); ++row)
        companies << grid.CellText(row, GridColumns::Company);
    QVERIFY(companies.contains(longName));
    QVERIFY(companies.contains(QStringLiteral("Ελληνική Εταιρεία")));
    QVERIFY(companies.contains(QStringLiteral("株式会社テスト")));
    const int greek = companies.indexOf(QStringLiteral("Ελληνική Εταιρεία")) + 1;
    QCOMPARE(grid.CellText(greek, GridColumns::Contact), QStringLiteral("Γιώργος Παπαδόπουλος"));
    QCOMPARE(grid.CellText(greek, GridColumns::AmountToBill), QStringLiteral("2400"));
}

// make_contacts --contacts N writes its names as they are spelt: "Chloé", never "ChloÃ©".
void TestLoadBillingList::generatedNamesAreWhole() {
    QTemporaryDir dir;
    const QString path =
        TestSupport::makeContacts(dir.path(), {"--contacts", "400", "--seed", "3"}, "generated.db");
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "generated");
    db.setDatabaseName(path);
    QVERIFY(db.open());
    QSqlQuery query(db);
    QVERIFY(query.exec("SELECT * FROM contact"));
    QString names;
    while (query.next())
        for (int field = 0; field < query.record().count(); ++field)
            names += query.value(field).toString() + u'|';
    QVERIFY2(names.contains(QStringLiteral("Chloé")) && !names.contains(QStringLiteral("Ã")),
             qPrintable(names.left(200)));
    query = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("generated");
}

QTEST_MAIN(TestLoadBillingList)
#include "tst_load_billing_list.moc"

namespace {
// The MariaDB server the test command started (tests/mariadb_server.sh), as its connection
// string; empty where none runs.
QString serverConnection() {
    QFile file(qEnvironmentVariable("VELLORAN_MARIADB"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// The demo contacts on the server, typed as SQL Server keeps them: amounts with four places,
// anniversaries as date-times with a time of day, names in four-byte UTF-8; and one contact
// more on both sides, a name with a character beyond the first 65,536 and a NULL company.
QString copyToServer(const QString& sqlitePath, const QString& connection) {
    const QString extra = QStringLiteral(
        "INSERT INTO contact VALUES (9001, NULL, 'Harbour \U0001F41F Kiosk', 1200.5, 1200.5, "
        "'2024-03-07'); INSERT INTO custom_table_0 VALUES (9001, 9001, 'Monthly Invoice', "
        "'Invoice', NULL, NULL, NULL, NULL)");
    {
        QSqlDatabase lite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "lite");
        lite.setDatabaseName(sqlitePath);
        if (!lite.open())
            return lite.lastError().text();
        for (const QString& statement : extra.split(QStringLiteral("; ")))
            if (!QSqlQuery(lite).exec(statement))
                return QStringLiteral("sqlite: ") + statement;
    }
    QSqlDatabase::removeDatabase("lite");
    QSqlDatabase server = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), "server");
    QString odbc = connection;
    while (odbc.endsWith(u';'))
        odbc.chop(1);
    server.setDatabaseName(odbc);
    if (!server.open())
        return server.lastError().text();
    QSqlDatabase lite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "lite");
    lite.setDatabaseName(sqlitePath);
    lite.open();
    const QStringList schema{
        "DROP VIEW IF EXISTS VRP_CONTACT",
        "DROP VIEW IF EXISTS VRP_CUSTOM_TABLE_0",
        "DROP TABLE IF EXISTS custom_table_0",
        "DROP TABLE IF EXISTS contact",
        "CREATE TABLE contact (contact_id INT PRIMARY KEY, company VARCHAR(128), contact "
        "VARCHAR(128), annual_dues DECIMAL(19,4), annual_rate DECIMAL(19,4), billing_anniv "
        "DATETIME) CHARACTER SET utf8mb4",
        "CREATE TABLE custom_table_0 (row_id INT PRIMARY KEY, contact_id INT NOT NULL, "
        "m_billing_frequency VARCHAR(40), m_billing_method VARCHAR(40), edf_anniv_date "
        "DATETIME(3), edf_billing_freq VARCHAR(40), edf_billing_method VARCHAR(40), "
        "edf_pledge_amt DECIMAL(19,4)) CHARACTER SET utf8mb4",
        "CREATE VIEW VRP_CONTACT AS SELECT contact_id AS [CONTACT ContactID], company AS "
        "[CONTACT Company], contact AS [CONTACT Contact], annual_dues AS [CONTACT M-Annual Dues], "
        "annual_rate AS [CONTACT M-Annual Rate], billing_anniv AS [CONTACT M-Billing Anniv-] "
        "FROM contact",
        "CREATE VIEW VRP_CUSTOM_TABLE_0 AS SELECT contact_id AS [CUSTOM TABLE 0 CONTACTID], "
        "m_billing_frequency AS [CUSTOM TABLE 0 M-Billing Frequency], m_billing_method AS "
        "[CUSTOM TABLE 0 M-Billing Method], edf_anniv_date AS [CUSTOM TABLE 0 EDF Anniv Date], "
        "edf_billing_freq AS [CUSTOM TABLE 0 EDF Billing Freq], edf_billing_method AS [CUSTOM "
        "TABLE 0 EDF Billing Method], edf_pledge_amt AS [CUSTOM TABLE 0 EDF Pledge Amt] FROM "
        "custom_table_0"};
    for (const QString& statement : schema) {
        QSqlQuery query(server);
        if (!query.exec(statement))
            return query.lastError().text() + u' ' + statement;
    }
    // Each value as the typed column takes it, written as a literal (Qt's binding hands this
    // driver texts with their closing zero); a date gets a time of day, as SQL Server's
    // datetime columns hold one.
    const auto copy = [&](const QString& table, const QList<int>& dates) -> QString {
        QSqlQuery read(lite);
        read.exec(QStringLiteral("SELECT * FROM %1").arg(table));
        while (read.next()) {
            QStringList values;
            for (int i = 0; i < read.record().count(); ++i) {
                const QVariant value = read.value(i);
                if (value.isNull()) {
                    values << QStringLiteral("NULL");
                } else if (dates.contains(i)) {
                    const QDate date = QDate::fromString(value.toString(), Qt::ISODate);
                    values << (date.isValid()
                                   ? QStringLiteral("'%1 13:45:10'").arg(date.toString(Qt::ISODate))
                                   : QStringLiteral("NULL"));
                } else if (value.typeId() == QMetaType::QString) {
                    // As UTF-8 bytes: the driver's own conversion of wide text loses
                    // characters beyond the first 65,536.
                    values << "_utf8mb4 X'" +
                                  QString::fromLatin1(value.toString().toUtf8().toHex()) + "'";
                } else {
                    values << value.toString();
                }
            }
            QSqlQuery write(server);
            if (!write.exec(
                    QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, values.join(u','))))
                return write.lastError().text();
        }
        return QString();
    };
    QString problem = copy("contact", {5});
    if (problem.isEmpty())
        problem = copy("custom_table_0", {4});
    lite.close();
    server.close();
    return problem;
}
} // namespace

void TestLoadBillingList::sameRowsFromAServer_data() {
    QTest::addColumn<QString>("organisation");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::newRow("the chamber's March, by invoice")
        << Chamber << "Invoice" << QDate(2027, 3, 1) << QDate(2027, 3, 31);
    QTest::newRow("the chamber's March, by withdrawal")
        << Chamber << "Electronic Withdrawal" << QDate(2027, 3, 1) << QDate(2027, 3, 31);
    QTest::newRow("the foundation's March")
        << Foundation << "Invoice" << QDate(2027, 3, 1) << QDate(2027, 3, 31);
    QTest::newRow("the chamber's February of 2028")
        << Chamber << "Invoice" << QDate(2028, 2, 1) << QDate(2028, 2, 29);
}

// The same contacts on a real database server, typed as SQL Server types them and read
// through another ODBC driver (MariaDB's, in its SQL Server mode): the same rows, cell for
// cell and in the same order, and the same contacts passed over.
void TestLoadBillingList::sameRowsFromAServer() {
    QFETCH(QString, organisation);
    QFETCH(QString, method);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    static const QString connection = serverConnection();
    if (connection.isEmpty())
        QSKIP("skipped: no MariaDB server was started (tests/mariadb_server.sh)");
    static QTemporaryDir dir;
    static const QString copied = [&] {
        const QString lite = TestSupport::makeContacts(dir.path());
        const QString problem = copyToServer(lite, connection);
        return problem.isEmpty() ? lite : QStringLiteral("!") + problem;
    }();
    QVERIFY2(!copied.startsWith(u'!'), qPrintable(copied));
    DbConnection lite, server;
    TestSupport::open(lite, copied);
    server.setConnectionString(connection);
    server.open();
    Inputs inputs;
    inputs.org = organisation;
    inputs.method = method;
    inputs.start = start;
    inputs.end = end;
    BillingGrid fromLite, fromServer;
    PassedOver passedLite, passedServer;
    LoadBillingList(inputs, fromLite, lite, &passedLite);
    LoadBillingList(inputs, fromServer, server, &passedServer);
    QVERIFY(fromLite.RowCount() > 1);
    QCOMPARE(rowsOf(fromServer), rowsOf(fromLite));
    QCOMPARE(passedServer.line(), passedLite.line());
}
