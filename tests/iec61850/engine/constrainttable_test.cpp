#include <QtTest>

#include "constrainttable.h"

using iec61850::ConstraintTable;

class ConstraintTableTest : public QObject {
    Q_OBJECT

private slots:
    // A model's worth of references: every one must come back with its own constraint after the table
    // has grown many times, or a later read goes out under the wrong constraint.
    void everyReferenceKeepsItsConstraint();
    // A reference found again (a second walk of the same device) takes the newer constraint; unknown
    // references and prefixes of known ones have none.
    void newerValueAndUnknownReferences();
    // What the compact form cannot hold still comes back exactly: names outside ASCII, a NUL,
    // a constraint of another form, a reference longer than a block.
    void unusualReferences();
    void clearForgetsEverything();
    // References share their parents in the table: whatever order they come in (a parent after its
    // children, a branch left and taken up again, a name that is only a parent), each reads back as
    // itself, and a parent never inserted has no constraint.
    void sharedParentsInAnyOrder();
};

void ConstraintTableTest::everyReferenceKeepsItsConstraint() {
    ConstraintTable table;
    const QStringList fcs{"[ST]", "[MX]", "[CF]", "[DC]", "[SG]", "[ZZ]", "[AA]", ""};
    const int count = 50000;
    for (int i = 0; i < count; ++i) {
        table.insert(QStringLiteral("LD%1/GGIO%2.Ind%3.stVal").arg(i % 7).arg(i / 7).arg(i),
                     fcs.at(i % fcs.size()));
    }
    for (int i = 0; i < count; ++i) {
        const QString ref = QStringLiteral("LD%1/GGIO%2.Ind%3.stVal").arg(i % 7).arg(i / 7).arg(i);
        if (table.value(ref) != fcs.at(i % fcs.size())) {
            QFAIL(qPrintable(ref));
        }
    }
}

void ConstraintTableTest::newerValueAndUnknownReferences() {
    ConstraintTable table;
    QCOMPARE(table.value("LD0/LLN0.Mod.stVal"), QString());
    table.insert("LD0/LLN0.Mod.stVal", "[ST]");
    table.insert("LD0/LLN0.Mod.ctlModel", "[CF]");
    table.insert("LD0/LLN0.Mod.stVal", "[SV]");
    QCOMPARE(table.value("LD0/LLN0.Mod.stVal"), QString("[SV]"));
    QCOMPARE(table.value("LD0/LLN0.Mod.ctlModel"), QString("[CF]"));
    QCOMPARE(table.value("LD0/LLN0.Mod"), QString());
    QCOMPARE(table.value("LD0/LLN0.Mod.stVa"), QString());
    QCOMPARE(table.value("LD0/LLN0.Mod.stValx"), QString());
    QCOMPARE(table.value(""), QString());
}

void ConstraintTableTest::unusualReferences() {
    ConstraintTable table;
    const QString accented = QString::fromUtf8("LD0/GGIO1.Ind\xc3\xa9.stVal");
    const QString withNul = QStringLiteral("LD0/GGIO1.Ind") + QChar(0) + QStringLiteral("x");
    const QString longRef = QStringLiteral("LD0/GGIO1.") + QString(70000, QLatin1Char('a'));
    // Either side of what one block holds.
    const QString nearlyBlock = QStringLiteral("LD0/GGIO1.b.") + QString(4000, QLatin1Char('b'));
    const QString overBlock = QStringLiteral("LD0/GGIO1.c.") + QString(4100, QLatin1Char('c'));
    table.insert(nearlyBlock, "[SP]");
    table.insert(overBlock, "[SG]");
    table.insert(accented, "[ST]");
    table.insert(withNul, "[MX]");
    table.insert("LD0/GGIO1.Odd.stVal", "[st]");
    table.insert(longRef, "[CF]");
    table.insert("LD0/GGIO1.Ind1.stVal", "[ST]");
    QCOMPARE(table.value(accented), QString("[ST]"));
    QCOMPARE(table.value(withNul), QString("[MX]"));
    QCOMPARE(table.value(QStringLiteral("LD0/GGIO1.Ind")), QString());
    QCOMPARE(table.value("LD0/GGIO1.Odd.stVal"), QString("[st]"));
    QCOMPARE(table.value(longRef), QString("[CF]"));
    QCOMPARE(table.value(nearlyBlock), QString("[SP]"));
    QCOMPARE(table.value(overBlock), QString("[SG]"));
    // Moving between the two forms leaves no stale value behind.
    table.insert("LD0/GGIO1.Odd.stVal", "[ST]");
    QCOMPARE(table.value("LD0/GGIO1.Odd.stVal"), QString("[ST]"));
    table.insert("LD0/GGIO1.Ind1.stVal", "[x]");
    QCOMPARE(table.value("LD0/GGIO1.Ind1.stVal"), QString("[x]"));
}

