// The main window driven as a clerk would: its controls and places, the resize rule, the
// defaults at load, Refresh and its refusals, Select All / None, the edit rule, Print and Exit.

#include "TestSupport.h"

#include "TestWindow.h"
#include "app/MessageBoxes.h"
#include "app/Module1.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/MoneyFormat.h"
#include "grid/BillingGrid.h"
#include "ui/ResizeRule.h"
#include "ui/RunLine.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QWheelEvent>

using TestSupport::MessageRecorder;

namespace {
const QString Chamber = QStringLiteral("Kestlemere Chamber of Commerce");
const QString Foundation = QStringLiteral("Viderizo Ruzerevurar Arovezeruv");

QRect inTwips(const QWidget* control) {
    const QWidget* w = control->window();
    const QRect g = control->geometry();
    return QRect(Twips::fromPixels(g.x(), w), Twips::fromPixels(g.y(), w),
                 Twips::fromPixels(g.width(), w), Twips::fromPixels(g.height(), w));
}

// Equal within one pixel's rounding.
bool near(int twips, int expected, const QWidget* w) {
    return qAbs(twips - expected) <= qCeil(Twips::perPixel(w));
}

QString pdfText(const QString& pdf) {
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    tool.waitForFinished(30000);
    // The printed text uses the font's ligatures; read them back as their letters.
    return QString::fromUtf8(tool.readAllStandardOutput())
        .replace(QChar(0xFB01), QLatin1String("fi"))
        .replace(QChar(0xFB02), QLatin1String("fl"));
}

// The named control that holds the keyboard focus (a date field's focus sits in its editor).
QString focusedControl(const QWidget* window) {
    for (QWidget* w = QApplication::focusWidget(); w && w != window; w = w->parentWidget())
        if (!w->objectName().isEmpty() && w->parentWidget() == window)
            return w->objectName();
    return QString();
}

void choose(TestWindow& w, const QString& company, const QString& payment) {
    w.cmbCompany->setCurrentIndex(w.cmbCompany->findText(company));
    w.cmbPayment->setCurrentIndex(w.cmbPayment->findText(payment));
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void controlsAtTheirPlaces();
    void everyControlHasAnAccessibleName();
    void datesTypedAsPeopleTypeThem_data();
    void datesTypedAsPeopleTypeThem();
    void datesEveryOtherWay_data();
    void datesEveryOtherWay();
    void resizeRuleArithmetic();
    void windowFollowsItsSize();
    void minimisedWindowMovesNothing();
    void tabOrderAndKeyboard();

    void defaultsAtLoad_data();
    void defaultsAtLoad();
    void refreshRefusalsInOrder();
    void refreshComparesMonthsOnly();
    void selectAllAndNone();
    void selectAllOnEmptyGridWritesNothing();
    void selectAllBeyondSixteenBitRows();
    void editRuleOnlySendColumn();
    void printTitleAndRows();
    void printWithoutOrganisation();
    void linesUnderTheListWhole_data();
    void linesUnderTheListWhole();
    void exitClosesConnectionAndEnds();

private:
    QTemporaryDir m_dir;
};

void TestMainWindow::initTestCase() {
    const QString db = TestSupport::makeContacts(m_dir.path());
    TestSupport::startOn(m_dir.path(), db);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestMainWindow::cleanup() {
    TestSupport::clock().reset();
    Module1::setEndAction({});
}

// What a screen reader says of each control: the boxes by their labels, and the grid's check
// cells by their state.
void TestMainWindow::everyControlHasAnAccessibleName() {
    TestWindow w;
    w.show();
    const QList<QPair<QWidget*, QString>> names{{w.dtStartDate, "Start Date"},
                                                {w.dtEndDate, "End Date"},
                                                {w.cmbCompany, "Company"},
                                                {w.cmbPayment, "Payment"},
                                                {w.btnRefresh, "Refresh"},
                                                {w.vsfgList, "Billing list"},
                                                {w.btnPrint, "Print"},
                                                {w.btnSelectNone, "Select None"},
                                                {w.btnSelectAll, "Select All"},
                                                {w.btnCreateInvoices, "Create Invoices"},
                                                {w.btnExit, "Exit"},
                                                {w.chkEmail, "Mark To Email"}};
    for (const auto& [control, name] : names) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
    }
    w.cmbCompany->setCurrentIndex(0);
    w.cmbPayment->setCurrentIndex(1);
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    w.vsfgList->SetCellText(2, GridColumns::Send, QStringLiteral("True"));
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(w.vsfgList)->tableInterface();
    QVERIFY(table);
    QVERIFY(!table->cellAt(0, GridColumns::Send)->state().checked);
    QVERIFY(table->cellAt(1, GridColumns::Send)->state().checked);
}

enum class Entry { Tab, ShiftTab, Click, ClickInDay, CtrlA };
Q_DECLARE_METATYPE(Entry)

namespace {
// The window shown and active, Start Date holding 1/1/2027; the date's text field.
QLineEdit* showWithStartDate(TestWindow& w) {
    w.show();
    QApplication::setActiveWindow(&w);
    w.dtStartDate->setDate(QDate(2027, 1, 1));
    return w.dtStartDate->findChild<QLineEdit*>();
}
} // namespace

void TestMainWindow::datesEveryOtherWay_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("shown"); // Start Date's text after it, 1/1/2027 before
    QTest::newRow("a click in the box that has the keyboard, then typing") << "focused click"
                                                                           << "3/1/2027";
    QTest::newRow("Ctrl+V of a date copied from a spreadsheet") << "ctrl+v"
                                                                << "3/1/2027";
    QTest::newRow("Shift+Insert, blanks around it") << "shift+insert"
                                                    << "3/1/2027";
    QTest::newRow("Paste from the box's menu") << "menu"
                                               << "3/1/2027";
    QTest::newRow("the wheel over a box without the keyboard") << "wheel away"
                                                               << "1/1/2027";
    QTest::newRow("the wheel over the year of the box with it") << "wheel year"
                                                                << "1/1/2028";
    QTest::newRow("F4") << "f4"
                        << "1/1/2027";
    QTest::newRow("Alt+Down") << "alt+down"
                              << "1/1/2027";
}

