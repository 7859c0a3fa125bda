// The engine's writes against the simulator program serving the sample bay: what reaches the device
// (seen through a second client of our own), what the status bar says, and what comes back to the
// dialogs, for attributes, report control blocks, setting groups and substitution.
#include <QtTest>

#include "enginerig.h"
#include "iec61850_client.h"
#include "observerclient.h"
#include "simulatorprocess.h"

using iec61850::Iec61850Network;
using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

namespace {

const QString kSampleBay = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");
const QString kUrcb = QStringLiteral("BAY1MEAS/LLN0.MeasUrcb01");

class Observer : public korvan::test::ObserverClient {
public:
    using ObserverClient::ObserverClient;

    // The value as a number (booleans 0/1, bit strings as their integer), -1 when unreadable.
    double number(const char* reference, FunctionalConstraint fc) {
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* v = IedConnection_readObject(connection, &error, reference, fc);
        double result = -1;
        if (v != nullptr) {
            switch (MmsValue_getType(v)) {
                case MMS_BOOLEAN:
                    result = MmsValue_getBoolean(v) ? 1 : 0;
                    break;
                case MMS_BIT_STRING:
                    result = MmsValue_getBitStringAsInteger(v);
                    break;
                case MMS_FLOAT:
                    result = MmsValue_toDouble(v);
                    break;
                case MMS_INTEGER:
                case MMS_UNSIGNED:
                    result = double(MmsValue_toInt64(v));
                    break;
                default:
                    break;
            }
        }
        MmsValue_delete(v);
        return result;
    }
    QString text(const char* reference, FunctionalConstraint fc) {
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* v = IedConnection_readObject(connection, &error, reference, fc);
        const QString result =
            v && MmsValue_getType(v) == MMS_VISIBLE_STRING ? MmsValue_toString(v) : QString();
        MmsValue_delete(v);
        return result;
    }
    IedClientError write(const char* reference, FunctionalConstraint fc, MmsValue* value) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_writeObject(connection, &error, reference, fc, value);
        MmsValue_delete(value);
        return error;
    }
};

// What the engine answers the dialogs, recorded on the test's thread.
struct Answers : QObject {
    explicit Answers(Iec61850Network* engine) {
        connect(engine, &Iec61850Network::valueWritten, this,
                [this](const QString& ref, const QString& fc, const QString& error, const QString& value) {
                    written << QStringList{ref, fc, error, value};
                });
        connect(
            engine, &Iec61850Network::objectValuesRead, this,
            [this](const QString& ref, const QString& fc, const QStringList& names, const QStringList& values,
                   const QList<int>&, const QList<int>&, const QString& error) {
                read.clear();
                readError = error;
                for (int i = 0; i < names.size(); ++i) {
                    read.insert(names.at(i), values.value(i));
                }
                readFc = fc + QLatin1Char(' ') + ref;
            });
        connect(engine, &Iec61850Network::reportControlBlockWritten, this,
                [this](const QString&, const QStringList& names, const QStringList& errors) {
                    rcbNames = names;
                    rcbErrors = errors;
                });
        connect(engine, &Iec61850Network::valueDescribed, this,
                [this](const QString&, const QString&, int type, int size, const QString& error) {
                    described = QStringList{QString::number(type), QString::number(size), error};
                });
    }
    QList<QStringList> written;
    QMap<QString, QString> read;
    QString readError;
    QString readFc;
    QStringList rcbNames;
    QStringList rcbErrors;
    QStringList described;
};

}  // namespace

class Iec61850NetworkWritesTest : public QObject {
    Q_OBJECT

private slots:
    void writtenValuesReachTheDeviceAndTheTree_data();
    void writtenValuesReachTheDeviceAndTheTree();
    // Every refusal says why and leaves the device as it was; a text that does not fit the type is
    // never sent.
    void refusedWritesShowTheirCause_data();
    void refusedWritesShowTheirCause();
    void typesAreDescribed();
    // A device that stops answering gives "Write fail" within the request time, not a hang.
    void silentDeviceEndsTheWrite();
    void nothingIsWrittenByConnectReadsOrPolling();
    void reportControlBlockWritesOneByOneAndCombined();
    void reportControlBlockHeldByAnotherClientShowsTheOwner();
    void generalInterrogationSendsAReport();
    void settingGroupIsEditedConfirmedAndActivated();
    void substitutedValueIsWhatTheDeviceShows();

private:
    void write(EngineRig& rig, const QString& ref, const QString& fc, const QString& text) {
        rig.call("writeValue", Q_ARG(QString, ref), Q_ARG(QString, fc), Q_ARG(QString, text));
    }
};

