#include <QtTest>

#include <memory>

#include "valuemeaning.h"
#include "valuerenderer.h"

using iec61850::renderValue;
using iec61850::valueMeaning;

namespace {

using Value = std::unique_ptr<MmsValue, decltype(&MmsValue_delete)>;

// The meaning of what the renderer shows for `value` under `ref`: the two must agree on the text.
QString meaningOf(const Value& value, const QString& ref) {
    return valueMeaning(ref, renderValue(value.get(), ref, false).texts.value(0));
}

}  // namespace

class ValueMeaningTest : public QObject {
    Q_OBJECT

private slots:
    // Bit order matters: reading the string from the wrong end swaps on and off, or names the wrong
    // trigger or option.
    void namedBits_data();
    void namedBits();
    // The enumerations shown with their code keep only the name; a code off the table says so.
    void enumerations_data();
    void enumerations();
    // An EntryID is bytes, not text: the meaning is the hexadecimal alone, across wrapped lines.
    void entryIdAsHexadecimal();
    // Values without a fixed meaning get none, so the view shows no empty or misleading tooltip.
    void nothingToSay();
};

void ValueMeaningTest::namedBits_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("set");
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QString>("meaning");
    QTest::newRow("position intermediate") << 2 << QList<int>{} << "LD/XCBR1.Pos.stVal"
                                           << "intermediate";
    QTest::newRow("position off") << 2 << QList<int>{1} << "LD/XCBR1.Pos.stVal"
                                  << "off";
    QTest::newRow("position on") << 2 << QList<int>{0} << "LD/XCBR1.Pos.stVal"
                                 << "on";
    QTest::newRow("position bad") << 2 << QList<int>{0, 1} << "LD/XCBR1.Pos.stVal"
                                  << "bad";
    QTest::newRow("TrgOps") << 6 << QList<int>{1, 4} << "LD/LLN0.EvRpt01.TrgOps"
                            << "data change, integrity";
    QTest::newRow("TrgOps none") << 6 << QList<int>{} << "LD/LLN0.EvRpt01.TrgOps"
                                 << "none";
    QTest::newRow("OptFlds") << 10 << QList<int>{1, 4, 7, 9} << "LD/LLN0.EvBuf01.OptFlds"
                             << "sequence number, data set name, entry ID, segmentation";
    QTest::newRow("reason code") << 7 << QList<int>{2, 5, 6} << "ReasonCode"
                                 << "quality change, general interrogation, application trigger";
    QTest::newRow("unnamed bit") << 8 << QList<int>{7} << "LD/LLN0.EvRpt01.TrgOps"
                                 << "bit 7";
    QTest::newRow("quality good") << 13 << QList<int>{} << "LD/MMXU1.TotW.q"
                                  << "good";
    QTest::newRow("quality invalid old") << 13 << QList<int>{1, 7} << "LD/MMXU1.TotW.q"
                                         << "invalid: old data";
    QTest::newRow("quality questionable") << 13 << QList<int>{0, 1, 10, 11, 12} << "LD/MMXU1.TotW.q"
                                          << "questionable: substituted, test, operator blocked";
}

void ValueMeaningTest::namedBits() {
    QFETCH(int, size);
    QFETCH(QList<int>, set);
    QFETCH(QString, ref);
    QFETCH(QString, meaning);
    Value value(MmsValue_newBitString(size), MmsValue_delete);
    for (int bit : set) {
        MmsValue_setBitStringBit(value.get(), bit, true);
    }
    QCOMPARE(meaningOf(value, ref), meaning);
}

void ValueMeaningTest::enumerations_data() {
    QTest::addColumn<QString>("ref");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("meaning");
    QTest::newRow("Mod") << "LD/LLN0.Mod.stVal" << 1 << "On";
    QTest::newRow("Beh") << "LD/LLN0.Beh.stVal" << 4 << "Test/blocked";
    QTest::newRow("Health") << "LD/LLN0.Health.stVal" << 3 << "Alarm";
    QTest::newRow("ctlModel") << "LD/CSWI1.Pos.ctlModel" << 0 << "Status only";
    QTest::newRow("ctlModel off table") << "LD/CSWI1.Pos.ctlModel" << 7 << "code 7 is not defined";
    QTest::newRow("not an enumeration") << "LD/CSWI1.Pos.ctlNum" << 3 << "";
}

void ValueMeaningTest::enumerations() {
    QFETCH(QString, ref);
    QFETCH(int, code);
    QFETCH(QString, meaning);
    Value value(MmsValue_newIntegerFromInt32(code), MmsValue_delete);
    QCOMPARE(meaningOf(value, ref), meaning);
}

void ValueMeaningTest::entryIdAsHexadecimal() {
    const QByteArray bytes = QByteArray::fromHex("00000a0151ff80fe07");
    Value value(MmsValue_newOctetString(0, bytes.size()), MmsValue_delete);
    MmsValue_setOctetString(value.get(), reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    QCOMPARE(meaningOf(value, "LD/LLN0.EvBuf01.EntryID"), QStringLiteral("0x 00 00 0a 01 51 ff 80 fe 07"));
}

void ValueMeaningTest::nothingToSay() {
    Value eightBits(MmsValue_newBitString(8), MmsValue_delete);
    QCOMPARE(meaningOf(eightBits, "LD/GGIO1.Ind.something"), QString());
    Value text(MmsValue_newVisibleString("0b10"), MmsValue_delete);
    QCOMPARE(meaningOf(text, "LD/LLN0.NamPlt.vendor"), QString());
    QCOMPARE(valueMeaning("LD/LLN0.Mod.stVal", QString()), QString());
}

QTEST_GUILESS_MAIN(ValueMeaningTest)
#include "valuemeaning_test.moc"
