#pragma once

#include <QApplication>

// Catches every failure that escapes an event handler before it can unwind through Qt's
// event loop, and hands it to the failure report.
class VelloranApplication : public QApplication {
public:
    VelloranApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