void Iec61850NetworkWritesTest::writtenValuesReachTheDeviceAndTheTree_data() {
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QString>("fc");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("visible string") << "BAY1CTRL/LLN0.NamPlt.d"
                                    << "DC"
                                    << "Feeder 7 bay controller"
                                    << "Feeder 7 bay controller";
    QTest::newRow("enumeration") << "BAY1CTRL/GGIO1.SPCSO2.ctlModel"
                                 << "CF"
                                 << "3"
                                 << "Direct with enhanced security (3)";
    QTest::newRow("unsigned") << "BAY1CTRL/GGIO1.SPCSO3.sboTimeout"
                              << "[CF]"
                              << "12000"
                              << "12000";
    QTest::newRow("boolean") << "BAY1CTRL/GGIO1.Ind1.subVal"
                             << "SV"
                             << "true"
                             << "1";
    QTest::newRow("quality bits") << "BAY1CTRL/GGIO1.Ind1.subQ"
                                  << "SV"
                                  << "0b0000000100000"
                                  << "QUALITY_VALIDITY_GOOD\nQUALITY_DETAIL_OLD_DATA\n(0b0 0000 0010 0000)";
}

void Iec61850NetworkWritesTest::writtenValuesReachTheDeviceAndTheTree() {
    QFETCH(QString, ref);
    QFETCH(QString, fc);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Answers answers(rig.engine());
    rig.events.clear();
    write(rig, ref, fc, text);
    QCOMPARE(rig.statusTexts, QStringList{QStringLiteral("Write ok: ") + ref});
    QCOMPARE(answers.written.size(), 1);
    QCOMPARE(answers.written.first(),
             (QStringList{ref, fc.mid(fc.startsWith('[') ? 1 : 0, 2), QString(), shown}));
    // The value read again reaches the trees.
    QVERIFY(rig.events.contains(QStringLiteral("value|%1|%2").arg(ref, shown)));
}

void Iec61850NetworkWritesTest::refusedWritesShowTheirCause_data() {
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QString>("fc");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cause");
    QTest::newRow("status") << "BAY1MEAS/PTOC1.Beh.stVal"
                            << "ST"
                            << "2"
                            << "object-access-denied";
    QTest::newRow("active setting") << "BAY1MEAS/PTOC1.StrVal.setMag.f"
                                    << "SG"
                                    << "500"
                                    << "object-access-denied";
    QTest::newRow("enumeration out of range") << "BAY1CTRL/GGIO1.SPCSO2.ctlModel"
                                              << "CF"
                                              << "5"
                                              << "object-value-invalid";
    QTest::newRow("active group 0") << "BAY1MEAS/LLN0.SGCB.ActSG"
                                    << "SP"
                                    << "0"
                                    << "object-value-invalid";
    QTest::newRow("edit without edit group") << "BAY1MEAS/PTOC1.OpDlTmms.setVal"
                                             << "SE"
                                             << "300"
                                             << "temporarily-unavailable";
    QTest::newRow("not a number") << "BAY1CTRL/GGIO1.SPCSO3.sboTimeout"
                                  << "CF"
                                  << "soon"
                                  << "*";
    QTest::newRow("string too long") << "BAY1CTRL/GGIO1.Ind1.subID"
                                     << "SV" << QString(65, QLatin1Char('x')) << "*";
    QTest::newRow("no such attribute") << "BAY1CTRL/GGIO1.Ind9.subVal"
                                       << "SV"
                                       << "true"
                                       << "object-non-existent";
}

