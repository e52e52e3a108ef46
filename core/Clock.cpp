#include "core/Clock.h"

#include <QElapsedTimer>

namespace {
QDateTime& fixedMoment() {
    static QDateTime moment;
    return moment;
}

qint64& elapsedOffset() {
    static qint64 offset = 0;
    return offset;
}
} // namespace

QDate Clock::today() {
    return now().date();
}

QDateTime Clock::now() {
    return fixedMoment().isValid() ? fixedMoment() : QDateTime::currentDateTime();
}

void Clock::setFixed(const QDateTime& moment) {
    fixedMoment() = moment;
}

void Clock::reset() {
    fixedMoment() = QDateTime();
}

qint64 Clock::elapsedMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return timer.elapsed() + elapsedOffset();
}

void Clock::advanceElapsed(qint64 ms) {
    elapsedOffset() += ms;
}
