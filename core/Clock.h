#pragma once

#include <QDateTime>

// Today's date and the present moment. Tests fix the clock; the program never does.
namespace Clock {
QDate today();
QDateTime now();
void setFixed(const QDateTime& moment);
void reset();
} // namespace Clock
