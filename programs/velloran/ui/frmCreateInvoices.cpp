#include "ui/frmCreateInvoices.h"

#include "app/FailureReport.h"
#include "app/MessageBoxes.h"
#include "billing/ListCounts.h"
#include "billing/LoadBillingList.h"
#include "billing/Organisation.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "ui/ContactFill.h"
#include "ui/DatePicker.h"
#include "ui/GeneralDate.h"
#include "ui/InvoiceRun.h"
#include "ui/ResizeRule.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// Twips between the list and the row of buttons the window was drawn with, and between the
// list and the passed-over line.
constexpr int ListToButtons = 105;
constexpr int LineGap = 60;
} // namespace

frmCreateInvoices::frmCreateInvoices(Setup setup, QWidget* parent)
    : QWidget(parent)
    , m_setup(std::move(setup))
    , m_lease(m_setup.clock) {
    setObjectName(QStringLiteral("frmCreateInvoices"));
    setWindowTitle(QStringLiteral("Velloran " VELLORAN_VERSION));
    setWindowIcon(QIcon(QStringLiteral(":/velloran.xpm")));
    createControls();
    m_processor.setAnswerTimeoutMs(m_setup.answerTimeoutMs);
    vsfgList->setPrintFile(m_setup.printFile);
    m_run = std::make_unique<InvoiceRun>(InvoiceRun::FromWindow{
        this, vsfgList, chkEmail, &m_processor, &Invoice1, &Customer1, &m_lease, &m_journal,
        m_setup.items, m_setup.messages, [this] { return listOrganisation(); },
        [this](bool enabled) { setControlsEnabled(enabled); },
        [this](const RunSummary& summary, bool closeNow) {
            if (!summary.text.isEmpty())
                showRunEnded(summary);
            btnCreateInvoices->setFocus();
            if (closeNow)
                close();
        }});
    m_fill = std::make_unique<ContactFill>(this, vsfgList, &m_setup.database,
                                           [this](const QString&, const PassedOver& passedOver) {
                                               m_passedOver = passedOver;
                                               lblPassedOver->setLine(m_passedOver.line());
                                               // A new list: the last run's line spoke of the one
                                               // before.
                                               lblRunEnded->setLine(QString());
                                               layOutControls();
                                           });
    resize(Twips::toPixels(14010, this), Twips::toPixels(8325, this));
    setInitialChoices();
}

frmCreateInvoices::~frmCreateInvoices() = default;

void frmCreateInvoices::place(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(Twips::toPixels(left, this), Twips::toPixels(top, this),
                         Twips::toPixels(width, this), Twips::toPixels(height, this));
}