// The other ways a date reaches Start Date: a click into the box the window opened with, a
// pasted date, the wheel (only where the keyboard is, over the part under the pointer), and the
// calendar from the keyboard.
void TestMainWindow::datesEveryOtherWay() {
    QFETCH(QString, how);
    QFETCH(QString, shown);
    TestWindow w;
    QLineEdit* text = showWithStartDate(w);
    const QFontMetrics metrics(text->font());
    const QPoint inDay(metrics.horizontalAdvance(QStringLiteral("1/1")) + 1, text->height() / 2);
    const QPoint inYear(metrics.horizontalAdvance(QStringLiteral("1/1/20")), text->height() / 2);
    const auto wheelAt = [&](const QPoint& at) {
        QWheelEvent wheel(QPointF(at), QPointF(text->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w.dtStartDate, &wheel);
    };
    w.dtStartDate->setFocus(); // as the window opens
    if (how == u"focused click") {
        QTest::mouseClick(text, Qt::LeftButton, {}, inDay);
        QTest::keyClicks(QApplication::focusWidget(), "3/1/2027");
    } else if (how == u"ctrl+v" || how == u"shift+insert") {
        QGuiApplication::clipboard()->setText(how == u"ctrl+v" ? "3/1/2027\n" : "  3/1/2027\t");
        QTest::mouseClick(text, Qt::LeftButton, {}, inDay);
        if (how == u"ctrl+v")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert, Qt::ShiftModifier);
    } else if (how == u"menu") {
        QGuiApplication::clipboard()->setText(" 3/1/2027\r\n");
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            if (auto* paste = menu->findChild<QAction*>(QStringLiteral("paste")))
                paste->trigger();
            menu->close();
        });
        QContextMenuEvent menu(QContextMenuEvent::Mouse, inDay, text->mapToGlobal(inDay));
        QCoreApplication::sendEvent(w.dtStartDate, &menu);
    } else if (how == u"wheel away") {
        w.dtEndDate->setFocus();
        wheelAt(inYear);
    } else if (how == u"wheel year") {
        wheelAt(inYear);
    } else {
        QVERIFY(!w.dtStartDate->calendarWidget()->isVisible());
        QTest::keyClick(QApplication::focusWidget(), how == u"f4" ? Qt::Key_F4 : Qt::Key_Down,
                        how == u"f4" ? Qt::NoModifier : Qt::AltModifier);
        QTRY_VERIFY(w.dtStartDate->calendarWidget()->isVisible());
        w.dtStartDate->calendarWidget()->window()->close();
    }
    if (w.dtStartDate->hasFocus() || text->hasFocus())
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(text->text(), shown);
    QCOMPARE(w.dtStartDate->date().toString(QStringLiteral("M/d/yyyy")), shown);
}

void TestMainWindow::datesTypedAsPeopleTypeThem_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QString>("shown"); // the box's text once left; a date typed is held
    QTest::addColumn<bool>("held");
    QTest::newRow("tab 3/1/2027") << "3/1/2027" << Entry::Tab << "3/1/2027" << true;
    QTest::newRow("click 3/1/2027") << "3/1/2027" << Entry::Click << "3/1/2027" << true;
    QTest::newRow("click 03/01/2027") << "03/01/2027" << Entry::Click << "3/1/2027" << true;
    QTest::newRow("ctrl+a 12/31/2026") << "12/31/2026" << Entry::CtrlA << "12/31/2026" << true;
    QTest::newRow("shift+tab 11/5/2027") << "11/5/2027" << Entry::ShiftTab << "11/5/2027" << true;
    QTest::newRow("click in the day, 15") << "15" << Entry::ClickInDay << "1/15/2027" << true;
    QTest::newRow("a month 13") << "13/1/2027" << Entry::Click << "13/1/2027" << false;
    QTest::newRow("30 February") << "2/30/2027" << Entry::Tab << "2/30/2027" << false;
    QTest::newRow("1899") << "3/1/1899" << Entry::Click << "3/1/1899" << false;
    QTest::newRow("2201") << "3/1/2201" << Entry::Tab << "3/1/2201" << false;
    QTest::newRow("a year cut short") << "3/1/27" << Entry::Tab << "3/1/27" << false;
}

