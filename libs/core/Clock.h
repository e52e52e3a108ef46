#pragma once

#include <QDateTime>

// Today's date, the present moment, and how long the program has waited. The program reads
// the computer's (Clock::system()); whoever makes a window or a lease may hand it another, one
// whose time is set rather than read.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const;
    QDate today() const { return now().date(); }
    // Milliseconds on a clock that only goes forward, whatever the time of day does: how long
    // the program has waited, never compared with another computer's.
    virtual qint64 elapsedMs() const;

    static const Clock& system();
};
