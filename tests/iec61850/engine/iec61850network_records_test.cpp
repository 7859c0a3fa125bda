// The engine's downloads against the simulator: they leave the engine free for reads meanwhile, stop
// on cancel and when the device goes, and never leave a file that looks complete.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "enginerig.h"
#include "simulatorprocess.h"

using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

namespace {

const QString kModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd");
const QString kValue = QStringLiteral("KCTRL/MMXU1.TotW.mag.f");
constexpr int kDownloadTimeoutMs = 60000;

// What the engine said about downloads, in the order it arrived on the test's thread.
struct DownloadLog : QObject {
    explicit DownloadLog(iec61850::Iec61850Network* engine) {
        connect(engine, &iec61850::Iec61850Network::fileProgress, this,
                [this](const QString&, qint64 received, qint64) {
                    lastReceived = received;
                    ++chunks;
                });
        connect(engine, &iec61850::Iec61850Network::fileDownloadDone, this,
                [this](const QString& name, const QString&, const QString& error) {
                    done << name;
                    errors << error;
                });
    }
    int chunks = 0;
    qint64 lastReceived = 0;
    QStringList done;
    QStringList errors;
};

// A file that takes hundreds of answers to fetch at a small PDU size.
QByteArray largeContent() {
    QByteArray content;
    for (int i = 0; i < 1500000; ++i) {
        content.append(static_cast<char>(i % 253));
    }
    return content;
}

// Serves `content` as /big.dat at a small PDU size, and connects and walks the engine.
bool serveAndWalk(EngineRig& rig, SimulatorProcess& simulator, const QTemporaryDir& served,
                  const QByteArray& content) {
    QFile file(served.filePath("big.dat"));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        return false;
    }
    file.close();
    return rig.serveAndWalk(simulator, kModel,
                            {"--files", served.path(), "--max-pdu", "2000", "--latency", "2"});
}

}  // namespace

class Iec61850NetworkRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void readsAreAnsweredWhileADownloadRuns();
    void aCancelledDownloadLeavesNoFile();
    void aDeviceThatGoesMidwayLeavesNoFile();
};

void Iec61850NetworkRecordsTest::readsAreAnsweredWhileADownloadRuns() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QTemporaryDir served, local;
    const QByteArray content = largeContent();
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(serveAndWalk(rig, simulator, served, content));
    DownloadLog log(rig.engine());

    const QString target = local.filePath("big.dat");
    QMetaObject::invokeMethod(rig.engine(), "downloadFiles", Q_ARG(QStringList, {"/big.dat"}),
                              Q_ARG(QStringList, {target}));
    QVERIFY(rig.waitFor([&] { return log.chunks > 0; }, kDownloadTimeoutMs));
    const int before = rig.values().size();
    rig.readValue(kValue);
    QVERIFY(
        rig.waitFor([&] { return rig.values().size() > before || !log.done.isEmpty(); }, kDownloadTimeoutMs));
    QVERIFY2(log.done.isEmpty(), "the read waited for the download");
    QVERIFY(rig.valueRefs().contains(kValue));

    QVERIFY(rig.waitFor([&] { return !log.done.isEmpty(); }, kDownloadTimeoutMs));
    QCOMPARE(log.errors, QStringList{QString()});
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == content);
    QVERIFY(!QFile::exists(target + ".part"));
}

void Iec61850NetworkRecordsTest::aCancelledDownloadLeavesNoFile() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QTemporaryDir served, local;
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(serveAndWalk(rig, simulator, served, largeContent()));
    DownloadLog log(rig.engine());

    // Two in one batch: the one under way stops, the one queued behind it is dropped.
    const QStringList targets{local.filePath("one.dat"), local.filePath("two.dat")};
    QMetaObject::invokeMethod(rig.engine(), "downloadFiles",
                              Q_ARG(QStringList, QStringList({"/big.dat", "/big.dat"})),
                              Q_ARG(QStringList, targets));
    QVERIFY(rig.waitFor([&] { return log.chunks > 0; }, kDownloadTimeoutMs));
    rig.engine()->cancelDownloads();
    QVERIFY(rig.waitFor([&] { return log.done.size() == 2; }, kDownloadTimeoutMs));
    QCOMPARE(log.errors, QStringList({"cancelled", "cancelled"}));
    QCOMPARE(QDir(local.path()).entryList(QDir::Files), QStringList());

    // A batch after the cancel runs.
    QMetaObject::invokeMethod(rig.engine(), "downloadFiles", Q_ARG(QStringList, {"/big.dat"}),
                              Q_ARG(QStringList, {targets[0]}));
    QVERIFY(rig.waitFor([&] { return log.done.size() == 3; }, kDownloadTimeoutMs));
    QCOMPARE(log.errors.last(), QString());
    QVERIFY(QFile::exists(targets[0]));
}

void Iec61850NetworkRecordsTest::aDeviceThatGoesMidwayLeavesNoFile() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QTemporaryDir served, local;
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(serveAndWalk(rig, simulator, served, largeContent()));
    DownloadLog log(rig.engine());

    const QString target = local.filePath("big.dat");
    QMetaObject::invokeMethod(rig.engine(), "downloadFiles", Q_ARG(QStringList, {"/big.dat"}),
                              Q_ARG(QStringList, {target}));
    QVERIFY(rig.waitFor([&] { return log.chunks > 0; }, kDownloadTimeoutMs));
    simulator.kill();
    QVERIFY(rig.waitFor([&] { return !log.done.isEmpty(); }, kDownloadTimeoutMs));
    QVERIFY(!log.errors.first().isEmpty());
    QCOMPARE(QDir(local.path()).entryList(QDir::Files), QStringList());
    QVERIFY(rig.waitFor([&] { return rig.falses() == 1; }, kDownloadTimeoutMs));
}

QTEST_MAIN(Iec61850NetworkRecordsTest)
#include "iec61850network_records_test.moc"
