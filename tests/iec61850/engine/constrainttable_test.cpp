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

QTEST_GUILESS_MAIN(ConstraintTableTest)
#include "constrainttable_test.moc"
