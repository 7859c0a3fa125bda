// The type-driven editors: each starts at the value the tree shows and gives the text the engine's
// writes take, within what the type allows.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

#include <memory>

#include "iec61850_client.h"
#include "valueeditor.h"

using iec61850::ValueEditor;

namespace {

std::unique_ptr<ValueEditor> editorFor(const QString& ref, int type, int size, const QString& shown) {
    return std::unique_ptr<ValueEditor>(ValueEditor::create(ref, type, size, shown));
}

QCheckBox* boxNamed(ValueEditor* editor, const QString& text) {
    for (QCheckBox* box : editor->findChildren<QCheckBox*>()) {
        if (box->text() == text) {
            return box;
        }
    }
    return nullptr;
}

}  // namespace

class ValueEditorTest : public QObject {
    Q_OBJECT

private slots:
    // Unchanged, every editor gives back the value it was opened with.
    void untouchedEditorsGiveTheShownValue_data();
    void untouchedEditorsGiveTheShownValue();
    void integersAreBoundedByTheirWidth();
    void enumerationsOfferTheirNames();
    void bitStringsHaveNamedBoxes();
    void qualityValidityIsOneChoice();
    void textAndOctetsAreLengthBounded();
    void timesAreWrittenInUtc();
    void structuresHaveNoEditor();
};

void ValueEditorTest::untouchedEditorsGiveTheShownValue_data() {
    QTest::addColumn<QString>("ref");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("boolean on") << "LD/GGIO1.Ind1.subVal" << int(MMS_BOOLEAN) << 0 << "1"
                                << "true";
    QTest::newRow("boolean off") << "LD/GGIO1.Ind1.subVal" << int(MMS_BOOLEAN) << 0 << "0"
                                 << "false";
    QTest::newRow("int32") << "LD/PTOC1.OpDlTmms.setVal" << int(MMS_INTEGER) << 32 << "-250"
                           << "-250";
    QTest::newRow("int64") << "LD/MMXU1.TotWh.actVal" << int(MMS_INTEGER) << 64 << "-9000000000"
                           << "-9000000000";
    QTest::newRow("unsigned 32") << "LD/GGIO1.SPCSO3.sboTimeout" << int(MMS_UNSIGNED) << 32 << "4000000000"
                                 << "4000000000";
    QTest::newRow("ctlModel") << "LD/GGIO1.SPCSO3.ctlModel" << int(MMS_INTEGER) << 8
                              << "Sbo with normal security (2)"
                              << "2";
    QTest::newRow("float") << "LD/PTOC1.StrVal.setMag.f" << int(MMS_FLOAT) << 32 << "400.5"
                           << "400.5";
    QTest::newRow("text") << "LD/LLN0.NamPlt.d" << int(MMS_VISIBLE_STRING) << -255 << "Bay 1"
                          << "Bay 1";
    QTest::newRow("TrgOps") << "LD/LLN0.rcb.TrgOps" << int(MMS_BIT_STRING) << 6 << "0b01 0011"
                            << "0b010011";
    QTest::newRow("quality") << "LD/GGIO1.Ind1.subQ" << int(MMS_BIT_STRING) << 13
                             << "QUALITY_VALIDITY_QUESTIONABLE\nQUALITY_DETAIL_OLD_DATA\n(0b1 1000 0010 0000)"
                             << "0b1100000100000";
    QTest::newRow("position") << "LD/CSWI1.Pos.subVal" << int(MMS_BIT_STRING) << 2 << "0b10"
                              << "0b10";
    QTest::newRow("octets") << "LD/LLN0.brcb.EntryID" << int(MMS_OCTET_STRING) << 8
                            << "ab\n0x 00 00 00 00 00 00 00 2a"
                            << "0x00 00 00 00 00 00 00 2a";
}

void ValueEditorTest::untouchedEditorsGiveTheShownValue() {
    QFETCH(QString, ref);
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(QString, shown);
    QFETCH(QString, text);
    const auto editor = editorFor(ref, type, size, shown);
    QVERIFY(editor);
    QCOMPARE(editor->valueText(), text);
    QCOMPARE(editor->problem(), QString());
}

void ValueEditorTest::integersAreBoundedByTheirWidth() {
    auto int8 = editorFor("LD/X.Y.v", MMS_INTEGER, 8, "0");
    auto* spin = int8->findChild<QSpinBox*>();
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), -128);
    QCOMPARE(spin->maximum(), 127);
    auto uint16 = editorFor("LD/X.Y.v", MMS_UNSIGNED, 16, "7");
    QCOMPARE(uint16->findChild<QSpinBox*>()->minimum(), 0);
    QCOMPARE(uint16->findChild<QSpinBox*>()->maximum(), 65535);
    // Wider than a spin box: the field says what it takes.
    auto uint32 = editorFor("LD/X.Y.v", MMS_UNSIGNED, 32, "1");
    auto* field = uint32->findChild<QLineEdit*>();
    QVERIFY(field);
    field->setText("4294967296");
    QVERIFY(!uint32->problem().isEmpty());
    field->setText("4294967295");
    QCOMPARE(uint32->problem(), QString());
    auto int64 = editorFor("LD/X.Y.v", MMS_INTEGER, 64, "1");
    int64->findChild<QLineEdit*>()->setText("99999999999999999999");
    QVERIFY(!int64->problem().isEmpty());
}

