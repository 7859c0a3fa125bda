#include <QDir>
#include <QtTest>

#include "brokenscl.h"
#include "enginerig.h"
#include "sclmodel.h"
#include "simulatorprocess.h"

using iec61850::SclLine;
using iec61850::SclModel;
using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

namespace {

QStringList sclFilesUnderTestData() {
    QStringList files;
    for (const QString& folder : {QStringLiteral("scl"), QStringLiteral("models")}) {
        const QDir dir(QStringLiteral(KORVAN_TEST_DATA_DIR "/") + folder);
        for (const QString& name : dir.entryList({"*.icd", "*.cid", "*.scd"}, QDir::Files, QDir::Name)) {
            files << dir.filePath(name);
        }
    }
    return files;
}

// The walk as the rig records it. Times are left out: a device stamps them when it starts.
QStringList offlineEvents(const QVector<SclLine>& lines) {
    QStringList events;
    for (const SclLine& line : lines) {
        events << QStringLiteral("line|%1|%2|%3|%4").arg(line.data, line.ref, line.fc).arg(line.layer);
        if (line.hasValue) {
            events << QStringLiteral("value|%1|%2")
                          .arg(line.ref, line.timeValue ? QStringLiteral("<time>") : line.value);
        }
    }
    return events;
}

QStringList onlineEvents(const EngineRig& rig, const QVector<SclLine>& lines) {
    QSet<QString> times;
    for (const SclLine& line : lines) {
        if (line.timeValue) {
            times.insert(line.ref);
        }
    }
    QStringList events;
    for (const QString& event : rig.events) {
        // Empty updates stand for values without a text; they fill no line.
        if (event.startsWith(QLatin1String("state|")) || event == QLatin1String("value||")) {
            continue;
        }
        const QString ref = event.section('|', 1, 1);
        events << (event.startsWith(QLatin1String("value|")) && times.contains(ref)
                       ? QStringLiteral("value|%1|<time>").arg(ref)
                       : event);
    }
    return events;
}

}  // namespace

class SclModelTest : public QObject {
    Q_OBJECT

private slots:
    // The offline tree is the tree a device serving the file gives: every line, reference, constraint,
    // layer, order and value, for every IED of every file the tests carry; a file the simulator refuses
    // is refused offline too.
    void offlineLinesEqualDiscovery_data();
    void offlineLinesEqualDiscovery();
    // An SCD names its IEDs with the addresses of the Communication section.
    void substationFileListsItsIedsWithAddresses();
    // Files that do not load say where and why, and nothing is shown.
    void brokenFilesAreRefusedWithFileAndLine_data();
    void brokenFilesAreRefusedWithFileAndLine();
    // Lines made off the window's thread tell how far they are, node by node, and stop when asked,
    // leaving nothing half made.
    void linesTellHowFarAndStopWhenAsked();
};

void SclModelTest::offlineLinesEqualDiscovery_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("ied");
    for (const QString& file : sclFilesUnderTestData()) {
        QString error;
        const auto model = SclModel::open(file, &error);
        if (!model) {
            QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file << QString();
            continue;
        }
        for (const auto& ied : model->ieds()) {
            QTest::newRow(qPrintable(QFileInfo(file).fileName() + ':' + ied.name)) << file << ied.name;
        }
    }
}

void SclModelTest::offlineLinesEqualDiscovery() {
    QFETCH(QString, file);
    QFETCH(QString, ied);
    QString error;
    const auto model = SclModel::open(file, &error);
    QVector<SclLine> lines;
    const bool built = model && model->lines(ied, &lines, &error);

    SimulatorProcess simulator;
    const bool served = simulator.start(file, ied.isEmpty() ? QStringList() : QStringList{"--ied", ied});
    QCOMPARE(built, served);
    if (!built) {
        QVERIFY2(!error.isEmpty(), qPrintable(file));
        return;
    }
    EngineRig rig;
    QVERIFY(rig.connectAndWalk(simulator.port()));
    QVERIFY(!lines.isEmpty());
    const QStringList offline = offlineEvents(lines);
    const QStringList online = onlineEvents(rig, lines);
    for (int i = 0; i < std::min(offline.size(), online.size()); ++i) {
        QCOMPARE(offline.at(i), online.at(i));
    }
    QCOMPARE(offline.size(), online.size());
}

void SclModelTest::substationFileListsItsIedsWithAddresses() {
    QString error;
    const auto model =
        SclModel::open(QStringLiteral(KORVAN_TEST_DATA_DIR "/scl/openscd-valid2003.scd"), &error);
    QVERIFY2(model, qPrintable(error));
    const auto ieds = model->ieds();
    QVERIFY(ieds.size() >= 2);
    QCOMPARE(ieds.at(0).name, QStringLiteral("IED1"));
    QCOMPARE(ieds.at(0).ipAddress, QStringLiteral("192.168.210.111"));
    QCOMPARE(ieds.at(1).name, QStringLiteral("IED2"));
    QCOMPARE(ieds.at(1).ipAddress, QStringLiteral("192.168.0.111"));
}

void SclModelTest::brokenFilesAreRefusedWithFileAndLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    for (const brokenscl::BrokenFile& file : brokenscl::brokenFiles()) {
        QTest::newRow(file.name) << file.content << file.problem;
    }
}

void SclModelTest::brokenFilesAreRefusedWithFileAndLine() {
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.icd"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(content);
    out.close();
    QString error;
    QVector<SclLine> lines;
    const auto model = SclModel::open(path, &error);
    const bool shown = model && model->lines(QString(), &lines, &error);
    QVERIFY(!shown);
    QVERIFY(lines.isEmpty());
    QVERIFY2(error.startsWith(path + ':'), qPrintable(error));
    QVERIFY2(error.contains(problem), qPrintable(error));
}

void SclModelTest::linesTellHowFarAndStopWhenAsked() {
    QString error;
    const auto model =
        SclModel::open(QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd"), &error);
    QVERIFY2(model, qPrintable(error));
    QVector<SclLine> plain;
    QVERIFY(model->lines(QString(), &plain, &error));

    QVector<QPair<int, int>> steps;
    QVector<SclLine> lines;
    QVERIFY(model->lines(QString(), &lines, &error, [&](int done, int total) {
        steps.append({done, total});
        return true;
    }));
    QCOMPARE(offlineEvents(lines), offlineEvents(plain));
    QVERIFY(steps.size() > 3);
    QCOMPARE(steps.first(), qMakePair(0, 0));
    const int nodes = steps.last().second;
    QVERIFY(nodes > 3);
    QCOMPARE(steps.last().first, nodes);
    for (int i = 1; i < steps.size(); ++i) {
        QVERIFY(steps.at(i).first >= steps.at(i - 1).first);
    }

    for (int stopAfter : {0, 1, 3}) {
        int calls = 0;
        QVector<SclLine> stopped{SclLine()};
        QString noError;
        QVERIFY(!model->lines(QString(), &stopped, &noError, [&](int, int) { return calls++ < stopAfter; }));
        QVERIFY(noError.isEmpty());
        QCOMPARE(calls, stopAfter + 1);
        QVERIFY(stopped.size() <= 1);
    }
}

QTEST_GUILESS_MAIN(SclModelTest)
#include "sclmodel_test.moc"
