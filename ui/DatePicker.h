#pragma once

#include <QDateEdit>

// A date field with a calendar pop-up, shown as M/d/yyyy. Tab leaves the field for the next
// control instead of stepping through its day, month and year; the arrow keys move between
// them.
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
};