void frmCreateInvoices::createControls() {
    auto named = [](auto* control, const char* name) {
        control->setObjectName(QLatin1String(name));
        return control;
    };
    auto button = [&](const char* name, const QString& caption) {
        return named(new QPushButton(caption, this), name);
    };
    auto dateEdit = [&](const char* name) { return named(new DatePicker(this), name); };

    dtStartDate = dateEdit("dtStartDate");
    dtEndDate = dateEdit("dtEndDate");
    cmbCompany = named(new QComboBox(this), "cmbCompany");
    cmbPayment = named(new QComboBox(this), "cmbPayment");
    btnRefresh = button("btnRefresh", QStringLiteral("Refresh"));
    vsfgList = named(new BillingGrid(this), "vsfgList");
    btnPrint = button("btnPrint", QStringLiteral("Print"));
    btnSelectNone = button("btnSelectNone", QStringLiteral("Select None"));
    btnSelectAll = button("btnSelectAll", QStringLiteral("Select All"));
    btnCreateInvoices = button("btnCreateInvoices", QStringLiteral("Create Invoices"));
    btnExit = button("btnExit", QStringLiteral("Exit"));
    Label1 = named(new QLabel(QStringLiteral("Company"), this), "Label1");
    Label3 = named(new QLabel(QStringLiteral("Start Date"), this), "Label3");
    Label4 = named(new QLabel(QStringLiteral("End Date"), this), "Label4");
    Label2 = named(new QLabel(QStringLiteral("Payment"), this), "Label2");
    chkEmail = named(new QCheckBox(QStringLiteral("Mark To Email"), this), "chkEmail");
    lblPassedOver = named(new LinkLine(this), "lblPassedOver");
    vsfgList->installEventFilter(this);
    lblCounts = named(new QLabel(this), "lblCounts");
    lblCounts->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCounts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Counted once after a change, however many rows it touched (a fill appends thousands).
    auto* recount = new QTimer(this);
    recount->setSingleShot(true);
    recount->setInterval(0);
    connect(recount, &QTimer::timeout, this, [this] {
        const QString text = ListCounts::of(*vsfgList).text();
        lblCounts->setText(text);
        lblCounts->setAccessibleName(text);
    });
    QAbstractItemModel* model = vsfgList->model();
    const auto start = qOverload<>(&QTimer::start);
    connect(model, &QAbstractItemModel::dataChanged, recount, start);
    connect(model, &QAbstractItemModel::rowsInserted, recount, start);
    connect(model, &QAbstractItemModel::rowsRemoved, recount, start);
    connect(model, &QAbstractItemModel::modelReset, recount, start);
    lblRunEnded = named(new RunLine(this), "lblRunEnded");
    // The whole of how the run ended, however short its room: one click away.
    connect(lblRunEnded, &RunLine::clicked, this, [this] {
        showText(QStringLiteral("runEndedBox"), QStringLiteral("How the last run ended"),
                 lblRunEnded->line());
    });
    // Clicked, not tabbed to: the window's Tab order is the clerks' instructions' order.
    connect(lblPassedOver, &LinkLine::clicked, this, [this] {
        if (!m_passedOver.isEmpty())
            m_setup.messages(m_passedOver.details(), QStringLiteral("Not Listed"),
                             MessageBoxes::OkOnly);
    });
    // The line is clicked, never tabbed to; from the keyboard Alt+N opens the same box.
    auto* notListed = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_N), this);
    connect(notListed, &QShortcut::activated, lblPassedOver, &LinkLine::clicked);

    // Where each control stands, in twips (left, top, width, height), as the window was drawn.
    const struct {
        QWidget* control;
        int left, top, width, height;
    } layout[] = {
        {dtStartDate, 1320, 120, 1695, 375},   {dtEndDate, 4080, 120, 1695, 375},
        {cmbCompany, 1320, 600, 4455, 315},    {cmbPayment, 1320, 960, 4455, 315},
        {btnRefresh, 6000, 120, 1335, 375},    {vsfgList, 120, 1440, 13815, 6375},
        {btnPrint, 5640, 7920, 1575, 375},     {btnSelectNone, 7320, 7920, 1575, 375},
        {btnSelectAll, 9000, 7920, 1575, 375}, {btnCreateInvoices, 10680, 7920, 1575, 375},
        {btnExit, 12360, 7920, 1575, 375},     {Label1, 120, 600, 1095, 255},
        {Label3, 120, 120, 1095, 255},         {Label4, 3120, 120, 855, 255},
        {Label2, 120, 960, 1095, 255},         {chkEmail, 7560, 240, 1575, 255},
    };
    for (const auto& at : layout)
        place(at.control, at.left, at.top, at.width, at.height);

    // The focus runs through the controls in this order and back to the start; the labels
    // never take it. Buttons take it from the keyboard too, so Space presses them.
    const QList<QWidget*> order{dtStartDate,  dtEndDate,         cmbCompany, cmbPayment,
                                btnRefresh,   vsfgList,          btnPrint,   btnSelectNone,
                                btnSelectAll, btnCreateInvoices, btnExit,    chkEmail};
    for (QWidget* control : order)
        control->setFocusPolicy(Qt::StrongFocus);
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    dtStartDate->setFocus();
    // Screen readers name each box by its label.
    Label1->setBuddy(cmbCompany);
    Label3->setBuddy(dtStartDate);
    Label4->setBuddy(dtEndDate);
    Label2->setBuddy(cmbPayment);

    // Each command reports its own failures, so none unwinds through the event delivery.
    // While an invoice run waits for QuickBooks the window still handles events; a click that
    // reaches a button then (the dialog closed by Escape, a click queued before it opened)
    // does nothing, so that no list is refilled or printed under a run.
    const auto command = [this](QPushButton* clicked, void (frmCreateInvoices::*handler)()) {
        connect(clicked, &QPushButton::clicked, this, FailureReport::reporting([this, handler] {
                    if ((!m_run->running() && !m_fill->running()) ||
                        handler == &frmCreateInvoices::btnExit_Click)
                        (this->*handler)();
                }));
    };
    command(btnRefresh, &frmCreateInvoices::btnRefresh_Click);
    command(btnSelectAll, &frmCreateInvoices::btnSelectAll_Click);
    command(btnSelectNone, &frmCreateInvoices::btnSelectNone_Click);
    command(btnPrint, &frmCreateInvoices::btnPrint_Click);
    // Printed to a file, the clerk is told which: the list is not lost in a folder.
    connect(vsfgList, &BillingGrid::printedToFile, this, [this](const QString& path) {
        m_setup.messages(QStringLiteral("The list was printed to the file %1.")
                             .arg(QDir::toNativeSeparators(path)),
                         QStringLiteral("Print"), MessageBoxes::OkOnly);
    });
    command(btnExit, &frmCreateInvoices::btnExit_Click);
    command(btnCreateInvoices, &frmCreateInvoices::btnCreateInvoices_Click);
    connect(vsfgList, &BillingGrid::CellEditRequested, this,
            &frmCreateInvoices::vsfgList_CellEditRequested);
}

