#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include "viewharness.h"

using namespace viewharness;

namespace {

const QString kSample = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");
const QString kSubstation = QStringLiteral(KORVAN_TEST_DATA_DIR "/scl/openscd-valid2003.scd");

QStandardItem* lineOf(const ViewUnderTest& v, const QString& ref) {
    return findLine(v.structure()->invisibleRootItem(),
                    [&](QStandardItem* line) { return v.structure()->referenceOf(line) == ref; });
}

void openScl(const ViewUnderTest& v, const QString& path, const QString& ied = QString()) {
    QVERIFY(
        QMetaObject::invokeMethod(v.view.get(), "openSclFile", Q_ARG(QString, path), Q_ARG(QString, ied)));
}

}  // namespace

class Iec61850ViewSclTest : public QObject {
    Q_OBJECT

private slots:
    // A file shows offline with its values, and nothing on it can be read, polled, enabled or operated.
    void fileShowsOfflineWithNothingToOperate();
    // The chosen IED of an SCD is shown and its address goes into the connection box.
    void substationIedBringsItsAddress();
    // A file that does not load says why; what was shown stays, and a device can still be connected.
    void brokenFileLeavesTheViewUsable();
    // While connected, the file opened is compared with the device: a changed value shows in its group.
    void compareShowsTheDeviceDifferences();
};

void Iec61850ViewSclTest::fileShowsOfflineWithNothingToOperate() {
    ViewUnderTest v;
    QSignalSpy status(v.view.get(), &iec61850::Iec61850View::setStatusBarMessage);
    openScl(v, kSample);
    QCOMPARE(v.status()->text(), QStringLiteral("Offline: sample_bay.icd (BAY1)"));
    QStandardItem* vendor = lineOf(v, QStringLiteral("BAY1CTRL/LPHD1.PhyNam.vendor"));
    QVERIFY(vendor != nullptr);
    QCOMPARE(valueOf(vendor), QStringLiteral("Veltra"));
    QVERIFY(v.expand()->isEnabled());
    QVERIFY(v.expand()->count() > 4);

    for (const QString& ref :
         {QStringLiteral("BAY1CTRL/CSWI1.Pos.Oper"), QStringLiteral("BAY1MEAS/LLN0.MeasUrcb01"),
          QStringLiteral("BAY1CTRL/XCBR1.OpCnt.stVal")}) {
        QStandardItem* line = lineOf(v, ref);
        QVERIFY2(line != nullptr, qPrintable(ref));
        v.click(line);
        QVERIFY(!v.button("addRemoveButton")->isEnabled());
        QVERIFY(!v.button("readAllButton")->isEnabled());
        QVERIFY(!v.button("enableDisableButton")->isEnabled());
        QVERIFY(!v.button("controlButton")->isEnabled());
    }
    QVERIFY(!status.isEmpty());
    QVERIFY(status.last().first().toString().startsWith(
        QStringLiteral("Showing sample_bay.icd (IED BAY1) offline")));
}

void Iec61850ViewSclTest::substationIedBringsItsAddress() {
    ViewUnderTest v;
    openScl(v, kSubstation, QStringLiteral("IED2"));
    QCOMPARE(v.status()->text(), QStringLiteral("Offline: openscd-valid2003.scd (IED2)"));
    QCOMPARE(v.ip()->text(), QStringLiteral("192.168.0.111"));
    QVERIFY(v.structure()->invisibleRootItem()->rowCount() > 0);
    QVERIFY(v.structure()->invisibleRootItem()->child(0)->text().contains(QStringLiteral("IED2")));
}

void Iec61850ViewSclTest::brokenFileLeavesTheViewUsable() {
    ViewUnderTest v;
    openScl(v, kSample);
    const int shownLines =
        countLines(v.structure()->invisibleRootItem(), [](QStandardItem*) { return true; });

    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.cid"));
    QFile out(broken);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("<?xml version=\"1.0\"?>\n<SCL>\n  <IED name=\"X\">\n");
    out.close();
    NoticeCloser closer;
    openScl(v, broken);
    QCOMPARE(closer.notices.size(), 1);
    QVERIFY2(closer.notices.first().contains(broken + QStringLiteral(":3: XML error")),
             qPrintable(closer.notices.first()));
    QCOMPARE(countLines(v.structure()->invisibleRootItem(), [](QStandardItem*) { return true; }), shownLines);

    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kSample), simulator.errorText().c_str());
    v.connectTo(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(v.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(v.ready()->isChecked(), kBrowseTimeoutMs);
    v.click(lineOf(v, QStringLiteral("BAY1CTRL/XCBR1.OpCnt.stVal")));
    QVERIFY(v.button("addRemoveButton")->isEnabled());
    QVERIFY(v.button("readAllButton")->isEnabled());
}

void Iec61850ViewSclTest::compareShowsTheDeviceDifferences() {
    QFile sample(kSample);
    QVERIFY(sample.open(QIODevice::ReadOnly));
    QByteArray changed = sample.readAll();
    const QByteArray from = R"(<DAI name="operTimeout"><Val>5000</Val></DAI>)";
    QVERIFY(changed.contains(from));
    changed.replace(from, R"(<DAI name="operTimeout"><Val>7000</Val></DAI>)");
    QTemporaryDir dir;
    const QString served = dir.filePath(QStringLiteral("changed.icd"));
    QFile out(served);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(changed);
    out.close();

    SimulatorProcess simulator;
    QVERIFY2(simulator.start(served), simulator.errorText().c_str());
    ViewUnderTest v;
    v.connectTo(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(v.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
    const int deviceLines =
        countLines(v.structure()->invisibleRootItem(), [](QStandardItem*) { return true; });
    openScl(v, kSample);
    QCOMPARE(v.status()->text(), QStringLiteral("ConnectedState"));
    QCOMPARE(countLines(v.structure()->invisibleRootItem(), [](QStandardItem*) { return true; }),
             deviceLines);

    v.button("compareSclButton")->click();
    QDialog* dialog = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (dialog = v.view->findChild<QDialog*>("sclCompareDialog")) != nullptr && dialog->isVisible(),
        kBrowseTimeoutMs);
    auto* tree = dialog->findChild<QTreeWidget*>("differenceTree");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Value (1)"));
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("BAY1CTRL/CSWI1.Pos.operTimeout[CF]"));
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(1), QStringLiteral("device 7000, file 5000"));
    QVERIFY(v.button("compareSclButton")->isEnabled());
}

QTEST_MAIN(Iec61850ViewSclTest)
#include "iec61850view_scl_test.moc"
