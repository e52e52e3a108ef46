#pragma once

#include <QDateEdit>

// A date field with a calendar pop-up, shown as M/d/yyyy. Dates are typed as people type them:
// "3/1/2027" or "03/01/2027" from the month on, "/" moving to the next part of the date.
// Tab leaves the field for the next control instead of stepping through its day, month and
// year; the arrow keys move between them. Years run from 1900 to 2200.
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void selectSection(int index);
    // The part of the date a digit just filled moved the cursor on by itself; the "/" that
    // follows it is then already done.
    bool m_movedOn = false;
};
