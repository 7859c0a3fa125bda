#include <QFileInfo>
#include <QtTest>

#include <atomic>
#include <memory>

#include "closedport.h"
#include "enginerig.h"
// The stack's own server, for a model with names no configuration file could hold; left out where the
// test is compiled against the client API subset alone or against an installed libiec61850, whose
// value header the stack's server headers would clash with.
#if __has_include("server/simulated_server.h") && !defined(KORVAN_USE_LIBIEC61850)
#define KORVAN_IN_PROCESS_SERVER 1
#include "server/model_builder.h"
#include "server/simulated_server.h"
#endif
#include "simulatorprocess.h"

using korvan::test::ClosedPort;
using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

namespace {

const QString kModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd");
const QString kEmptyModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/empty_model.icd");
constexpr int kWalkTimeoutMs = 60000;

}  // namespace

class Iec61850NetworkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // The exact lines and values of a whole walk: order, references, constraints, layers, the
    // duplicate rule, data-set members and report control blocks.
    void walkAnnouncesTheWholeModel();
    // Only attributes are readable; members and objects are not, and nothing is read once disconnected.
    void readValueAnswersOnlyRecordedAttributes();
    // Members inside an array (capture 06's server) are distinct lines, named with index and components.
    void dataSetMembersInsideAnArray();

    // Lifecycle: exactly one false per association, whatever ends it, and the engine usable again.
    void nothingListening();
    void emptyModel();
    void disconnectTwice();
    void serverDropsAfterDiscovery();
    void serverDropsDuringDiscovery();
    void connectWhileConnected();
    void destroyWhileConnected();

    // A device that stops answering ends the association after the one request it left unanswered,
    // and a Disconnect never waits behind queued reads, which are dropped unsent.
    void deviceFallsSilent_data();
    void deviceFallsSilent();
    void disconnectDropsQueuedReadsOfASlowDevice();
    void disconnectWithReadsQueuedForASilentDevice();

    // Batched and pipelined reads change nothing the view sees: the same lines and values in the same
    // order as single reads, also from servers that refuse large reads, allow one call at a time or
    // agree to tiny PDUs.
    void batchedReadsMatchSingleReads_data();
    void batchedReadsMatchSingleReads();
    void readsLostWithTheAssociation();
    // Disconnect during a slow walk ends it at once: one false, no second true, nothing after it.
    void disconnectEndsAWalkInProgress();
    // Idle associations: kept up against a device that drops idle ones, reported lost when the
    // device stops answering.
    void keepAliveHoldsAnIdleAssociation();
    void silentServerIsReportedLost();
    // Names no reference can carry (empty, with separators, with a NUL byte) are skipped, the engine's
    // with one status text; the rest of the model is walked and no other object is addressed instead.
    void oddNamesAreSkippedAndTheWalkGoesOn();
    // Devices whose name lists come in many pages, asked for side by side: every device gets its own
    // names, whole and in order, whatever the page size and the calls in flight.
    void devicesListedInPagesSideBySide();

private:
    bool startSimulator(SimulatorProcess& simulator, const QString& model, const QStringList& arguments = {});
    // PDUs a whole walk of the small model takes, counted on the simulator once.
    int walkPdus();
    int walkPduCount = 0;
};

void Iec61850NetworkTest::initTestCase() {
    // Time stamps are shown in local time; pin it so the texts are the same everywhere.
    qputenv("TZ", "UTC");
}

bool Iec61850NetworkTest::startSimulator(SimulatorProcess& simulator, const QString& model,
                                         const QStringList& arguments) {
    if (!simulator.start(model, arguments)) {
        qWarning("%s", simulator.errorText().c_str());
        return false;
    }
    return true;
}

