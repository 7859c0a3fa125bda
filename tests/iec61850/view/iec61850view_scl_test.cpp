#include <QProgressBar>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include "brokenscl.h"
#include "viewharness.h"

using namespace viewharness;

namespace {

const QString kSample = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");
const QString kSubstation = QStringLiteral(KORVAN_TEST_DATA_DIR "/scl/openscd-valid2003.scd");

QStandardItem* lineOf(const ViewUnderTest& v, const QString& ref) {
    return findLine(v.structure()->invisibleRootItem(),
                    [&](QStandardItem* line) { return v.structure()->referenceOf(line) == ref; });
}

QProgressBar* progressOf(const ViewUnderTest& v) {
    return v.part<QProgressBar>("progressBar");
}

// Starts opening the file; the view reads it off its thread and files the lines in slices.
void startOpening(const ViewUnderTest& v, const QString& path, const QString& ied = QString()) {
    QVERIFY(
        QMetaObject::invokeMethod(v.view.get(), "openSclFile", Q_ARG(QString, path), Q_ARG(QString, ied)));
}

// Opens the file and waits until the view is done with it, whichever way that went.
void openScl(const ViewUnderTest& v, const QString& path, const QString& ied = QString()) {
    startOpening(v, path, ied);
    QTRY_VERIFY_WITH_TIMEOUT(progressOf(v)->isHidden(), kBrowseTimeoutMs);
    QVERIFY(v.button("progressCancelButton")->isHidden());
}

int shownLines(const ViewUnderTest& v) {
    return countLines(v.structure()->invisibleRootItem(), [](QStandardItem*) { return true; });
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size()) {
        return QString();
    }
    return path;
}

// A model of `logicalNodes` nodes with 37 lines each, large enough that reading, building and filing
// it take many steps.
QByteArray largeModel(int logicalNodes) {
    QByteArray scl =
        "<?xml version=\"1.0\"?>\n<SCL>\n<IED name=\"BIG\"><AccessPoint name=\"AP\"><Server>\n"
        "<LDevice inst=\"LD\"><LN0 lnClass=\"LLN0\" lnType=\"L0\" inst=\"\"/>\n";
    for (int i = 1; i <= logicalNodes; ++i) {
        scl += "<LN lnClass=\"GGIO\" inst=\"" + QByteArray::number(i) + "\" lnType=\"G\"/>\n";
    }
    scl += R"(</LDevice></Server></AccessPoint></IED>
<DataTypeTemplates>
<LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/></LNodeType>
<LNodeType id="G" lnClass="GGIO"><DO name="AnIn1" type="MV"/><DO name="AnIn2" type="MV"/><DO name="AnIn3" type="MV"/>
<DO name="AnIn4" type="MV"/><DO name="Ind1" type="SPS"/><DO name="Ind2" type="SPS"/><DO name="Ind3" type="SPS"/>
<DO name="Ind4" type="SPS"/></LNodeType>
<DOType id="M" cdc="ENC"><DA name="stVal" bType="INT32" fc="ST"><Val>1</Val></DA></DOType>
<DOType id="MV" cdc="MV"><DA name="mag" bType="Struct" type="AV" fc="MX"/><DA name="q" bType="Quality" fc="MX"/>
<DA name="t" bType="Timestamp" fc="MX"/></DOType>
<DOType id="SPS" cdc="SPS"><DA name="stVal" bType="BOOLEAN" fc="ST"><Val>true</Val></DA>
<DA name="q" bType="Quality" fc="ST"/><DA name="t" bType="Timestamp" fc="ST"/></DOType>
<DAType id="AV"><BDA name="f" bType="FLOAT32"/></DAType>
</DataTypeTemplates>
</SCL>
)";
    return scl;
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
    // Bad files (truncated, not SCL at all, a name twice, a type that is not there) each give one notice
    // with file, line and problem; what was shown stays, nothing is left running, and the next file
    // opens.
    void badInputSaysWhyAndKeepsWhatWasShown_data();
    void badInputSaysWhyAndKeepsWhatWasShown();
    // A large file shows its progress in the bar, step by step, and the bar is gone when it is shown.
    void largeFileShowsProgressUntilShown();
    // Cancel while the file is read or built: what was shown before stays, also once the work ends.
    // Cancel while the lines are filed: the half-filed file goes and the tree is empty. Either way the
    // bar goes at once, the status bar says so, nothing turns up later, and the view takes the next
    // file.
    void cancelLeavesTheViewUsable_data();
    void cancelLeavesTheViewUsable();
    // Another file opened during a load replaces it; the first never shows up later.
    void anotherFileDuringALoadWins();
    // Connecting while a file's lines are filed: only the device's lines end up in the tree.
    void connectingStopsTheFiling();
    // The view closed during a load: its workers end without touching the gone view.
    void closingTheViewDuringALoadIsSafe();
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

