#include "app/VelloranApplication.h"

#include "app/FailureReport.h"

VelloranApplication::VelloranApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool VelloranApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    FailureReport::guard([&] {
        handled = QApplication::notify(receiver, event);
        return 0;
    });
    return handled;
}