void Iec61850NetworkTest::walkAnnouncesTheWholeModel() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kModel));
    rig.settle();

    const QString quality = QStringLiteral("QUALITY_VALIDITY_GOOD\n(0b0 0000 0000 0000)");
    QStringList expected = {
        "state|true",
        "line|KCTRL|KCTRL||1",
        // The device name is a prefix of this node's name and must stay untouched in every reference.
        "line|KCTRLGGIO1|KCTRL/KCTRLGGIO1||2",
        "line|Ind1|KCTRL/KCTRLGGIO1.Ind1||3",
        "line|q|KCTRL/KCTRLGGIO1.Ind1.q|[ST]|4",
        "value|KCTRL/KCTRLGGIO1.Ind1.q|" + quality,
        "line|stVal|KCTRL/KCTRLGGIO1.Ind1.stVal|[ST]|4",
        "value|KCTRL/KCTRLGGIO1.Ind1.stVal|1",
        "line|LLN0|KCTRL/LLN0||2",
        "line|Mod|KCTRL/LLN0.Mod||3",
        "line|ctlModel|KCTRL/LLN0.Mod.ctlModel|[CF]|4",
        "value|KCTRL/LLN0.Mod.ctlModel|Status only (0)",
        "line|q|KCTRL/LLN0.Mod.q|[ST]|4",
        "value|KCTRL/LLN0.Mod.q|" + quality,
        "line|stVal|KCTRL/LLN0.Mod.stVal|[ST]|4",
        "value|KCTRL/LLN0.Mod.stVal|On (1)",
        "line|Health|KCTRL/LLN0.Health||3",
        "line|stVal|KCTRL/LLN0.Health.stVal|[ST]|4",
        "value|KCTRL/LLN0.Health.stVal|Warning (2)",
        // Members carry their own full reference and are not read.
        "line|Events|KCTRL/LLN0.Events||3",
        "line|KCTRL/KCTRLGGIO1.Ind1.stVal|KCTRL/LLN0.Events.KCTRL/KCTRLGGIO1.Ind1.stVal|[ST]|4",
        "line|KCTRL/MMXU1.TotW.mag.f|KCTRL/LLN0.Events.KCTRL/MMXU1.TotW.mag.f|[MX]|4",
    };
    // Report control blocks: every attribute is announced and read like a data attribute.
    using Attributes = QList<QPair<QString, QString>>;
    const auto addControlBlock = [&expected](const QString& name, const QString& fc,
                                             const Attributes& attributes) {
        expected << QStringLiteral("line|%1|KCTRL/LLN0.%1||3").arg(name);
        for (const auto& attribute : attributes) {
            const QString ref = QStringLiteral("KCTRL/LLN0.%1.%2").arg(name, attribute.first);
            expected << QStringLiteral("line|%1|%2|%3|4").arg(attribute.first, ref, fc)
                     << QStringLiteral("value|%1|%2").arg(ref, attribute.second);
        }
    };
    addControlBlock("EvRpt01", "[RP]",
                    {{"BufTm", "50"},
                     {"ConfRev", "1"},
                     {"DatSet", "KCTRL/LLN0$Events"},
                     {"GI", "0"},
                     {"IntgPd", "1000"},
                     {"OptFlds", "0b01 0010 1000"},
                     {"Resv", "0"},
                     {"RptEna", "0"},
                     {"RptID", "EvRptId"},
                     {"SqNum", "0"},
                     {"TrgOps", "0b01 0001"}});
    const QLocale system = QLocale::system();
    // A binary time with date counts its days from 1984-01-01.
    const QString epoch =
        QStringLiteral("%1 %2 1 00:00:00 1984")
            .arg(system.dayName(7, QLocale::ShortFormat), system.monthName(1, QLocale::ShortFormat));
    addControlBlock("EvBuf01", "[BR]",
                    {{"BufTm", "50"},
                     {"ConfRev", "1"},
                     {"DatSet", "KCTRL/LLN0$Events"},
                     {"EntryID", QString(8, QChar(0)) + "\n0x 00 00 00 00 00 00 00 00 "},
                     {"GI", "0"},
                     {"IntgPd", "1000"},
                     {"OptFlds", "0b01 0010 1000"},
                     {"PurgeBuf", "0"},
                     {"ResvTms", "0"},
                     {"RptEna", "0"},
                     {"RptID", "EvBufId"},
                     {"SqNum", "0"},
                     {"TimeofEntry", epoch},
                     {"TrgOps", "0b01 0001"}});
    expected << QStringList{
        "line|MMXU1|KCTRL/MMXU1||2",
        "line|A|KCTRL/MMXU1.A||3",
        // Listed under CF and MX: shown once, under the constraint listed first. Structures have no text.
        "line|phsA|KCTRL/MMXU1.A.phsA|[CF]|4",
        "line|units|KCTRL/MMXU1.A.phsA.units|[CF]|5",
        "line|multiplier|KCTRL/MMXU1.A.phsA.units.multiplier|[CF]|6",
        "value|KCTRL/MMXU1.A.phsA.units.multiplier|(0)",
        "line|SIUnit|KCTRL/MMXU1.A.phsA.units.SIUnit|[CF]|6",
        "value|KCTRL/MMXU1.A.phsA.units.SIUnit|A (5)",
        "line|cVal|KCTRL/MMXU1.A.phsA.cVal|[MX]|5",
        "line|mag|KCTRL/MMXU1.A.phsA.cVal.mag|[MX]|6",
        "line|f|KCTRL/MMXU1.A.phsA.cVal.mag.f|[MX]|7",
        "value|KCTRL/MMXU1.A.phsA.cVal.mag.f|12.5",
        "line|TotW|KCTRL/MMXU1.TotW||3",
        "line|units|KCTRL/MMXU1.TotW.units|[CF]|4",
        "line|multiplier|KCTRL/MMXU1.TotW.units.multiplier|[CF]|5",
        "value|KCTRL/MMXU1.TotW.units.multiplier|k (3)",
        "line|SIUnit|KCTRL/MMXU1.TotW.units.SIUnit|[CF]|5",
        "value|KCTRL/MMXU1.TotW.units.SIUnit|W (38)",
        "line|mag|KCTRL/MMXU1.TotW.mag|[MX]|4",
        "line|f|KCTRL/MMXU1.TotW.mag.f|[MX]|5",
        "value|KCTRL/MMXU1.TotW.mag.f|230.5",
        "state|true",
    };

    // Compared line by line first, so that a failure names the first line that differs.
    for (int i = 0; i < qMin(expected.size(), rig.events.size()); ++i) {
        QCOMPARE(rig.events.at(i), expected.at(i));
    }
    QCOMPARE(rig.events, expected);
}

