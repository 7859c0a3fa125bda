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

QTEST_GUILESS_MAIN(SubtreeWalkTest)
#include "subtreewalk_test.moc"