void ConstraintTableTest::clearForgetsEverything() {
    ConstraintTable table;
    for (int i = 0; i < 3000; ++i) {
        table.insert(QStringLiteral("LD0/X%1.a").arg(i), "[ST]");
    }
    table.insert("LD0/Y.odd", "[st]");
    table.clear();
    QCOMPARE(table.value("LD0/X1.a"), QString());
    QCOMPARE(table.value("LD0/Y.odd"), QString());
    table.insert("LD0/X1.a", "[MX]");
    QCOMPARE(table.value("LD0/X1.a"), QString("[MX]"));
    QCOMPARE(table.value("LD0/X2.a"), QString());
}

void ConstraintTableTest::sharedParentsInAnyOrder() {
    ConstraintTable table;
    table.insert("LD0/CSWI1.Pos.Cancel.ctlNum", "[CO]");
    table.insert("LD0/CSWI1.Pos.ctlModel", "[CF]");
    table.insert("LD0/CSWI1.Pos.Cancel", "[CO]");
    table.insert("LD0/CSWI1.Pos.Cancel.origin.orCat", "[CO]");
    table.insert("LD0/CSWI1.Pos.stVal", "[ST]");
    table.insert("LD0/CSWI1.Pos.Cancel.ctlVal", "[CO]");
    table.insert("LD0/CSWI2.Pos.stVal", "[MX]");
    table.insert(".lead", "[ST]");
    table.insert("LD0/CSWI1.Pos.Cancel.ctlNum", "[SV]");
    table.insert("LD0/CSWI1.Pos..x", "[DC]");
    table.insert("LD0/CSWI1.Pos.", "[BL]");
    QCOMPARE(table.value("LD0/CSWI1.Pos.Cancel.ctlNum"), QString("[SV]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos.ctlModel"), QString("[CF]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos.Cancel"), QString("[CO]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos.Cancel.origin.orCat"), QString("[CO]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos.stVal"), QString("[ST]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos.Cancel.ctlVal"), QString("[CO]"));
    QCOMPARE(table.value("LD0/CSWI2.Pos.stVal"), QString("[MX]"));
    QCOMPARE(table.value(".lead"), QString("[ST]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos..x"), QString("[DC]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos."), QString("[BL]"));
    QCOMPARE(table.value("LD0/CSWI1.Pos"), QString());
    QCOMPARE(table.value("LD0/CSWI1.Pos.Cancel.origin"), QString());
    QCOMPARE(table.value("LD0/CSWI1"), QString());
    QCOMPARE(table.value("LD0/CSWI2.Pos.ctlModel"), QString());
    QCOMPARE(table.value("CSWI1.Pos.stVal"), QString());
    QCOMPARE(table.value("XLD0/CSWI1.Pos.stVal"), QString());
    QCOMPARE(table.value("lead"), QString());

    // Many children under few parents, through many growths, with the parents taken up in turn.
    ConstraintTable many;
    const QStringList fcs{"[ST]", "[MX]", "[CF]"};
    for (int i = 0; i < 20000; ++i) {
        many.insert(QStringLiteral("LD/GGIO%1.Ind%2.q.v%3").arg(i % 13).arg(i % 5).arg(i), fcs.at(i % 3));
    }
    for (int i = 0; i < 20000; ++i) {
        const QString ref = QStringLiteral("LD/GGIO%1.Ind%2.q.v%3").arg(i % 13).arg(i % 5).arg(i);
        if (many.value(ref) != fcs.at(i % 3) || !many.value(ref + QLatin1Char('x')).isEmpty()) {
            QFAIL(qPrintable(ref));
        }
    }
    QCOMPARE(many.size(), 20000);
    QCOMPARE(many.value("LD/GGIO1.Ind1.q"), QString());
}

QTEST_GUILESS_MAIN(ConstraintTableTest)
#include "constrainttable_test.moc"