// Typed into Start Date however it was entered, a whole date lands there and Tab still leaves
// for End Date; a text that is no date stays as typed, marked, and Refresh fills nothing.
void TestMainWindow::datesTypedAsPeopleTypeThem() {
    QFETCH(QString, typed);
    QFETCH(Entry, entry);
    QFETCH(QString, shown);
    QFETCH(bool, held);
    TestWindow w;
    QLineEdit* text = showWithStartDate(w);
    const QDate end = w.dtEndDate->date();
    const QFontMetrics metrics(text->font());
    switch (entry) {
    case Entry::ShiftTab:
        w.cmbCompany->setFocus();
        QTest::keyClick(w.cmbCompany, Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        break;
    case Entry::Tab:
        w.chkEmail->setFocus();
        QTest::keyClick(w.chkEmail, Qt::Key_Tab);
        break;
    case Entry::Click: // just after the first "1" of "1/1/2027", as a person aims
    case Entry::ClickInDay:
        w.cmbCompany->setFocus();
        QTest::mouseClick(
            text, Qt::LeftButton, {},
            QPoint(metrics.horizontalAdvance(QStringLiteral("1")) + 3, text->height() / 2));
        if (entry == Entry::ClickInDay)
            QTest::mouseClick(
                text, Qt::LeftButton, {},
                QPoint(metrics.horizontalAdvance(QStringLiteral("1/1")) + 2, text->height() / 2));
        break;
    case Entry::CtrlA:
        w.dtStartDate->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        break;
    }
    QCOMPARE(focusedControl(&w), QStringLiteral("dtStartDate"));
    QTest::keyClicks(QApplication::focusWidget(), typed);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focusedControl(&w), QStringLiteral("dtEndDate"));
    QCOMPARE(text->text(), shown);
    QCOMPARE(w.dtStartDate->holdsDate(), held);
    QCOMPARE(w.dtStartDate->toolTip().isEmpty(), held);
    QCOMPARE(w.dtEndDate->date(), end);
    if (held) {
        QCOMPARE(w.dtStartDate->date().toString(QStringLiteral("M/d/yyyy")), shown);
        return;
    }
    MessageRecorder messages;
    choose(w, Chamber, QStringLiteral("Invoice"));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(messages.boxes.size(), 1);
    QCOMPARE(messages.boxes[0].text, QStringLiteral("Please enter a valid start date"));
    QCOMPARE(w.vsfgList->RowCount(), 0);
    QCOMPARE(text->text(), shown);
}

void TestMainWindow::controlsAtTheirPlaces() {
    TestWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Velloran " VELLORAN_VERSION));
    QVERIFY(near(Twips::fromPixels(w.width(), &w), 14010, &w));
    QVERIFY(near(Twips::fromPixels(w.height(), &w), 8325, &w));

    struct Place {
        QWidget* control;
        QRect twips;
        QString caption;
    };
    const QList<Place> table{
        {w.dtStartDate, {1320, 120, 1695, 375}, {}},
        {w.dtEndDate, {4080, 120, 1695, 375}, {}},
        {w.cmbCompany, {1320, 600, 4455, 315}, {}},
        {w.cmbPayment, {1320, 960, 4455, 315}, {}},
        {w.btnRefresh, {6000, 120, 1335, 375}, "Refresh"},
        {w.vsfgList, {120, 1440, 13815, 6375}, {}},
        {w.btnPrint, {5640, 7920, 1575, 375}, "Print"},
        {w.btnSelectNone, {7320, 7920, 1575, 375}, "Select None"},
        {w.btnSelectAll, {9000, 7920, 1575, 375}, "Select All"},
        {w.btnCreateInvoices, {10680, 7920, 1575, 375}, "Create Invoices"},
        {w.btnExit, {12360, 7920, 1575, 375}, "Exit"},
        {w.Label1, {120, 600, 1095, 255}, "Company"},
        {w.Label3, {120, 120, 1095, 255}, "Start Date"},
        {w.Label4, {3120, 120, 855, 255}, "End Date"},
        {w.Label2, {120, 960, 1095, 255}, "Payment"},
        {w.chkEmail, {7560, 240, 1575, 255}, "Mark To Email"},
    };
    // Before the window is first shown, every control stands at its own place.
    for (const Place& place : table) {
        const QRect got = inTwips(place.control);
        const QByteArray name = place.control->objectName().toUtf8();
        QVERIFY2(near(got.x(), place.twips.x(), &w) && near(got.y(), place.twips.y(), &w) &&
                     near(got.width(), place.twips.width(), &w) &&
                     near(got.height(), place.twips.height(), &w),
                 name.constData());
        if (auto* button = qobject_cast<QAbstractButton*>(place.control))
            QCOMPARE(button->text(), place.caption);
        if (auto* label = qobject_cast<QLabel*>(place.control)) {
            QCOMPARE(label->text(), place.caption);
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        }
    }
    QVERIFY(!w.cmbCompany->isEditable());
    QVERIFY(!w.cmbPayment->isEditable());
    QVERIFY(w.dtStartDate->calendarPopup());
    QCOMPARE(w.dtStartDate->displayFormat(), QStringLiteral("M/d/yyyy"));
    QVERIFY(!w.vsfgList->tabKeyNavigation());
    QVERIFY(w.vsfgList->font().pointSizeF() > 8.0 && w.vsfgList->font().pointSizeF() < 8.5);
}

