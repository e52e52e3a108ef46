// Invoice runs over the billing grid, with the real components and the real company-file
// host: what is posted, what each row says afterwards, and what the company file holds.

#include "PostingFixture.h"
#include "QbHostProcess.h"
#include "QbSync.h"
#include "RequestRecorder.h"
#include "TestSupport.h"

#include "TestWindow.h"
#include "app/MessageBoxes.h"
#include "app/Module1.h"
#include "billing/BillingInputs.h"
#include "billing/LoadBillingList.h"
#include "core/DbConnection.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "grid/GridModel.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PostingJournal.h"
#include "posting/PostingRun.h"
#include "posting/RunLease.h"
#include "qbxml/QbChannel.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/RequestProcessor.h"
#include "ui/RunLine.h"
#include "ui/RunProgress.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {
const QString Chamber = QStringLiteral("Kestlemere Chamber of Commerce");
const QString Foundation = QStringLiteral("Viderizo Ruzerevurar Arovezeruv");
const PostingItems Items{QStringLiteral("Membership Dues"), QStringLiteral("Pledge")};

struct Host : PostingHost {
    QString organisation = Chamber;
    int box = PostingHost::Unchecked;
    bool answer = true;
    QStringList asked;
    QList<bool> busy;
    QString listOrganisation() const override { return organisation; }
    int emailBoxValue() const override { return box; }
    bool confirm(const QString& text, const QString& caption) override {
        asked << text << caption;
        return answer;
    }
    void setBusy(bool b) override { busy << b; }
};

// Counts the lookups that the run makes.
struct CountingCustomer : SyncCustomer {
    using SyncCustomer::SyncCustomer;
    QStringList looked;
    void LookupCustomer(const QString& name) override {
        looked << name;
        // What the run's look-up found: no request of its own.
        CustomerComponent::LookupCustomer(name);
    }
};

struct Row {
    const char* send;
    const char* company;
    const char* contact;
    const char* amount;
    const char* anniversary;
    const char* frequency;
    const char* invoiceDate;
    const char* dueDate;
    const char* result;
};

void fill(BillingGrid& grid, const QList<Row>& rows) {
    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
    for (const Row& r : rows) {
        grid.AppendRow(QStringList{r.send, r.company, r.contact, r.amount, "1200", r.anniversary,
                                   r.frequency, r.invoiceDate, r.dueDate}
                           .join(u'\t'));
        grid.SetCellText(grid.RowCount() - 1, GridColumns::Result, QString::fromUtf8(r.result));
    }
    grid.SetFixedRows(1);
}

QString resultOf(const BillingGrid& grid, int row) {
    return grid.CellText(row, GridColumns::Result);
}

QJsonObject lineOf(const QJsonObject& invoice) {
    return invoice.value("lines").toArray().at(0).toObject();
}

const QStringList Customers{"Abbott & Sons Hardware|accounts@abbott.example", "Birchwood Bakery",
                            "Kevin Walsh|kevin@walsh.example", "Smith & Sons <Ltd> \"Quoted\"",
                            "Ava Whitfield"};
const QStringList ItemNames{"Membership Dues", "Pledge"};

// Create Invoices as the clerk presses it, and the run to its end, the window handling its
// events meanwhile: its controls come back when the run ends.
bool createInvoices(TestWindow& w) {
    w.btnCreateInvoices->click();
    return QTest::qWaitFor([&] { return w.btnCreateInvoices->isEnabled(); }, 30000);
}
} // namespace

class TestInvoicePosting : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void namesWithTabsAndLineEnds();

    void answeredNoDoesNothing();
    void nothingCheckedStillFinishes();
    void postsCheckedRowsNotYetSuccessful();
    void foundationItemAndDescription();
    void secondOfThreeFails();
    void amountsAndOverflow();
    void monthlyPeriodEdges();
    void emailDecision_data();
    void emailDecision();
    void failedFollowUpNeverBillsTwice();
    void noHostRunning();
    void sameInvoicesUnderFrenchLocale();
    void longAndNonLatinCustomerNames();

    void createInvoicesThroughTheWindow();
    void progressStopAndClose_data();
    void progressStopAndClose();
    void progressFitsTheWindow_data();
    void progressFitsTheWindow();
    void windowLivesWhileQuickBooksIsSilent();
    void oddAnswersNeverAddAnInvoice_data();
    void oddAnswersNeverAddAnInvoice();

private:
    void run(Host& host);

    QbHostProcess* m_host = nullptr;
    RequestProcessor* m_processor = nullptr;
    SyncInvoice* m_invoice = nullptr;
    CountingCustomer* m_customer = nullptr;
    BillingGrid* m_grid = nullptr;
    PostingJournal m_journal;
};

void TestInvoicePosting::init() {
    m_host = new QbHostProcess(Customers, ItemNames);
    QVERIFY(m_host->start());
    m_processor = new RequestProcessor(m_host->socketPath());
    m_invoice = new SyncInvoice(*m_processor);
    m_customer = new CountingCustomer(*m_processor);
    m_grid = new BillingGrid;
    m_journal.clear();
}

void TestInvoicePosting::cleanup() {
    delete m_grid;
    delete m_customer;
    delete m_invoice;
    delete m_processor;
    delete m_host;
}

void TestInvoicePosting::run(Host& host) {
    SyncLease lease(*m_processor);
    PostingFixture::runToEnd(host, *m_grid, *m_processor, *m_invoice, *m_customer, lease, Items,
                             m_journal);
}