void Iec61850NetworkWritesTest::refusedWritesShowTheirCause() {
    QFETCH(QString, ref);
    QFETCH(QString, fc);
    QFETCH(QString, text);
    QFETCH(QString, cause);
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer observer(simulator.port());
    QVERIFY(observer.connected);
    const QByteArray reference = ref.toUtf8();
    const FunctionalConstraint constraint = FunctionalConstraint_fromString(fc.toLatin1().constData());
    const double before = observer.number(reference.constData(), constraint);
    const QString textBefore = observer.text(reference.constData(), constraint);
    Answers answers(rig.engine());
    write(rig, ref, fc, text);
    QCOMPARE(rig.statusTexts.size(), 1);
    const QString prefix = QStringLiteral("Write fail: %1: ").arg(ref);
    QVERIFY2(rig.statusTexts.first().startsWith(prefix), qPrintable(rig.statusTexts.first()));
    const QString said = rig.statusTexts.first().mid(prefix.size());
    if (cause == QLatin1String("*")) {
        QVERIFY(!said.isEmpty());  // the parser's reason; the device never saw the value
        QVERIFY(!simulator.output().empty());
        QVERIFY(QString::fromStdString(simulator.output()).count(QStringLiteral("] write ")) == 0);
    } else {
        QCOMPARE(said, cause);
    }
    QCOMPARE(answers.written.size(), 1);
    QCOMPARE(answers.written.first().value(2), said);
    QCOMPARE(observer.number(reference.constData(), constraint), before);
    QCOMPARE(observer.text(reference.constData(), constraint), textBefore);
}

void Iec61850NetworkWritesTest::typesAreDescribed() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Answers answers(rig.engine());
    rig.call("describeValue", Q_ARG(QString, kUrcb + ".TrgOps"), Q_ARG(QString, QStringLiteral("[RP]")));
    QCOMPARE(answers.described.value(0), QString::number(MMS_BIT_STRING));
    QCOMPARE(qAbs(answers.described.value(1).toInt()), 6);
    QCOMPARE(answers.described.value(2), QString());
    rig.call("describeValue", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.Ind1.subID")),
             Q_ARG(QString, QStringLiteral("SV")));
    QCOMPARE(answers.described,
             (QStringList{QString::number(MMS_VISIBLE_STRING), QStringLiteral("-64"), QString()}));
    rig.call("describeValue", Q_ARG(QString, QStringLiteral("BAY1CTRL/GGIO1.Nothing")),
             Q_ARG(QString, QStringLiteral("SV")));
    QCOMPARE(answers.described.value(0), QStringLiteral("-1"));
    QVERIFY(!answers.described.value(2).isEmpty());
}

void Iec61850NetworkWritesTest::silentDeviceEndsTheWrite() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Answers answers(rig.engine());
    simulator.freeze();
    QMetaObject::invokeMethod(rig.engine(), "writeValue",
                              Q_ARG(QString, QStringLiteral("BAY1CTRL/LLN0.NamPlt.d")),
                              Q_ARG(QString, QStringLiteral("DC")), Q_ARG(QString, QStringLiteral("x")));
    QVERIFY(rig.waitFor([&] { return !answers.written.isEmpty(); }, 20000));
    simulator.thaw();
    QCOMPARE(answers.written.first().value(2), QStringLiteral("no answer in time"));
    QVERIFY(
        rig.statusTexts.contains(QStringLiteral("Write fail: BAY1CTRL/LLN0.NamPlt.d: no answer in time")));
}

void Iec61850NetworkWritesTest::nothingIsWrittenByConnectReadsOrPolling() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    rig.readValue(kUrcb + ".TrgOps");
    rig.readValue(QStringLiteral("BAY1MEAS/LLN0.SGCB.ActSG"));
    rig.settle();
    rig.disconnectEngine();
    QVERIFY(simulator.pdusLogged() > 0);
    QCOMPARE(QString::fromStdString(simulator.output()).count(QStringLiteral("] write ")), 0);
}

