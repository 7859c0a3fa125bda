#include <QLocale>
#include <QtTest>

#include <memory>

#include "valuerenderer.h"

using iec61850::renderValue;

namespace {

struct ValueDeleter {
    void operator()(MmsValue* value) const { MmsValue_delete(value); }
};
using Value = std::unique_ptr<MmsValue, ValueDeleter>;

Value bits(int size, std::initializer_list<int> set) {
    Value value(MmsValue_newBitString(size));
    for (int bit : set) {
        MmsValue_setBitStringBit(value.get(), bit, true);
    }
    return value;
}

Value octets(const QByteArray& bytes) {
    MmsValue* value = MmsValue_newOctetString(0, bytes.size());
    MmsValue_setOctetString(value, reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    return Value(value);
}

QStringList texts(const Value& value, const QString& ref = QStringLiteral("LD/LN.DO.da"),
                  bool reportMode = false) {
    return renderValue(value.get(), ref, reportMode).texts;
}

}  // namespace

class ValueRendererTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // The attribute name picks the enumeration; a wrong rule order or a loose match shows the wrong
    // words for a device's mode, health or control model.
    void integersByAttributeName_data();
    void integersByAttributeName();
    // Codes at and beyond the ends of the tables, and the symbols that need UTF-8.
    void enumerationEdges_data();
    void enumerationEdges();
    void plainScalars();
    void qualityAndBitStrings();
    void octetStrings();
    // BinaryTime is shown in UTC without milliseconds, UtcTime in local time with them.
    void times();
    // Only report mode looks into structures; anything without a text form is counted for the engine.
    void structuresAndUnsupportedTypes();
    // Values that real devices send and that must not show as a line never read.
    void mmsStrings();
    void arrays();
    void dataAccessErrors_data();
    void dataAccessErrors();
};

void ValueRendererTest::initTestCase() {
    // A zone away from UTC, so that a missing or doubled local-time conversion shows.
    qputenv("TZ", "KVT-3");
}

void ValueRendererTest::integersByAttributeName_data() {
    QTest::addColumn<QString>("ref");
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Mod") << "LD/LLN0.Mod.stVal" << qint64(1) << "On (1)";
    QTest::newRow("Mod ctlVal is a bare number") << "LD/LLN0.Mod.ctlVal" << qint64(1) << "1";
    QTest::newRow("Beh") << "LD/LLN0.Beh.stVal" << qint64(5) << "Off (5)";
    QTest::newRow("Health") << "LD/LPHD1.Health.stVal" << qint64(3) << "Alarm (3)";
    QTest::newRow("PhyHealth is not Health") << "LD/LPHD1.PhyHealth.stVal" << qint64(1) << "1";
    QTest::newRow("ctlModel") << "LD/CSWI1.Pos.ctlModel" << qint64(4) << "Sbo with enhanced security (4)";
    QTest::newRow("ctlModel unknown") << "LD/CSWI1.Pos.ctlModel" << qint64(7) << "7";
    QTest::newRow("SIUnit") << "LD/MMXU1.TotW.units.SIUnit" << qint64(38) << "W (38)";
    QTest::newRow("multiplier") << "LD/MMXU1.TotW.units.multiplier" << qint64(3) << "k (3)";
    QTest::newRow("dirGeneral") << "LD/PTOC1.Str.dirGeneral" << qint64(2) << "Backward (2)";
    QTest::newRow("dirPhsA") << "LD/PTOC1.Str.dirPhsA" << qint64(1) << "Forward (1)";
    QTest::newRow("dirPhs table has no Both") << "LD/PTOC1.Str.dirPhsN" << qint64(3) << "3";
    QTest::newRow("orCat") << "LD/CSWI1.Pos.origin.orCat" << qint64(3) << "Remote control (3)";
    QTest::newRow("AutoRecSt") << "LD/RREC1.AutoRecSt.stVal" << qint64(8) << "CB closed (8)";
    QTest::newRow("TmSrcTyp") << "LD/LTMS1.TmSrcTyp.stVal" << qint64(3) << "PTP (3)";
    QTest::newRow("SwTyp") << "LD/XSWI1.SwTyp.stVal" << qint64(2) << "Disconnector (2)";
    QTest::newRow("stVal of another object") << "LD/GGIO1.IntIn.stVal" << qint64(-12) << "-12";
    QTest::newRow("name without a dot") << "ctlModel" << qint64(1) << "Direct with normal security (1)";
    QTest::newRow("Mod without a dot") << "Mod.stVal" << qint64(1) << "1";
    QTest::newRow("case matters") << "LD/LN.DO.ctlmodel" << qint64(1) << "1";
}

