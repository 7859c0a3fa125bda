// The engine's control slots against the simulator program serving the sample bay: what reaches the
// device (seen through a second client of our own) and what reaches the status bar.
#include <QTemporaryDir>
#include <QtTest>

#include "attributeread.h"
#include "enginerig.h"
#include "iec61850_client.h"
#include "observerclient.h"
#include "simulatorprocess.h"

using iec61850::Iec61850Network;
using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

namespace {

const QString kSampleBay = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");
const QString kBreaker = QStringLiteral("BAY1CTRL/CSWI1.Pos");

// The sample bay with some texts replaced, for refusals that depend on the configuration.
QString variantOf(QTemporaryDir& dir, const QList<QPair<QString, QString>>& replacements) {
    QFile in(kSampleBay);
    in.open(QIODevice::ReadOnly);
    QString text = QString::fromUtf8(in.readAll());
    for (const auto& r : replacements) {
        text.replace(r.first, r.second);
    }
    const QString path = dir.filePath(QStringLiteral("variant.icd"));
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(text.toUtf8());
    return path;
}

class Observer : public korvan::test::ObserverClient {
public:
    using ObserverClient::ObserverClient;

    // 0 intermediate, 1 off, 2 on, 3 bad; -1 when unreadable.
    int position(const char* reference) {
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* v = IedConnection_readObject(connection, &error, reference, IEC61850_FC_ST);
        int result = -1;
        if (v && MmsValue_getType(v) == MMS_BIT_STRING) {
            result = (MmsValue_getBitStringBit(v, 0) ? 2 : 0) | (MmsValue_getBitStringBit(v, 1) ? 1 : 0);
        }
        MmsValue_delete(v);
        return result;
    }
    qint64 integer(const char* reference) {
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* v = IedConnection_readObject(connection, &error, reference, IEC61850_FC_ST);
        qint64 result = -1;
        if (v) {
            result = MmsValue_getType(v) == MMS_BOOLEAN ? MmsValue_getBoolean(v) : MmsValue_toInt64(v);
        }
        MmsValue_delete(v);
        return result;
    }
    bool select(const char* reference) {
        ControlObjectClient object = ControlObjectClient_create(reference, connection);
        const bool selected = object && ControlObjectClient_select(object);
        ControlObjectClient_destroy(object);
        return selected;
    }
};

}  // namespace

class Iec61850NetworkControlTest : public QObject {
    Q_OBJECT

private slots:
    void addCauseTexts();
    // Connecting must not select anything: the walk announces SBO lines but never reads them.
    void walkNeverSelects();
    void breakerOperatedWithTheValueOfItsSelect();
    void refusalsShowTheirCause();
    void operateNamingAnotherObjectLeavesTheSelectedOneAlone();
    void negativeTerminationReachesTheStatusBar();
    void interlockingRefusesTheSelect();
    void integerControlAndRequestsWithoutAnAssociation();
    // The client creates status-only objects that have Oper; the engine still sends them nothing.
    void statusOnlyObjectIsNeverCommanded();
    // The engine's own reads (operTimeout, log control blocks) take a refused attribute as no value,
    // not as a value, however the client library reports the refusal.
    void refusedAttributeIsNoValue();
    // Disconnect cuts the operate short at once; left alone, it ends as unanswered, and so does the
    // association.
    void operateToAFrozenDevice_data();
    void operateToAFrozenDevice();
    void missingTerminationIsReported();

private:
    bool start(SimulatorProcess& simulator, const QString& model = kSampleBay) {
        if (!SimulatorProcess::available()) {
            return false;
        }
        return simulator.start(model);
    }
};