void Iec61850NetworkWritesTest::reportControlBlockWritesOneByOneAndCombined() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer observer(simulator.port());
    Answers answers(rig.engine());
    const QStringList names{"TrgOps", "IntgPd"};
    rig.call("writeReportControlBlock", Q_ARG(QString, kUrcb), Q_ARG(QString, QStringLiteral("RP")),
             Q_ARG(QStringList, names), Q_ARG(QStringList, (QStringList{"0b011010", "3000"})),
             Q_ARG(bool, false));
    QCOMPARE(answers.rcbNames, names);
    QCOMPARE(answers.rcbErrors, (QStringList{QString(), QString()}));
    QCOMPARE(rig.statusTexts.last(), QStringLiteral("Write ok: ") + kUrcb);
    QCOMPARE(observer.number("BAY1MEAS/LLN0.MeasUrcb01.TrgOps", IEC61850_FC_RP), double(0b010110));
    QCOMPARE(observer.number("BAY1MEAS/LLN0.MeasUrcb01.IntgPd", IEC61850_FC_RP), 3000.0);
    // The block is read again for the dialog, and its lines in the tree follow.
    QCOMPARE(answers.readFc, QStringLiteral("RP ") + kUrcb);
    QCOMPARE(answers.read.value("IntgPd"), QStringLiteral("3000"));
    QCOMPARE(answers.read.value("TrgOps"), QStringLiteral("0b01 1010"));
    QVERIFY(rig.events.contains(QStringLiteral("value|%1.IntgPd|3000").arg(kUrcb)));

    rig.call("writeReportControlBlock", Q_ARG(QString, kUrcb), Q_ARG(QString, QStringLiteral("RP")),
             Q_ARG(QStringList, names), Q_ARG(QStringList, (QStringList{"0b010011", "1000"})),
             Q_ARG(bool, true));
    QCOMPARE(answers.rcbErrors, (QStringList{QString(), QString()}));
    QCOMPARE(observer.number("BAY1MEAS/LLN0.MeasUrcb01.IntgPd", IEC61850_FC_RP), 1000.0);
    QCOMPARE(answers.read.value("TrgOps"), QStringLiteral("0b01 0011"));

    // One value that does not fit: nothing is sent.
    rig.call("writeReportControlBlock", Q_ARG(QString, kUrcb), Q_ARG(QString, QStringLiteral("RP")),
             Q_ARG(QStringList, names), Q_ARG(QStringList, (QStringList{"0b000000", "-5"})),
             Q_ARG(bool, false));
    QCOMPARE(answers.rcbErrors.value(0), QStringLiteral("not sent"));
    QVERIFY(!answers.rcbErrors.value(1).isEmpty());
    QCOMPARE(observer.number("BAY1MEAS/LLN0.MeasUrcb01.TrgOps", IEC61850_FC_RP), double(0b110010));
    QVERIFY(rig.statusTexts.last().startsWith(QStringLiteral("Write fail: ") + kUrcb));
}

void Iec61850NetworkWritesTest::reportControlBlockHeldByAnotherClientShowsTheOwner() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer other(simulator.port());
    QCOMPARE(other.write("BAY1MEAS/LLN0.MeasUrcb01.Resv", IEC61850_FC_RP, MmsValue_newBoolean(true)),
             IED_ERROR_OK);
    Answers answers(rig.engine());
    rig.call("writeReportControlBlock", Q_ARG(QString, kUrcb), Q_ARG(QString, QStringLiteral("RP")),
             Q_ARG(QStringList, QStringList{"IntgPd"}), Q_ARG(QStringList, QStringList{"1500"}),
             Q_ARG(bool, true));
    QCOMPARE(answers.rcbErrors.size(), 1);
    QVERIFY(!answers.rcbErrors.first().isEmpty());
    QCOMPARE(other.number("BAY1MEAS/LLN0.MeasUrcb01.IntgPd", IEC61850_FC_RP), 2000.0);
    QCOMPARE(answers.read.value("Resv"), QStringLiteral("1"));
    QVERIFY2(answers.read.value("Owner").contains(QStringLiteral("7f 00 00 01")),
             qPrintable(answers.read.value("Owner")));
}