void ValueRendererTest::integersByAttributeName() {
    QFETCH(QString, ref);
    QFETCH(qint64, code);
    QFETCH(QString, expected);
    const Value value(MmsValue_newInteger64(code));
    QCOMPARE(texts(value, ref), QStringList{expected});
}

void ValueRendererTest::enumerationEdges_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("SIUnit 1 has no symbol") << iec61850::siUnitToString(1) << "(1)";
    QTest::newRow("SIUnit gap") << iec61850::siUnitToString(40) << "40";
    QTest::newRow("SIUnit past the end") << iec61850::siUnitToString(86) << "86";
    QTest::newRow("SIUnit degrees") << iec61850::siUnitToString(23)
                                    << QString::fromUtf8(
                                           "\xc2\xb0"
                                           "C (23)");
    QTest::newRow("SIUnit square") << iec61850::siUnitToString(41) << QString::fromUtf8("m\xc2\xb2 (41)");
    QTest::newRow("SIUnit cube per second")
        << iec61850::siUnitToString(45) << QString::fromUtf8("m\xc2\xb3/s (45)");
    QTest::newRow("SIUnit blank inside") << iec61850::siUnitToString(60) << "J/kg K (60)";
    QTest::newRow("multiplier 0 has no prefix") << iec61850::multiplierToString(0) << "(0)";
    QTest::newRow("multiplier micro")
        << iec61850::multiplierToString(-6) << QString::fromUtf8("\xc2\xb5 (-6)");
    QTest::newRow("multiplier gap") << iec61850::multiplierToString(-5) << "-5";
    QTest::newRow("multiplier beyond") << iec61850::multiplierToString(25) << "25";
    QTest::newRow("AutoRecSt 0") << iec61850::autoRecStToString(0) << "0";
    QTest::newRow("TmSrcTyp 0") << iec61850::tmSrcTypToString(0) << "0";
}

void ValueRendererTest::enumerationEdges() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void ValueRendererTest::plainScalars() {
    QCOMPARE(texts(Value(MmsValue_newBoolean(true))), QStringList{"1"});
    QCOMPARE(texts(Value(MmsValue_newBoolean(false))), QStringList{"0"});
    QCOMPARE(texts(Value(MmsValue_newFloat(230.5f))), QStringList{"230.5"});
    QCOMPARE(texts(Value(MmsValue_newDouble(50.0))), QStringList{"50"});
    QCOMPARE(texts(Value(MmsValue_newDouble(1.0 / 3.0))), QStringList{"0.333333"});
    QCOMPARE(texts(Value(MmsValue_newDouble(1234567.0))), QStringList{"1.23457e+06"});
    QCOMPARE(texts(Value(MmsValue_newUnsigned(4294967295u))), QStringList{"4294967295"});
    // Unsigned values never pass through the enumerations.
    QCOMPARE(texts(Value(MmsValue_newUnsigned(1)), "LD/LLN0.Mod.stVal"), QStringList{"1"});
    QCOMPARE(texts(Value(MmsValue_newVisibleString("Bay 1 \xc3\xa9"))),
             QStringList{QString::fromUtf8("Bay 1 \xc3\xa9")});
    // An empty text is no text: nothing to show, nothing to announce.
    QCOMPARE(texts(Value(MmsValue_newVisibleString(""))), QStringList());
}

void ValueRendererTest::qualityAndBitStrings() {
    QCOMPARE(texts(bits(13, {})), QStringList{"QUALITY_VALIDITY_GOOD\n(0b0 0000 0000 0000)"});
    QCOMPARE(texts(bits(13, {1, 7})),
             QStringList{"QUALITY_VALIDITY_INVALID\nQUALITY_DETAIL_OLD_DATA\n(0b0 1000 0010 0000)"});
    QCOMPARE(texts(bits(13, {0, 1, 2, 12})),
             QStringList{"QUALITY_VALIDITY_QUESTIONABLE\nQUALITY_DETAIL_OVERFLOW\nQUALITY_OPERATOR_BLOCKED\n"
                         "(0b1 1100 0000 0001)"});
    QCOMPARE(
        texts(bits(13, {0, 10, 11})),
        QStringList{
            "QUALITY_VALIDITY_RESERVED\nQUALITY_SOURCE_SUBSTITUTED\nQUALITY_TEST\n(0b1 0000 0000 0110)"});
    // Flags come out in ascending bit order whatever order they are set in.
    const QString all = iec61850::qualityToString(0x3ffc);
    QCOMPARE(all.split('\n').size(), 13);
    QVERIFY(all.startsWith("QUALITY_VALIDITY_GOOD\nQUALITY_DETAIL_OVERFLOW\nQUALITY_DETAIL_OUT_OF_RANGE\n"));
    QVERIFY(all.endsWith("QUALITY_OPERATOR_BLOCKED\nQUALITY_DERIVED"));

    QCOMPARE(texts(bits(2, {0})), QStringList{"0b10"});
    QCOMPARE(texts(bits(8, {})), QStringList{"0b 0000 0000"});
    // Twelve bits are not a quality word.
    QCOMPARE(texts(bits(12, {})), QStringList{"0b 0000 0000 0000"});
    QCOMPARE(texts(bits(6, {0, 5})), QStringList{"0b10 0001"});
    QCOMPARE(texts(bits(0, {})), QStringList{"0b"});
}