void Iec61850NetworkControlTest::addCauseTexts() {
    QCOMPARE(Iec61850Network::addCauseToString(0), QStringLiteral("UNKNOWN (0)"));
    QCOMPARE(Iec61850Network::addCauseToString(16), QStringLiteral("TIME_LIMIT_OVER (16)"));
    QCOMPARE(Iec61850Network::addCauseToString(27), QStringLiteral("LOCKED_BY_OTHER_CLIENT (27)"));
    QCOMPARE(Iec61850Network::addCauseToString(28), QStringLiteral("28"));
    QCOMPARE(Iec61850Network::addCauseToString(30), QStringLiteral("30"));
    QCOMPARE(Iec61850Network::addCauseToString(-1), QStringLiteral("-1"));
}

void Iec61850NetworkControlTest::walkNeverSelects() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    QVERIFY(!rig.valueRefs().contains(QStringLiteral("BAY1CTRL/GGIO1.SPCSO3.SBO")));
    QVERIFY(rig.valueRefs().contains(QStringLiteral("BAY1CTRL/GGIO1.SPCSO3.sboTimeout")));
    Observer other(simulator.port());
    QVERIFY(other.connected);
    QVERIFY(other.select("BAY1CTRL/GGIO1.SPCSO3"));
}

void Iec61850NetworkControlTest::breakerOperatedWithTheValueOfItsSelect() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer observer(simulator.port());
    QCOMPARE(observer.position("BAY1CTRL/CSWI1.Pos.stVal"), 2);
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    QTRY_COMPARE_WITH_TIMEOUT(observer.integer("BAY1CTRL/CSWI1.Pos.stSeld"), 1, 10000);
    // The operate's own state is not used: the operate repeats the select.
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 2));
    QTRY_COMPARE_WITH_TIMEOUT(observer.position("BAY1CTRL/CSWI1.Pos.stVal"), 1, 10000);
    QCOMPARE(observer.position("BAY1CTRL/XCBR1.Pos.stVal"), 1);
    rig.settle();
    QCOMPARE(rig.statusTexts, QStringList());  // success says nothing

    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 3));
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 3));
    QTRY_COMPARE_WITH_TIMEOUT(observer.position("BAY1CTRL/CSWI1.Pos.stVal"), 2, 10000);
    QCOMPARE(rig.statusTexts, QStringList());
}

void Iec61850NetworkControlTest::refusalsShowTheirCause() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    QVERIFY(rig.waitFor([&] { return rig.statusTexts.size() >= 1; }, 10000));
    QCOMPARE(rig.statusTexts.value(0), QStringLiteral("Operate fail: OBJECT_NOT_SELECTED (18)"));
    rig.call("controlCancel", Q_ARG(QString, kBreaker));
    QVERIFY(rig.waitFor([&] { return rig.statusTexts.size() >= 2; }, 10000));
    QCOMPARE(rig.statusTexts.value(1), QStringLiteral("Cancel fail: OBJECT_NOT_SELECTED (18)"));
    // Closing the closed breaker.
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 2));
    QVERIFY(rig.waitFor([&] { return rig.statusTexts.size() >= 3; }, 10000));
    QCOMPARE(rig.statusTexts.value(2), QStringLiteral("Operate fail: POSITION_REACHED (5)"));
    // Another client holds the selection.
    Observer other(simulator.port());
    QVERIFY(other.select("BAY1CTRL/GGIO1.SPCSO3"));
    rig.call("controlSelect", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.SPCSO3")), Q_ARG(int, 2));
    QVERIFY(rig.waitFor([&] { return rig.statusTexts.size() >= 4; }, 10000));
    // A select by read that the device refuses is answered with an empty string and no cause.
    QCOMPARE(rig.statusTexts.value(3), QStringLiteral("Select fail: UNKNOWN (0)"));
    QCOMPARE(rig.statusTexts.size(), 4);
}