// A tab in a company's name and a line end in a contact's, from the contact database to
// QuickBooks: every cell stays in its column, the cell shows the name on one line (its tooltip
// and the printout whole), Ctrl+C quotes it for a spreadsheet, and the invoice bills the name
// as it is.
void TestInvoicePosting::namesWithTabsAndLineEnds() {
    QTemporaryDir dir;
    const QString db = TestSupport::makeContacts(dir.path(), {}, QStringLiteral("names.db"));
    const QString company = QStringLiteral("Birchwood\tBakery");
    const QString contact = QStringLiteral("Kevin\nWalsh"); // no company: billed by name
    TestSupport::execSql(db, {QStringLiteral("UPDATE contact SET company = 'Birchwood' || "
                                             "char(9) || 'Bakery' WHERE company = 'Birchwood "
                                             "Bakery'"),
                              QStringLiteral("UPDATE contact SET contact = 'Kevin' || char(10) || "
                                             "'Walsh' WHERE contact = 'Kevin Walsh'")});
    struct March : BillingInputs {
        QString organisation() const override { return Chamber; }
        QString billingMethod() const override { return QStringLiteral("Invoice"); }
        QDate startDate() const override { return {2027, 3, 1}; }
        QDate endDate() const override { return {2027, 3, 31}; }
    } march;
    DbConnection connection;
    TestSupport::open(connection, db);
    LoadBillingList(march, *m_grid, connection);

    int bakery = -1, kevin = -1;
    for (int line = 0; line < m_grid->lineCount(); ++line) {
        if (m_grid->line(line).company == company)
            bakery = line;
        if (m_grid->line(line).contact == contact)
            kevin = line;
    }
    QVERIFY(bakery >= 0 && kevin >= 0);
    // The cells after the names are where they belong.
    QCOMPARE(m_grid->CellText(bakery + 1, GridColumns::Contact), QStringLiteral("Tom Birch"));
    QCOMPARE(m_grid->CellText(bakery + 1, GridColumns::AmountToBill), QStringLiteral("250"));
    QCOMPARE(m_grid->CellText(kevin + 1, GridColumns::AmountToBill), QStringLiteral("30"));
    const QModelIndex shown = m_grid->gridModel()->indexOf(bakery, GridColumns::Company);
    QCOMPARE(shown.data().toString(), QStringLiteral("Birchwood\u2192Bakery"));
    QCOMPARE(shown.data(Qt::ToolTipRole).toString(), company);
    QCOMPARE(m_grid->gridModel()->printText(kevin, GridColumns::Contact), contact);
    m_grid->selectLines({bakery, kevin});
    const QString copied = m_grid->selectedRowsText();
    QVERIFY2(copied.contains(QStringLiteral("\nFalse\t\"Birchwood\tBakery\"\tTom Birch\t250.00\t")),
             qPrintable(copied));
    QVERIFY2(copied.contains(QStringLiteral("\nFalse\t\t\"Kevin\nWalsh\"\t30.00\t")),
             qPrintable(copied));

    for (int line = 0; line < m_grid->lineCount(); ++line)
        m_grid->setSend(line, line == bakery || line == kevin);
    QbHostProcess named({company, contact}, ItemNames);
    QVERIFY(named.start());
    PostingFixture::postOnce(named.socketPath(), *m_grid, m_journal);
    QCOMPARE(m_grid->line(bakery).result, QStringLiteral("Successful"));
    QCOMPARE(m_grid->line(kevin).result, QStringLiteral("Successful"));
    QStringList billed;
    for (const QJsonObject& invoice : named.invoices())
        billed << invoice.value("customer").toString();
    billed.sort();
    QCOMPARE(billed, (QStringList{company, contact}));
}

void TestInvoicePosting::answeredNoDoesNothing() {
    fill(*m_grid, {{"True", "Birchwood Bakery", "Tom Birch", "250", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""}});
    Host host;
    host.answer = false;
    run(host);
    QCOMPARE(host.asked,
             (QStringList{"Please make sure you have the Quickbooks file open for Kestlemere "
                          "Chamber of Commerce and logged in as Admin. Continue?",
                          "QB File Open"}));
    QVERIFY(host.busy.isEmpty());
    QVERIFY(m_customer->looked.isEmpty());
    QCOMPARE(resultOf(*m_grid, 1), QString());
    QCOMPARE(m_host->invoices().size(), 0);
}

void TestInvoicePosting::nothingCheckedStillFinishes() {
    Host host;
    // A grid without any row, one with the header only, one with nothing checked.
    run(host);
    fill(*m_grid, {});
    run(host);
    fill(*m_grid, {{"False", "Birchwood Bakery", "Tom Birch", "250", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""}});
    run(host);
    QCOMPARE(host.busy, (QList<bool>{true, false, true, false, true, false}));
    QVERIFY(m_customer->looked.isEmpty());
    QCOMPARE(resultOf(*m_grid, 1), QString());
    QCOMPARE(m_host->invoices().size(), 0);
}

