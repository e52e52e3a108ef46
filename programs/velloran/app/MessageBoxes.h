#pragma once

#include <QString>
#include <functional>

class QMessageBox;

// The program's modal message boxes: no icon, the caption and text exactly as given. A Handler
// shows one and returns its answer; the window is handed one in its Setup, show is the real
// box, and start-up's own boxes (an earlier copy running, the failure report), which come
// before any window, go through the handler set here.
namespace MessageBoxes {

enum Style { OkOnly = 0, YesNo = 4 };
enum Answer { Ok = 1, Yes = 6, No = 7 };

using Handler = std::function<int(const QString& text, const QString& caption, int style)>;

int show(const QString& text, const QString& caption, int style);

// The handler show passes its boxes to; an empty one (the default) shows the real box.
void setHandler(Handler handler);

// Widens box so that its caption fits in the title bar.
void fitCaption(QMessageBox& box);

} // namespace MessageBoxes