void frmCreateInvoices::setInitialChoices() {
    vsfgList->SetRowCount(0);
    for (const Organisation organisation : Organisations::All)
        cmbCompany->addItem(Organisations::name(organisation));
    cmbPayment->addItem(QStringLiteral("Electronic Withdrawal"));
    cmbPayment->addItem(QStringLiteral("Invoice"));
    cmbCompany->setCurrentIndex(-1);
    cmbPayment->setCurrentIndex(-1);

    const QDate today = m_setup.clock.today();
    const QDate nextMonth = today.addMonths(1);
    const QDate monthAfter = today.addMonths(2);
    dtStartDate->setDate(QDate(nextMonth.year(), nextMonth.month(), 1));
    dtEndDate->setDate(QDate(monthAfter.year(), monthAfter.month(), 1).addDays(-1));
}

void frmCreateInvoices::layOutControls() {
    if (isMinimized())
        return;
    const QSize outer = isVisible() ? frameGeometry().size() : size();
    const auto p = ResizeRule::compute(Twips::fromPixels(outer.width(), this),
                                       Twips::fromPixels(outer.height(), this));
    // The rule allows for the frame of the earlier version's windows; a window manager's
    // thicker frame would put the list's right and bottom edges outside the window, so the
    // list keeps its left margin on the right and its gap above the buttons. A window too
    // small for the list leaves it as it was (the rule's own case).
    QSize grid = vsfgList->size();
    if (p.gridWidth)
        grid.setWidth(
            qMax(0, qMin(Twips::toPixels(*p.gridWidth, this), width() - 2 * vsfgList->x())));
    if (p.gridHeight)
        grid.setHeight(
            qMax(0, qMin(Twips::toPixels(*p.gridHeight, this),
                         Twips::toPixels(p.buttonTop - ListToButtons, this) - vsfgList->y())));
    vsfgList->resize(grid);
    QPushButton* const buttons[ResizeRule::ButtonCount] = {btnExit, btnCreateInvoices, btnSelectAll,
                                                           btnSelectNone, btnPrint};
    for (int b = 0; b < ResizeRule::ButtonCount; ++b)
        buttons[b]->move(Twips::toPixels(p.buttonLeft[b], this),
                         Twips::toPixels(p.buttonTop, this));
    // The counts fill the top row right of "Mark To Email", up to the list's right edge.
    const int countsLeft = chkEmail->geometry().right() + Twips::toPixels(LineGap, this);
    lblCounts->setGeometry(countsLeft, chkEmail->y(),
                           qMax(0, vsfgList->geometry().right() - countsLeft), chkEmail->height());
    // The run's line and the passed-over line share what lies under the list and left of the
    // buttons: the run's first, as high as its text needs (three lines at most). A window too
    // narrow for them there has them under the buttons, the whole list's width: shortened,
    // never dropped.
    const int gap = Twips::toPixels(LineGap, this);
    const int line = lblRunEnded->fontMetrics().lineSpacing();
    int top = vsfgList->geometry().bottom() + gap;
    int room = qMax(0, btnPrint->x() - gap - vsfgList->x());
    if (room < 12 * line) {
        top = btnPrint->geometry().bottom() + gap;
        room = vsfgList->width();
    }
    // Three lines at most, and one always left for the passed-over line below it when there is
    // one.
    const int passedOver = lblPassedOver->line().isEmpty() ? 0 : line;
    const int runRoom = qMax(line, qMin(3 * line, height() - top - passedOver) / line * line);
    const int runHeight =
        lblRunEnded->line().isEmpty() ? 0 : qMin(lblRunEnded->wholeHeight(room), runRoom);
    lblRunEnded->setGeometry(vsfgList->x(), top, room, runHeight);
    top += runHeight;
    lblPassedOver->setGeometry(vsfgList->x(), top, room, qMax(line, height() - top));
}

bool frmCreateInvoices::eventFilter(QObject* watched, QEvent* event) {
    if (watched == vsfgList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) &&
            vsfgList->currentLine() >= 0) {
            showResult(vsfgList->currentLine());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmCreateInvoices::showResult(int line) {
    showText(QStringLiteral("resultBox"),
             QStringLiteral("Result: %1").arg(vsfgList->line(line).customer()),
             vsfgList->line(line).result);
}

void frmCreateInvoices::showText(const QString& objectName, const QString& title,
                                 const QString& whole) {
    auto* box = new QDialog(this);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(title);
    auto* text = new QPlainTextEdit(whole, box);
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, box);
    connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(text);
    layout->addWidget(buttons);
    box->resize(Twips::toPixels(7200, this), Twips::toPixels(2400, this));
    text->selectAll(); // Ctrl+C copies it at once
    box->open();
}

