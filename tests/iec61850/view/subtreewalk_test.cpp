#include "subtreewalk.h"

#include <QStandardItemModel>
#include <QtTest>

using iec61850::SubtreeWalk;

namespace {

// Builds "A(B(C,D),E)" style trees: a line's text is its name.
QStandardItem* line(QStandardItem* parent, const QString& name) {
    auto* item = new QStandardItem(name);
    parent->appendRow(item);
    return item;
}

// What the walk gives until it ends, as "name:layer".
QStringList walkAll(SubtreeWalk& walk, const QStandardItemModel& model) {
    QStringList seen;
    for (int guard = 0; guard < 1000 && !walk.done(); ++guard) {
        int layer = 0;
        const QModelIndex index = walk.next(&layer);
        if (!index.isValid()) {
            break;
        }
        seen << model.itemFromIndex(index)->text() + ':' + QString::number(layer);
    }
    return seen;
}

}  // namespace

class SubtreeWalkTest : public QObject {
    Q_OBJECT

private slots:
    // Pre-order with layers, the top line first; lines beside the top line are not walked.
    void walksTheSubtreeInPreOrder();
    // Lines come and go between two steps, as they do while the event loop runs: a line appended
    // where the walk has not been yet is walked, a line that went ends the walk without touching it.
    void survivesChangesBetweenSteps();
    // A walk cut into slices hands out every line once and in order; a slice whose time is up stops
    // at the first 16-line step past its minimum, and the next slice goes on from there.
    void slicesHandOutEveryLineOnce();
};

void SubtreeWalkTest::walksTheSubtreeInPreOrder() {
    QStandardItemModel model;
    QStandardItem* a = line(model.invisibleRootItem(), "A");
    QStandardItem* b = line(a, "B");
    line(b, "C");
    line(b, "D");
    line(a, "E");
    line(model.invisibleRootItem(), "F");

    SubtreeWalk walk(a->index(), 1);
    QVERIFY(!walk.done());
    QCOMPARE(walkAll(walk, model), (QStringList{"A:1", "B:2", "C:3", "D:3", "E:2"}));
    QVERIFY(walk.done());

    SubtreeWalk fromB(b->index(), 2);
    QCOMPARE(walkAll(fromB, model), (QStringList{"B:2", "C:3", "D:3"}));
    SubtreeWalk none;
    QVERIFY(none.done());
}

void SubtreeWalkTest::survivesChangesBetweenSteps() {
    QStandardItemModel model;
    QStandardItem* a = line(model.invisibleRootItem(), "A");
    QStandardItem* b = line(a, "B");
    line(b, "C");
    line(a, "E");

    SubtreeWalk walk(a->index(), 1);
    int layer = 0;
    QCOMPARE(model.itemFromIndex(walk.next(&layer))->text(), QString("A"));
    QCOMPARE(model.itemFromIndex(walk.next(&layer))->text(), QString("B"));
    line(a, "G");  // after E, which the walk has not reached
    QCOMPARE(walkAll(walk, model), (QStringList{"C:3", "E:2", "G:2"}));

    SubtreeWalk cut(a->index(), 1);
    QCOMPARE(model.itemFromIndex(cut.next(&layer))->text(), QString("A"));
    QCOMPARE(model.itemFromIndex(cut.next(&layer))->text(), QString("B"));
    model.removeRow(0);  // A and everything below it
    QVERIFY(!cut.top().isValid());
    QVERIFY(!cut.next(&layer).isValid());
    QVERIFY(cut.done());

    QStandardItem* h = line(model.invisibleRootItem(), "H");
    SubtreeWalk unstarted(h->index(), 1);
    model.removeRow(0);
    QVERIFY(unstarted.done());
    QVERIFY(!unstarted.next(&layer).isValid());
}

void SubtreeWalkTest::slicesHandOutEveryLineOnce() {
    QStandardItemModel model;
    QStandardItem* top = line(model.invisibleRootItem(), "top");
    QStringList expected{"top:1"};
    for (int i = 0; i < 100; ++i) {
        line(top, QString::number(i));
        expected << QString::number(i) + ":2";
    }

    SubtreeWalk walk(top->index(), 1);
    QElapsedTimer clock;
    clock.start();
    QStringList seen;
    const auto visit = [&](const QModelIndex& index, int layer) {
        seen << model.itemFromIndex(index)->text() + ':' + QString::number(layer);
    };
    int handed = 0;
    // No time left from the start: the slice stops at the first step of 16 past 20.
    QVERIFY(!walk.walkSlice(clock, 0, 20, &handed, visit));
    QCOMPARE(handed, 32);
    QCOMPARE(seen, expected.mid(0, 32));
    int slices = 1;
    while (slices < 100) {
        ++slices;
        handed = 0;
        if (walk.walkSlice(clock, 0, 20, &handed, visit)) {
            break;
        }
    }
    QCOMPARE(slices, 4);
    QCOMPARE(seen, expected);
    // A finished walk hands out nothing more; neither does one without a line.
    handed = 0;
    QVERIFY(walk.walkSlice(clock, 1000, 0, &handed, visit));
    SubtreeWalk none;
    QVERIFY(none.walkSlice(clock, 1000, 0, &handed, visit));
    QCOMPARE(handed, 0);
}

QTEST_GUILESS_MAIN(SubtreeWalkTest)
#include "subtreewalk_test.moc"
