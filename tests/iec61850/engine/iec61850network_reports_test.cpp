// The engine's reports against the simulator: a block toggled on and off, reports turned into lines
// for the report box, members the report left out not announced, member references taken from the data
// set when the block sends none, and failed toggles shown with their cause.
#include <QThread>
#include <QtTest>

#include <memory>

#include "iec61850network.h"
#include "simulatorprocess.h"

using iec61850::Iec61850Network;

namespace {

// EvRpt and EvBuf send no data references; their data set is Events (Ind1.stVal, TotW.mag.f).
const QString kModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd");
constexpr int kWalkTimeoutMs = 60000;
constexpr int kReportTimeoutMs = 20000;

// One engine in its worker thread, its addReport and status signals recorded in arrival order.
class ReportRig : public QObject {
public:
    ReportRig() : engine(new Iec61850Network) {
        connect(engine, &Iec61850Network::addReport, this,
                [this](const QString& dataSet, const QString& dataRef, const QStringList& values) {
                    reports << QStringList{dataSet, dataRef, values.join('|')};
                });
        connect(engine, &Iec61850Network::setStatusBarMessage, this,
                [this](const QString& text) { statuses << text; });
        connect(engine, &Iec61850Network::connectionStateChanged, this, [this](bool state) {
            falses += state ? 0 : 1;
            if (state && ++trues == 2) {
                statuses.clear();  // what the connect and the walk announced; what follows stays
            }
        });
        connect(&thread, &QThread::finished, engine, &QObject::deleteLater);
        engine->moveToThread(&thread);
        thread.start();
    }
    ~ReportRig() override {
        thread.quit();
        thread.wait();
    }
    bool connectTo(quint16 port) {
        trues = 0;
        QMetaObject::invokeMethod(engine, "doConnect", Q_ARG(QString, QStringLiteral("127.0.0.1")),
                                  Q_ARG(int, port));
        return QTest::qWaitFor([this] { return trues == 2; }, kWalkTimeoutMs);
    }
    void toggle(const QString& rcb) {
        QMetaObject::invokeMethod(engine, "enableDisableReport", Q_ARG(QString, rcb));
        QMetaObject::invokeMethod(
            engine, [] {}, Qt::BlockingQueuedConnection);
        QCoreApplication::sendPostedEvents();
    }
    int entries() const {
        int count = 0;
        for (const QStringList& r : reports) {
            count += r[1].isEmpty() ? 1 : 0;
        }
        return count;
    }

    QList<QStringList> reports;
    QStringList statuses;
    int trues = 0;
    int falses = 0;

private:
    QThread thread;
    Iec61850Network* engine;
};

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
    // The measurement drifts every half second; the status point changes only every fourth step.
    QVERIFY2(simulator.start(kModel, {"--simulate"}), qPrintable(simulator.errorText()));
    ReportRig rig;
    QVERIFY(rig.connectTo(simulator.port()));
    rig.toggle(QStringLiteral("KCTRL/LLN0.RP.EvRpt01"));
    QVERIFY2(rig.statuses.isEmpty(), qPrintable(rig.statuses.join('\n')));
    QTRY_VERIFY_WITH_TIMEOUT(rig.entries() >= 3, kReportTimeoutMs);

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
    rig.toggle(QStringLiteral("KCTRL/LLN0.RP.EvRpt01"));
    QVERIFY(rig.statuses.isEmpty());
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
    QVERIFY2(simulator.start(kModel), qPrintable(simulator.errorText()));
    ReportRig owner;
    ReportRig other;
    QVERIFY(owner.connectTo(simulator.port()));
    QVERIFY(other.connectTo(simulator.port()));

    other.toggle(QStringLiteral("KCTRL/LLN0.RP.NoSuchBlock"));
    QCOMPARE(other.statuses.size(), 1);
    QVERIFY2(other.statuses.last().contains("KCTRL/LLN0.RP.NoSuchBlock"), qPrintable(other.statuses.last()));
    QVERIFY(other.statuses.last().contains("not readable"));

    // The owner enables; the other client's toggle would disable it and is refused.
    owner.toggle(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));
    QVERIFY(owner.statuses.isEmpty());
    other.toggle(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));
    QCOMPARE(other.statuses.size(), 2);
    QVERIFY2(other.statuses.last().contains("disable") && other.statuses.last().contains("another client"),
             qPrintable(other.statuses.last()));
}

void Iec61850NetworkReportsTest::blocksAreEnabledAgainAfterTheDeviceRestarts() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    auto simulator = std::make_unique<SimulatorProcess>();
    QVERIFY2(simulator->start(kModel, {"--simulate"}), qPrintable(simulator->errorText()));
    const quint16 port = simulator->port();
    ReportRig rig;
    QVERIFY(rig.connectTo(port));
    rig.toggle(QStringLiteral("KCTRL/LLN0.RP.EvRpt01"));
    rig.toggle(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));
    QVERIFY2(rig.statuses.isEmpty(), qPrintable(rig.statuses.join('\n')));

    // The device restarts: its blocks come back disabled, and another client takes the buffered one
    // before Korvan is back.
    simulator->kill();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses, 1, kReportTimeoutMs);
    QCOMPARE(rig.statuses, QStringList{QStringLiteral("connection lost: the device closed it")});
    simulator = std::make_unique<SimulatorProcess>();
    QVERIFY2(simulator->start(kModel, {"--simulate", "--port", QString::number(port)}),
             qPrintable(simulator->errorText()));
    ReportRig other;
    QVERIFY(other.connectTo(port));
    other.toggle(QStringLiteral("KCTRL/LLN0.BR.EvBuf01"));

    rig.reports.clear();
    QVERIFY(rig.connectTo(port));
    QTRY_VERIFY_WITH_TIMEOUT(rig.entries() >= 1, kReportTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        rig.statuses.contains(QStringLiteral("Reports not enabled again: KCTRL/LLN0.BR.EvBuf01")),
        kReportTimeoutMs);
}

QTEST_GUILESS_MAIN(Iec61850NetworkReportsTest)
#include "iec61850network_reports_test.moc"
