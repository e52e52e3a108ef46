#include "app/VelloranApplication.h"

#include "app/FailureReport.h"

namespace {
// The window is laid out in twips, which follow the screen's dots per inch; a scale of 1.25
// or 1.5 on top of that draws one-pixel lines (the list's frame) between device pixels, where
// they vanish. Whole scales keep every line, and 120 or 144 dots per inch still enlarge the
// window through its twips. Set before the application exists, as Qt requires.
int& wholeScales(int& argc) {
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
    return argc;
}
} // namespace

VelloranApplication::VelloranApplication(int& argc, char** argv)
    : QApplication(wholeScales(argc), argv) {}

bool VelloranApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    FailureReport::guard([&] {
        handled = QApplication::notify(receiver, event);
        return 0;
    });
    return handled;
}