void Iec61850NetworkTest::readValueAnswersOnlyRecordedAttributes() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kModel));
    rig.settle();
    rig.events.clear();

    rig.readValue("KCTRL/MMXU1.TotW.units.SIUnit");
    rig.readValue("KCTRL/MMXU1.TotW");                               // data object
    rig.readValue("KCTRL/LLN0.Events.KCTRL/KCTRLGGIO1.Ind1.stVal");  // data-set member
    rig.readValue("KCTRL/LLN0.Nothing.stVal");                       // never announced
    rig.readValue("KCTRL/MMXU1.A.phsA.units");                       // structure: no text
    rig.readValue("KCTRL/LLN0.Mod.stVal");
    rig.settle();
    QCOMPARE(rig.events, (QStringList{"value|KCTRL/MMXU1.TotW.units.SIUnit|W (38)",
                                      "value|KCTRL/LLN0.Mod.stVal|On (1)"}));

    rig.disconnectEngine();
    rig.readValue("KCTRL/LLN0.Mod.stVal");
    rig.settle();
    QCOMPARE(rig.events.mid(2), QStringList{"state|false"});
}

void Iec61850NetworkTest::dataSetMembersInsideAnArray() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, QStringLiteral(KORVAN_TEST_DATA_DIR "/models/complex_array.icd")));
    const QString set = QStringLiteral("testComplexArray/MHAI1.TestMHAI");
    const QStringList members = rig.lines().filter(set + ".");
    QStringList expected;
    for (const char* member : {"MHAI1.HA.phsAHar(7)", "MHAI1.HA.phsAHar(8)", "MHAI1.HA.phsAHar(9).cVal",
                               "MHAI1.HA.phsAHar(10).cVal.mag", "MHAI1.HA.phsAHar(11).cVal.mag.f"}) {
        const QString reference = QStringLiteral("testComplexArray/") + member;
        expected << QStringLiteral("line|%1|%2.%1|[MX]|4").arg(reference, set);
    }
    QCOMPARE(members, expected);
}

