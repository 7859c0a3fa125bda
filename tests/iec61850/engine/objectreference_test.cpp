#include <QtTest>

#include "objectreference.h"

using iec61850::buildReference;

class ObjectReferenceTest : public QObject {
    Q_OBJECT

private slots:
    // The suffix must be found only in its exact form, or lines get a wrong constraint and reads fail.
    void functionalConstraintSuffix();
    // A depth-first walk: going back up must cut the path, or siblings inherit a stale parent.
    void referencesFollowTheWalk();
    // Names that contain the device name, or characters that mean something in a pattern, come
    // through untouched.
    void namesAreNeverRewritten();
    void dataSetMemberKeepsItsOwnReference();
    void layerDeeperThanThePath();
};

void ObjectReferenceTest::functionalConstraintSuffix() {
    QCOMPARE(iec61850::extractFc("stVal[ST]"), QString("[ST]"));
    QCOMPARE(iec61850::extractFc("LD0/GGIO1.Ind1.stVal[ST]"), QString("[ST]"));
    QCOMPARE(iec61850::extractFc("stVal"), QString(""));
    QCOMPARE(iec61850::extractFc("stVal[st]"), QString(""));
    QCOMPARE(iec61850::extractFc("stVal[STX]"), QString(""));
    QCOMPARE(iec61850::extractFc("stVal[S]"), QString(""));
    QCOMPARE(iec61850::withoutFc("ctlModel[CF]"), QString("ctlModel"));
    QCOMPARE(iec61850::withoutFc("LD0/GGIO1.Ind1.stVal[ST]"), QString("LD0/GGIO1.Ind1.stVal"));
    QCOMPARE(iec61850::withoutFc("Mod"), QString("Mod"));
}

void ObjectReferenceTest::referencesFollowTheWalk() {
    QStringList path{"rootLayer"};
    QCOMPARE(buildReference(path, "LD0", 1), QString("LD0"));
    QCOMPARE(buildReference(path, "LLN0", 2), QString("LD0/LLN0"));
    QCOMPARE(buildReference(path, "Mod", 3), QString("LD0/LLN0.Mod"));
    QCOMPARE(buildReference(path, "stVal", 4), QString("LD0/LLN0.Mod.stVal"));
    QCOMPARE(buildReference(path, "q", 4), QString("LD0/LLN0.Mod.q"));
    QCOMPARE(buildReference(path, "units", 4), QString("LD0/LLN0.Mod.units"));
    QCOMPARE(buildReference(path, "SIUnit", 5), QString("LD0/LLN0.Mod.units.SIUnit"));
    QCOMPARE(buildReference(path, "GGIO1", 2), QString("LD0/GGIO1"));
    QCOMPARE(path, (QStringList{"rootLayer", "LD0", "GGIO1"}));
    QCOMPARE(buildReference(path, "LD1", 1), QString("LD1"));
    QCOMPARE(path, (QStringList{"rootLayer", "LD1"}));
}

void ObjectReferenceTest::namesAreNeverRewritten() {
    QStringList path{"rootLayer"};
    buildReference(path, "CTRL", 1);
    QCOMPARE(buildReference(path, "CTRLGGIO1", 2), QString("CTRL/CTRLGGIO1"));
    QCOMPARE(buildReference(path, "CTRLx", 3), QString("CTRL/CTRLGGIO1.CTRLx"));
    QCOMPARE(buildReference(path, "rootLayerA", 4), QString("CTRL/CTRLGGIO1.CTRLx.rootLayerA"));

    path = QStringList{"rootLayer"};
    buildReference(path, "L+D", 1);
    QCOMPARE(buildReference(path, "LN(1)", 2), QString("L+D/LN(1)"));
    QCOMPARE(buildReference(path, "L+D[0]", 3), QString("L+D/LN(1).L+D[0]"));
}

void ObjectReferenceTest::dataSetMemberKeepsItsOwnReference() {
    QStringList path{"rootLayer", "LD0", "LLN0"};
    QCOMPARE(buildReference(path, "Events", 3), QString("LD0/LLN0.Events"));
    QCOMPARE(buildReference(path, "LD0/GGIO1.Ind1.stVal", 4),
             QString("LD0/LLN0.Events.LD0/GGIO1.Ind1.stVal"));
    QCOMPARE(buildReference(path, "LD1/MMXU1.TotW.mag.f", 4),
             QString("LD0/LLN0.Events.LD1/MMXU1.TotW.mag.f"));
}

void ObjectReferenceTest::layerDeeperThanThePath() {
    QStringList path{"rootLayer", "LD0"};
    QCOMPARE(buildReference(path, "Mod", 3), QString("totalLayers < layer"));
    QCOMPARE(path, (QStringList{"rootLayer", "LD0"}));
    QCOMPARE(buildReference(path, "x", 0), QString("totalLayers < layer"));
}

QTEST_GUILESS_MAIN(ObjectReferenceTest)
#include "objectreference_test.moc"