void TestMainWindow::resizeRuleArithmetic() {
    using namespace ResizeRule;
    const Placement initial = compute(14130, 8835);
    QCOMPARE(initial.gridWidth, std::optional<int>(13830));
    QCOMPARE(initial.gridHeight, std::optional<int>(6335));
    QCOMPARE(initial.buttonTop, 7920);
    QCOMPARE(initial.buttonLeft, (std::array<int, ButtonCount>{12390, 10710, 9030, 7350, 5670}));

    const Placement low = compute(14130, 2500);
    QVERIFY(!low.gridHeight);
    QCOMPARE(low.gridWidth, std::optional<int>(13830));
    QCOMPARE(low.buttonTop, 1585);
    QVERIFY(compute(14130, 2501).gridHeight);

    const Placement narrow = compute(300, 8835);
    QVERIFY(!narrow.gridWidth);
    QVERIFY(compute(301, 8835).gridWidth);

    const Placement tight = compute(1739, 8835);
    QCOMPARE(tight.buttonLeft[Exit], -1);
    QCOMPARE(tight.buttonLeft[Print], -1 - 4 * 1680);
}

void TestMainWindow::windowFollowsItsSize() {
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The rule works on the outer size, frame included.
    const QSize frame = w.frameGeometry().size() - w.size();
    const auto resizeOuter = [&](int width, int height) {
        w.resize(Twips::toPixels(width, &w) - frame.width(),
                 Twips::toPixels(height, &w) - frame.height());
        QApplication::processEvents();
    };
    resizeOuter(14130, 8835);
    QApplication::processEvents();
    QVERIFY(near(Twips::fromPixels(w.vsfgList->width(), &w), 13830, &w));
    QVERIFY(near(Twips::fromPixels(w.vsfgList->height(), &w), 6335, &w));
    QVERIFY(near(inTwips(w.vsfgList).x(), 120, &w) && near(inTwips(w.vsfgList).y(), 1440, &w));
    const QList<QPair<QPushButton*, int>> lefts{{w.btnExit, 12390},
                                                {w.btnCreateInvoices, 10710},
                                                {w.btnSelectAll, 9030},
                                                {w.btnSelectNone, 7350},
                                                {w.btnPrint, 5670}};
    for (const auto& [button, left] : lefts) {
        QVERIFY2(near(inTwips(button).x(), left, &w), qPrintable(button->objectName()));
        QVERIFY(near(inTwips(button).y(), 7920, &w));
    }

    // Too low for the grid: it keeps its height while the buttons climb over it.
    const int gridHeight = w.vsfgList->height();
    resizeOuter(14130, 2400);
    QCOMPARE(w.vsfgList->height(), gridHeight);
    QVERIFY(near(inTwips(w.btnExit).y(), 2400 - 915, &w));

    // Narrower than 1740 twips: the buttons' left edges go negative.
    resizeOuter(1500, 8835);
    QVERIFY(w.btnExit->x() < 0 && w.btnPrint->x() < w.btnExit->x());
    // The top band never moves.
    QVERIFY(near(inTwips(w.btnRefresh).x(), 6000, &w));
    QVERIFY(near(inTwips(w.chkEmail).y(), 240, &w));
}

void TestMainWindow::minimisedWindowMovesNothing() {
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint exit = w.btnExit->pos();
    const QSize grid = w.vsfgList->size();
    w.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    if (!w.isMinimized())
        QSKIP("this platform does not minimise windows");
    w.resize(w.width() + 200, w.height() + 200);
    QApplication::processEvents();
    QCOMPARE(w.btnExit->pos(), exit);
    QCOMPARE(w.vsfgList->size(), grid);
    w.setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    QVERIFY(w.btnExit->pos() != exit);
}

