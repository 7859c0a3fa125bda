#include "iec61850view.h"

#include <QSettings>
#include <QTemporaryDir>

#include <QtTest>
#include <algorithm>

#include "findbar.h"
#include "naturalorder.h"
#include "viewharness.h"

using iec61850::TreeModel;
using namespace viewharness;

namespace {

QStandardItem* lineEndingWith(TreeModel* tree, const QString& suffix, const QString& within = QString()) {
    return findLine(tree->invisibleRootItem(), [&](QStandardItem* line) {
        const QString ref = tree->referenceOf(line);
        return ref.endsWith(suffix) && ref.contains(within);
    });
}

QString meaningOf(const QStandardItem* line) {
    return line->index().siblingAtColumn(1).data(Qt::ToolTipRole).toString();
}

// The simulator with the sample model and a view that will browse it.
struct SampleDevice {
    SampleDevice() : started(simulator.start(SimulatorProcess::sampleModel())) {}
    SimulatorProcess simulator;
    bool started;
    NoticeCloser closer;
    ViewUnderTest ui;
};

}  // namespace

class Iec61850ViewReadableTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    // The value column keeps its text; the meaning is beside it, for each kind the device serves.
    void valuesCarryTheirMeaningBesideTheText();
    // Keys whose text order is the natural order: a padding or prefix slip puts CSWI10 before CSWI2.
    void naturalKeysOrderNumbersAsNumbers();
    // What a line is found by: its name without the constraint, its reference, the constraint filter.
    void findMatchesNameReferenceAndConstraint();
    // Ctrl+F opens the find bar; matches follow the text and the constraint and wrap both ways.
    void findStepsThroughMatchesOfOneConstraint();
    // Numbers in names sort as numbers when asked, and switching back gives the device's order exactly.
    void naturalOrderAndBackToTheDevicesOrder();
    // A reconnect to the same device opens the lines that were open; another device starts collapsed.
    void reconnectKeepsExpandedLines();
};

void Iec61850ViewReadableTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("Korvan");
    QSettings().clear();
}

void Iec61850ViewReadableTest::valuesCarryTheirMeaningBesideTheText() {
    SampleDevice device;
    QVERIFY2(device.started, device.simulator.errorText().c_str());
    ViewUnderTest& ui = device.ui;
    QVERIFY(ui.connectAndBrowse(device.simulator.port()));
    TreeModel* tree = ui.structure();

    QStandardItem* position = lineEndingWith(tree, "/XCBR1.Pos.stVal");
    QVERIFY(position != nullptr);
    QVERIFY(valueOf(position).startsWith("0b"));
    QVERIFY2(QStringList({"intermediate", "off", "on", "bad"}).contains(meaningOf(position)),
             qPrintable(meaningOf(position)));

    QStandardItem* mode = lineEndingWith(tree, "/LLN0.Mod.stVal");
    QVERIFY(mode != nullptr);
    QCOMPARE(valueOf(mode), QString("On (1)"));
    QCOMPARE(meaningOf(mode), QString("On"));
    QCOMPARE(meaningOf(lineEndingWith(tree, "/LLN0.Health.stVal")), QString("Ok"));
    QCOMPARE(meaningOf(lineEndingWith(tree, "/LLN0.Mod.ctlModel")), QString("Status only"));

    QStandardItem* quality = lineEndingWith(tree, "/XCBR1.Pos.q");
    QVERIFY(quality != nullptr);
    QVERIFY(valueOf(quality).startsWith("QUALITY_VALIDITY_"));
    QVERIFY(!meaningOf(quality).isEmpty());

    QStandardItem* triggers = lineEndingWith(tree, ".TrgOps", "PosRpt");
    QVERIFY(triggers != nullptr);
    QCOMPARE(meaningOf(triggers), QString("data change, quality change, integrity, general interrogation"));
    QStandardItem* entryId = lineEndingWith(tree, ".EntryID", "PosRpt");
    QVERIFY(entryId != nullptr);
    QVERIFY(valueOf(entryId).contains("\n0x "));
    QCOMPARE(meaningOf(entryId), QString("0x 00 00 00 00 00 00 00 00"));

    // A plain number or text has no fixed meaning and no tooltip.
    QCOMPARE(meaningOf(lineEndingWith(tree, "/XCBR1.OpCnt.stVal")), QString());
}