void TestInvoicePosting::postsCheckedRowsNotYetSuccessful() {
    fill(*m_grid, {{"True", "Abbott & Sons Hardware", "Lucy Abbott", "50", "3/5/2019",
                    "Monthly Invoice", "12/1/2026", "12/15/2026", "Successful"},
                   {"True", "Birchwood Bakery", "Tom Birch", "250", "12/20/2010", "Quarterly",
                    "12/1/2026", "12/20/2026", "Error 3140: earlier failure"},
                   {"-1", "", "Kevin Walsh", "83.33", "1/3/2022", "Monthly Invoice", "12/1/2026",
                    "12/15/2026", "successful"},
                   {"False", "Smith & Sons <Ltd> \"Quoted\"", "Jo", "10", "", "Monthly Invoice",
                    "12/1/2026", "12/15/2026", ""}});
    Host host;
    run(host);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 2), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 3), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 4), QString());
    // The "Send" cells stay checked (-1 read as a check mark where the row came in).
    QCOMPARE(m_grid->CellText(3, GridColumns::Send), QStringLiteral("True"));

    const QList<QJsonObject> invoices = m_host->invoices();
    QCOMPARE(invoices.size(), 2);
    QCOMPARE(invoices[0].value("customer").toString(), QStringLiteral("Birchwood Bakery"));
    QCOMPARE(invoices[0].value("txn_date").toString(), QStringLiteral("2026-12-01"));
    QCOMPARE(invoices[0].value("due_date").toString(), QStringLiteral("2026-12-20"));
    QCOMPARE(invoices[0].value("is_to_be_printed").toBool(), true);
    QCOMPARE(
        lineOf(invoices[0]).value("desc").toString(),
        QStringLiteral("Kestlemere Chamber of Commerce Membership Dues (12/20/2026 - 3/20/2027)"));
    QCOMPARE(lineOf(invoices[0]).value("item").toString(), QStringLiteral("Membership Dues"));
    QCOMPARE(lineOf(invoices[0]).value("amount").toString(), QStringLiteral("250.00"));
    QCOMPARE(lineOf(invoices[0]).value("quantity").toInt(), 1);
    QCOMPARE(lineOf(invoices[0]).value("other1").toString(), QString());
    // An empty company bills the contact.
    QCOMPARE(invoices[1].value("customer").toString(), QStringLiteral("Kevin Walsh"));
    QCOMPARE(
        lineOf(invoices[1]).value("desc").toString(),
        QStringLiteral("Kestlemere Chamber of Commerce Membership Dues (12/3/2026 - 1/3/2027)"));
    QCOMPARE(lineOf(invoices[1]).value("amount").toString(), QStringLiteral("83.33"));

    // A second run posts nothing more.
    run(host);
    QCOMPARE(m_host->invoices().size(), 2);
}

void TestInvoicePosting::foundationItemAndDescription() {
    fill(*m_grid, {{"True", "", "Ava Whitfield", "10", "3/8/2023", "Monthly Invoice", "3/1/2027",
                    "3/15/2027", ""}});
    Host host;
    host.organisation = Foundation;
    run(host);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    const QJsonObject line = lineOf(m_host->invoices().constFirst());
    QCOMPARE(line.value("item").toString(), QStringLiteral("Pledge"));
    QCOMPARE(
        line.value("desc").toString(),
        QStringLiteral("Viderizo Ruzerevurar Arovezeruv Membership Dues (3/8/2027 - 4/8/2027)"));
    QVERIFY(host.asked.first().contains(Foundation));
}

void TestInvoicePosting::secondOfThreeFails() {
    fill(*m_grid, {{"True", "Birchwood Bakery", "Tom Birch", "250", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""},
                   {"True", "Nowhere Ltd", "Nobody", "100", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""},
                   {"True", "Abbott & Sons Hardware", "Lucy", "50", "3/5/2019", "Monthly Invoice",
                    "3/1/2027", "3/15/2027", "kept text"}});
    Host host;
    run(host);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    QVERIFY2(resultOf(*m_grid, 2)
                 .startsWith(QStringLiteral(
                     "Error 3140: There is an invalid reference to QuickBooks Customer "
                     "\"Nowhere Ltd\"")),
             qPrintable(resultOf(*m_grid, 2)));
    QCOMPARE(resultOf(*m_grid, 3), QStringLiteral("kept text"));
    QCOMPARE(m_host->invoices().size(), 1);
    QCOMPARE(host.busy, (QList<bool>{true, false}));
    // "Mark To Email" is off: nobody is looked up, and the customer QuickBooks does not know
    // is told apart by the batch's check alone.
    QCOMPARE(m_customer->looked, QStringList());
}

void TestInvoicePosting::amountsAndOverflow() {
    fill(*m_grid, {{"True", "Birchwood Bakery", "B", "21474836.47", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""},
                   {"True", "Birchwood Bakery", "B", "21474836.48", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""}});
    Host host;
    run(host);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 2),
             QStringLiteral("Error 6: Overflow: the amount 21474836.48 is larger than an invoice "
                            "line can carry (21,474,836.47 at most)"));
    QCOMPARE(lineOf(m_host->invoices().constFirst()).value("amount").toString(),
             QStringLiteral("21474836.47"));

    fill(*m_grid, {{"True", "Birchwood Bakery", "B", "lots", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""}});
    run(host);
    QCOMPARE(resultOf(*m_grid, 1),
             QStringLiteral("Error 13: Type mismatch: the amount to bill \"lots\" is no number"));
    fill(*m_grid, {{"maybe", "Birchwood Bakery", "B", "1", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""}});
    run(host);
    QCOMPARE(resultOf(*m_grid, 1),
             QStringLiteral("Error 13: Type mismatch: the Send cell \"maybe\" is neither checked "
                            "nor unchecked"));
    QCOMPARE(m_host->invoices().size(), 1);
}