void TestMainWindow::tabOrderAndKeyboard() {
    TestWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(focusedControl(&w), QStringLiteral("dtStartDate"));
    const QStringList order{"dtEndDate",         "cmbCompany", "cmbPayment",    "btnRefresh",
                            "vsfgList",          "btnPrint",   "btnSelectNone", "btnSelectAll",
                            "btnCreateInvoices", "btnExit",    "chkEmail",      "dtStartDate"};
    for (const QString& next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusedControl(&w), next);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(focusedControl(&w), QStringLiteral("chkEmail"));
    // Space toggles the check box and presses a focused button.
    QVERIFY(!w.chkEmail->isChecked());
    QTest::keyClick(w.chkEmail, Qt::Key_Space);
    QVERIFY(w.chkEmail->isChecked());
    MessageRecorder boxes;
    w.btnRefresh->setFocus();
    QTest::keyClick(w.btnRefresh, Qt::Key_Space);
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(boxes.boxes.size(), 1);
    // A fill started from the keyboard leaves the keyboard on Refresh, though the controls
    // were off while it read.
    w.cmbCompany->setCurrentIndex(0);
    w.cmbPayment->setCurrentIndex(1);
    w.btnRefresh->setFocus();
    QTest::keyClick(w.btnRefresh, Qt::Key_Space);
    QVERIFY(TestSupport::waitForFill());
    QVERIFY(w.vsfgList->RowCount() > 1);
    QCOMPARE(focusedControl(&w), QStringLiteral("btnRefresh"));
}

void TestMainWindow::defaultsAtLoad_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::newRow("10 November 2026")
        << QDate(2026, 11, 10) << QDate(2026, 12, 1) << QDate(2026, 12, 31);
    QTest::newRow("15 December 2026")
        << QDate(2026, 12, 15) << QDate(2027, 1, 1) << QDate(2027, 1, 31);
    QTest::newRow("31 January 2028")
        << QDate(2028, 1, 31) << QDate(2028, 2, 1) << QDate(2028, 2, 29);
    QTest::newRow("31 October 2026")
        << QDate(2026, 10, 31) << QDate(2026, 11, 1) << QDate(2026, 11, 30);
}

void TestMainWindow::defaultsAtLoad() {
    QFETCH(QDate, today);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    TestSupport::clock().setFixed(QDateTime(today, QTime(9, 0)));
    TestWindow w;
    QCOMPARE(w.dtStartDate->date(), start);
    QCOMPARE(w.dtEndDate->date(), end);
    QCOMPARE(w.cmbCompany->count(), 2);
    QCOMPARE(w.cmbCompany->itemText(0), Chamber);
    QCOMPARE(w.cmbCompany->itemText(1), Foundation);
    QCOMPARE(w.cmbPayment->itemText(0), QStringLiteral("Electronic Withdrawal"));
    QCOMPARE(w.cmbPayment->itemText(1), QStringLiteral("Invoice"));
    QCOMPARE(w.cmbCompany->currentText(), QString());
    QCOMPARE(w.cmbPayment->currentText(), QString());
    QCOMPARE(w.vsfgList->RowCount(), 0);
}