void Iec61850ViewSclTest::badInputSaysWhyAndKeepsWhatWasShown_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    for (const brokenscl::BrokenFile& file : brokenscl::brokenFiles()) {
        if (!file.asksForIed) {
            QTest::newRow(file.name) << file.content << file.problem;
        }
    }
}

void Iec61850ViewSclTest::badInputSaysWhyAndKeepsWhatWasShown() {
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    ViewUnderTest v;
    openScl(v, kSample);
    const int before = shownLines(v);
    QTemporaryDir dir;
    const QString broken = writeFile(dir, QStringLiteral("broken.icd"), content);
    QVERIFY(!broken.isEmpty());

    NoticeCloser closer;
    QSignalSpy status(v.view.get(), &iec61850::Iec61850View::setStatusBarMessage);
    openScl(v, broken);
    QCOMPARE(closer.notices.size(), 1);
    QVERIFY2(closer.notices.first().contains(broken + problem), qPrintable(closer.notices.first()));
    QVERIFY(!status.isEmpty());
    QVERIFY2(
        status.last().first().toString().startsWith(QStringLiteral("SCL file not loaded: ") + broken + ':'),
        qPrintable(status.last().first().toString()));
    QCOMPARE(shownLines(v), before);
    QCOMPARE(v.status()->text(), QStringLiteral("Offline: sample_bay.icd (BAY1)"));

    openScl(v, kSubstation, QStringLiteral("IED2"));
    QCOMPARE(v.status()->text(), QStringLiteral("Offline: openscd-valid2003.scd (IED2)"));
    QCOMPARE(closer.notices.size(), 1);
}

void Iec61850ViewSclTest::largeFileShowsProgressUntilShown() {
    QTemporaryDir dir;
    const QString large = writeFile(dir, QStringLiteral("large.icd"), largeModel(1500));
    QVERIFY(!large.isEmpty());
    ViewUnderTest v;
    QProgressBar* bar = progressOf(v);
    QSignalSpy values(bar, &QProgressBar::valueChanged);
    QStringList formats;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (!bar->isHidden() && (formats.isEmpty() || formats.last() != bar->format())) {
            formats << bar->format();
        }
    });
    watch.start(1);
    startOpening(v, large);
    QVERIFY(!bar->isHidden());
    QVERIFY(!v.button("progressCancelButton")->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), kBrowseTimeoutMs);
    watch.stop();

    QCOMPARE(v.status()->text(), QStringLiteral("Offline: large.icd (BIG)"));
    const int lines = shownLines(v);
    QCOMPARE(lines, 1 + 1 + 2 + 1500 * 37);
    QVERIFY(v.button("progressCancelButton")->isHidden());
    // The lines went in over several steps that the bar showed, up to the last one.
    QVERIFY(values.size() > 2);
    QCOMPARE(values.last().first().toInt(), lines);
    QVERIFY2(formats.contains(QStringLiteral("Showing large.icd: %v of %m lines")),
             qPrintable(formats.join('|')));
    QVERIFY(v.ready()->isChecked());
}

void Iec61850ViewSclTest::cancelLeavesTheViewUsable_data() {
    QTest::addColumn<bool>("whileFiling");
    QTest::newRow("while reading or building") << false;
    QTest::newRow("while filing") << true;
}