void ValueEditorTest::enumerationsOfferTheirNames() {
    auto ctlModel = editorFor("LD/GGIO1.SPCSO1.ctlModel", MMS_INTEGER, 8, "Status only (0)");
    auto* combo = ctlModel->findChild<QComboBox*>();
    QVERIFY(combo);
    QCOMPARE(combo->count(), 5);
    QCOMPARE(combo->itemText(4), QStringLiteral("Sbo with enhanced security (4)"));
    combo->setCurrentIndex(4);
    QCOMPARE(ctlModel->valueText(), QStringLiteral("4"));
    auto mod = editorFor("LD/LLN0.Mod.stVal", MMS_INTEGER, 8, "On (1)");
    QCOMPARE(mod->findChild<QComboBox*>()->currentText(), QStringLiteral("On (1)"));
    QVERIFY(mod->findChild<QComboBox*>()->findText(QStringLiteral("Off (5)")) >= 0);
    // An integer the standard gives no names is a plain number.
    auto plain = editorFor("LD/X.Y.stVal", MMS_INTEGER, 32, "3");
    QVERIFY(plain->findChild<QComboBox*>() == nullptr);
}

void ValueEditorTest::bitStringsHaveNamedBoxes() {
    auto trgOps = editorFor("LD/LLN0.rcb.TrgOps", MMS_BIT_STRING, 6, "0b00 0000");
    QCheckBox* integrity = boxNamed(trgOps.get(), "integrity");
    QCheckBox* gi = boxNamed(trgOps.get(), "general interrogation");
    QVERIFY(integrity && gi);
    integrity->setChecked(true);
    gi->setChecked(true);
    QCOMPARE(trgOps->valueText(), QStringLiteral("0b000011"));
    auto optFlds = editorFor("LD/LLN0.rcb.OptFlds", MMS_BIT_STRING, 10, "0b00 0000 0000");
    QVERIFY(boxNamed(optFlds.get(), "sequence number"));
    QVERIFY(boxNamed(optFlds.get(), "segmentation"));
    // Unnamed bit strings count their bits.
    auto other = editorFor("LD/X.Y.bits", MMS_BIT_STRING, 3, "0b101");
    QVERIFY(boxNamed(other.get(), "bit 1"));
    QCOMPARE(other->valueText(), QStringLiteral("0b101"));
}

void ValueEditorTest::qualityValidityIsOneChoice() {
    auto quality =
        editorFor("LD/GGIO1.Ind1.subQ", MMS_BIT_STRING, 13, "QUALITY_VALIDITY_GOOD\n(0b0 0000 0000 0000)");
    auto* validity = quality->findChild<QComboBox*>();
    QVERIFY(validity);
    validity->setCurrentText("invalid");
    boxNamed(quality.get(), "substituted")->setChecked(true);
    QCOMPARE(quality->valueText(), QStringLiteral("0b0100000000100"));
    QVERIFY(boxNamed(quality.get(), "validity (first bit)") == nullptr);
}

void ValueEditorTest::textAndOctetsAreLengthBounded() {
    auto text = editorFor("LD/GGIO1.Ind1.subID", MMS_VISIBLE_STRING, -64, "");
    QCOMPARE(text->findChild<QLineEdit*>()->maxLength(), 64);
    auto octets = editorFor("LD/LLN0.brcb.EntryID", MMS_OCTET_STRING, 8, "\n0x ");
    auto* field = octets->findChild<QLineEdit*>();
    QCOMPARE(field->maxLength(), 24);
    field->setText("0a 0");
    QVERIFY(!octets->problem().isEmpty());
    field->setText("0a 0b");
    QCOMPARE(octets->valueText(), QStringLiteral("0x0a 0b"));
}

void ValueEditorTest::timesAreWrittenInUtc() {
    auto binary = editorFor("LD/X.Y.t", MMS_BINARY_TIME, 6, "Mon Dec 7 14:03:00 2026");
    QCOMPARE(binary->valueText(), QStringLiteral("2026-12-07T14:03:00.000Z"));
    auto* edit = binary->findChild<QDateTimeEdit*>();
    edit->setDateTime(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5, 600), Qt::UTC));
    QCOMPARE(binary->valueText(), QStringLiteral("2027-01-02T03:04:05.600Z"));
    // The tree shows a UTC time in local time.
    const QDateTime utc(QDate(2026, 12, 7), QTime(14, 3, 0, 250), Qt::UTC);
    const QString shown =
        QLocale::c().toString(utc.toLocalTime(), QStringLiteral("ddd MMM d yyyy hh:mm:ss.zzz"));
    auto utcTime = editorFor("LD/X.Y.t", MMS_UTC_TIME, 0, shown);
    QCOMPARE(utcTime->valueText(), QStringLiteral("2026-12-07T14:03:00.250Z"));
}

void ValueEditorTest::structuresHaveNoEditor() {
    QVERIFY(!editorFor("LD/X.Y", MMS_STRUCTURE, 3, ""));
    QVERIFY(!editorFor("LD/X.Y", MMS_ARRAY, 3, ""));
}

QTEST_MAIN(ValueEditorTest)
#include "valueeditor_test.moc"