void TestMainWindow::refreshRefusalsInOrder() {
    TestWindow w;
    MessageRecorder boxes;
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 4, 30));
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Invalid Dates"));
    QCOMPARE(boxes.boxes[0].text,
             QStringLiteral("Start Date and End Date must be in the same month."));
    QCOMPARE(boxes.boxes[0].style, int(MessageBoxes::OkOnly));

    w.dtEndDate->setDate(QDate(2027, 3, 31));
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(boxes.boxes.size(), 2);
    QCOMPARE(boxes.boxes[1].caption, QStringLiteral("No Company Selected"));
    QCOMPARE(boxes.boxes[1].text, QStringLiteral("You must select a company."));

    w.cmbCompany->setCurrentIndex(0);
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(boxes.boxes.size(), 3);
    QCOMPARE(boxes.boxes[2].caption, QStringLiteral("No Payment Selected"));
    QCOMPARE(boxes.boxes[2].text, QStringLiteral("You must select a Payment."));
    QCOMPARE(boxes.boxes[2].style, int(MessageBoxes::OkOnly));
    QCOMPARE(w.vsfgList->RowCount(), 0);

    w.cmbPayment->setCurrentIndex(1);
    QTest::mouseClick(w.btnRefresh, Qt::LeftButton);
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(boxes.boxes.size(), 3);
    QCOMPARE(w.vsfgList->RowCount(), 16);
    QCOMPARE(w.vsfgList->CellText(1, GridColumns::Contact), QStringLiteral("Kevin Walsh"));
    QCOMPARE(w.listOrganisation(), Chamber);

    // Under the list, left of the buttons, the members the fill passed over; a click on the
    // line shows every one of them.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect line = w.lblPassedOver->geometry();
    QVERIFY(line.top() > w.vsfgList->geometry().bottom() && line.right() < w.btnPrint->x());
    QVERIFY(line.bottom() <= w.height());
    const QString shown = QTextDocumentFragment::fromHtml(w.lblPassedOver->text()).toPlainText();
    QVERIFY2(shown.startsWith(QStringLiteral("4 contacts not listed: 3 whose")), qPrintable(shown));
    QVERIFY(shown.contains(QStringLiteral("Harbor Lights Inn (\"quarterly\")")));
    QTest::mouseClick(w.lblPassedOver, Qt::LeftButton, {},
                      QPoint(8, w.lblPassedOver->fontMetrics().height() / 2));
    QCOMPARE(boxes.boxes.size(), 4);
    QCOMPARE(boxes.boxes[3].caption, QStringLiteral("Not Listed"));
    QVERIFY(boxes.boxes[3].text.endsWith(QStringLiteral(":\nPinecrest Realty (missing)")));
    // From the keyboard: Alt+N shows the same.
    QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(boxes.boxes.size(), 5);
    QCOMPARE(boxes.boxes[4].text, boxes.boxes[3].text);
    // Narrow, the line goes under the buttons, shortened with its count first, never dropped.
    w.resize(620, 720);
    const QRect narrow = w.lblPassedOver->geometry();
    QVERIFY2(narrow.width() > 100 && narrow.height() >= w.fontMetrics().lineSpacing() &&
                 narrow.bottom() <= w.height() && narrow.top() > w.btnPrint->geometry().bottom(),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(narrow.x())
                            .arg(narrow.y())
                            .arg(narrow.width())
                            .arg(narrow.height())));
    QVERIFY(QTextDocumentFragment::fromHtml(w.lblPassedOver->text())
                .toPlainText()
                .startsWith(QStringLiteral("4 contacts not listed")));
}

void TestMainWindow::refreshComparesMonthsOnly() {
    TestWindow w;
    MessageRecorder boxes;
    choose(w, Chamber, QStringLiteral("Invoice"));
    w.dtStartDate->setDate(QDate(2026, 1, 5));
    w.dtEndDate->setDate(QDate(2027, 1, 20));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    w.dtStartDate->setDate(QDate(2027, 3, 20));
    w.dtEndDate->setDate(QDate(2027, 3, 10));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(boxes.boxes.size(), 0);
    // Start after end: only the monthly members are listed.
    for (int row = 1; row < w.vsfgList->RowCount(); ++row)
        QCOMPARE(w.vsfgList->CellText(row, GridColumns::BillFrequency),
                 QStringLiteral("Monthly Invoice"));
    QCOMPARE(w.vsfgList->RowCount(), 7);
}

void TestMainWindow::selectAllAndNone() {
    TestWindow w;
    choose(w, Chamber, QStringLiteral("Invoice"));
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    const int rows = w.vsfgList->RowCount();
    QVERIFY(rows > 2);
    w.vsfgList->SetCellText(2, GridColumns::Result, QStringLiteral("Successful"));

    w.btnSelectAll->click();
    for (int row = 1; row < rows; ++row)
        QCOMPARE(w.vsfgList->CellText(row, 0), QStringLiteral("True"));
    QCOMPARE(w.vsfgList->CellText(0, 0), QStringLiteral("Send"));
    QCOMPARE(w.vsfgList->CellText(2, GridColumns::Result), QStringLiteral("Successful"));

    w.btnSelectNone->click();
    for (int row = 1; row < rows; ++row)
        QCOMPARE(w.vsfgList->CellText(row, 0), QStringLiteral("False"));
    QCOMPARE(w.vsfgList->CellText(2, GridColumns::Result), QStringLiteral("Successful"));
    QCOMPARE(w.vsfgList->CellText(0, 0), QStringLiteral("Send"));

    // A new fill forgets checks and results.
    w.btnSelectAll->click();
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    QCOMPARE(w.vsfgList->CellText(2, 0), QStringLiteral("False"));
    QCOMPARE(w.vsfgList->CellText(2, GridColumns::Result), QString());
}

void TestMainWindow::selectAllOnEmptyGridWritesNothing() {
    TestWindow w;
    MessageRecorder boxes;
    w.btnSelectAll->click();
    w.btnSelectNone->click();
    QCOMPARE(w.vsfgList->RowCount(), 0);
    w.vsfgList->SetColumnCount(10);
    w.vsfgList->AppendRow(GridColumns::headerTexts().join(u'\t'));
    w.btnSelectAll->click();
    QCOMPARE(w.vsfgList->RowCount(), 1);
    QCOMPARE(w.vsfgList->CellText(0, 0), QStringLiteral("Send"));
    QCOMPARE(boxes.boxes.size(), 0);
}