void frmCreateInvoices::showRunEnded(const RunSummary& summary) {
    lblRunEnded->setLine(summary.text);
    QPalette palette = lblRunEnded->palette();
    palette.setColor(QPalette::WindowText, summary.failed
                                               ? QColor(Qt::red).darker(130)
                                               : this->palette().color(QPalette::WindowText));
    lblRunEnded->setPalette(palette);
    layOutControls();
}

void frmCreateInvoices::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOutControls();
}

void frmCreateInvoices::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    layOutControls();
}

// The window system may report the frame only after the first show; the layout then follows.
void frmCreateInvoices::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    layOutControls();
}

void frmCreateInvoices::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        layOutControls();
}

QString frmCreateInvoices::organisation() const {
    return cmbCompany->currentText();
}

QString frmCreateInvoices::billingMethod() const {
    return cmbPayment->currentText();
}

QDate frmCreateInvoices::startDate() const {
    return dtStartDate->date();
}

QDate frmCreateInvoices::endDate() const {
    return dtEndDate->date();
}

QString frmCreateInvoices::listOrganisation() const {
    const QString filled = vsfgList->facts().organisation;
    return filled.isEmpty() ? cmbCompany->currentText() : filled;
}

void frmCreateInvoices::setControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             dtStartDate, dtEndDate, cmbCompany, cmbPayment, btnRefresh, vsfgList, btnPrint,
             btnSelectNone, btnSelectAll, btnCreateInvoices, chkEmail})
        control->setEnabled(enabled);
}

void frmCreateInvoices::btnCreateInvoices_Click() {
    m_run->run();
}

// A close during a run waits for the invoice in flight (see InvoiceRun).
void frmCreateInvoices::closeEvent(QCloseEvent* event) {
    if (m_run->running()) {
        event->ignore();
        m_run->closeAfterThisInvoice();
        return;
    }
    QWidget::closeEvent(event);
}

void frmCreateInvoices::btnRefresh_Click() {
    // A date typed that is no date is never filled for as the last date the box held.
    for (const auto& [picker, which] : {std::pair{dtStartDate, QStringLiteral("start")},
                                        std::pair{dtEndDate, QStringLiteral("end")}}) {
        if (!picker->holdsDate()) {
            m_setup.messages(QStringLiteral("Please enter a valid %1 date").arg(which),
                             QStringLiteral("Invalid Dates"), MessageBoxes::OkOnly);
            picker->setFocus();
            return;
        }
    }
    if (dtStartDate->date().month() != dtEndDate->date().month()) {
        m_setup.messages(QStringLiteral("Start Date and End Date must be in the same month."),
                         QStringLiteral("Invalid Dates"), MessageBoxes::OkOnly);
        return;
    }
    if (cmbCompany->currentText().isEmpty()) {
        m_setup.messages(QStringLiteral("You must select a company."),
                         QStringLiteral("No Company Selected"), MessageBoxes::OkOnly);
        return;
    }
    if (cmbPayment->currentText().isEmpty()) {
        m_setup.messages(QStringLiteral("You must select a Payment."),
                         QStringLiteral("No Payment Selected"), MessageBoxes::OkOnly);
        return;
    }
    m_journal.clear();
    m_fill->start(*this);
}

void frmCreateInvoices::setSendCells(bool checked) {
    for (int line = 0; line < vsfgList->lineCount(); ++line)
        vsfgList->setSend(line, checked);
}

void frmCreateInvoices::btnSelectAll_Click() {
    setSendCells(true);
}

void frmCreateInvoices::btnSelectNone_Click() {
    setSendCells(false);
}

void frmCreateInvoices::btnPrint_Click() {
    // The list's organisation: the one its invoices go to.
    const QString title =
        listOrganisation() + QStringLiteral(" - ") + GeneralDate::text(m_setup.clock.now());
    // Under the title: what the list was filled with, and what it bills; the controls may
    // have changed since.
    const ListFacts& facts = vsfgList->facts();
    const QString counts = ListCounts::of(*vsfgList).text();
    vsfgList->setPrintSubtitle(facts.billingMethod.isEmpty()
                                   ? counts
                                   : QStringLiteral("%1, %2 - %3: %4")
                                         .arg(facts.billingMethod,
                                              FixedForms::dateText(facts.start),
                                              FixedForms::dateText(facts.end), counts));
    vsfgList->PrintWithTitle(title, true, BillingGrid::Landscape, BillingGrid::HalfInch,
                             BillingGrid::HalfInch);
}

void frmCreateInvoices::btnExit_Click() {
    if (m_run->running()) { // the window closes once the invoice in flight has its result
        close();
        return;
    }
    m_setup.endProgram();
}

void frmCreateInvoices::vsfgList_CellEditRequested(int row, int column, bool& cancel) {
    Q_UNUSED(row);
    if (column != GridColumns::Send)
        cancel = true;
}