void Iec61850NetworkTest::nothingListening() {
    const ClosedPort closed;
    QVERIFY(closed.port() != 0);
    EngineRig rig;
    rig.doConnect(closed.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.events, QStringList{"state|false"});

    // The failed attempt leaves nothing behind that a second one could trip over.
    rig.doConnect(closed.port());
    rig.settle();
    QCOMPARE(rig.events, (QStringList{"state|false", "state|false"}));
}

void Iec61850NetworkTest::emptyModel() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kEmptyModel, {"--ied", "EMPTY"}));
    rig.settle();
    QCOMPARE(rig.events, (QStringList{"state|true", "state|true"}));
}

void Iec61850NetworkTest::disconnectTwice() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator, kModel));
    EngineRig rig;
    rig.disconnectEngine();
    rig.doConnect(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.disconnectEngine();
    rig.disconnectEngine();
    rig.settle();
    QCOMPARE(rig.falses(), 1);
    QCOMPARE(rig.events.last(), QString("state|false"));
}

void Iec61850NetworkTest::serverDropsAfterDiscovery() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    auto simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(startSimulator(*simulator, kModel));
    EngineRig rig;
    rig.doConnect(simulator->port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    const QStringList firstWalk = rig.events;

    simulator->kill();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.events.mid(firstWalk.size()), QStringList{"state|false"});
    // Also a later teardown of the engine's own finds nothing left to end.
    rig.disconnectEngine();
    rig.settle();
    QCOMPARE(rig.falses(), 1);

    // The next association starts from scratch and sees the same model.
    rig.events.clear();
    simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(startSimulator(*simulator, kModel));
    rig.doConnect(simulator->port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.events, firstWalk);
}

void Iec61850NetworkTest::serverDropsDuringDiscovery() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    // Slow answers, one variable each, keep the walk running long enough to pull the plug in the middle
    // of it, with reads in flight.
    auto simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(startSimulator(*simulator, kModel,
                           {"--latency", "100", "--max-read-variables", "1", "--max-outstanding", "1"}));
    EngineRig rig;
    rig.doConnect(simulator->port());
    QTRY_VERIFY_WITH_TIMEOUT(rig.lines().size() >= 6, kWalkTimeoutMs);
    simulator->kill();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();

    // One true for the association, no second one, and nothing after the false.
    QCOMPARE(rig.trues(), 1);
    QCOMPARE(rig.events.last(), QString("state|false"));

    rig.events.clear();
    simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(startSimulator(*simulator, kModel));
    rig.doConnect(simulator->port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.falses(), 0);
    QCOMPARE(rig.lines().first(), QString("line|KCTRL|KCTRL||1"));
}

void Iec61850NetworkTest::connectWhileConnected() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kModel));
    rig.settle();
    const QStringList firstWalk = rig.events;

    // The open association is ended (and its handle released: LeakSanitizer would report it) before
    // the new one starts.
    rig.doConnect(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 4, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.events.mid(firstWalk.size()), QStringList{"state|false"} + firstWalk);
}

void Iec61850NetworkTest::destroyWhileConnected() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kModel));
    rig.destroyEngine();
    QCOMPARE(rig.falses(), 1);
    QCOMPARE(rig.events.last(), QString("state|false"));
}