void Iec61850NetworkControlTest::operateNamingAnotherObjectLeavesTheSelectedOneAlone() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer observer(simulator.port());
    rig.call("controlSelect", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.SPCSO3")), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.SPCSO2")), Q_ARG(bool, true),
             Q_ARG(int, 2));
    QTRY_COMPARE_WITH_TIMEOUT(observer.integer("BAY1CTRL/GGIO1.SPCSO2.stVal"), 1, 10000);
    QCOMPARE(observer.integer("BAY1CTRL/GGIO1.SPCSO3.stVal"), 0);
    QCOMPARE(rig.statusTexts, QStringList());
    // A select with value for the breaker, then an operate of another object: the held value is not
    // sent to it either.
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.SPCSO2")), Q_ARG(bool, true),
             Q_ARG(int, 2));
    QCOMPARE(observer.integer("BAY1CTRL/GGIO1.SPCSO2.stVal"), 1);
    QCOMPARE(observer.position("BAY1CTRL/CSWI1.Pos.stVal"), 2);
}

void Iec61850NetworkControlTest::negativeTerminationReachesTheStatusBar() {
    QTemporaryDir dir;
    const QString model = variantOf(dir, {{QStringLiteral("<DAI name=\"operTimeout\"><Val>5000</Val>"),
                                           QStringLiteral("<DAI name=\"operTimeout\"><Val>50</Val>")}});
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, model));
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.statusTexts.isEmpty(), 10000);
    QCOMPARE(rig.statusTexts, QStringList{QStringLiteral("Operate fail: TIME_LIMIT_OVER (16)")});
}

void Iec61850NetworkControlTest::interlockingRefusesTheSelect() {
    QTemporaryDir dir;
    const QString model =
        variantOf(dir, {{QStringLiteral("<DOI name=\"EnaCls\"><DAI name=\"stVal\"><Val>true</Val>"),
                         QStringLiteral("<DOI name=\"EnaCls\"><DAI name=\"stVal\"><Val>false</Val>")}});
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, model));
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 2));
    QVERIFY(rig.waitFor([&] { return !rig.statusTexts.isEmpty(); }, 10000));
    QCOMPARE(rig.statusTexts, QStringList{QStringLiteral("Select fail: BLOCKED_BY_INTERLOCKING (10)")});
    // Opening is still allowed.
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    QCOMPARE(rig.statusTexts.size(), 1);
}

void Iec61850NetworkControlTest::integerControlAndRequestsWithoutAnAssociation() {
    SimulatorProcess simulator;
    QVERIFY(start(simulator));
    EngineRig rig;
    // Nothing is open yet: the requests end quietly.
    rig.call("controlSelect", Q_ARG(QString, kBreaker), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, true), Q_ARG(int, 2));
    rig.call("controlCancel", Q_ARG(QString, kBreaker));
    QCOMPARE(rig.statusTexts, QStringList());

    QVERIFY(rig.connectAndWalk(simulator.port()));
    Observer observer(simulator.port());
    rig.call("controlOperateInt", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.ISCSO1")), Q_ARG(int, 3),
             Q_ARG(int, 2));
    QTRY_COMPARE_WITH_TIMEOUT(observer.integer("BAY1CTRL/GGIO1.ISCSO1.stVal"), 3, 10000);
    QCOMPARE(rig.statusTexts, QStringList());
}

void Iec61850NetworkControlTest::statusOnlyObjectIsNeverCommanded() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer observer(simulator.port());
    const QString statusOnly = QStringLiteral("BAY1CTRL/GGIO1.SPCSO1");
    ControlObjectClient object = ControlObjectClient_create("BAY1CTRL/GGIO1.SPCSO1", observer.connection);
    QVERIFY(object != nullptr);
    QCOMPARE(ControlObjectClient_getControlModel(object), CONTROL_MODEL_STATUS_ONLY);
    ControlObjectClient_destroy(object);

    rig.call("controlSelect", Q_ARG(QString, statusOnly), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, statusOnly), Q_ARG(bool, true), Q_ARG(int, 2));
    rig.call("controlCancel", Q_ARG(QString, statusOnly));
    // The engine handles its slots in order: once this operate is through, the ones before are too.
    rig.call("controlOperateInt", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.ISCSO1")), Q_ARG(int, 2),
             Q_ARG(int, 2));
    QTRY_COMPARE_WITH_TIMEOUT(observer.integer("BAY1CTRL/GGIO1.ISCSO1.stVal"), 2, 10000);
    QCOMPARE(rig.statusTexts, QStringList());  // a refused command would say "Operate fail: ..."
    QCOMPARE(observer.integer("BAY1CTRL/GGIO1.SPCSO1.stVal"), 0);
}