void TestMainWindow::selectAllBeyondSixteenBitRows() {
    TestWindow w;
    w.vsfgList->SetColumnCount(10);
    w.vsfgList->AppendRow(GridColumns::headerTexts().join(u'\t'));
    const int rows = 40000;
    for (int i = 0; i < rows; ++i)
        w.vsfgList->AppendRow(QStringLiteral("False\tCompany %1").arg(i));
    w.vsfgList->SetFixedRows(1);
    w.btnSelectAll->click();
    QCOMPARE(w.vsfgList->CellText(32767, 0), QStringLiteral("True"));
    QCOMPARE(w.vsfgList->CellText(32768, 0), QStringLiteral("True"));
    QCOMPARE(w.vsfgList->CellText(rows, 0), QStringLiteral("True"));
    QCOMPARE(w.vsfgList->CellText(rows, 1), QStringLiteral("Company %1").arg(rows - 1));
}

void TestMainWindow::editRuleOnlySendColumn() {
    TestWindow w;
    choose(w, Chamber, QStringLiteral("Invoice"));
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    for (int column = 1; column < 10; ++column) {
        bool cancel = false;
        emit w.vsfgList->CellEditRequested(1, column, cancel);
        QVERIFY(cancel);
    }
    bool cancel = false;
    emit w.vsfgList->CellEditRequested(1, 0, cancel);
    QVERIFY(!cancel);

    // A click on the "Send" check box toggles it.
    BillingGrid* grid = w.vsfgList;
    const QRect cell = grid->visualRect(grid->model()->index(0, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid->CellText(1, 0), QStringLiteral("True"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid->CellText(1, 0), QStringLiteral("False"));

    // A double click on an amount opens no editor and changes nothing.
    const QRect amount = grid->visualRect(grid->model()->index(0, 3));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, amount.center());
    QVERIFY(!grid->findChild<QLineEdit*>());
    QCOMPARE(grid->CellText(1, 3), QStringLiteral("30"));
}

void TestMainWindow::printTitleAndRows() {
    TestSupport::clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(10, 8, 4)));
    const QString pdf = m_dir.filePath(QStringLiteral("print.pdf"));
    TestWindow::Setup printing = TestWindow::setup();
    printing.printFile = pdf;
    TestWindow w(printing);
    choose(w, Foundation, QStringLiteral("Invoice"));
    w.dtStartDate->setDate(QDate(2027, 3, 1));
    w.dtEndDate->setDate(QDate(2027, 3, 31));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    // The list's organisation heads the page, whatever the box shows now.
    w.cmbCompany->setCurrentText(Chamber);
    // Two rows checked, the second from the keyboard: the counts follow at once.
    auto* counts = w.findChild<QLabel*>(QStringLiteral("lblCounts"));
    const int listed = w.vsfgList->RowCount() - 1;
    QTRY_COMPARE(counts->text(), QStringLiteral("%1 listed, 0 checked, $0.00").arg(listed));
    w.vsfgList->SetCellText(1, GridColumns::Send, QStringLiteral("True"));
    w.vsfgList->setFocus();
    w.vsfgList->selectLines({1});
    QTest::keyClick(w.vsfgList, Qt::Key_Space);
    const QString total = MoneyFormat::display(
        QString::number(FixedForms::readNumber(w.vsfgList->CellText(1, 3)).value() +
                            FixedForms::readNumber(w.vsfgList->CellText(2, 3)).value(),
                        'f', 2));
    QTRY_COMPARE(counts->text(), QStringLiteral("%1 listed, 2 checked, %2").arg(listed).arg(total));
    // The choices changed without Refresh: the printout describes the list, not the controls.
    w.cmbPayment->setCurrentText(QStringLiteral("Electronic Withdrawal"));
    w.dtStartDate->setDate(QDate(2027, 4, 1));
    w.dtEndDate->setDate(QDate(2027, 4, 30));
    MessageRecorder boxes;
    w.btnPrint->click();
    // Printed to a file, the clerk is told which.
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("The list was printed to the file %1.").arg(pdf));
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Print"));
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(Foundation + QStringLiteral(" - 12/7/2026 10:08:04 AM")),
             qPrintable(text));
    // Under the title: the billing method, the month's dates, the counts and the total.
    QVERIFY2(text.contains(QStringLiteral("Invoice, 3/1/2027 - 3/31/2027: %1 listed, 2 checked, %2")
                               .arg(listed)
                               .arg(total)),
             qPrintable(text));
    QVERIFY(w.vsfgList->RowCount() > 5);
    for (int row = 1; row < w.vsfgList->RowCount(); ++row)
        QVERIFY2(text.contains(w.vsfgList->CellText(row, GridColumns::Contact)),
                 qPrintable(w.vsfgList->CellText(row, GridColumns::Contact) + u'\n' + text));
}

