#include "treemodel.h"

#include <QBrush>
#include <QColor>
#include <QSignalSpy>
#include <QStandardItem>
#include <QtTest>

#include <memory>

using iec61850::TreeModel;

namespace {

// The tree as nested text, e.g. "LD(LN1(a,b),LN2(c))": one string shows the whole shape at once.
QString shape(const QStandardItem* item) {
    QStringList children;
    for (int row = 0; row < item->rowCount(); ++row) {
        children << shape(item->child(row, 0));
    }
    const QString name = item->text();
    return children.isEmpty() ? name : name + "(" + children.join(",") + ")";
}

QString shape(const TreeModel& model) {
    // The invisible root has no text, so the whole tree reads "(LD(...))".
    return shape(model.invisibleRootItem());
}

QString valueOf(const TreeModel& model, const QString& ref) {
    QStandardItem* item = model.itemOf(ref);
    return item == nullptr ? QStringLiteral("<none>") : item->index().siblingAtColumn(1).data().toString();
}

QColor backgroundOf(const QStandardItem* item) {
    return item->data(Qt::BackgroundRole).value<QBrush>().color();
}

// LD / LN / DO / DA / sub-attribute: five levels, the deepest four below the top-level line.
void addDeepPath(TreeModel& model) {
    model.addItem("LD", "LD", 1);
    model.addItem("LN", "LD/LN", 2);
    model.addItem("DO", "LD/LN.DO", 3);
    model.addItem("DA", "LD/LN.DO.DA", 4);
    model.addItem("SUB", "LD/LN.DO.DA.SUB", 5);
}

}  // namespace

class TreeModelTest : public QObject {
    Q_OBJECT

private slots:
    void linesAreFiledUnderTheLatestLineOfTheLayerAbove();
    void linesWithoutParentAreDropped();
    void valuesFollowTheirReference();
    void highlightColoursThePathAndReverts();
    void highlightRevertSkipsRemovedRowsAndDeadModels();
    void aLineFlashedAgainStaysColouredForTheWholeTimeOfItsLatestFlash();
    void removeItemTakesTheSubtreeOutOfModelAndMaps();
    void resetTreeStartsOver();
    // A large tree leaves the model at once and is freed on later turns of the event loop: a view
    // showing it sees it gone, the new tree built meanwhile is untouched by the freeing, and a model
    // that goes first frees the rest (the sanitizers see any line freed twice, late or never).
    void resetTreeOfALargeTreeFreesItLater();
};

void TreeModelTest::linesAreFiledUnderTheLatestLineOfTheLayerAbove() {
    TreeModel model;
    model.addItem("LD", "LD", 1);
    model.addItem("LN1", "LD/LN1", 2);
    model.addItem("a", "LD/LN1.a", 3);
    model.addItem("b", "LD/LN1.b", 3);
    model.addItem("LN2", "LD/LN2", 2);
    model.addItem("c", "LD/LN2.c", 3);
    QCOMPARE(shape(model), QString("(LD(LN1(a,b),LN2(c)))"));
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.referenceOf(model.itemOf("LD/LN1.b")), QString("LD/LN1.b"));

    // Two lines with one reference: the later line wins the index, both stay in the tree.
    model.addItem("c again", "LD/LN2.c", 3);
    QCOMPARE(model.itemOf("LD/LN2.c")->text(), QString("c again"));
    QCOMPARE(shape(model), QString("(LD(LN1(a,b),LN2(c,c again)))"));
}

void TreeModelTest::linesWithoutParentAreDropped() {
    TreeModel model;
    model.addItem("LD", "LD", 1);
    model.addItem("orphan", "LD/x.y", 3);
    model.addItem("LN", "LD/LN", 2);
    model.addItem("bad0", "bad0", 0);
    model.addItem("bad-1", "bad-1", -1);
    model.addItem("a", "LD/LN.a", 3);
    QCOMPARE(shape(model), QString("(LD(LN(a)))"));
    QVERIFY(model.itemOf("LD/x.y") == nullptr);
    QVERIFY(model.itemOf("bad0") == nullptr);

    // A line whose parent reference was forgotten (its row removed) is dropped, and so are its own
    // children, instead of landing on a deleted item.
    model.addItem("DO", "LD/LN.DO", 3);
    model.removeItem(model.itemOf("LD/LN")->index());
    model.addItem("DA", "LD/LN.DO.DA", 4);
    model.addItem("DA2", "LD/LN.DO.DA2", 4);
    model.addItem("SUB", "LD/LN.DO.DA2.SUB", 5);
    model.addItem("b", "LD/LN.b", 3);
    QCOMPARE(shape(model), QString("(LD)"));
    QVERIFY(model.itemOf("LD/LN.DO.DA") == nullptr);
    model.addItem("LN2", "LD/LN2", 2);
    model.addItem("c", "LD/LN2.c", 3);
    QCOMPARE(shape(model), QString("(LD(LN2(c)))"));
}

