// The billing grid: its cells, check cells, money format, fixed header row, edit requests and
// printing.

#include "TestSupport.h"

#include "core/CheckCell.h"
#include "core/GridColumns.h"
#include "core/MoneyFormat.h"
#include "grid/BillingGrid.h"
#include "grid/GridModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
void fillHeader(BillingGrid& grid) {
    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
}

QString pdfText(const QString& pdf) {
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!tool.waitForFinished(30000))
        return QString();
    // The printed text uses the font's ligatures; read them back as their letters.
    return QString::fromUtf8(tool.readAllStandardOutput())
        .replace(QChar(0xFB01), QLatin1String("fi"))
        .replace(QChar(0xFB02), QLatin1String("fl"));
}
} // namespace

class TestGrid : public QObject {
    Q_OBJECT
private slots:
    void modelKeepsItsContract();
    void copyTooltipsAndWidths();
    void cellTextsOfEveryKindOfLine_data();
    void cellTextsOfEveryKindOfLine();
    void appendAndReadCells();
    void setCellTextKeepsOtherCells();
    void setRowCountZeroEmptiesEverything();

    void checkCellReading_data();
    void checkCellReading();
    void moneyFormat_data();
    void moneyFormat();

    void fixedHeaderRowIsShownAsHeader();
    void emptyFillLeavesOnlyHeader();
    void checkToggleRaisesEditRequest();
    void spaceChecksEverySelectedRow_data();
    void spaceChecksEverySelectedRow();
    void textEditIsRefusedWhenCancelled();

    void printsTitleAndEveryRowToPdf_data();
    void printsTitleAndEveryRowToPdf();
};

Q_DECLARE_METATYPE(BillingLine)

namespace {
BillingLine lineOf(BillingFrequency frequency, std::optional<qint64> amount,
                   std::optional<qint64> yearly, QDate anniversary) {
    BillingLine line;
    line.frequency = frequency;
    line.company = QStringLiteral("Abbott & Sons");
    line.contact = QStringLiteral("Lucy");
    line.amountToBill = amount;
    line.yearlyAmount = yearly;
    line.anniversary = anniversary;
    line.invoiceDate = QDate(2027, 3, 1);
    line.dueDate = QDate(2027, 3, 15);
    return line;
}
} // namespace

void TestGrid::cellTextsOfEveryKindOfLine_data() {
    QTest::addColumn<BillingLine>("line");
    QTest::addColumn<QString>("cells"); // the ten cell texts, "|" between them
    QTest::addColumn<QString>("shown"); // the two amounts as the list shows them
    using F = BillingFrequency;
    const QDate june5(2005, 6, 5);
    QTest::newRow("monthly") << lineOf(F::Monthly, 8333, 100000, june5)
                             << "False|Abbott & Sons|Lucy|83.33|1000|6/5/2005|Monthly Invoice|"
                                "3/1/2027|3/15/2027|"
                             << "$83.33|$1,000.00";
    QTest::newRow("monthly, no anniversary")
        << lineOf(F::Monthly, 8300, 99600, QDate())
        << "False|Abbott & Sons|Lucy|83|996||Monthly Invoice|3/1/2027|3/15/2027|"
        << "$83.00|$996.00";
    BillingLine odd = lineOf(F::Monthly, 3000, 36000, QDate());
    odd.asWritten.insert(GridColumns::BillAnniv, QStringLiteral("20220131"));
    odd.send = true;
    odd.result = QStringLiteral("Successful");
    QTest::newRow("monthly, anniversary no date, billed")
        << odd
        << "True|Abbott & Sons|Lucy|30|360|20220131|Monthly Invoice|3/1/2027|3/15/2027|"
           "Successful"
        << "$30.00|$360.00";
    QTest::newRow("quarterly") << lineOf(F::Quarterly, 112, 450, june5)
                               << "False|Abbott & Sons|Lucy|1.12|4.5|06/05/2005|Quarterly|"
                                  "3/1/2027|3/15/2027|"
                               << "$1.12|$4.50";
    QTest::newRow("semi-annual") << lineOf(F::SemiAnnual, 50000, 100000, QDate(2004, 9, 2))
                                 << "False|Abbott & Sons|Lucy|500|1000|09/02/2004|Semi-Annual|"
                                    "3/1/2027|3/15/2027|"
                                 << "$500.00|$1,000.00";
    QTest::newRow("annual, beyond an invoice line")
        << lineOf(F::Annual, 2147483648, 2147483648, QDate(2010, 12, 31))
        << "False|Abbott & Sons|Lucy|21474836.48|21474836.48|12/31/2010|Annual|3/1/2027|"
           "3/15/2027|"
        << "$21,474,836.48|$21,474,836.48";
    QTest::newRow("negative and cents") << lineOf(F::Monthly, -50, -600, june5)
                                        << "False|Abbott & Sons|Lucy|-0.5|-6|6/5/2005|Monthly "
                                           "Invoice|3/1/2027|3/15/2027|"
                                        << "-$0.50|-$6.00";
    QTest::newRow("given as text, no values")
        << BillingCells::fromRowText(QStringLiteral("yes\t\tAva\tn/a\t\tsoon\tquarterly\t3/1/27"))
        << "yes||Ava|n/a||soon|quarterly|3/1/27||"
        << "n/a|";
}