namespace {

const QString kSample = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");

const QString kReadModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/read_model.icd");

// A model of this many generated logical nodes instead of a file: "generated:40".
const QString kGenerated = QStringLiteral("generated:");

// The whole walk of a model served with `arguments`, then every attribute line read again as the view
// asks for them (one reference at a time, all within one turn), as recorded events; empty when the walk
// did not end. `readRequests` gets the requests the reads took.
QStringList walkOf(const QString& model, const QStringList& arguments, int* readRequests = nullptr) {
    SimulatorProcess simulator;
    std::vector<std::string> extra;
    for (const QString& argument : arguments) {
        extra.push_back(argument.toStdString());
    }
    const bool started = model.startsWith(kGenerated)
                             ? simulator.startGenerated(model.mid(kGenerated.size()).toUInt(), extra)
                             : simulator.start(model, arguments);
    if (!started) {
        qWarning("%s", simulator.errorText().c_str());
        return {};
    }
    EngineRig rig;
    rig.doConnect(simulator.port());
    if (!QTest::qWaitFor([&] { return rig.trues() == 2 || rig.falses() > 0; }, kWalkTimeoutMs)) {
        return {};
    }
    rig.settle();
    const int walked = simulator.pdusLogged();
    QStringList attributes;
    for (const QString& line : rig.lines()) {
        const QStringList fields = line.split(QLatin1Char('|'));
        if (fields.value(4).toInt() > 3 && !fields.value(2).contains(QLatin1String("SBO"))) {
            attributes << fields.value(2);
        }
    }
    rig.readValuesInOneTurn(attributes);
    rig.events << QStringLiteral("read again:");
    rig.settle();
    if (readRequests) {
        *readRequests = simulator.pdusLogged() - walked;
    }
    // Time attributes the model leaves unset start at the simulator's start, and buffered report control
    // blocks count their entries (and time the last one) from it: values that differ per run, whatever
    // the walk does.
    static const QRegularExpression loadTime(QStringLiteral("\\|\\w{3} \\w{3} +\\d+ \\d{4} [0-9:.]+$"));
    static const QRegularExpression bufferState(
        QStringLiteral("^(value\\|[^|]*\\.(EntryID|SqNum|TimeofEntry))\\|.*$"),
        QRegularExpression::DotMatchesEverythingOption);
    QStringList events = rig.events;
    for (QString& event : events) {
        event.replace(loadTime, QStringLiteral("|<time>"));
        event.replace(bufferState, QStringLiteral("\\1|<count>"));
    }
    return events;
}

}  // namespace

void Iec61850NetworkTest::batchedReadsMatchSingleReads_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("arguments");
    for (const QString& model : {kModel, kSample, kReadModel}) {
        const QString name = QFileInfo(model).baseName();
        QTest::newRow(qPrintable(name + ": one call at a time"))
            << model << QStringList{"--max-outstanding", "1", "--latency", "2"};
        QTest::newRow(qPrintable(name + ": tiny PDUs")) << model << QStringList{"--max-pdu", "512"};
        QTest::newRow(qPrintable(name + ": five calls side by side"))
            << model << QStringList{"--latency", "5"};
        QTest::newRow(qPrintable(name + ": two calls, answered at once"))
            << model << QStringList{"--max-outstanding", "2"};
    }
    // Some 2,500 attributes, one call at a time: the walk plans ahead of its answers by one request's
    // worth only, so planning stops and resumes many times.
    QTest::newRow("generated: planned piece by piece")
        << kGenerated + "40" << QStringList{"--max-outstanding", "1"};
}

void Iec61850NetworkTest::batchedReadsMatchSingleReads() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QFETCH(QString, model);
    QFETCH(QStringList, arguments);
    // A server that takes one variable per Read makes the engine fall back to single reads.
    int singleRequests = 0;
    const QStringList single = walkOf(model, {"--max-read-variables", "1"}, &singleRequests);
    QVERIFY(single.count("state|true") == 2);
    const int readAgain = single.indexOf("read again:");
    QVERIFY(single.mid(0, readAgain).filter(QRegularExpression("^value\\|")).size() > 10);
    // The reads of the view get a value each that the walk had, in the order asked, and none for a
    // read that fails.
    const QStringList walkValues =
        single.mid(0, readAgain).filter(QRegularExpression("^value\\|(?![^|]*SBO)"));
    for (int i = 0; i < walkValues.size(); ++i) {
        QCOMPARE(single.value(readAgain + 1 + i), walkValues.at(i));
    }
    QCOMPARE(single.size(), readAgain + 1 + walkValues.size());
    int batchedRequests = 0;
    QCOMPARE(walkOf(model, arguments, &batchedRequests), single);
    QVERIFY2(batchedRequests < singleRequests / 4,
             qPrintable(QStringLiteral("%1 of %2").arg(batchedRequests).arg(singleRequests)));
}