void Iec61850NetworkWritesTest::generalInterrogationSendsAReport() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Answers answers(rig.engine());
    // Only a general interrogation may make this block report.
    rig.call("writeReportControlBlock", Q_ARG(QString, QStringLiteral("BAY1CTRL/LLN0.IndRpt01")),
             Q_ARG(QString, QStringLiteral("RP")), Q_ARG(QStringList, QStringList{"TrgOps"}),
             Q_ARG(QStringList, QStringList{"0b000001"}), Q_ARG(bool, true));
    QCOMPARE(answers.rcbErrors, QStringList{QString()});
    rig.toggleReport(QStringLiteral("BAY1CTRL/LLN0.RP.IndRpt01"));
    QCOMPARE(rig.reportsBegun(), 0);
    rig.call("writeReportControlBlock", Q_ARG(QString, QStringLiteral("BAY1CTRL/LLN0.IndRpt01")),
             Q_ARG(QString, QStringLiteral("RP")), Q_ARG(QStringList, QStringList{"GI"}),
             Q_ARG(QStringList, QStringList{"true"}), Q_ARG(bool, true));
    QCOMPARE(answers.rcbErrors, QStringList{QString()});
    QVERIFY(rig.waitFor([&] { return rig.reportsBegun() > 0; }, 10000));
}

void Iec61850NetworkWritesTest::settingGroupIsEditedConfirmedAndActivated() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Answers answers(rig.engine());
    const QString setting = QStringLiteral("BAY1MEAS/PTOC1.StrVal.setMag.f");
    write(rig, QStringLiteral("BAY1MEAS/LLN0.SGCB.EditSG"), "SP", "2");
    rig.call("readObjectValues", Q_ARG(QString, setting), Q_ARG(QString, QStringLiteral("SE")));
    QCOMPARE(answers.readError, QString());
    QCOMPARE(answers.read.value(QString()), QStringLiteral("600"));
    rig.events.clear();
    write(rig, setting, "SE", "650");
    QCOMPARE(answers.written.last(), (QStringList{setting, "SE", QString(), "650"}));
    // The tree shows the setting under SG: an edit is not the active value.
    QVERIFY(!rig.events.contains(QStringLiteral("value|%1|650").arg(setting)));
    write(rig, QStringLiteral("BAY1MEAS/LLN0.SGCB.CnfEdit"), "SP", "true");
    write(rig, QStringLiteral("BAY1MEAS/LLN0.SGCB.ActSG"), "SP", "2");
    QCOMPARE(rig.statusTexts.filter(QStringLiteral("Write fail")), QStringList());
    rig.call("readObjectValues", Q_ARG(QString, setting), Q_ARG(QString, QStringLiteral("SG")));
    QCOMPARE(answers.read.value(QString()), QStringLiteral("650"));
    QVERIFY(rig.events.contains(QStringLiteral("value|%1|650").arg(setting)));
    rig.call("readObjectValues", Q_ARG(QString, QStringLiteral("BAY1MEAS/LLN0.SGCB")),
             Q_ARG(QString, QStringLiteral("SP")));
    QCOMPARE(answers.read.value("ActSG"), QStringLiteral("2"));
    // Confirming keeps the group in edit until it is released.
    QCOMPARE(answers.read.value("EditSG"), QStringLiteral("2"));
}

void Iec61850NetworkWritesTest::substitutedValueIsWhatTheDeviceShows() {
    SimulatorProcess simulator;
    EngineRig rig;
    QVERIFY(rig.serveAndWalk(simulator, kSampleBay));
    Observer observer(simulator.port());
    const char* stVal = "BAY1CTRL/GGIO1.Ind1.stVal";
    QCOMPARE(observer.number(stVal, IEC61850_FC_ST), 0.0);
    write(rig, QStringLiteral("BAY1CTRL/GGIO1.Ind1.subVal"), "SV", "true");
    write(rig, QStringLiteral("BAY1CTRL/GGIO1.Ind1.subEna"), "SV", "true");
    QCOMPARE(observer.number(stVal, IEC61850_FC_ST), 1.0);
    // The substituted bit of the quality (bit 10 in string order).
    const quint32 quality = quint32(observer.number("BAY1CTRL/GGIO1.Ind1.q", IEC61850_FC_ST));
    QVERIFY(quality & (1u << 10));
    write(rig, QStringLiteral("BAY1CTRL/GGIO1.Ind1.subEna"), "SV", "false");
    QCOMPARE(observer.number(stVal, IEC61850_FC_ST), 0.0);
    QCOMPARE(rig.statusTexts.filter(QStringLiteral("Write fail")), QStringList());
}

QTEST_GUILESS_MAIN(Iec61850NetworkWritesTest)
#include "iec61850network_writes_test.moc"