// Every kind of line the list holds reads in its cells as the fill has always written them,
// and shows its amounts in the money format; a text that held no value reads as written.
void TestGrid::cellTextsOfEveryKindOfLine() {
    QFETCH(BillingLine, line);
    QFETCH(QString, cells);
    QFETCH(QString, shown);
    BillingGrid grid;
    fillHeader(grid);
    grid.appendLine(line);
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    for (const int money : {3, 4})
        grid.SetColumnFormat(money, GridColumns::moneyFormat());
    grid.SetFixedRows(1);
    QStringList texts;
    for (int column = 0; column < GridColumns::Count; ++column) {
        texts << grid.CellText(1, column);
        QCOMPARE(BillingCells::textLength(line, column), texts.last().size());
    }
    QCOMPARE(texts.join(u'|'), cells);
    QCOMPARE(grid.model()->index(0, 3).data().toString() + u'|' +
                 grid.model()->index(0, 4).data().toString(),
             shown);
    // Read back from its texts, the line is the same line.
    BillingLine again;
    again.frequency = line.frequency;
    for (int column = 0; column < GridColumns::Count; ++column)
        BillingCells::setText(again, column, texts[column]);
    for (int column = 0; column < GridColumns::Count; ++column)
        QCOMPARE(BillingCells::text(again, column), texts[column]);
}

void TestGrid::appendAndReadCells() {
    BillingGrid grid;
    fillHeader(grid);
    grid.AppendRow(QStringLiteral("False\tSmith & Sons <Ltd>\tJosé Núñez\t83.33"));
    QCOMPARE(grid.RowCount(), 2);
    QCOMPARE(grid.ColumnCount(), 10);
    QCOMPARE(grid.CellText(0, 3), QStringLiteral("Amount to Bill"));
    QCOMPARE(grid.CellText(0, 9), QStringLiteral("Result"));
    QCOMPARE(grid.CellText(1, 1), QStringLiteral("Smith & Sons <Ltd>"));
    QCOMPARE(grid.CellText(1, 2), QStringLiteral("José Núñez"));
    // CellText gives the text as written, not as the money format shows it.
    QCOMPARE(grid.CellText(1, 3), QStringLiteral("83.33"));
    // Cells the row did not give stay empty.
    QCOMPARE(grid.CellText(1, 4), QString());
    QCOMPARE(grid.CellText(1, 9), QString());
    QCOMPARE(grid.CellText(5, 0), QString());
}

