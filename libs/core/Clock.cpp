#include "core/Clock.h"

#include <QElapsedTimer>

QDateTime Clock::now() const {
    return QDateTime::currentDateTime();
}

qint64 Clock::elapsedMs() const {
    static const QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return timer.elapsed();
}

const Clock& Clock::system() {
    static const Clock clock;
    return clock;
}
