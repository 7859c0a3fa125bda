#include "nextslice.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

using iec61850::NextSlice;

// A job that goes on slice after slice lets the window's timers run between any two of its slices, and
// a slice asked for several times before it runs runs once.
class NextSliceTest : public QObject {
    Q_OBJECT
private slots:
    void timersRunBetweenSlices();
};

void NextSliceTest::timersRunBetweenSlices() {
    QObject owner;
    int ticks = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(1);

    QList<int> ticksAtSlice;
    NextSlice* self = nullptr;
    NextSlice slice(&owner, [&] {
        ticksAtSlice << ticks;
        // A slice takes longer than the ticker's interval, as a slice of real work does.
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 3) {
        }
        if (ticksAtSlice.size() < 20) {
            self->schedule();
            self->schedule();
        }
    });
    self = &slice;
    slice.schedule();
    slice.schedule();
    QVERIFY(slice.scheduled());
    QTRY_COMPARE(ticksAtSlice.size(), 20);
    QTest::qWait(20);
    QCOMPARE(ticksAtSlice.size(), 20);
    QVERIFY(!slice.scheduled());
    for (int i = 1; i < ticksAtSlice.size(); ++i) {
        QVERIFY2(ticksAtSlice.at(i) > ticksAtSlice.at(i - 1), qPrintable(QString::number(i)));
    }
}

QTEST_GUILESS_MAIN(NextSliceTest)
#include "nextslice_test.moc"