void Iec61850ViewSclTest::cancelLeavesTheViewUsable() {
    QFETCH(bool, whileFiling);
    QTemporaryDir dir;
    const QString large = writeFile(dir, QStringLiteral("large.icd"), largeModel(1500));
    ViewUnderTest v;
    openScl(v, kSample);
    const QString sampleStatus = QStringLiteral("Offline: sample_bay.icd (BAY1)");
    const int sampleLines = shownLines(v);
    QSignalSpy status(v.view.get(), &iec61850::Iec61850View::setStatusBarMessage);
    startOpening(v, large);
    if (whileFiling) {
        QTRY_VERIFY_WITH_TIMEOUT(
            !progressOf(v)->isHidden() && progressOf(v)->format().startsWith(QStringLiteral("Showing")),
            kBrowseTimeoutMs);
        QVERIFY(shownLines(v) < 1 + 1 + 2 + 1500 * 37);
    }
    v.button("progressCancelButton")->click();
    QVERIFY(progressOf(v)->isHidden());
    QVERIFY(v.button("progressCancelButton")->isHidden());
    QCOMPARE(status.last().first().toString(), QStringLiteral("Opening large.icd cancelled"));
    const int expectedLines = whileFiling ? 0 : sampleLines;
    const QString expectedStatus = whileFiling ? QStringLiteral("UnconnectedState") : sampleStatus;
    QCOMPARE(shownLines(v), expectedLines);
    QCOMPARE(v.status()->text(), expectedStatus);

    // The workers end on their own; nothing they made reaches the view.
    QTest::qWait(whileFiling ? 200 : 2000);
    QCOMPARE(v.status()->text(), expectedStatus);
    QCOMPARE(shownLines(v), expectedLines);
    QVERIFY(progressOf(v)->isHidden());
    QCOMPARE(status.last().first().toString(), QStringLiteral("Opening large.icd cancelled"));

    openScl(v, kSample);
    QCOMPARE(v.status()->text(), sampleStatus);
    QCOMPARE(shownLines(v), sampleLines);
    QVERIFY(lineOf(v, QStringLiteral("BAY1CTRL/LPHD1.PhyNam.vendor")) != nullptr);
}

void Iec61850ViewSclTest::anotherFileDuringALoadWins() {
    QTemporaryDir dir;
    const QString large = writeFile(dir, QStringLiteral("large.icd"), largeModel(1500));
    ViewUnderTest v;
    startOpening(v, large);
    openScl(v, kSample);
    QCOMPARE(v.status()->text(), QStringLiteral("Offline: sample_bay.icd (BAY1)"));
    const int sampleLines = shownLines(v);
    QTest::qWait(2000);
    QCOMPARE(v.status()->text(), QStringLiteral("Offline: sample_bay.icd (BAY1)"));
    QCOMPARE(shownLines(v), sampleLines);
    QVERIFY(progressOf(v)->isHidden());
}

void Iec61850ViewSclTest::connectingStopsTheFiling() {
    QTemporaryDir dir;
    const QString large = writeFile(dir, QStringLiteral("large.icd"), largeModel(1500));
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kSample), simulator.errorText().c_str());
    ViewUnderTest v;
    startOpening(v, large);
    QTRY_VERIFY_WITH_TIMEOUT(
        !progressOf(v)->isHidden() && progressOf(v)->format().startsWith(QStringLiteral("Showing")),
        kBrowseTimeoutMs);
    v.connectTo(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(v.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(v.ready()->isChecked(), kBrowseTimeoutMs);
    QVERIFY(lineOf(v, QStringLiteral("BAY1CTRL/XCBR1.OpCnt.stVal")) != nullptr);
    QCOMPARE(lineOf(v, QStringLiteral("BIGLD/GGIO1")), nullptr);
    QVERIFY(progressOf(v)->isHidden());
}

void Iec61850ViewSclTest::closingTheViewDuringALoadIsSafe() {
    QTemporaryDir dir;
    const QString large = writeFile(dir, QStringLiteral("large.icd"), largeModel(1500));
    for (int wait : {0, 50, 300}) {
        ViewUnderTest v;
        startOpening(v, large);
        QTest::qWait(wait);
        v.view.reset();
    }
    QTest::qWait(100);  // anything the gone view's workers might still have posted
}

QTEST_MAIN(Iec61850ViewSclTest)
#include "iec61850view_scl_test.moc"
