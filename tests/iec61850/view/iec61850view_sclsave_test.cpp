#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "viewharness.h"

using namespace viewharness;

namespace {

const QString kSample = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");

void saveAs(const ViewUnderTest& v, const QString& path) {
    QVERIFY(QMetaObject::invokeMethod(v.view.get(), "saveModelAsScl", Q_ARG(QString, path)));
}

int lineCount(const ViewUnderTest& v) {
    return countLines(v.structure()->invisibleRootItem(), [](QStandardItem*) { return true; });
}

}  // namespace

class Iec61850ViewSclSaveTest : public QObject {
    Q_OBJECT

private slots:
    // The button is there only for a device whose walk is done; the file it writes is served by the
    // simulator, and a view connected to that shows as many lines as the device had.
    void savedFileServesTheDevicesModel();
    // A file that cannot be written is named on the status bar, nothing goes to the message log, and
    // the button can be pressed again.
    void failedSaveSaysWhy();
    // The view closed while a save still reads the device: the close waits for the worker, which
    // finishes its file, and nothing reaches the gone view.
    void closingTheViewDuringASaveIsSafe();
};

void Iec61850ViewSclSaveTest::savedFileServesTheDevicesModel() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kSample), simulator.errorText().c_str());
    ViewUnderTest v;
    QVERIFY(!v.button("saveSclButton")->isEnabled());
    v.connectTo(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(v.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
    QVERIFY(v.button("saveSclButton")->isEnabled());
    const int deviceLines = lineCount(v);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bay.icd"));
    QSignalSpy logged(v.view.get(), &iec61850::Iec61850View::logMessage);
    saveAs(v, path);
    QVERIFY(!v.button("saveSclButton")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(logged.size(), 1, kBrowseTimeoutMs);
    QVERIFY2(logged.first().first().toString().contains(QStringLiteral("saved as ") + path),
             qPrintable(logged.first().first().toString()));
    QTRY_VERIFY(v.button("saveSclButton")->isEnabled());

    SimulatorProcess saved;
    QVERIFY2(saved.start(path), saved.errorText().c_str());
    ViewUnderTest again;
    again.connectTo(saved.port());
    QTRY_COMPARE_WITH_TIMEOUT(again.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
    QCOMPARE(lineCount(again), deviceLines);

    NoticeCloser closer;
    v.button("disconnectButton")->click();
    QTRY_VERIFY(!v.button("saveSclButton")->isEnabled());
}

void Iec61850ViewSclSaveTest::failedSaveSaysWhy() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kSample), simulator.errorText().c_str());
    ViewUnderTest v;
    v.connectTo(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(v.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
    QSignalSpy status(v.view.get(), &iec61850::Iec61850View::setStatusBarMessage);
    QSignalSpy logged(v.view.get(), &iec61850::Iec61850View::logMessage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/bay.icd"));
    saveAs(v, path);
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty() && status.last().first().toString().startsWith(QStringLiteral(
                                                      "Save model as SCL failed: cannot write ")),
                             kBrowseTimeoutMs);
    QVERIFY(logged.isEmpty());
    QVERIFY(!QFile::exists(path));
    QTRY_VERIFY(v.button("saveSclButton")->isEnabled());
}

void Iec61850ViewSclSaveTest::closingTheViewDuringASaveIsSafe() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kSample), simulator.errorText().c_str());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bay.icd"));
    {
        ViewUnderTest v;
        v.connectTo(simulator.port());
        QTRY_COMPARE_WITH_TIMEOUT(v.status()->text(), QStringLiteral("ConnectedState"), kBrowseTimeoutMs);
        saveAs(v, path);
        QVERIFY(!v.button("saveSclButton")->isEnabled());
        v.view.reset();
    }
    QVERIFY(QFile::exists(path));
    QTest::qWait(100);  // anything the gone view's worker might still have posted
}

QTEST_MAIN(Iec61850ViewSclSaveTest)
#include "iec61850view_sclsave_test.moc"