void Iec61850ViewReadableTest::naturalKeysOrderNumbersAsNumbers() {
    using iec61850::NaturalOrder;
    const QStringList natural{" CSWI1",      " CSWI2",     " CSWI10",  " CSWI11", "[ST] Ind2",
                              "[MX] Ind010", "[ST] Ind10", " XCBR007", " XCBR08"};
    QStringList shuffled = natural;
    std::reverse(shuffled.begin(), shuffled.end());
    std::sort(shuffled.begin(), shuffled.end(), [](const QString& a, const QString& b) {
        return NaturalOrder::sortKey(a) < NaturalOrder::sortKey(b);
    });
    QCOMPARE(shuffled, natural);
    // Case does not split names apart, yet two texts never share one key.
    QVERIFY(NaturalOrder::sortKey(" ab1") < NaturalOrder::sortKey(" AB2"));
    QVERIFY(NaturalOrder::sortKey("[ST] stVal") != NaturalOrder::sortKey("[MX] stVal"));
}

void Iec61850ViewReadableTest::findMatchesNameReferenceAndConstraint() {
    using iec61850::FindBar;
    const QString ref = "BAY1CTRL/CSWI1.Pos.Oper";
    QVERIFY(FindBar::lineMatches("[CO] Oper", ref, "oper", ""));
    QVERIFY(FindBar::lineMatches("[CO] Oper", ref, "cswi1.pos", ""));
    QVERIFY(FindBar::lineMatches("[CO] Oper", ref, "", "CO"));
    QVERIFY(FindBar::lineMatches("[CO] Oper", ref, "Pos", "CO"));
    QVERIFY(!FindBar::lineMatches("[CO] Oper", ref, "Pos", "ST"));
    // The constraint's own text is not a name: "CO" finds no line by its bracket.
    QVERIFY(!FindBar::lineMatches("[CO] Oper", "X/Y.Oper", "CO]", ""));
    QVERIFY(!FindBar::lineMatches("[CO] Oper", ref, "", ""));
    QVERIFY(FindBar::lineMatches(" CSWI1", "BAY1CTRL/CSWI1", "cswi", ""));
    QVERIFY(!FindBar::lineMatches(" CSWI1", "BAY1CTRL/CSWI1", "", "CO"));
}

