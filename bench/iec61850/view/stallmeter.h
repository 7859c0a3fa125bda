#pragma once
// What the view's benchmarks measure beside their own figures: how long the window thread's event loop
// was kept from running, and how loaded the machine was meanwhile.

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <ctime>

#include <sys/resource.h>

namespace benchsupport {

inline qint64 threadCpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// CPU time of the whole program (window, engine and receive threads), which a loaded machine does not
// inflate the way it does wall-clock figures.
inline double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Longest gap between two ticks of a 1 ms timer: how long the event loop was kept from running. On a
// loaded machine the wall-clock gap also counts time the thread was not scheduled, so the CPU time the
// window thread spent within the gap is kept beside it.
class StallMeter : public QObject {
public:
    StallMeter() {
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, this, [this]() {
            const qint64 gap = sinceTick.restart();
            const qint64 cpu = threadCpuMicroseconds();
            if (gap > longestMs) {
                longestMs = gap;
                longestEndedAtMs = sinceStart.elapsed();
            }
            longestCpuUs = qMax(longestCpuUs, cpu - lastCpuUs);
            lastCpuUs = cpu;
        });
    }
    void start() {
        sinceStart.start();
        sinceTick.start();
        lastCpuUs = threadCpuMicroseconds();
        ticker.start(1);
    }
    void stop() { ticker.stop(); }
    qint64 longest() const { return longestMs; }
    // When the longest stall ended, counted from start().
    qint64 longestEndedAt() const { return longestEndedAtMs; }
    qint64 longestCpuMs() const { return longestCpuUs / 1000; }

private:
    QTimer ticker;
    QElapsedTimer sinceStart;
    QElapsedTimer sinceTick;
    qint64 longestMs = 0;
    qint64 longestEndedAtMs = 0;
    qint64 lastCpuUs = 0;
    qint64 longestCpuUs = 0;
};

inline QString loadAverage() {
    QFile file("/proc/loadavg");
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(' ', 0, 0) : "?";
}

}  // namespace benchsupport
