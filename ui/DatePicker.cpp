#include "ui/DatePicker.h"

#include <QKeyEvent>

DatePicker::DatePicker(QWidget* parent)
    : QDateEdit(parent) {
    setCalendarPopup(true);
    setDisplayFormat(QStringLiteral("M/d/yyyy"));
    setDateRange(QDate(1900, 1, 1), QDate(2200, 12, 31));
}

bool DatePicker::focusNextPrevChild(bool next) {
    return QWidget::focusNextPrevChild(next);
}

void DatePicker::selectSection(int index) {
    setCurrentSectionIndex(index);
    setSelectedSection(currentSection());
}

// Whichever way the field is entered, typing starts with the month.
void DatePicker::focusInEvent(QFocusEvent* event) {
    QDateEdit::focusInEvent(event);
    selectSection(0);
    m_movedOn = false;
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    if (event->text() == u"/" || event->text() == u"-" || event->text() == u".") {
        if (!m_movedOn && currentSectionIndex() + 1 < sectionCount())
            selectSection(currentSectionIndex() + 1);
        m_movedOn = false;
        event->accept();
        return;
    }
    const int before = currentSectionIndex();
    QDateEdit::keyPressEvent(event);
    const bool digit = event->text().size() == 1 && event->text().at(0).isDigit();
    m_movedOn = digit && currentSectionIndex() != before;
    // A part entered by typing is typed over whole.
    if (m_movedOn)
        selectSection(currentSectionIndex());
}
