#pragma once

#include <QDateEdit>

// A date field with a calendar pop-up, shown as M/d/yyyy. Dates are typed as people type them,
// however the field was entered (a click anywhere in it, Tab, the calendar, Ctrl+A): typing
// starts at the month, each digit typed over the part of the date in hand, "/" moving on to
// the next part; a later click picks the part clicked. What was typed is kept as typed: a
// text that is no date between 1/1/1900 and 12/31/2200 is never turned into another date but
// shown marked, its tooltip saying why, and date() keeps the last date the field held. Tab
// leaves the field for the next control; the arrow keys move between the parts. A date pasted
// (Ctrl+V, Shift+Insert, the context menu) is taken as if typed, blanks, tabs and line ends
// around it dropped; the wheel changes a date only in the field that has the keyboard, and
// then the part under the pointer; F4 and Alt+Down open the calendar.
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

    // Shows the date, dropping whatever was typed.
    void setDate(const QDate& date);
    // Whether the text shown is a date; when it is not, why, in words.
    bool holdsDate() const { return m_problem.isEmpty(); }
    const QString& problem() const { return m_problem; }

protected:
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    QValidator::State validate(QString& input, int& position) const override;
    void fixup(QString& input) const override;

private:
    static constexpr int Parts = 3; // month, day, year

    // Takes the parts from the date held and makes part `index` the one typed over.
    void startAt(int index);
    void typeDigit(QChar digit);
    // Takes text as if it were typed from the month on.
    void paste(const QString& text);
    void openCalendar();
    void moveTo(int index);
    void selectPart();
    // Takes what the parts say: the date when they name one, else the reason they do not.
    void judgeTyped();
    // Shows the parts, marked when they are no date.
    void display();
    int partAt(int cursor) const;

    QString m_parts[Parts];
    int m_part = 0;
    // The next digit types over the part in hand rather than adding to it.
    bool m_fresh = true;
    // A digit just filled its part and moved on by itself; a "/" that follows is then done.
    bool m_movedOn = false;
    // The field was entered by a click, which then starts the typing at the month.
    bool m_enteredByClick = false;
    // No click yet since the field was entered (see eventFilter).
    bool m_firstClick = true;
    QString m_problem;
};