void TestMainWindow::printWithoutOrganisation() {
    TestSupport::clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(15, 30, 0)));
    const QString pdf = m_dir.filePath(QStringLiteral("empty.pdf"));
    TestWindow::Setup printing = TestWindow::setup();
    printing.printFile = pdf;
    TestWindow w(printing);
    MessageRecorder boxes;
    w.btnPrint->click();
    QCOMPARE(boxes.boxes.size(), 1);
    const QString text = pdfText(pdf);
    QVERIFY2(text.trimmed().startsWith(QStringLiteral("- 12/7/2026 3:30:00 PM")), qPrintable(text));
}

void TestMainWindow::linesUnderTheListWhole_data() {
    // The size the window opens at, or a narrower one that puts the lines under the buttons (the
    // window has no smallest size: below that the grid keeps its size and is clipped).
    QTest::addColumn<bool>("narrow");
    QTest::addColumn<QString>("line");
    const QString webConnector = QStringLiteral(
        "Stopped at Abbott & Sons Hardware: Error -2147220472: Could not start QuickBooks. The "
        "QuickBooks Web Connector did not call within 90 seconds: on the QuickBooks computer, "
        "open the Web Connector, tick Velloran and press Update Selected, then try again. 0 made "
        "before it; 14 checked rows not reached.");
    QString error = QStringLiteral("Stopped at Quayside Fish Co.: Error 3140: There is an invalid "
                                   "reference to QuickBooks Customer in the Invoice");
    while (error.size() < 300)
        error += QStringLiteral(" and a further word");
    error += QStringLiteral(". 13 made before it; 1 checked row not reached.");
    for (const bool narrow : {false, true}) {
        const char* size = narrow ? "a narrow window" : "the opening size";
        QTest::addRow("%s, the Web Connector's instruction", size) << narrow << webConnector;
        QTest::addRow("%s, an error of 300 characters", size) << narrow << error;
    }
}

// At the size the window opens at and in a narrow window, the run's line and the
// passed-over line are whole or shortened after a word with "...", never cut without a mark,
// and neither hides the other; a click on the run's line opens its whole text, selected.
void TestMainWindow::linesUnderTheListWhole() {
    QFETCH(bool, narrow);
    QFETCH(QString, line);
    TestWindow w;
    w.show();
    if (narrow)
        w.resize(w.width() * 3 / 5, w.height());
    auto* run = qobject_cast<RunLine*>(w.lblRunEnded);
    QVERIFY(run);
    run->setLine(line);
    w.lblPassedOver->setLine(QStringLiteral("3 contacts were not listed: their billing "
                                            "anniversary is no date (details: Alt+N)"));
    w.resize(w.size() + QSize(1, 0)); // laid out again, as any resize does
    w.resize(w.size() - QSize(1, 0));
    const int spacing = run->fontMetrics().lineSpacing();
    for (QLabel* label : {static_cast<QLabel*>(run), static_cast<QLabel*>(w.lblPassedOver)}) {
        QVERIFY2(label->height() >= spacing, qPrintable(label->objectName()));
        QVERIFY2(w.rect().contains(label->geometry()), qPrintable(label->objectName()));
    }
    QVERIFY2(w.lblPassedOver->y() >= run->geometry().bottom(), "neither hides the other");
    const QString shown = run->text();
    QVERIFY2(shown == line ||
                 (shown.endsWith(QStringLiteral("...")) && line.startsWith(shown.chopped(3)) &&
                  line.at(shown.size() - 3).isSpace()),
             qPrintable(shown));
    const QRect needed = run->fontMetrics().boundingRect(QRect(0, 0, run->width(), 1 << 20),
                                                         Qt::AlignLeft | Qt::TextWordWrap, shown);
    QVERIFY2(needed.height() <= run->height(), qPrintable(shown));
    QCOMPARE(run->toolTip(), line);
    // The longest text does not fit in three lines anywhere here: it shows its mark.
    if (line.size() > 300)
        QVERIFY2(shown.endsWith(QStringLiteral("...")), qPrintable(shown));

    QTest::mouseClick(run, Qt::LeftButton);
    auto* box = w.findChild<QDialog*>(QStringLiteral("runEndedBox"));
    QVERIFY(box);
    auto* text = box->findChild<QPlainTextEdit*>();
    QCOMPARE(text->toPlainText(), line);
    QCOMPARE(text->textCursor().selectedText(), line);
    box->close();
}

void TestMainWindow::exitClosesConnectionAndEnds() {
    TestWindow w;
    choose(w, Chamber, QStringLiteral("Invoice"));
    w.btnRefresh->click();
    QVERIFY(TestSupport::waitForFill());
    w.btnSelectAll->click();
    MessageRecorder boxes;
    int ends = 0;
    Module1::setEndAction([&] { ++ends; });
    w.btnExit->click();
    QCOMPARE(ends, 1);
    QVERIFY(!Module1::database().isOpen());
    QCOMPARE(boxes.boxes.size(), 0);
    Module1::OpenConnection();
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
