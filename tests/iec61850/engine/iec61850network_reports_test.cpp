// The engine's reports against the simulator: a block toggled on and off, reports turned into lines
// for the report box, members the report left out not announced, member references taken from the data
// set when the block sends none, and failed toggles shown with their cause.
#include <QtTest>

#include <memory>

#include "enginerig.h"
#include "simulatorprocess.h"

using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

namespace {

// EvRpt and EvBuf send no data references; their data set is Events (Ind1.stVal, TotW.mag.f).
const QString kModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd");
constexpr int kReportTimeoutMs = 20000;

}  // namespace

class Iec61850NetworkReportsTest : public QObject {
    Q_OBJECT

private slots:
    void reportsWithoutReferencesNameTheirMembersFromTheDataSet();
    void failedTogglesShowTheirCause();
    void blocksAreEnabledAgainAfterTheDeviceRestarts();
};

void Iec61850NetworkReportsTest::reportsWithoutReferencesNameTheirMembersFromTheDataSet() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    // The measurement drifts every half second; the status point changes only every fourth step.
    QVERIFY(rig.serveAndWalk(simulator, kModel, {"--simulate"}));
    rig.toggleReport(QStringLiteral("KCTRL/LLN0.RP.EvRpt01"));
    QVERIFY2(rig.statusTexts.isEmpty(), qPrintable(rig.statusTexts.join('\n')));
    QTRY_VERIFY_WITH_TIMEOUT(rig.reportsBegun() >= 3, kReportTimeoutMs);

    // Every report opens with its data set, then one line per member it carries, never one for a
    // member it left out.
    bool sawMeasurementAlone = false;
    for (int i = 0; i < rig.reports.size(); ++i) {
        const QStringList& r = rig.reports[i];
        QCOMPARE(r[0], QString("KCTRL/LLN0.Events"));
        if (r[1].isEmpty()) {
            QVERIFY(r[2].isEmpty());
            const bool nextIsMeasurement =
                i + 1 < rig.reports.size() && rig.reports[i + 1][1].contains("TotW");
            const bool thenNext = i + 2 >= rig.reports.size() || rig.reports[i + 2][1].isEmpty();
            sawMeasurementAlone = sawMeasurementAlone || (nextIsMeasurement && thenNext);
            continue;
        }
        QVERIFY2(r[1] == "KCTRL/MMXU1.TotW.mag.f" || r[1] == "KCTRL/KCTRLGGIO1.Ind1.stVal", qPrintable(r[1]));
        QVERIFY(!r[2].isEmpty());
    }
    QVERIFY(sawMeasurementAlone);

    // Disabled: the reports stop (the toggle's write is answered after anything already sent).
    rig.toggleReport(QStringLiteral("KCTRL/LLN0.RP.EvRpt01"));
    QVERIFY(rig.statusTexts.isEmpty());
    QTest::qWait(300);
    const int stopped = rig.reports.size();
    QTest::qWait(700);
    QCOMPARE(rig.reports.size(), stopped);
}

void Iec61850NetworkReportsTest::failedTogglesShowTheirCause() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kModel), simulator.errorText().c_str());
    EngineRig owner;
    EngineRig other;
    QVERIFY(owner.connectAndWalk(simulator.port()));
    QVERIFY(other.connectAndWalk(simulator.port()));

    other.toggleReport(QStringLiteral("KCTRL/LLN0.RP.NoSuchBlock"));
    QCOMPARE(other.statusTexts.size(), 1);
    QVERIFY2(other.statusTexts.last().contains("KCTRL/LLN0.RP.NoSuchBlock"),
             qPrintable(other.statusTexts.last()));
    QVERIFY(other.statusTexts.last().contains("not readable"));

    // The owner enables; the other client's toggle would disable it and is refused.
    owner.toggleReport(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));
    QVERIFY(owner.statusTexts.isEmpty());
    other.toggleReport(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));
    QCOMPARE(other.statusTexts.size(), 2);
    QVERIFY2(
        other.statusTexts.last().contains("disable") && other.statusTexts.last().contains("another client"),
        qPrintable(other.statusTexts.last()));
}

void Iec61850NetworkReportsTest::blocksAreEnabledAgainAfterTheDeviceRestarts() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    auto simulator = std::make_unique<SimulatorProcess>();
    QVERIFY2(simulator->start(kModel, {"--simulate"}), simulator->errorText().c_str());
    const quint16 port = simulator->port();
    EngineRig rig;
    QVERIFY(rig.connectAndWalk(port));
    rig.toggleReport(QStringLiteral("KCTRL/LLN0.RP.EvRpt01"));
    rig.toggleReport(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));
    QVERIFY2(rig.statusTexts.isEmpty(), qPrintable(rig.statusTexts.join('\n')));

    // The device restarts: its blocks come back disabled, and another client takes the buffered one
    // before Korvan is back.
    simulator->kill();
    QVERIFY(rig.waitFor([&] { return rig.falses() == 1; }, kReportTimeoutMs));
    QCOMPARE(rig.statusTexts, QStringList{QStringLiteral("connection lost: the device closed it")});
    simulator = std::make_unique<SimulatorProcess>();
    QVERIFY2(simulator->start(kModel, {"--simulate", "--port", QString::number(port)}),
             simulator->errorText().c_str());
    EngineRig other;
    QVERIFY(other.connectAndWalk(port));
    other.toggleReport(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));

    rig.reports.clear();
    QVERIFY(rig.connectAndWalk(port));
    QVERIFY(rig.waitFor([&] { return rig.reportsBegun() >= 1; }, kReportTimeoutMs));
    QVERIFY(rig.waitFor(
        [&] {
            return rig.statusTexts.contains(
                QStringLiteral("Reports not enabled again: KCTRL/LLN0.BR.EvBuf01"));
        },
        kReportTimeoutMs));
}

QTEST_GUILESS_MAIN(Iec61850NetworkReportsTest)
#include "iec61850network_reports_test.moc"