void ValueRendererTest::octetStrings() {
    QCOMPARE(texts(octets("ABC")), QStringList{"ABC\n0x 41 42 43 "});
    QCOMPARE(texts(octets(QByteArray())), QStringList{"\n0x "});
    // Exactly eight bytes stay on one hex line; the padding is lower case and two digits wide.
    const QString eight = texts(octets(QByteArray::fromHex("0001020b0c7e7fff"))).first();
    QVERIFY(eight.endsWith("\n0x 00 01 02 0b 0c 7e 7f ff "));
    QCOMPARE(eight.count("\n0x "), 1);
    const QByteArray nine = QByteArray::fromHex("303132333435363738");
    QCOMPARE(texts(octets(nine)), QStringList{"012345678\n0x 30 31 32 33 34 35 36 37 \n0x 38 "});
    const QByteArray sixteen(16, 'a');
    QCOMPARE(texts(octets(sixteen)).first().count("\n0x "), 2);
}

void ValueRendererTest::times() {
    const qint64 ms = Q_INT64_C(1700000000123);  // 2023-11-14 22:13:20.123 UTC
    const QLocale system = QLocale::system();

    const QString binary =
        QStringLiteral("%1 %2 14 22:13:20 2023")
            .arg(system.dayName(2, QLocale::ShortFormat), system.monthName(11, QLocale::ShortFormat));
    QCOMPARE(texts(Value(MmsValue_newBinaryTimeMs(quint64(ms), true))), QStringList{binary});

    // Three hours east of UTC the same instant is already the next day.
    const QString utc =
        QStringLiteral("%1 %2 15 2023 01:13:20.123")
            .arg(system.dayName(3, QLocale::ShortFormat), system.monthName(11, QLocale::ShortFormat));
    QCOMPARE(texts(Value(MmsValue_newUtcTimeMs(quint64(ms), 0x0a))), QStringList{utc});

    const QString epoch =
        QStringLiteral("%1 %2 1 1970 03:00:00.000")
            .arg(system.dayName(4, QLocale::ShortFormat), system.monthName(1, QLocale::ShortFormat));
    QCOMPARE(texts(Value(MmsValue_newUtcTimeMs(0, 0))), QStringList{epoch});
}

void ValueRendererTest::structuresAndUnsupportedTypes() {
    Value inner(MmsValue_newStructure());
    MmsValue_appendElement(inner.get(), MmsValue_newInteger64(1));
    MmsValue_appendElement(inner.get(), bits(13, {}).release());
    Value outer(MmsValue_newStructure());
    MmsValue_appendElement(outer.get(), MmsValue_newBoolean(true));
    MmsValue_appendElement(outer.get(), inner.release());
    MmsValue_appendElement(outer.get(), MmsValue_newVisibleString(""));
    MmsValue_appendElement(outer.get(), MmsValue_newArray());
    MmsValue_appendElement(outer.get(), MmsValue_newFloat(2.5f));

    const iec61850::RenderedValue normal = renderValue(outer.get(), "LD/LLN0.Mod.stVal", false);
    QCOMPARE(normal.texts, QStringList());
    QCOMPARE(normal.unsupported, 0);

    // Members are flattened depth first; the integer ignores the reference's Mod rule.
    const iec61850::RenderedValue report = renderValue(outer.get(), "LD/LLN0.Mod.stVal", true);
    QCOMPARE(report.texts, (QStringList{"1", "1", "QUALITY_VALIDITY_GOOD\n(0b0 0000 0000 0000)", "[]", "2.5"}));
    QCOMPARE(report.unsupported, 0);

    for (bool reportMode : {false, true}) {
        // An empty array is a value too, not a blank line.
        const iec61850::RenderedValue array =
            renderValue(Value(MmsValue_newArray()).get(), "LD/LN.DO.da", reportMode);
        QCOMPARE(array.texts, QStringList{"[]"});
        QCOMPARE(array.unsupported, 0);
    }
    QCOMPARE(renderValue(nullptr, "x", false).texts, QStringList());
}

