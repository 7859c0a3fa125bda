#include "announcementqueue.h"

#include <QtTest>

#include <atomic>
#include <thread>

using iec61850::Announcement;
using iec61850::AnnouncementQueue;

class AnnouncementQueueTest : public QObject {
    Q_OBJECT

private slots:
    void batchesSplitWhereClosedAndKeepTheirOrder();
    void reportsShareTheBatchesOfValues();
    void aTakenBatchTakesNoMore();
    void everyAnnouncementArrivesOnceWhileBothSidesRun();
};

namespace {

QStringList describe(const std::vector<Announcement>& batch) {
    QStringList out;
    for (const Announcement& a : batch) {
        switch (a.kind) {
            case Announcement::Kind::Line:
                out << QStringLiteral("line %1 %2 %3 %4").arg(a.text, a.ref, a.fc).arg(a.layer);
                break;
            case Announcement::Kind::Value:
                out << QStringLiteral("value %1=%2").arg(a.ref, a.text);
                break;
            case Announcement::Kind::Call:
                out << QStringLiteral("call");
                break;
            case Announcement::Kind::ReportHeader:
                out << QStringLiteral("header %1 %2").arg(a.header->dataSetRef).arg(a.header->seqNum);
                break;
            case Announcement::Kind::Report:
                out << QStringLiteral("report %1 %2=%3").arg(a.ref, a.text, a.values.join('|'));
                break;
        }
    }
    return out;
}

}  // namespace

// Another signal of the engine closes the batch: what follows must wait for a call of its own, or it
// would be shown before that signal is handled.
void AnnouncementQueueTest::batchesSplitWhereClosedAndKeepTheirOrder() {
    int opened = 0;
    AnnouncementQueue queue([&opened] { ++opened; });
    QVERIFY(queue.takeBatch().empty());

    queue.addLine("MMXU1", "LD/MMXU1", "", 2);
    queue.addValue("LD/MMXU1.TotW.mag.f", "1.5");
    queue.close();
    queue.close();  // closing twice opens nothing
    bool called = false;
    queue.addCall([&called] { called = true; });
    queue.addValue("LD/MMXU1.TotW.q", "0b0000");
    QCOMPARE(opened, 2);

    QCOMPARE(describe(queue.takeBatch()),
             (QStringList{"line MMXU1 LD/MMXU1  2", "value LD/MMXU1.TotW.mag.f=1.5"}));
    const std::vector<Announcement> second = queue.takeBatch();
    QCOMPARE(describe(second), (QStringList{"call", "value LD/MMXU1.TotW.q=0b0000"}));
    second.front().call();
    QVERIFY(called);
    QVERIFY(queue.takeBatch().empty());
}

// A report costs no batch of its own: its header, opening and members join the open batch among the
// values, in the order announced, with the header's fields and the members' values intact.
void AnnouncementQueueTest::reportsShareTheBatchesOfValues() {
    int opened = 0;
    AnnouncementQueue queue([&opened] { ++opened; });
    queue.addValue("a", "1");
    iec61850::ReportHeader header;
    header.dataSetRef = "LD/LLN0.DS";
    header.seqNum = 42;
    queue.addReportHeader(header);
    queue.addReport("LD/LLN0.DS", QString(), {});
    queue.addReport("LD/LLN0.DS", "LD/GGIO1.Ind1", {"true", "0000"});
    queue.addValue("b", "2");
    QCOMPARE(opened, 1);
    QCOMPARE(describe(queue.takeBatch()),
             (QStringList{"value a=1", "header LD/LLN0.DS 42",
                          "report LD/LLN0.DS =", "report LD/LLN0.DS LD/GGIO1.Ind1=true|0000", "value b=2"}));
}

// Once the window has taken the open batch, an announcement added to it would never be shown: it must
// open a new batch with its own call.
void AnnouncementQueueTest::aTakenBatchTakesNoMore() {
    int opened = 0;
    AnnouncementQueue queue([&opened] { ++opened; });
    queue.addValue("a", "1");
    QCOMPARE(describe(queue.takeBatch()), QStringList{"value a=1"});
    queue.addValue("b", "2");
    QCOMPARE(opened, 2);
    QCOMPARE(describe(queue.takeBatch()), QStringList{"value b=2"});
}

// The engine's thread adds while the window thread takes, one take per opened batch, as the view does.
void AnnouncementQueueTest::everyAnnouncementArrivesOnceWhileBothSidesRun() {
    constexpr int kCount = 20000;
    std::atomic<int> pendingTakes{0};
    AnnouncementQueue queue([&pendingTakes] { ++pendingTakes; });
    std::thread engine([&queue] {
        for (int i = 0; i < kCount; ++i) {
            queue.addValue(QString::number(i), QString());
            if (i % 7 == 0) {
                queue.close();
            }
        }
    });
    int expected = 0;
    bool inOrder = true;
    while (expected < kCount) {
        if (pendingTakes.load() == 0) {
            std::this_thread::yield();
            continue;
        }
        --pendingTakes;
        const std::vector<Announcement> batch = queue.takeBatch();
        // Each opened batch is there to be taken, and never empty.
        if (batch.empty()) {
            inOrder = false;
            break;
        }
        for (const Announcement& a : batch) {
            inOrder = inOrder && a.ref == QString::number(expected);
            ++expected;
        }
    }
    engine.join();
    QVERIFY(inOrder);
    QCOMPARE(expected, kCount);
    QCOMPARE(pendingTakes.load(), 0);
    QVERIFY(queue.takeBatch().empty());
}

QTEST_GUILESS_MAIN(AnnouncementQueueTest)
#include "announcementqueue_test.moc"