void Iec61850NetworkTest::disconnectEndsAWalkInProgress() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator, kSample, {"--latency", "300", "--max-read-variables", "1"}));
    EngineRig rig;
    rig.doConnect(simulator.port());
    QTRY_VERIFY_WITH_TIMEOUT(rig.values().size() >= 3, kWalkTimeoutMs);
    rig.disconnectEngine();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();
    const QStringList seen = rig.events;
    QCOMPARE(rig.trues(), 1);
    QCOMPARE(seen.last(), QString("state|false"));
    // Answers still on their way when the walk ended announce nothing.
    QTest::qWait(700);
    rig.settle();
    QCOMPARE(rig.events, seen);
}

void Iec61850NetworkTest::keepAliveHoldsAnIdleAssociation() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator, kModel, {"--idle-timeout", "800"}));
    EngineRig rig(200);
    rig.doConnect(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    // Several idle time-outs of the device pass without a request from the view.
    QTest::qWait(2500);
    rig.settle();
    QCOMPARE(rig.falses(), 0);
    rig.events.clear();
    rig.readValue("KCTRL/LLN0.Mod.stVal");
    rig.settle();
    QCOMPARE(rig.events, QStringList{"value|KCTRL/LLN0.Mod.stVal|On (1)"});

    // Without the keep-alive the same device drops the association: the option is what is tested.
    SimulatorProcess dropping;
    QVERIFY(startSimulator(dropping, kModel, {"--idle-timeout", "300"}));
    EngineRig quiet(60000);
    quiet.doConnect(dropping.port());
    QTRY_COMPARE_WITH_TIMEOUT(quiet.trues(), 2, kWalkTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(quiet.falses(), 1, kWalkTimeoutMs);
}

void Iec61850NetworkTest::silentServerIsReportedLost() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator, kModel));
    EngineRig rig(200);
    rig.doConnect(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    const int seen = rig.events.size();
    simulator.freeze();
    // Keep-alive interval plus the request time-out, with room for a loaded machine.
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, 30000);
    rig.settle();
    QCOMPARE(rig.events.mid(seen), QStringList{"state|false"});
    simulator.thaw();
}

#ifdef KORVAN_IN_PROCESS_SERVER
namespace {

void renameEverywhere(iecstack::server::ModelNode& node, const std::string& from, const std::string& to) {
    if (node.name == from) {
        node.name = to;
    }
    for (auto& child : node.children) {
        renameEverywhere(*child, from, to);
    }
}

}  // namespace

