#include "iec61850view.h"

#include <QSettings>
#include <QtTest>

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

}  // namespace

class Iec61850ViewReadableTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    // The value column keeps its text; the meaning is beside it, for each kind the device serves.
    void valuesCarryTheirMeaningBesideTheText();

private:
    void browse(ViewUnderTest& ui, SimulatorProcess& simulator);
};

void Iec61850ViewReadableTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("Korvan");
    QSettings().clear();
}

void Iec61850ViewReadableTest::browse(ViewUnderTest& ui, SimulatorProcess& simulator) {
    ui.connectTo(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(ui.status()->text(), QString("ConnectedState"), kBrowseTimeoutMs);
    QTRY_VERIFY(ui.ready()->isChecked());
}

void Iec61850ViewReadableTest::valuesCarryTheirMeaningBesideTheText() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(SimulatorProcess::sampleModel()), simulator.errorText().c_str());
    NoticeCloser closer;
    ViewUnderTest ui;
    browse(ui, simulator);
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

QTEST_MAIN(Iec61850ViewReadableTest)
#include "iec61850view_readable_test.moc"
