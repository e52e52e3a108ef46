#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <functional>
#include <malloc.h>
#include <vector>

// Small helpers for the benchmarks: medians of repeated timings and the process's memory.
namespace Bench {

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

inline double timeMs(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1.0e6;
}

// A line of /proc/self/status in kB, as bytes.
inline qint64 statusBytes(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

// Returns freed memory to the system and starts a new peak from the present size.
inline qint64 resetPeak() {
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return statusBytes("VmRSS:");
}

// Bytes handed out by malloc and not yet freed.
inline qint64 allocatedBytes() {
    return qint64(mallinfo2().uordblks);
}

inline qint64 peakSince(qint64 base) {
    return statusBytes("VmHWM:") - base;
}

} // namespace Bench
