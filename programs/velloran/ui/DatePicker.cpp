#include "ui/DatePicker.h"

#include <QCalendarWidget>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QWheelEvent>

namespace {
const QDate Earliest(1900, 1, 1);
const QDate Latest(2200, 12, 31);

// The date that month, day and year texts name, or why they name none.
QDate dateOf(const QString (&parts)[3], QString& problem) {
    if (parts[0].isEmpty() || parts[1].isEmpty() || parts[2].isEmpty()) {
        problem = QStringLiteral("The date is not complete: type month/day/year, as 3/1/2027.");
        return {};
    }
    const int month = parts[0].toInt(), day = parts[1].toInt(), year = parts[2].toInt();
    if (month < 1 || month > 12)
        problem = QStringLiteral("%1 is no month: months run from 1 to 12.").arg(parts[0]);
    else if (parts[2].size() != 4 || year < Earliest.year() || year > Latest.year())
        problem = QStringLiteral("%1 is no year here: years run from 1900 to 2200.").arg(parts[2]);
    else if (day < 1 || day > QDate(year, month, 1).daysInMonth())
        problem = QStringLiteral("%1 %2 has no day %3.")
                      .arg(QLocale::c().monthName(month))
                      .arg(year)
                      .arg(parts[1]);
    else
        return QDate(year, month, day);
    return {};
}
} // namespace

DatePicker::DatePicker(QWidget* parent)
    : QDateEdit(parent) {
    setCalendarPopup(true);
    setDisplayFormat(QStringLiteral("M/d/yyyy"));
    setDateRange(Earliest, Latest);
    lineEdit()->installEventFilter(this);
    // A date picked from the calendar replaces whatever was typed, the same date too.
    connect(calendarWidget(), &QCalendarWidget::clicked, this, &DatePicker::setDate);
    connect(calendarWidget(), &QCalendarWidget::activated, this, &DatePicker::setDate);
}

void DatePicker::setDate(const QDate& date) {
    m_problem.clear();
    QDateEdit::setDate(date);
    startAt(m_part);
    display();
}

bool DatePicker::focusNextPrevChild(bool next) {
    return QWidget::focusNextPrevChild(next);
}

// Whichever way the field is entered, typing starts with the month; a click entering it does
// too, once the click has placed the cursor (see eventFilter).
void DatePicker::focusInEvent(QFocusEvent* event) {
    m_enteredByClick = event->reason() == Qt::MouseFocusReason;
    m_firstClick = true;
    QDateEdit::focusInEvent(event);
    startAt(0);
}

// Leaving the field would put the last date back in place of a text that is none; the text
// stays, marked, so that nobody takes the old date for the one typed.
void DatePicker::focusOutEvent(QFocusEvent* event) {
    QDateEdit::focusOutEvent(event);
    if (!holdsDate())
        display();
}

// What was typed is judged here, not by the field's own reader, which would turn a day past the
// month's end into its last day while it is being typed.
QValidator::State DatePicker::validate(QString& input, int& position) const {
    if (!holdsDate())
        return QValidator::Intermediate;
    return QDateEdit::validate(input, position);
}

void DatePicker::fixup(QString& input) const {
    if (holdsDate())
        QDateEdit::fixup(input);
}

bool DatePicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease) {
        if (lineEdit()->hasSelectedText() && !m_enteredByClick)
            return false; // a drag over the text selects what it covered
        // The first click since the field was entered, by that click or before it (the field
        // the window opens with), starts at the month; a later one picks the part clicked.
        m_enteredByClick = false;
        startAt(std::exchange(m_firstClick, false) ? 0 : partAt(lineEdit()->cursorPosition()));
        return true;
    }
    return QDateEdit::eventFilter(watched, event);
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool calendarKey = event->key() == Qt::Key_F4 ||
                             (event->key() == Qt::Key_Down && event->modifiers() & Qt::AltModifier);
    if (calendarKey) {
        openCalendar();
    } else if (event->matches(QKeySequence::Paste)) {
        paste(QGuiApplication::clipboard()->text());
    } else if (event->matches(QKeySequence::SelectAll)) {
        startAt(0);
        lineEdit()->selectAll();
    } else if (text.size() == 1 && text.at(0).isDigit()) {
        typeDigit(text.at(0));
    } else if (text == u"/" || text == u"-" || text == u".") {
        if (!m_movedOn)
            moveTo(m_part + 1);
        m_movedOn = false;
    } else if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        if (m_fresh || event->key() == Qt::Key_Delete)
            m_parts[m_part].clear();
        else
            m_parts[m_part].chop(1);
        m_fresh = false;
        m_movedOn = false;
        judgeTyped();
        selectPart();
    } else if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        moveTo(m_part + (event->key() == Qt::Key_Left ? -1 : 1));
    } else if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
        moveTo(event->key() == Qt::Key_Home ? 0 : Parts - 1);
    } else if (text.isEmpty() || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier) ||
               event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
               event->key() == Qt::Key_Escape) {
        // Up and Down step the part in hand from the date held; F4 and Alt+Down open the
        // calendar; Tab and Return go where they go.
        const int part = m_part;
        if (!holdsDate() && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down))
            setDate(date());
        QDateEdit::keyPressEvent(event);
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)
            startAt(part);
        else if (!holdsDate())
            display(); // Return would have put the last date back in view
        return;
    }
    event->accept();
}