void Iec61850NetworkTest::oddNamesAreSkippedAndTheWalkGoesOn() {
    auto model = iecstack::server::loadDataModel(kSample.toStdString(), "");
    QVERIFY(model.ok());
    iecstack::server::DataModel& odd = **model;
    for (auto& domain : odd.domains) {
        if (domain->name == "BAY1MEAS") {
            domain->name = "LD/../2";
            continue;
        }
        for (auto& node : domain->logicalNodes) {
            if (node->name == "LPHD1") {
                node->name.clear();
            } else if (node->name == "GGIO1") {
                renameEverywhere(*node, "Ind1", std::string("In\0d1", 5));
            }
        }
    }
    odd.finish();
    std::string error;
    auto ied = iecstack::server::SimulatedServer::start(std::move(*model), {}, &error);
    QVERIFY2(ied, error.c_str());

    EngineRig rig;
    rig.doConnect(ied->port());
    QTRY_VERIFY_WITH_TIMEOUT(rig.trues() == 2 || rig.falses() > 0, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.falses(), 0);
    const QStringList lines = rig.lines();
    QVERIFY(lines.contains("line|GGIO1|BAY1CTRL/GGIO1||2"));
    QVERIFY(lines.contains("line|stVal|BAY1CTRL/GGIO1.Ind2.stVal|[ST]|4"));
    QCOMPARE(lines.filter("LD/").size(), 0);
    QCOMPARE(lines.filter("PhyNam").size(), 0);
    QCOMPARE(lines.filter(QRegularExpression("GGIO1\\.In[^d]")).size(), 0);
    QCOMPARE(rig.values().filter("GGIO1.In|").size(), 0);
    const QStringList skipped = rig.statusTexts.filter("cannot be addressed");
    QCOMPARE(skipped.size(), 1);
    QVERIFY2(skipped.first().contains("\"LD/../2\""), qPrintable(skipped.first()));
}
#else
void Iec61850NetworkTest::oddNamesAreSkippedAndTheWalkGoesOn() {
    QSKIP("built without the stack's server");
}
#endif

void Iec61850NetworkTest::devicesListedInPagesSideBySide() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    // 130 generated logical nodes make two devices of 100 and 30 nodes, some 8,000 names in all.
    const auto linesOf = [](const std::vector<std::string>& arguments) {
        SimulatorProcess simulator;
        if (!simulator.startGenerated(130, arguments)) {
            qWarning("%s", simulator.errorText().c_str());
            return QStringList();
        }
        EngineRig rig;
        rig.doConnect(simulator.port());
        if (!QTest::qWaitFor([&] { return rig.trues() == 2 || rig.falses() > 0; }, kWalkTimeoutMs) ||
            rig.falses() > 0) {
            return QStringList();
        }
        return rig.lines();
    };
    const QStringList whole = linesOf({});
    QVERIFY(whole.size() > 8000);
    QCOMPARE(whole.filter(QRegularExpression("\\|1$")).size(), 2);
    QCOMPARE(linesOf({"--max-pdu", "512", "--max-outstanding", "3"}), whole);
    QCOMPARE(linesOf({"--max-pdu", "512", "--max-outstanding", "1"}), whole);
}

int Iec61850NetworkTest::walkPdus() {
    if (walkPduCount == 0) {
        SimulatorProcess simulator;
        if (!startSimulator(simulator, kModel)) {
            return 0;
        }
        EngineRig rig;
        rig.doConnect(simulator.port());
        if (!QTest::qWaitFor([&] { return rig.trues() == 2; }, kWalkTimeoutMs)) {
            return 0;
        }
        walkPduCount = simulator.pdusLogged();
    }
    return walkPduCount;
}

void Iec61850NetworkTest::deviceFallsSilent_data() {
    QTest::addColumn<int>("answered");  // requests answered before the silence, of a whole walk
    QTest::addColumn<bool>("walking");  // the silence starts during the walk
    const int all = walkPdus();
    QVERIFY(all > 3);
    // The first request after the association is the list of logical devices.
    QTest::newRow("start") << 0 << true;
    QTest::newRow("middle") << all / 2 << true;
    QTest::newRow("last request") << all - 1 << true;
    QTest::newRow("after the walk") << all << false;
}

void Iec61850NetworkTest::deviceFallsSilent() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QFETCH(int, answered);
    QFETCH(bool, walking);
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator, kModel, {"--silent-after", QString::number(answered)}));
    EngineRig rig;
    rig.doConnect(simulator.port());
    if (!walking) {
        QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
        rig.readValue("KCTRL/LLN0.Mod.stVal");
        rig.readValue("KCTRL/MMXU1.TotW.units.SIUnit");
    }
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();
    // No completed walk is announced for a device that went silent in it, and nothing follows the end.
    QCOMPARE(rig.trues(), walking ? 1 : 2);
    QCOMPARE(rig.events.last(), QString("state|false"));
    if (answered == 0) {
        QCOMPARE(rig.events, (QStringList{"state|true", "state|false"}));
    }
    // The unanswered requests were enough: at most the agreed number of them were in flight, and
    // nothing was asked after them, the queued read included.
    QVERIFY2(simulator.pdusLogged() > answered && simulator.pdusLogged() <= answered + 5,
             qPrintable(QString::number(simulator.pdusLogged() - answered)));

    // The engine starts afresh on the next association.
    SimulatorProcess healthy;
    QVERIFY(startSimulator(healthy, kModel));
    rig.events.clear();
    rig.doConnect(healthy.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.falses(), 0);
}