void TestInvoicePosting::monthlyPeriodEdges() {
    fill(*m_grid, {{"True", "Birchwood Bakery", "B", "10", "1/31/2020", "Monthly Invoice",
                    "1/1/2027", "1/15/2027", ""},
                   {"True", "Birchwood Bakery", "B", "10", "1/31/2020", "Monthly Invoice",
                    "4/1/2027", "4/15/2027", ""},
                   {"True", "Birchwood Bakery", "B", "10", "", "Monthly Invoice", "4/1/2027",
                    "4/15/2027", ""},
                   {"True", "Birchwood Bakery", "B", "10", "2/2/2020", "Monthly Invoice",
                    "4/1/2027", "4/15/2027", ""}});
    Host host;
    run(host);
    const QList<QJsonObject> invoices = m_host->invoices();
    QCOMPARE(invoices.size(), 2);
    QVERIFY(lineOf(invoices[0])
                .value("desc")
                .toString()
                .endsWith(QStringLiteral("(1/31/2027 - 2/28/2027)")));
    // April has no 31st: the period starts on its last day.
    QVERIFY(lineOf(invoices[1])
                .value("desc")
                .toString()
                .endsWith(QStringLiteral("(4/30/2027 - 5/30/2027)")));
    QCOMPARE(resultOf(*m_grid, 3),
             QStringLiteral("Error 13: Type mismatch: the billing anniversary is empty"));
    QCOMPARE(resultOf(*m_grid, 4), QString());
}

void TestInvoicePosting::emailDecision_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<bool>("emailed");
    QTest::newRow("checked, address on file")
        << int(PostingHost::Checked) << "Abbott & Sons Hardware" << true;
    QTest::newRow("checked, no address")
        << int(PostingHost::Checked) << "Birchwood Bakery" << false;
    QTest::newRow("unchecked, address on file")
        << int(PostingHost::Unchecked) << "Abbott & Sons Hardware" << false;
    QTest::newRow("greyed, address on file")
        << int(PostingHost::Greyed) << "Abbott & Sons Hardware" << false;
}

void TestInvoicePosting::emailDecision() {
    QFETCH(int, box);
    QFETCH(QString, customer);
    QFETCH(bool, emailed);
    const QByteArray name = customer.toUtf8();
    fill(*m_grid, {{"True", name.constData(), "C", "50", "3/5/2019", "Monthly Invoice", "3/1/2027",
                    "3/15/2027", ""},
                   {"True", "", "Kevin Walsh", "30", "3/5/2019", "Monthly Invoice", "3/1/2027",
                    "3/15/2027", ""}});
    Host host;
    host.box = box;
    run(host);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 2), QStringLiteral("Successful"));
    const QList<QJsonObject> invoices = m_host->invoices();
    QCOMPARE(invoices[0].value("is_to_be_emailed").toBool(), emailed);
    QCOMPARE(invoices[0].value("is_to_be_printed").toBool(), !emailed);
    // The look-up only decides the mark: without the box checked it is not made.
    QCOMPARE(m_customer->looked,
             (box == PostingHost::Checked ? QStringList{customer, "Kevin Walsh"} : QStringList()));
    // Kevin Walsh has an address: the second invoice follows the box alone.
    QCOMPARE(invoices[1].value("is_to_be_emailed").toBool(), box == PostingHost::Checked);
}

// An invoice is added already marked to e-mail, so only one found in QuickBooks still marked
// to be printed takes a mark of its own. When QuickBooks refuses that mark the row says so,
// counts as billed, and the next run goes on with the rest.
void TestInvoicePosting::failedFollowUpNeverBillsTwice() {
    QbHostProcess refusing(Customers, ItemNames);
    QVERIFY(refusing.start({QStringLiteral("--refuse"), QStringLiteral("InvoiceMod")}));
    RequestProcessor processor(refusing.socketPath());
    SyncInvoice invoice(processor);
    SyncCustomer customer(processor);
    SyncLease lease(processor);
    const QList<Row> rows{{"True", "Abbott & Sons Hardware", "L", "50", "3/5/2019",
                           "Monthly Invoice", "3/1/2027", "3/15/2027", ""},
                          {"True", "Birchwood Bakery", "B", "250", "06/15/2018", "Quarterly",
                           "3/1/2027", "3/15/2027", ""}};
    fill(*m_grid, rows);
    Host host;
    PostingFixture::runToEnd(host, *m_grid, processor, invoice, customer, lease, Items, m_journal);
    QCOMPARE(refusing.invoices().size(), 2);

    // Listed again with "Mark To Email": the first member's invoice is to be marked now.
    fill(*m_grid, rows);
    m_journal.clear();
    host.box = PostingHost::Checked;
    PostingFixture::runToEnd(host, *m_grid, processor, invoice, customer, lease, Items, m_journal);
    QVERIFY2(resultOf(*m_grid, 1)
                 .startsWith(QStringLiteral("Successful, not marked to e-mail: Error 3170: ")),
             qPrintable(resultOf(*m_grid, 1)));
    QCOMPARE(resultOf(*m_grid, 2), QString());
    QList<QJsonObject> invoices = refusing.invoices();
    QCOMPARE(invoices.size(), 2);
    QCOMPARE(invoices[0].value("is_to_be_printed").toBool(), true);

    PostingFixture::runToEnd(host, *m_grid, processor, invoice, customer, lease, Items, m_journal);
    QCOMPARE(resultOf(*m_grid, 2),
             QStringLiteral("Successful, already in QuickBooks: not added again"));
    QCOMPARE(refusing.invoices().size(), 2);
}