void Iec61850NetworkControlTest::refusedAttributeIsNoValue() {
    SimulatorProcess simulator;
    QVERIFY(start(simulator));
    Observer observer(simulator.port());
    QVERIFY(observer.connected);
    MmsValue* model =
        iec61850::readAttribute(observer.connection, "BAY1CTRL/CSWI1.Pos.ctlModel", IEC61850_FC_CF);
    QVERIFY(model != nullptr);
    QCOMPARE(MmsValue_toInt64(model), qint64(4));
    MmsValue_delete(model);
    QCOMPARE(iec61850::readAttribute(observer.connection, "BAY1CTRL/CSWI1.Pos.noSuch", IEC61850_FC_CF),
             nullptr);
    QCOMPARE(iec61850::readAttribute(observer.connection, "BAY1CTRL/CSWI1.Pos.ctlModel", IEC61850_FC_ST),
             nullptr);
}

void Iec61850NetworkControlTest::operateToAFrozenDevice_data() {
    QTest::addColumn<bool>("disconnect");
    QTest::newRow("Disconnect") << true;
    QTest::newRow("no answer") << false;
}

void Iec61850NetworkControlTest::operateToAFrozenDevice() {
    QFETCH(bool, disconnect);
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    Observer observer(simulator.port());
    QTRY_COMPARE_WITH_TIMEOUT(observer.integer("BAY1CTRL/CSWI1.Pos.stSeld"), 1, 10000);
    simulator.freeze();
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    if (disconnect) {
        // The engine's thread is free at once: the Disconnect ends the association well before the
        // operate's own time-out (5 s), and nothing is said about the abandoned operate.
        rig.userDisconnect();
        QVERIFY(rig.waitFor([&] { return rig.falses() == 1; }, 3000));
        QCOMPARE(rig.statusTexts,
                 QStringList{QStringLiteral("disconnected from 127.0.0.1:%1").arg(simulator.port())});
    } else {
        // The state and the status texts come as separate signals: wait for all of them.
        QVERIFY(rig.waitFor([&] { return rig.falses() == 1 && rig.statusTexts.size() >= 2; }, 20000));
        QCOMPARE(rig.statusTexts, (QStringList{QStringLiteral("Operate fail: no answer from the device"),
                                               QStringLiteral("connection lost: no answer within 5 s")}));
    }
    simulator.thaw();
}

void Iec61850NetworkControlTest::missingTerminationIsReported() {
    // The switch would report its own time-out (operTimeout 100 ms, shorter than its travel) with a
    // negative termination; this device sends none.
    QTemporaryDir dir;
    const QString model = variantOf(dir, {{QStringLiteral("<DAI name=\"operTimeout\"><Val>5000</Val>"),
                                           QStringLiteral("<DAI name=\"operTimeout\"><Val>100</Val>")}});
    SimulatorProcess simulator;
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QVERIFY(simulator.start(model, {"--no-termination"}));
    EngineRig rig;
    QVERIFY(rig.connectAndWalk(simulator.port()));
    rig.call("controlSelectWithValue", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    rig.call("controlOperateBool", Q_ARG(QString, kBreaker), Q_ARG(bool, false), Q_ARG(int, 2));
    QVERIFY(rig.waitFor([&] { return rig.statusTexts.size() >= 1; }, 20000));
    QCOMPARE(rig.statusTexts, QStringList{QStringLiteral("Operate fail: no command termination")});
    QCOMPARE(rig.falses(), 0);
}

QTEST_GUILESS_MAIN(Iec61850NetworkControlTest)
#include "iec61850network_control_test.moc"