void Iec61850NetworkTest::disconnectDropsQueuedReadsOfASlowDevice() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kModel, {"--latency", "50"}));
    rig.settle();
    rig.events.clear();
    const int walked = simulator.pdusLogged();

    for (int i = 0; i < 100; ++i) {
        rig.readValue("KCTRL/LLN0.Mod.stVal");
    }
    rig.userDisconnect();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.events.last(), QString("state|false"));
    // At most the read already under way and the closing went out, not the hundred reads.
    QVERIFY2(simulator.pdusLogged() - walked <= 2,
             qPrintable(QString::number(simulator.pdusLogged() - walked)));
    QVERIFY(rig.values().size() <= 1);

    // A later read finds no association and a new Connect works.
    rig.readValue("KCTRL/LLN0.Mod.stVal");
    rig.doConnect(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
}

void Iec61850NetworkTest::disconnectWithReadsQueuedForASilentDevice() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kModel, {"--silent-after", QString::number(walkPdus())}));
    rig.settle();
    rig.events.clear();

    for (int i = 0; i < 250; ++i) {
        rig.readValue("KCTRL/LLN0.Mod.stVal");
    }
    // Give the reads the time to go out, so that the Disconnect finds them waiting: packed into at
    // most the agreed number of requests.
    QTRY_VERIFY_WITH_TIMEOUT(simulator.pdusLogged() > walkPdus(), kWalkTimeoutMs);
    const int sent = simulator.pdusLogged();
    QVERIFY2(sent <= walkPdus() + 5, qPrintable(QString::number(sent - walkPdus())));
    rig.userDisconnect();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    rig.settle();
    QCOMPARE(rig.events, QStringList{"state|false"});
    QCOMPARE(simulator.pdusLogged(), sent);
}

void Iec61850NetworkTest::readsLostWithTheAssociation() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    // Answers slow enough that the device goes while the reads are in flight.
    auto simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(startSimulator(*simulator, kModel, {"--latency", "1000"}));
    EngineRig rig;
    rig.doConnect(simulator->port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    rig.events.clear();
    for (int i = 0; i < 20; ++i) {
        rig.readValue("KCTRL/LLN0.Mod.stVal");
        rig.readValue("KCTRL/MMXU1.TotW.units.SIUnit");
    }
    // Long enough for the reads to go out, far from long enough for their answers.
    QTest::qWait(200);
    simulator->kill();
    QTRY_COMPARE_WITH_TIMEOUT(rig.falses(), 1, kWalkTimeoutMs);
    // Whoever waits for the reads is told they are over, and nothing follows the end.
    rig.settle();
    rig.readValue("KCTRL/LLN0.Mod.stVal");
    rig.settle();
    QCOMPARE(rig.falses(), 1);
    QCOMPARE(rig.events.last(), QString("state|false"));
    QVERIFY(rig.values().isEmpty());

    // The next association reads again as before.
    simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(startSimulator(*simulator, kModel));
    rig.doConnect(simulator->port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.trues(), 2, kWalkTimeoutMs);
    rig.settle();
    rig.events.clear();
    rig.readValue("KCTRL/LLN0.Mod.stVal");
    rig.settle();
    QCOMPARE(rig.events, QStringList{"value|KCTRL/LLN0.Mod.stVal|On (1)"});
}

QTEST_GUILESS_MAIN(Iec61850NetworkTest)
#include "iec61850network_test.moc"