void TestInvoicePosting::noHostRunning() {
    m_host->stop();
    fill(*m_grid, {{"True", "Birchwood Bakery", "B", "250", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""}});
    Host host;
    host.box = PostingHost::Checked;
    run(host);
    QCOMPARE(resultOf(*m_grid, 1),
             QStringLiteral("Error -2147220472: Could not start QuickBooks."));
    QCOMPARE(host.busy, (QList<bool>{true, false}));
}

void TestInvoicePosting::sameInvoicesUnderFrenchLocale() {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    fill(*m_grid, {{"True", "Birchwood Bakery", "B", "1234.56", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""}});
    Host host;
    run(host);
    QLocale::setDefault(before);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    const QJsonObject invoice = m_host->invoices().constFirst();
    QCOMPARE(lineOf(invoice).value("amount").toString(), QStringLiteral("1234.56"));
    QCOMPARE(invoice.value("due_date").toString(), QStringLiteral("2027-03-15"));
    QVERIFY(lineOf(invoice).value("desc").toString().endsWith(
        QStringLiteral("(3/15/2027 - 6/15/2027)")));
}

void TestInvoicePosting::longAndNonLatinCustomerNames() {
    QbHostProcess host(
        {"Ελληνική Εταιρεία", "Компания «Рога и копыта»|info@roga.example", "株式会社テスト"},
        ItemNames);
    QVERIFY(host.start());
    RequestProcessor processor(host.socketPath());
    SyncInvoice invoice(processor);
    SyncCustomer customer(processor);
    SyncLease lease(processor);
    const QByteArray tooLong = QByteArray(210, 'L');
    fill(*m_grid, {{"True", "Ελληνική Εταιρεία", "Γ", "10", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""},
                   {"True", "Компания «Рога и копыта»", "И", "20", "06/15/2018", "Quarterly",
                    "3/1/2027", "3/15/2027", ""},
                   {"True", "株式会社テスト", "山", "30", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""},
                   {"True", tooLong.constData(), "L", "40", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""}});
    Host run;
    run.box = PostingHost::Checked;
    PostingFixture::runToEnd(run, *m_grid, processor, invoice, customer, lease, Items, m_journal);
    QCOMPARE(resultOf(*m_grid, 1), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 2), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*m_grid, 3), QStringLiteral("Successful"));
    QVERIFY2(resultOf(*m_grid, 4).startsWith(QStringLiteral("Error 3070: The string ")),
             qPrintable(resultOf(*m_grid, 4)));
    const QList<QJsonObject> invoices = host.invoices();
    QCOMPARE(invoices.size(), 3);
    QCOMPARE(invoices[0].value("customer").toString(), QStringLiteral("Ελληνική Εταιρεία"));
    QCOMPARE(invoices[1].value("customer").toString(), QStringLiteral("Компания «Рога и копыта»"));
    QCOMPARE(invoices[1].value("is_to_be_emailed").toBool(), true);
    QCOMPARE(invoices[2].value("customer").toString(), QStringLiteral("株式会社テスト"));
}

void TestInvoicePosting::createInvoicesThroughTheWindow() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const QString db = TestSupport::makeContacts(runtime.path());
    TestSupport::startOn(runtime.path(), db);

    // The demo's chamber members billed by invoice, all but Quayside Fish Co.
    QbHostProcess host(
        {"Kevin Walsh|kevin@walsh.example", "Abbott & Sons Hardware|a@abbott.example",
         "Birchwood Bakery", "Bluebell Nursery", "Café Lumière", "Copperfield Joinery",
         "Driftwood Gallery", "Dunmore Legal LLP", "Evergreen Landscaping", "Fairview Dental",
         "Northgate Pharmacy", "Orchard Veterinary Clinic", "Westbrook Bistro"},
        ItemNames);
    host.setSocketPath(QbChannel::defaultSocketPath());
    QVERIFY(host.start());

    TestWindow w;
    w.cmbCompany->setCurrentIndex(0);
    w.cmbPayment->setCurrentIndex(1);
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(w.vsfgList->RowCount(), 16);
    w.btnSelectAll->click();
    w.chkEmail->setChecked(true);
    // The list was made for the chamber; a change of the list box does not bill it to the
    // foundation.
    w.cmbCompany->setCurrentIndex(1);

    TestSupport::MessageRecorder boxes(MessageBoxes::Yes);
    QVERIFY(createInvoices(w));
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("QB File Open"));
    QCOMPARE(boxes.boxes[0].style, int(MessageBoxes::YesNo));
    QVERIFY(boxes.boxes[0].text.contains(Chamber));
    QVERIFY(!QGuiApplication::overrideCursor());

    // Quayside Fish Co. (row 14) is not in the company file: the run stops there.
    for (int row = 1; row < 14; ++row)
        QCOMPARE(w.vsfgList->CellText(row, GridColumns::Result), QStringLiteral("Successful"));
    QVERIFY(
        w.vsfgList->CellText(14, GridColumns::Result).startsWith(QStringLiteral("Error 3140:")));
    QCOMPARE(w.vsfgList->CellText(15, GridColumns::Result), QString());
    // The window says how the run ended, in red: where it stopped, why, and what is left.
    // Its room shows what fits, shortened after a word; the whole is its line, its tooltip and
    // what a screen reader reads.
    auto* ended = w.findChild<RunLine*>(QStringLiteral("lblRunEnded"));
    QCOMPARE(ended->line(),
             "Stopped at Quayside Fish Co.: " + w.vsfgList->CellText(14, GridColumns::Result) +
                 " 13 made before it; 1 checked row not reached.");
    QVERIFY(ended->line().startsWith(ended->text().chopped(3)));
    QVERIFY(ended->palette().color(QPalette::WindowText).red() > 100);
    QCOMPARE(ended->accessibleName(), ended->line());
    // F2 (or Enter) on the row opens its whole "Result", read-only, ready to copy.
    w.vsfgList->setCurrentIndex(w.vsfgList->model()->index(13, GridColumns::Company));
    QTest::keyClick(w.vsfgList, Qt::Key_F2);
    auto* box = w.findChild<QDialog*>(QStringLiteral("resultBox"));
    QVERIFY(box && box->isVisible());
    auto* whole = box->findChild<QPlainTextEdit*>();
    QCOMPARE(whole->toPlainText(), w.vsfgList->CellText(14, GridColumns::Result));
    QVERIFY(whole->isReadOnly());
    QCOMPARE(whole->textCursor().selectedText(), whole->toPlainText());
    box->close();
    const QList<QJsonObject> invoices = host.invoices();
    QCOMPARE(invoices.size(), 13);
    QCOMPARE(lineOf(invoices[0]).value("item").toString(), QStringLiteral("Membership Dues"));
    QVERIFY(lineOf(invoices[0]).value("desc").toString().startsWith(Chamber));
    QCOMPARE(invoices[0].value("is_to_be_emailed").toBool(), true);  // Kevin Walsh
    QCOMPARE(invoices[3].value("is_to_be_emailed").toBool(), false); // Birchwood Bakery

    // A second run adds nothing for the rows already billed.
    QVERIFY(createInvoices(w));
    QCOMPARE(host.invoices().size(), 13);
    Module1::database().close();
    qunsetenv("XDG_RUNTIME_DIR");
}