void Iec61850ViewReadableTest::findStepsThroughMatchesOfOneConstraint() {
    SampleDevice device;
    QVERIFY2(device.started, device.simulator.errorText().c_str());
    ViewUnderTest& ui = device.ui;
    QVERIFY(ui.connectAndBrowse(device.simulator.port()));
    TreeModel* tree = ui.structure();
    auto* bar = ui.part<QWidget>("findBar");
    QVERIFY(!bar->isVisible());

    QApplication::setActiveWindow(ui.view.get());
    QTest::keyClick(ui.structureView(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    auto* edit = ui.part<QLineEdit>("findEdit");
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClicks(edit, "pos");
    auto* fc = ui.part<QComboBox>("findFcCombo");
    fc->setCurrentText("CO");

    QStringList visited;
    QStandardItem* first = nullptr;
    for (int step = 0; step < 50; ++step) {
        QTest::keyClick(edit, Qt::Key_Return);
        QStandardItem* line = tree->itemFromIndex(ui.structureView()->currentIndex());
        QVERIFY(line != nullptr);
        if (line == first) {
            break;
        }
        if (first == nullptr) {
            first = line;
        }
        const QString ref = tree->referenceOf(line);
        QVERIFY2(line->text().startsWith("[CO]"), qPrintable(line->text()));
        QVERIFY2(ref.contains("Pos", Qt::CaseInsensitive), qPrintable(ref));
        for (QModelIndex up = line->index().parent(); up.isValid(); up = up.parent()) {
            QVERIFY(ui.structureView()->isExpanded(up));
        }
        visited << ref;
    }
    // Control objects of both switches, under Pos and below it; the walk came back to the first.
    QVERIFY2(visited.size() >= 2, qPrintable(visited.join(", ")));
    QCOMPARE(QSet<QString>(visited.begin(), visited.end()).size(), visited.size());
    auto* count = ui.part<QLabel>("findMatchLabel");
    QCOMPARE(count->text(), QString("1 of %1").arg(visited.size()));

    // Backwards from the first match is the last one.
    ui.part<QPushButton>("findPreviousButton")->click();
    QCOMPARE(tree->referenceOf(tree->itemFromIndex(ui.structureView()->currentIndex())), visited.last());
    QCOMPARE(count->text(), QString("%1 of %1").arg(visited.size()));

    edit->setText("no such line");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(count->text(), QString("No match"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
}

void Iec61850ViewReadableTest::naturalOrderAndBackToTheDevicesOrder() {
    // The sample model with two more inputs, so that text order and number order differ.
    QTemporaryDir dir;
    QFile sample(QString::fromStdString(SimulatorProcess::sampleModel()));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    QByteArray scl = sample.readAll();
    const QByteArray anchor = "<LN lnClass=\"GGIO\" lnType=\"BAY_GGIO\" inst=\"1\" prefix=\"\">";
    QVERIFY(scl.contains(anchor));
    scl.replace(anchor,
                "<LN lnClass=\"GGIO\" lnType=\"BAY_GGIO\" inst=\"10\" prefix=\"\"/>"
                "<LN lnClass=\"GGIO\" lnType=\"BAY_GGIO\" inst=\"2\" prefix=\"\"/>" +
                    anchor);
    QFile model(dir.filePath("numbered.icd"));
    QVERIFY(model.open(QIODevice::WriteOnly));
    model.write(scl);
    model.close();

    SimulatorProcess simulator;
    QVERIFY2(simulator.start(model.fileName().toStdString()), simulator.errorText().c_str());
    NoticeCloser closer;
    ViewUnderTest ui;
    auto* natural = ui.part<QCheckBox>("naturalOrderCheck");
    QVERIFY(!natural->isChecked());
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    TreeModel* tree = ui.structure();
    QStandardItem* ggio = lineEndingWith(tree, "/GGIO1");
    QVERIFY(ggio != nullptr);
    QStandardItem* device = ggio->parent();
    const auto names = [&]() {
        QStringList shown;
        for (int row = 0; row < device->rowCount(); ++row) {
            shown << device->child(row, 0)->text().trimmed();
        }
        return shown;
    };
    const auto inputs = [&]() { return names().filter("GGIO"); };
    const QStringList deviceOrder = names();

    natural->setChecked(true);
    QCOMPARE(inputs(), (QStringList{"GGIO1", "GGIO2", "GGIO10"}));
    // Values still reach their lines after the rows moved.
    QVERIFY(lineEndingWith(tree, "/GGIO1") != nullptr);
    QCOMPARE(tree->itemOf(tree->referenceOf(device)), device);

    natural->setChecked(false);
    QCOMPARE(names(), deviceOrder);

    // The choice is kept: a new view sorts once the browse has ended.
    natural->setChecked(true);
    ui.button("disconnectButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices.size(), 1, 10000);
    ViewUnderTest next;
    QVERIFY(next.part<QCheckBox>("naturalOrderCheck")->isChecked());
    QVERIFY(next.connectAndBrowse(simulator.port()));
    QStandardItem* nextDevice = lineEndingWith(next.structure(), "/GGIO1")->parent();
    QStringList inputsNext;
    for (int row = 0; row < nextDevice->rowCount(); ++row) {
        inputsNext << nextDevice->child(row, 0)->text().trimmed();
    }
    QCOMPARE(inputsNext.filter("GGIO"), (QStringList{"GGIO1", "GGIO2", "GGIO10"}));
    next.part<QCheckBox>("naturalOrderCheck")->setChecked(false);
}

void Iec61850ViewReadableTest::reconnectKeepsExpandedLines() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(SimulatorProcess::sampleModel()), simulator.errorText().c_str());
    SimulatorProcess other;
    QVERIFY2(other.start(SimulatorProcess::sampleModel()), other.errorText().c_str());
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    TreeModel* tree = ui.structure();
    QTreeView* view = ui.structureView();

    QStandardItem* position = tree->itemOf("BAY1CTRL/XCBR1.Pos");
    QVERIFY(position != nullptr);
    const QStringList opened{tree->referenceOf(position->parent()->parent()),
                             tree->referenceOf(position->parent()), tree->referenceOf(position)};
    for (const QString& ref : opened) {
        view->expand(tree->itemOf(ref)->index());
    }
    const QString closedRef = "BAY1CTRL/LLN0";
    const auto expandedNow = [&]() {
        QStringList refs;
        for (const QString& ref : opened + QStringList{closedRef}) {
            QStandardItem* line = tree->itemOf(ref);
            if (line != nullptr && view->isExpanded(line->index())) {
                refs << ref;
            }
        }
        return refs;
    };
    QCOMPARE(expandedNow(), opened);

    ui.button("disconnectButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices.size(), 1, 10000);
    ui.button("connectButton")->click();
    QCOMPARE(tree->rowCount(), 0);
    QVERIFY(ui.browsed());
    QCOMPARE(expandedNow(), opened);

    // Collapsed in this session: stays collapsed after the next reconnect.
    view->collapse(tree->itemOf(opened.last())->index());
    ui.button("disconnectButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices.size(), 2, 10000);
    ui.button("connectButton")->click();
    QVERIFY(ui.browsed());
    QCOMPARE(expandedNow(), opened.mid(0, 2));

    ui.button("disconnectButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices.size(), 3, 10000);
    QVERIFY(ui.connectAndBrowse(other.port()));
    QCOMPARE(expandedNow(), QStringList());
}

QTEST_MAIN(Iec61850ViewReadableTest)
#include "iec61850view_readable_test.moc"