void DatePicker::paste(const QString& text) {
    const QString date = text.trimmed();
    if (date.isEmpty())
        return;
    startAt(0);
    QString parts[Parts];
    int part = 0;
    for (const QChar c : date) {
        if (c == u'/' || c == u'-' || c == u'.')
            part = qMin(part + 1, Parts); // a fourth part makes it no date
        else if (part < Parts)
            parts[part] += c;
    }
    if (part >= Parts)
        parts[Parts - 1] += u'/';
    std::copy(std::begin(parts), std::end(parts), std::begin(m_parts));
    m_fresh = true;
    judgeTyped();
    moveTo(Parts - 1);
}

// The calendar opens under the field, on the date it holds, as a click on its arrow opens it.
void DatePicker::openCalendar() {
    QCalendarWidget* calendar = calendarWidget();
    QWidget* popup = calendar->window();
    calendar->setSelectedDate(date());
    popup->move(mapToGlobal(rect().bottomLeft()));
    popup->show();
    popup->raise();
    calendar->setFocus();
}

void DatePicker::wheelEvent(QWheelEvent* event) {
    // A wheel turned while passing over the window changes nothing.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    const int part = partAt(
        lineEdit()->cursorPositionAt(lineEdit()->mapFrom(this, event->position().toPoint())));
    if (!holdsDate())
        setDate(date());
    startAt(part);
    setCurrentSectionIndex(part);
    QDateEdit::wheelEvent(event);
    startAt(part);
}

// The field's menu: Copy, Paste (taking the date as typed) and Select All.
void DatePicker::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("&Copy"), lineEdit(), &QLineEdit::copy);
    copy->setEnabled(lineEdit()->hasSelectedText());
    QAction* paste = menu.addAction(QStringLiteral("&Paste"), this,
                                    [this] { this->paste(QGuiApplication::clipboard()->text()); });
    paste->setObjectName(QStringLiteral("paste"));
    paste->setEnabled(!QGuiApplication::clipboard()->text().trimmed().isEmpty());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Select &All"), this, [this] {
        startAt(0);
        lineEdit()->selectAll();
    });
    menu.exec(event->globalPos());
    event->accept();
}

void DatePicker::startAt(int index) {
    if (holdsDate()) {
        const QDate held = date();
        m_parts[0] = QString::number(held.month());
        m_parts[1] = QString::number(held.day());
        m_parts[2] = QString::number(held.year());
    } else {
        display(); // what was typed, not the date the field held before
    }
    moveTo(index);
}

void DatePicker::moveTo(int index) {
    m_part = qBound(0, index, Parts - 1);
    m_fresh = true;
    m_movedOn = false;
    selectPart();
}

void DatePicker::selectPart() {
    int start = 0;
    for (int i = 0; i < m_part; ++i)
        start += int(m_parts[i].size()) + 1;
    if (lineEdit()->hasFocus())
        lineEdit()->setSelection(start, int(m_parts[m_part].size()));
}

// The month and the day move on after two digits, or after one that no second digit could
// follow (a month from 2, a day from 4); the year takes four and is then typed over again.
void DatePicker::typeDigit(QChar digit) {
    QString& part = m_parts[m_part];
    if (m_fresh)
        part.clear();
    part += digit;
    const int value = part.toInt();
    const bool full =
        m_part == Parts - 1 ? part.size() == 4 : part.size() == 2 || value > (m_part == 0 ? 1 : 3);
    m_fresh = full;
    judgeTyped();
    if (full && m_part < Parts - 1) {
        moveTo(m_part + 1);
        m_movedOn = true;
    } else {
        selectPart();
    }
}

void DatePicker::judgeTyped() {
    QString problem;
    const QDate typed = dateOf(m_parts, problem);
    m_problem = problem;
    if (typed.isValid()) {
        // The parts stay as typed: "0" of "03" is still being typed, not the month 0.
        const QString kept[Parts] = {m_parts[0], m_parts[1], m_parts[2]};
        QDateEdit::setDate(typed);
        std::copy(std::begin(kept), std::end(kept), std::begin(m_parts));
    }
    display();
}

// A text that is no date shows in red with the reason as its tooltip for as long as it stays;
// a part still being typed is not marked until it is whole or the field is left.
void DatePicker::display() {
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(m_parts[0] + u'/' + m_parts[1] + u'/' + m_parts[2]);
    const bool marked = !m_problem.isEmpty() && (m_fresh || !lineEdit()->hasFocus());
    QPalette colours = lineEdit()->palette();
    colours.setColor(QPalette::Text, marked ? QColor(Qt::red) : palette().color(QPalette::Text));
    lineEdit()->setPalette(colours);
    setToolTip(marked ? m_problem : QString());
    setAccessibleDescription(marked ? m_problem : QString());
}

int DatePicker::partAt(int cursor) const {
    int end = 0;
    for (int i = 0; i < Parts; ++i) {
        end += int(m_parts[i].size());
        if (cursor <= end)
            return i;
        ++end;
    }
    return Parts - 1;
}