// Answers that make no sense stop the row with an error, and no invoice is asked for.
void TestInvoicePosting::oddAnswersNeverAddAnInvoice_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("lostBefore");
    QTest::addColumn<qint32>("number");
    const QByteArray envelope = "<?xml version=\"1.0\"?><?qbxml version=\"3.0\"?><QBXML>";
    QTest::newRow("status check without the stored requests")
        << envelope + "<QBXMLMsgsRs messageSetStatusCode=\"0\"/></QBXML>" << true
        << QbError::BadAnswer;
    QTest::newRow("status check: other requests under the ID")
        << envelope + "<QBXMLMsgsRs messageSetStatusCode=\"9001\"/></QBXML>" << true
        << MessageSetStatus::OtherContent;
    QTest::newRow("status check: answer not stored")
        << envelope + "<QBXMLMsgsRs messageSetStatusCode=\"9005\"/></QBXML>" << true
        << MessageSetStatus::NotStored;
    QTest::newRow("query answer that does not parse")
        << envelope + "<QBXMLMsgsRs><InvoiceQueryRs statusCode=" << false << QbError::BadAnswer;
    QTest::newRow("query refused by the processor")
        << QByteArray("<ProcessorError code=\"-2147220480\" message=\"x\"/>") << false
        << QbError::ParseError;
}

void TestInvoicePosting::oddAnswersNeverAddAnInvoice() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, lostBefore);
    QFETCH(qint32, number);
    RequestRecorder recorder(answer);
    recorder.startListening();
    RequestProcessor processor(recorder.path());
    SyncInvoice invoice(processor);
    SyncCustomer customer(processor);
    SyncLease lease(processor);
    fill(*m_grid, {{"True", "Birchwood Bakery", "B", "250", "06/15/2018", "Quarterly", "3/1/2027",
                    "3/15/2027", ""}});
    if (lostBefore)
        m_journal.setUnanswered(1, {PostingJournal::newMessageSetId(),
                                    PostingJournal::Unanswered::Add, QString(), false, QString()});
    Host host;
    PostingFixture::runToEnd(host, *m_grid, processor, invoice, customer, lease, Items, m_journal);
    recorder.wait(10000);
    const QString result = resultOf(*m_grid, 1);
    QVERIFY2(result.startsWith(QStringLiteral("Error %1: ").arg(number)), qPrintable(result));
    for (const QByteArray& request : recorder.requests)
        QVERIFY2(!request.contains("<InvoiceAddRq"), request.constData());
}

namespace {
// A window whose list holds one checked row for each of the given members.
void fillWindow(TestWindow& w, const QStringList& members) {
    BillingGrid& grid = *w.vsfgList;
    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
    for (const QString& member : members)
        grid.AppendRow(QStringList{"True", member, "C", "250", "1000", "06/15/2018", "Quarterly",
                                   "3/1/2027", "3/15/2027"}
                           .join(u'\t'));
    grid.SetFixedRows(1);
    grid.Repaint(); // as a fill ends: the rows are in the view
}
} // namespace

void TestInvoicePosting::progressStopAndClose_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("underWay"); // pressed once the batch's adds went, or during its check
    QTest::newRow("Stop after this invoice, during the check") << "button" << false;
    QTest::newRow("Stop after this invoice, the adds under way") << "button" << true;
    QTest::newRow("Escape, the adds under way") << "escape" << true;
    QTest::newRow("the window's close box twice, during the check") << "close" << false;
    QTest::newRow("the window's close box twice, the adds under way") << "close" << true;
}

