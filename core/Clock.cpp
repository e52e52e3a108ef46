#include "core/Clock.h"

namespace {
QDateTime& fixedMoment() {
    static QDateTime moment;
    return moment;
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