void TestGrid::setCellTextKeepsOtherCells() {
    BillingGrid grid;
    fillHeader(grid);
    grid.AppendRow(QStringLiteral("False\tA\tB\t1\t12\t\tMonthly Invoice\t3/1/2027\t3/15/2027"));
    grid.SetCellText(1, GridColumns::Result, QStringLiteral("Error 3140: bad\treference"));
    grid.SetCellText(1, GridColumns::Send, QStringLiteral("True"));
    QCOMPARE(grid.CellText(1, 9), QStringLiteral("Error 3140: bad\treference"));
    QCOMPARE(grid.CellText(1, 0), QStringLiteral("True"));
    QCOMPARE(grid.CellText(1, 5), QString());
    QCOMPARE(grid.CellText(1, 8), QStringLiteral("3/15/2027"));
    grid.SetCellText(1, GridColumns::Result, QString());
    QCOMPARE(grid.CellText(1, 9), QString());
    QCOMPARE(grid.CellText(1, 6), QStringLiteral("Monthly Invoice"));
}

void TestGrid::setRowCountZeroEmptiesEverything() {
    BillingGrid grid;
    fillHeader(grid);
    grid.AppendRow(QStringLiteral("True\tA"));
    grid.SetCellText(1, 9, QStringLiteral("Successful"));
    grid.SetRowCount(0);
    QCOMPARE(grid.RowCount(), 0);
    QCOMPARE(grid.CellText(0, 0), QString());
    QCOMPARE(grid.model()->rowCount(), 0);
}

void TestGrid::checkCellReading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 does not convert
    QTest::newRow("True") << "True" << 1;
    QTest::newRow("false lower") << "false" << 0;
    QTest::newRow("TRUE upper") << "TRUE" << 1;
    QTest::newRow("-1") << "-1" << 1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("blank") << "" << -1;
    QTest::newRow("word") << "yes" << -1;
}

void TestGrid::checkCellReading() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    const auto value = CheckCell::read(text);
    QCOMPARE(value.has_value(), expected >= 0);
    if (value)
        QCOMPARE(*value, expected == 1);
    QCOMPARE(CheckCell::read(CheckCell::text(true)), std::optional<bool>(true));
    QCOMPARE(CheckCell::read(CheckCell::text(false)), std::optional<bool>(false));
}

void TestGrid::moneyFormat_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("cents") << "83.33"
                           << "$83.33";
    QTest::newRow("whole") << "100"
                           << "$100.00";
    QTest::newRow("one decimal") << "83.3"
                                 << "$83.30";
    QTest::newRow("thousands") << "1234567.5"
                               << "$1,234,567.50";
    QTest::newRow("exactly a thousand") << "1000"
                                        << "$1,000.00";
    QTest::newRow("negative") << "-5"
                              << "-$5.00";
    QTest::newRow("zero") << "0"
                          << "$0.00";
    QTest::newRow("not a number") << "n/a"
                                  << "n/a";
}

void TestGrid::moneyFormat() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(MoneyFormat::display(text), shown);
}

