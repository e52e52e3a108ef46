#pragma once

#include <QString>
#include <functional>

class QMessageBox;

// The program's modal message boxes: no icon, the caption and text exactly as given.
// Tests answer them through setHandler instead of a person.
namespace MessageBoxes {

enum Style { OkOnly = 0, YesNo = 4 };
enum Answer { Ok = 1, Yes = 6, No = 7 };

using Handler = std::function<int(const QString& text, const QString& caption, int style)>;

int show(const QString& text, const QString& caption, int style);

// An empty handler restores the real message box.
void setHandler(Handler handler);

// Widens box so that its caption fits in the title bar.
void fitCaption(QMessageBox& box);

} // namespace MessageBoxes