void ValueRendererTest::mmsStrings() {
    // dU, the description in the device's own language: UTF-8 on the wire.
    const QString text =
        QString::fromUtf8("Leistungsschalter \u00d6ffner \u2013 \u65ad\u8def\u5668 \U0001F50C");
    for (bool reportMode : {false, true}) {
        Value value(MmsValue_newMmsString(text.toUtf8().constData()));
        QCOMPARE(MmsValue_getType(value.get()), MMS_STRING);
        QCOMPARE(texts(value, "LD/XCBR1.Pos.dU", reportMode), QStringList{text});
    }
    QCOMPARE(texts(Value(MmsValue_newMmsString(""))), QStringList());
}

void ValueRendererTest::arrays() {
    // Harmonics: an array of structures (cVal with mag and ang), the quality word on one line.
    Value harmonics(MmsValue_newArray());
    for (float mag : {1.5f, 0.25f}) {
        Value cVal(MmsValue_newStructure());
        MmsValue_appendElement(cVal.get(), MmsValue_newFloat(mag));
        MmsValue_appendElement(cVal.get(), MmsValue_newFloat(-90.0f));
        MmsValue_appendElement(harmonics.get(), cVal.release());
    }
    MmsValue_appendElement(harmonics.get(), bits(13, {1}).release());
    const QString harmonicsText = "[{1.5, -90}, {0.25, -90}, QUALITY_VALIDITY_INVALID (0b0 1000 0000 0000)]";
    QCOMPARE(texts(harmonics), QStringList{harmonicsText});
    // In a report the array is one member text, not flattened like a structure.
    QCOMPARE(texts(harmonics, "NOT_EMIT", true), QStringList{harmonicsText});

    // Nested arrays, strings and integers, which show as plain numbers whatever the reference.
    Value inner(MmsValue_newArray());
    MmsValue_appendElement(inner.get(), MmsValue_newInteger64(1));
    MmsValue_appendElement(inner.get(), MmsValue_newMmsString("\xc3\xa9t\xc3\xa9"));
    Value outer(MmsValue_newArray());
    MmsValue_appendElement(outer.get(), inner.release());
    MmsValue_appendElement(outer.get(), MmsValue_newArray());
    MmsValue_appendElement(outer.get(), MmsValue_newBoolean(true));
    QCOMPARE(texts(outer, "LD/LLN0.Mod.stVal"),
             QStringList{QString::fromUtf8("[[1, \xc3\xa9t\xc3\xa9], [], 1]")});
    // A structure holding an array, in a report: the array stays one text among the leaves.
    Value structure(MmsValue_newStructure());
    MmsValue_appendElement(structure.get(), MmsValue_newFloat(3.0f));
    MmsValue_appendElement(structure.get(), outer.release());
    const iec61850::RenderedValue report = renderValue(structure.get(), "x", true);
    QCOMPARE(report.texts, (QStringList{"3", QString::fromUtf8("[[1, \xc3\xa9t\xc3\xa9], [], 1]")}));
    QCOMPARE(report.unsupported, 0);
}

void ValueRendererTest::dataAccessErrors_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const char* const names[] = {
        "object-invalidated",        "hardware-fault",      "temporarily-unavailable",
        "object-access-denied",      "object-undefined",    "invalid-address",
        "type-unsupported",          "type-inconsistent",   "object-attribute-inconsistent",
        "object-access-unsupported", "object-non-existent", "object-value-invalid"};
    for (int code = 0; code < 12; ++code) {
        QTest::addRow("%d", code) << code << QString(names[code]);
    }
    QTest::addRow("unknown") << 77 << QString("data-access-error 77");
}

void ValueRendererTest::dataAccessErrors() {
    QFETCH(int, code);
    QFETCH(QString, text);
    for (bool reportMode : {false, true}) {
        const iec61850::RenderedValue rendered =
            renderValue(Value(MmsValue_newDataAccessError(code)).get(), "LD/LN.DO.da", reportMode);
        QCOMPARE(rendered.texts, QStringList{text});
        QCOMPARE(rendered.unsupported, 0);
    }
}

QTEST_GUILESS_MAIN(ValueRendererTest)
#include "valuerenderer_test.moc"