void TreeModelTest::valuesFollowTheirReference() {
    TreeModel model;
    model.setValue("LD/LN.early", "7", false);  // value before its line
    model.addItem("LD", "LD", 1);
    model.addItem("LN", "LD/LN", 2);
    model.addItem("early", "LD/LN.early", 3);
    model.addItem("stVal", "LD/LN.stVal", 3);
    QCOMPARE(valueOf(model, "LD/LN.early"), QString("7"));
    QCOMPARE(valueOf(model, "LD/LN.stVal"), QString());

    model.setValue("LD/LN.stVal", "12", false);
    model.setValue("LD/LN.stVal", "", false);
    QCOMPARE(valueOf(model, "LD/LN.stVal"), QString("12"));
    model.setValue("LD/LN", "", false);  // never valued: stays empty
    QCOMPARE(valueOf(model, "LD/LN"), QString());

    // An empty value shows the last one again after the line was cleared by hand.
    model.setData(model.itemOf("LD/LN.stVal")->index().siblingAtColumn(1), QString());
    model.setValue("LD/LN.stVal", QString(), false);
    QCOMPARE(valueOf(model, "LD/LN.stVal"), QString("12"));
}

void TreeModelTest::highlightColoursThePathAndReverts() {
    TreeModel model;
    addDeepPath(model);
    model.addItem("other", "LD/LN.DO.other", 4);
    model.setValue("LD/LN.DO.DA.SUB", "5", true);
    QCOMPARE(valueOf(model, "LD/LN.DO.DA.SUB"), QString("5"));

    const QStringList path{"LD/LN", "LD/LN.DO", "LD/LN.DO.DA", "LD/LN.DO.DA.SUB"};
    for (const QString& ref : path) {
        QCOMPARE(backgroundOf(model.itemOf(ref)), QColor(Qt::darkCyan));
    }
    QVERIFY(!model.itemOf("LD")->data(Qt::BackgroundRole).isValid());
    QVERIFY(!model.itemOf("LD/LN.DO.other")->data(Qt::BackgroundRole).isValid());

    QTRY_COMPARE_WITH_TIMEOUT(backgroundOf(model.itemOf("LD/LN.DO.DA.SUB")), QColor("#2d2d2d"), 5000);
    for (const QString& ref : path) {
        QCOMPARE(backgroundOf(model.itemOf(ref)), QColor("#2d2d2d"));
    }
    QVERIFY(!model.itemOf("LD")->data(Qt::BackgroundRole).isValid());

    // A report that repeats the value shown still flashes its path.
    model.setValue("LD/LN.DO.DA.SUB", "5", true);
    QCOMPARE(backgroundOf(model.itemOf("LD/LN.DO.DA.SUB")), QColor(Qt::darkCyan));
}

void TreeModelTest::highlightRevertSkipsRemovedRowsAndDeadModels() {
    // A removed row or a destroyed model must not be touched when the revert fires (ASan would report
    // the use after free); the rows that remain still revert.
    TreeModel model;
    addDeepPath(model);
    model.setValue("LD/LN.DO.DA.SUB", "1", true);
    model.removeItem(model.itemOf("LD/LN.DO.DA")->index());
    model.addItem("DA", "LD/LN.DO.DA", 4);

    auto* shortLived = new TreeModel;
    addDeepPath(*shortLived);
    shortLived->setValue("LD/LN.DO.DA", "1", true);
    delete shortLived;

    QTRY_COMPARE_WITH_TIMEOUT(backgroundOf(model.itemOf("LD/LN.DO")), QColor("#2d2d2d"), 5000);
    QCOMPARE(backgroundOf(model.itemOf("LD/LN")), QColor("#2d2d2d"));
    QVERIFY(!model.itemOf("LD/LN.DO.DA")->data(Qt::BackgroundRole).isValid());
}