// The dialog counts the invoices as the rows fill in order, one then a batch of four. Stop,
// Escape or a close while the second batch's invoices are checked send no adds; once its adds
// are under way, they leave the dialog up, saying what is under way with its button disabled,
// until the batch has its results. Nothing after it is billed, and the next run adds the rest.
void TestInvoicePosting::progressStopAndClose() {
    QFETCH(QString, how);
    QFETCH(bool, underWay);
    QStringList members;
    for (int i = 1; i <= 8; ++i)
        members << QStringLiteral("Member %1").arg(i, 2, 10, QLatin1Char('0'));
    // A runtime folder of the test's own: the window talks to the host on the default socket.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
    // The window bills the items config.txt names, whichever test ran before.
    TestSupport::startOn(runtime.path(), TestSupport::makeContacts(runtime.path()));
    QbHostProcess host(members, ItemNames);
    host.setSocketPath(QbChannel::defaultSocketPath());
    QVERIFY(host.start({"--latency", "300"}));
    TestWindow w;
    fillWindow(w, members);
    w.show();
    TestSupport::MessageRecorder boxes(MessageBoxes::Yes);

    // At each result written: the dialog's text, and whether every row above has its result.
    QStringList labels, whileWaiting;
    bool inOrder = true;
    const auto press = [&](RunProgress* dialog) {
        if (how == u"button")
            dialog->findChild<QPushButton*>()->click();
        else if (how == u"escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        for (int i = 0; how == u"close" && i < 2; ++i) {
            QCloseEvent close; // as the window manager's close reaches the window
            QCoreApplication::sendEvent(w.windowHandle(), &close);
        }
        whileWaiting << dialog->labelText()
                     << QString::number(dialog->isVisible() &&
                                        !dialog->findChild<QPushButton*>()->isEnabled())
                     << QString::number(host.invoices().size());
    };
    connect(w.vsfgList->model(), &QAbstractItemModel::dataChanged, this,
            [&](const QModelIndex& from, const QModelIndex& to) {
                const int row = from.row() + 1;
                if (from.column() > GridColumns::Result || to.column() < GridColumns::Result ||
                    resultOf(*w.vsfgList, row).isEmpty())
                    return;
                auto* dialog = w.findChild<RunProgress*>(QStringLiteral("progress"));
                labels << (dialog ? dialog->labelText() : QString());
                for (int above = 1; above < row; ++above)
                    inOrder = inOrder && !resultOf(*w.vsfgList, above).isEmpty();
                if (row != 1 || !dialog)
                    return;
                if (underWay) {
                    connect(w.findChild<PostingRun*>(), &PostingRun::underWay, dialog,
                            [&, dialog](const QStringList& customers) {
                                if (!customers.isEmpty())
                                    press(dialog);
                            });
                    return;
                }
                // The next batch's check is asked for now, and takes 300 ms.
                QTimer::singleShot(120, dialog, [&, dialog] { press(dialog); });
            });
    QVERIFY(createInvoices(w));

    const QStringList batch = underWay ? members.mid(1, 4) : QStringList();
    QCOMPARE(labels.value(0), QStringLiteral("Creating invoice 1 of 8: Member 01"));
    QCOMPARE(whileWaiting, (QStringList{how == u"close" ? RunProgress::closingText(batch)
                                                        : RunProgress::stoppingText(batch),
                                        "1", "1"}));
    QCOMPARE(RunProgress::stoppingText(members.mid(1, 4)),
             "Stopping after the 4 invoices under way: Member 02, Member 03, Member 04, "
             "Member 05...");
    QCOMPARE(RunProgress::closingText({}), "Closing: no invoice is under way.");
    QVERIFY(inOrder);
    const int made = underWay ? 5 : 1;
    QCOMPARE(host.invoices().size(), made);
    QCOMPARE(resultOf(*w.vsfgList, made), QStringLiteral("Successful"));
    QCOMPARE(resultOf(*w.vsfgList, made + 1), QString());
    QVERIFY(!w.findChild<RunProgress*>());
    QCOMPARE(w.isVisible(), how != u"close");
    auto* ended = w.findChild<RunLine*>(QStringLiteral("lblRunEnded"));
    QCOMPARE(ended->line(), underWay ? "Stopped as asked: 5 invoices made; 3 checked rows not "
                                       "reached."
                                     : "Stopped as asked: 1 invoice made; 7 checked rows not "
                                       "reached.");

    QVERIFY(createInvoices(w));
    QCOMPARE(host.invoices().size(), members.size());
    QCOMPARE(ended->line(), QStringLiteral("%1 invoices made.").arg(members.size() - made));
    QVERIFY(ended->palette().color(QPalette::WindowText).red() < 100);
}

// A long name is shortened in the middle: the dialog is never wider than its window.
void TestInvoicePosting::progressFitsTheWindow_data() {
    QTest::addColumn<QPoint>("at"); // where the window stands, as a share of the screen's room
    QTest::newRow("the screen's middle") << QPoint(50, 50);
    QTest::newRow("against the right edge") << QPoint(100, 50);
    QTest::newRow("against the bottom left corner") << QPoint(0, 100);
}