void TestGrid::fixedHeaderRowIsShownAsHeader() {
    BillingGrid grid;
    fillHeader(grid);
    grid.AppendRow(QStringLiteral("False\tA\tB\t1250.5"));
    grid.AppendRow(QStringLiteral("True\tC\tD\t2"));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.SetColumnFormat(3, GridColumns::moneyFormat());
    grid.SetFixedRows(1);
    grid.Repaint();

    QAbstractItemModel* model = grid.model();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->columnCount(), 10);
    for (int c = 0; c < 10; ++c)
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), GridColumns::headerTexts()[c]);
    QVERIFY(!grid.horizontalHeader()->isHidden());
    QCOMPARE(model->data(model->index(0, 3)).toString(), QStringLiteral("$1,250.50"));
    QCOMPARE(model->data(model->index(1, 0), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(model->data(model->index(0, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(model->flags(model->index(0, 0)) & Qt::ItemIsUserCheckable);
}

void TestGrid::emptyFillLeavesOnlyHeader() {
    BillingGrid grid;
    fillHeader(grid);
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.SetFixedRows(1);
    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.Repaint();
    QCOMPARE(grid.RowCount(), 1);
    QCOMPARE(grid.model()->rowCount(), 0);
    QCOMPARE(grid.model()->headerData(9, Qt::Horizontal).toString(), QStringLiteral("Result"));
}

void TestGrid::checkToggleRaisesEditRequest() {
    BillingGrid grid;
    fillHeader(grid);
    grid.AppendRow(QStringLiteral("False\tA"));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.SetFixedRows(1);
    grid.Repaint();

    QList<QPair<int, int>> requests;
    bool refuse = false;
    connect(&grid, &BillingGrid::CellEditRequested, this, [&](int row, int column, bool& cancel) {
        requests << qMakePair(row, column);
        cancel = refuse;
    });
    QAbstractItemModel* model = grid.model();
    QVERIFY(model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(grid.CellText(1, 0), QStringLiteral("True"));
    QCOMPARE(requests, (QList<QPair<int, int>>{{1, 0}}));

    refuse = true;
    QVERIFY(!model->setData(model->index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(grid.CellText(1, 0), QStringLiteral("True"));
    QCOMPARE(requests.size(), 2);
}

void TestGrid::spaceChecksEverySelectedRow_data() {
    QTest::addColumn<QStringList>("before"); // the four rows' Send
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("all unchecked: checked")
        << QStringList{"False", "False", "False", "False"} << QList<int>{0, 1, 2}
        << QStringList{"True", "True", "True", "False"};
    QTest::newRow("some checked: all checked")
        << QStringList{"True", "False", "True", "False"} << QList<int>{0, 1, 2}
        << QStringList{"True", "True", "True", "False"};
    QTest::newRow("all checked: unchecked")
        << QStringList{"True", "True", "True", "True"} << QList<int>{1, 3}
        << QStringList{"True", "False", "True", "False"};
    QTest::newRow("none selected: the current row")
        << QStringList{"False", "False", "False", "False"} << QList<int>{}
        << QStringList{"False", "True", "False", "False"};
}

// Space over the list, the current cell in any column, checks "Send" on every selected row.
void TestGrid::spaceChecksEverySelectedRow() {
    QFETCH(QStringList, before);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, after);
    BillingGrid grid;
    fillHeader(grid);
    for (const QString& send : before)
        grid.AppendRow(send + QStringLiteral("\tCompany\tContact"));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.SetFixedRows(1);
    grid.Repaint();
    grid.show();
    connect(&grid, &BillingGrid::CellEditRequested, this,
            [](int, int column, bool& cancel) { cancel = column != 0; });
    grid.setCurrentIndex(grid.model()->index(1, 2)); // the second row's Contact
    grid.selectLines(selected);
    QTest::keyClick(&grid, Qt::Key_Space);
    QStringList sends;
    for (int row = 1; row < grid.RowCount(); ++row)
        sends << grid.CellText(row, 0);
    QCOMPARE(sends, after);
}

void TestGrid::textEditIsRefusedWhenCancelled() {
    BillingGrid grid;
    fillHeader(grid);
    grid.AppendRow(QStringLiteral("False\tAcme"));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.SetFixedRows(1);
    grid.Repaint();
    grid.resize(600, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    int requests = 0;
    connect(&grid, &BillingGrid::CellEditRequested, this, [&](int row, int column, bool& cancel) {
        ++requests;
        QCOMPARE(row, 1);
        QCOMPARE(column, 1);
        cancel = true;
    });
    const QModelIndex company = grid.model()->index(0, 1);
    grid.setCurrentIndex(company);
    grid.edit(company);
    QCOMPARE(requests, 1);
    QVERIFY(!grid.findChild<QLineEdit*>());
    QCOMPARE(grid.CellText(1, 1), QStringLiteral("Acme"));

    // Allowed, the same request opens the editor.
    disconnect(&grid, &BillingGrid::CellEditRequested, this, nullptr);
    grid.edit(company);
    QVERIFY(grid.findChild<QLineEdit*>());
}

void TestGrid::printsTitleAndEveryRowToPdf_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("paper");
    QTest::newRow("United States: Letter")
        << QLocale(QLocale::English, QLocale::UnitedStates) << "792 x 612 pts (letter)";
    QTest::newRow("Germany: A4") << QLocale(QLocale::German, QLocale::Germany)
                                 << "842 x 595 pts (A4)";
    QTest::newRow("C") << QLocale::c() << "842 x 595 pts (A4)";
}

// Through the print dialog, accepted with the file it offers: the title with its slashes in
// the document's heading, and a file name without them; every row whole, wrapped where long,
// the header and the page number on every page.
void TestGrid::printsTitleAndEveryRowToPdf() {
    QFETCH(QLocale, locale);
    QFETCH(QString, paper);
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        QSKIP("skipped: a printer is installed here, so the dialog would not print to a file");
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    const QLocale oldLocale;
    QLocale::setDefault(locale);

    BillingGrid grid;
    fillHeader(grid);
    const int rows = 120; // more than one page
    for (int i = 1; i <= rows; ++i)
        grid.AppendRow(QStringLiteral("%1\tCompany %2\tContact %2\t%2.5\t26000\t\tAnnual\t"
                                      "3/1/2027\t3/18/2027\t%3")
                           .arg(i % 2 ? "True" : "False")
                           .arg(i)
                           .arg(i == 7
                                    ? QStringLiteral("Error 3140: There is an invalid "
                                                     "reference to QuickBooks Customer \"Company "
                                                     "7\" in the Invoice. QuickBooks error "
                                                     "message: Invalid argument. The specified "
                                                     "record does not exist in the list.")
                                    : QStringLiteral("Successful")));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.SetColumnFormat(3, GridColumns::moneyFormat());
    grid.SetColumnFormat(4, GridColumns::moneyFormat());
    grid.SetFixedRows(1);
    grid.FitColumns(0, 9);

    const QString title = QStringLiteral("Kestlemere Chamber of Commerce - 3/10/2027 9:06:03 AM");
    QTimer::singleShot(0, [] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QPrintDialog*>(window))
                dialog->accept();
    });
    grid.PrintWithTitle(title, true, BillingGrid::Landscape, BillingGrid::HalfInch,
                        BillingGrid::HalfInch);
    QLocale::setDefault(oldLocale);
    qputenv("HOME", oldHome);

    const QString pdf =
        home.filePath(QStringLiteral("Kestlemere Chamber of Commerce - 3-10-2027 9-06-03 AM.pdf"));
    QVERIFY2(QFile::exists(pdf), qPrintable(QDir(home.path()).entryList().join(u'|')));
    const QString text = pdfText(pdf);
    const int pages = text.count(u'\f');
    QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
    QCOMPARE(text.count(title), pages);
    QCOMPARE(text.count(QStringLiteral("Amount to Bill")), pages);
    for (int page = 1; page <= pages; ++page)
        QVERIFY(text.contains(QStringLiteral("Page %1 of %2").arg(page).arg(pages)));
    for (int i = 1; i <= rows; ++i)
        QVERIFY2(text.contains(QStringLiteral("Contact %1 ").arg(i)) &&
                     text.contains(QStringLiteral("$%1.50").arg(i)),
                 qPrintable(QString::number(i)));
    QCOMPARE(text.count(QStringLiteral("$26,000.00")), rows);
    // The long error wraps within its column, whole.
    const QString flat = text.simplified();
    QVERIFY(flat.contains(QStringLiteral("record does not exist in the list.")));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info.waitForFinished(30000));
    QVERIFY2(info.readAllStandardOutput().contains(paper.toUtf8()), qPrintable(paper));
}

// Appending, writing the header, changing the row count and emptying the grid, watched by
// Qt's own model tester, which fails the test on any broken rule of the model's contract.
void TestGrid::modelKeepsItsContract() {
    BillingGrid grid;
    QAbstractItemModelTester tester(grid.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    fillHeader(grid);
    grid.SetFixedRows(1);
    for (int i = 0; i < 50; ++i)
        grid.AppendRow(QStringLiteral("False\tCompany %1\tContact").arg(i));
    grid.Repaint();
    grid.SetCellText(0, GridColumns::Result, QStringLiteral("Outcome"));
    grid.SetCellText(7, GridColumns::Result, QStringLiteral("Successful"));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    grid.AppendRow(QStringLiteral("True\tLate"));
    grid.SetRowCount(20);
    grid.Repaint();
    QCOMPARE(grid.model()->rowCount(), 19);
    grid.SetFixedRows(0);
    QCOMPARE(grid.model()->rowCount(), 20);
    grid.SetRowCount(0);
    QCOMPARE(grid.model()->rowCount(), 0);
}

// Rows go to a spreadsheet as tab-separated lines with the header, money as plain numbers;
// selecting never toggles "Send"; a long text is elided on screen and whole in its tooltip.
void TestGrid::copyTooltipsAndWidths() {
    BillingGrid grid;
    grid.resize(900, 300);
    fillHeader(grid);
    const QString longName = QString(196, u'W');
    grid.AppendRow(QStringLiteral("True\tAbbott & Sons\tLucy\t1234.5\t14814\t06/15/2018\t"
                                  "Quarterly\t3/1/2027\t3/15/2027\tSuccessful"));
    grid.AppendRow(QStringLiteral("False\t%1\tTom\t50\t600\t\tMonthly Invoice\t3/1/2027\t"
                                  "3/15/2027")
                       .arg(longName));
    grid.AppendRow(QStringLiteral("False\tCafé\tAnn\t-7\t-84\t\tMonthly Invoice\t3/1/2027\t"
                                  "3/15/2027\tError 3140: There is an invalid reference"));
    grid.SetColumnType(0, GridColumns::TypeBoolean);
    for (const int money : {3, 4})
        grid.SetColumnFormat(money, GridColumns::moneyFormat());
    grid.SetFixedRows(1);
    grid.show();
    grid.FitColumns(0, grid.ColumnCount() - 1);

    QVERIFY(grid.columnWidth(GridColumns::Company) <= grid.viewport()->width() / 3);
    const QModelIndex longCell = grid.model()->index(1, GridColumns::Company);
    QCOMPARE(grid.model()->data(longCell, Qt::ToolTipRole).toString(), longName);
    QCOMPARE(grid.model()->data(grid.model()->index(0, 3), Qt::ToolTipRole).toString(),
             QStringLiteral("$1,234.50"));

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      grid.visualRect(grid.model()->index(0, 2)).center());
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid.visualRect(grid.model()->index(2, 1)).center());
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             GridColumns::headerTexts().join(u'\t') +
                 QStringLiteral("\nTrue\tAbbott & Sons\tLucy\t1234.50\t14814.00\t06/15/2018\t"
                                "Quarterly\t3/1/2027\t3/15/2027\tSuccessful\n"
                                "False\tCafé\tAnn\t-7.00\t-84.00\t\tMonthly Invoice\t3/1/2027\t"
                                "3/15/2027\tError 3140: There is an invalid reference\n"));
    QCOMPARE(grid.CellText(1, 0), QStringLiteral("True"));
    QCOMPARE(grid.CellText(3, 0), QStringLiteral("False"));
    QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(grid.selectionModel()->selectedRows().size(), 3);
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