// Reports repeat a line's flash while it is still coloured: the earlier flash's time running out must
// not take the colour of the later one, on the line or on the path above it.
void TreeModelTest::aLineFlashedAgainStaysColouredForTheWholeTimeOfItsLatestFlash() {
    TreeModel model;
    addDeepPath(model);
    QElapsedTimer clock;
    clock.start();
    model.setValue("LD/LN.DO.DA.SUB", "1", true);
    QTest::qWait(TreeModel::kHighlightMs / 2);
    model.setValue("LD/LN.DO.DA", "2", true);
    const qint64 secondFlash = clock.elapsed();
    // Past the first flash's time, within the second's.
    QTest::qWait(TreeModel::kHighlightMs / 2 + 500);
    if (clock.elapsed() - secondFlash < TreeModel::kHighlightMs - 100) {
        QCOMPARE(backgroundOf(model.itemOf("LD/LN.DO.DA")), QColor(Qt::darkCyan));
        QCOMPARE(backgroundOf(model.itemOf("LD/LN")), QColor(Qt::darkCyan));
        QCOMPARE(backgroundOf(model.itemOf("LD/LN.DO.DA.SUB")), QColor("#2d2d2d"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(backgroundOf(model.itemOf("LD/LN.DO.DA")), QColor("#2d2d2d"), 5000);
    QCOMPARE(backgroundOf(model.itemOf("LD/LN")), QColor("#2d2d2d"));
}

void TreeModelTest::removeItemTakesTheSubtreeOutOfModelAndMaps() {
    TreeModel model;
    model.addItem("LD", "LD", 1);
    model.addItem("LN", "LD/LN", 2);
    model.addItem("DO", "LD/LN.DO", 3);
    model.addItem("stVal", "LD/LN.DO.stVal", 4);
    model.addItem("q", "LD/LN.DO.q", 4);
    model.addItem("Beh", "LD/LN.Beh", 3);
    model.setValue("LD/LN.DO.stVal", "true", false);
    model.setValue("LD/LN.DO.q", "good", false);

    QStandardItem* stVal = model.itemOf("LD/LN.DO.stVal");
    model.removeItem(model.itemOf("LD/LN.DO")->index());
    QCOMPARE(shape(model), QString("(LD(LN(Beh)))"));
    QVERIFY(model.itemOf("LD/LN.DO") == nullptr);
    QVERIFY(model.itemOf("LD/LN.DO.stVal") == nullptr);
    QVERIFY(model.referenceOf(stVal).isEmpty());  // pointer key only, never dereferenced

    model.removeItem(QModelIndex());  // no item: nothing happens
    QCOMPARE(shape(model), QString("(LD(LN(Beh)))"));

    // Added again: the remembered values come back.
    model.addItem("DO", "LD/LN.DO", 3);
    model.addItem("stVal", "LD/LN.DO.stVal", 4);
    model.addItem("q", "LD/LN.DO.q", 4);
    QCOMPARE(valueOf(model, "LD/LN.DO.stVal"), QString("true"));
    QCOMPARE(valueOf(model, "LD/LN.DO.q"), QString("good"));

    // Removing an older line of a duplicated reference keeps the newer line indexed.
    model.addItem("q", "LD/LN.DO.q", 4);
    QStandardItem* newer = model.itemOf("LD/LN.DO.q");
    QStandardItem* older = model.itemFromIndex(newer->index().sibling(newer->row() - 1, 0));
    model.removeItem(older->index());
    QCOMPARE(model.itemOf("LD/LN.DO.q"), newer);
    model.setValue("LD/LN.DO.q", "bad", false);
    QCOMPARE(valueOf(model, "LD/LN.DO.q"), QString("bad"));
}

void TreeModelTest::resetTreeStartsOver() {
    TreeModel model;
    addDeepPath(model);
    model.setValue("LD/LN.DO.DA", "3", false);
    model.resetTree();
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.itemOf("LD") == nullptr);
    QVERIFY(model.itemOf("LD/LN.DO.DA") == nullptr);

    model.addItem("LN", "LD/LN", 2);  // the old path is gone: no parent
    QCOMPARE(model.rowCount(), 0);
    addDeepPath(model);
    QCOMPARE(shape(model), QString("(LD(LN(DO(DA(SUB)))))"));
    QCOMPARE(valueOf(model, "LD/LN.DO.DA"), QString());  // values were forgotten too
}

void TreeModelTest::resetTreeOfALargeTreeFreesItLater() {
    const auto fill = [](TreeModel& model, const QString& device) {
        model.addItem(device, device, 1);
        for (int node = 0; node < 40; ++node) {
            const QString nodeRef = device + "/LN" + QString::number(node);
            model.addItem("LN", nodeRef, 2);
            for (int object = 0; object < 50; ++object) {
                const QString ref = nodeRef + ".DO" + QString::number(object);
                model.addItem("DO", ref, 3);
                model.setValue(ref, "1", false);
            }
        }
    };
    auto model = std::make_unique<TreeModel>();
    fill(*model, "A");
    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    model->resetTree();
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(removed.count(), 1);
    QVERIFY(model->itemOf("A/LN7.DO3") == nullptr);

    // Built again before the old lines are freed, with the same references: nothing old shows.
    fill(*model, "A");
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(valueOf(*model, "A/LN39.DO49"), QString("1"));
    model->setValue("A/LN39.DO49", "2", false);
    QTest::qWait(200);
    QCOMPARE(model->item(0, 0)->rowCount(), 40);
    QCOMPARE(model->item(0, 0)->child(39, 0)->rowCount(), 50);
    QCOMPARE(valueOf(*model, "A/LN39.DO49"), QString("2"));

    // Emptied and destroyed before the freeing has run.
    model->resetTree();
    model.reset();
}

QTEST_GUILESS_MAIN(TreeModelTest)
#include "treemodel_test.moc"