// The dialog keeps its width whatever its text, a long name wrapped or shortened in the middle,
// and stays centred on its window, moved inside the screen near an edge: Stop is always in view.
void TestInvoicePosting::progressFitsTheWindow() {
    QFETCH(QPoint, at);
    TestWindow w;
    const QRect room = w.screen()->availableGeometry();
    // The window's opening size, on a screen that may be smaller (the tests' own).
    w.resize(qMin(934, room.width() - 40), qMin(555, room.height() - 60));
    w.show();
    w.move(room.left() + (room.width() - w.frameGeometry().width()) * at.x() / 100,
           room.top() + (room.height() - w.frameGeometry().height()) * at.y() / 100);
    RunProgress dialog(&w);
    dialog.setProgress(0, 1, {QStringLiteral("Abbott")});
    dialog.show();
    const int width = dialog.width();
    const QString name = QStringLiteral("Harbour ") + QString(240, u'x') + QStringLiteral(" Inn");
    QStringList batch;
    for (int i = 0; i < 25; ++i)
        batch << QStringLiteral("Member with a long company name %1").arg(i);
    for (const QStringList& customers : {QStringList{name}, batch}) {
        dialog.setProgress(1, 30, customers);
        QCoreApplication::processEvents(); // the layout's own resizing
        QCOMPARE(dialog.width(), width);
        QVERIFY(width <= w.width());
        QVERIFY2(qAbs(dialog.frameGeometry().center().x() - w.frameGeometry().center().x()) <= 1 ||
                     !room.contains(w.frameGeometry()),
                 "centred on the window");
        QVERIFY2(room.contains(dialog.frameGeometry()), "inside the screen");
        QPushButton* stop = dialog.findChild<QPushButton*>();
        QVERIFY(stop->isVisible());
        QVERIFY(room.contains(QRect(stop->mapToGlobal(QPoint()), stop->size())));
    }
    QVERIFY(dialog.labelText().endsWith("Member with a long company name 24"));
    QVERIFY(dialog.findChild<QLabel*>()->text().contains(QStringLiteral("…")));
}

// With QuickBooks silent, the window goes on handling its events until the answer time-out.
void TestInvoicePosting::windowLivesWhileQuickBooksIsSilent() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
    QbHostProcess host(Customers, ItemNames);
    host.setSocketPath(QbChannel::defaultSocketPath());
    QVERIFY(host.start({"--fault", "mute@1:CompanyQuery"})); // silent from the first request
    TestWindow::Setup impatient = TestWindow::setup();
    impatient.answerTimeoutMs = 1500;
    TestWindow w(impatient);
    // A long name: the columns are wider than the list. Above it, an unchecked row with an
    // older error, selected by the clerk.
    fillWindow(w, {QStringLiteral("Abbott & Sons Hardware"),
                   QStringLiteral("Birchwood Bakery and Tea Rooms of the Old Harbour Road, "
                                  "Kestlemere, by Appointment to the Chamber")});
    w.vsfgList->SetCellText(1, GridColumns::Send, QStringLiteral("False"));
    w.vsfgList->SetCellText(1, GridColumns::Result, QStringLiteral("Error 3140: an older one"));
    w.show();
    w.vsfgList->FitColumns(0, GridColumns::Count - 1);
    w.vsfgList->selectLines({0});
    TestSupport::MessageRecorder boxes(MessageBoxes::Yes);
    int paints = 0;
    struct PaintCounter : QObject {
        int& count;
        explicit PaintCounter(int& c)
            : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override {
            count += event->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    bool timerFired = false;
    QString asking;
    QTimer::singleShot(700, [&] {
        timerFired = true;
        // The run's dialog is up from its first request, QuickBooks silent as it is.
        if (auto* dialog = w.findChild<RunProgress*>(QStringLiteral("progress")))
            asking = dialog->isVisible() ? dialog->labelText() : QString();
        paints = 0; // paints from here on happen during the wait
        w.update();
        qApp->installEventFilter(&counter);
        // Clicks that reach the window during the run change nothing.
        w.btnRefresh->click();
        w.btnSelectNone->click();
        w.btnCreateInvoices->click();
    });
    QVERIFY(createInvoices(w));
    qApp->removeEventFilter(&counter);
    QVERIFY(timerFired);
    QCOMPARE(asking, QStringLiteral("Asking QuickBooks about the row to bill..."));
    QVERIFY(paints > 0);
    QVERIFY(resultOf(*w.vsfgList, 2).startsWith(QStringLiteral("Error -2147217630: ")));
    QCOMPARE(w.vsfgList->CellText(2, GridColumns::Send), QStringLiteral("True"));
    // This run's error row is in view from the left, its company and contact showing; its
    // "Result" cell's tooltip holds the whole text. The clerk's selection stays.
    const QModelIndex company = w.vsfgList->model()->index(1, GridColumns::Company);
    QVERIFY(w.vsfgList->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(w.vsfgList->horizontalScrollBar()->value(), 0);
    QVERIFY(w.vsfgList->viewport()->rect().contains(w.vsfgList->visualRect(company).topLeft()));
    QCOMPARE(w.vsfgList->model()->index(1, GridColumns::Result).data(Qt::ToolTipRole).toString(),
             resultOf(*w.vsfgList, 2));
    QCOMPARE(w.vsfgList->selectedLines(), QList<int>{0});
    QCOMPARE(w.focusWidget(), w.btnCreateInvoices);
}

QTEST_MAIN(TestInvoicePosting)
#include "tst_invoice_posting.moc"
