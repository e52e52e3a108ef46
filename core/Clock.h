#pragma once

#include <QDateTime>

// Today's date and the present moment. Tests fix the clock; the program never does.
namespace Clock {
QDate today();
QDateTime now();
void setFixed(const QDateTime& moment);
void reset();
// Milliseconds on a clock that only goes forward, whatever the time of day does: how long the
// program has waited, never compared with another computer's.
qint64 elapsedMs();
// Tests let time pass on it.
void advanceElapsed(qint64 ms);
} // namespace Clock
