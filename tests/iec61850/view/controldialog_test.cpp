#include "controldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

namespace {

QPushButton* button(ControlDialog& dialog, const QString& caption) {
    for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
        if (candidate->text() == caption) {
            return candidate;
        }
    }
    qFatal("no button %s", qPrintable(caption));
}

QString enabledButtons(ControlDialog& dialog) {
    QString shown;
    for (const char* caption : {"Select", "Operate", "Cancel"}) {
        shown += button(dialog, caption)->isEnabled() ? QString(caption).left(1) : QString("-");
    }
    return shown;
}

}  // namespace

class ControlDialogTest : public QObject {
    Q_OBJECT

private slots:
    void buttonsFollowTheControlModel();
    void selectOperateCancelSendWhatTheModelAllows();
    void integerObjectsTakeTheSpinBoxValue();
    void everyCommandIsPrecededByItsChecks();
    void aSuccessReplacesTheLastRefusalAndShowsTheSelection();
    void theClassWordingStandsBesideOpenAndClose();
};

void ControlDialogTest::buttonsFollowTheControlModel() {
    ControlDialog dialog;
    QCOMPARE(enabledButtons(dialog), QString("SOC"));
    dialog.setCtlModel(0);
    QCOMPARE(enabledButtons(dialog), QString("---"));
    dialog.setCtlModel(1);
    QCOMPARE(enabledButtons(dialog), QString("-O-"));
    dialog.setCtlModel(2);
    QCOMPARE(enabledButtons(dialog), QString("SOC"));
    dialog.setCtlModel(3);
    QCOMPARE(enabledButtons(dialog), QString("-O-"));
    dialog.setCtlModel(4);
    QCOMPARE(enabledButtons(dialog), QString("SOC"));
    dialog.setCtlModel(7);  // unknown model: buttons stay
    QCOMPARE(enabledButtons(dialog), QString("SOC"));
}

void ControlDialogTest::selectOperateCancelSendWhatTheModelAllows() {
    ControlDialog dialog;
    dialog.setObjectReference("LD/CSWI1.Pos");
    QSignalSpy select(&dialog, &ControlDialog::controlSelect);
    QSignalSpy selectWithValue(&dialog, &ControlDialog::controlSelectWithValue);
    QSignalSpy cancel(&dialog, &ControlDialog::controlCancel);
    QSignalSpy operateBool(&dialog, &ControlDialog::controlOperateBool);
    QSignalSpy operateInt(&dialog, &ControlDialog::controlOperateInt);

    // Before any control model is known, select and cancel send nothing.
    button(dialog, "Select")->click();
    button(dialog, "Cancel")->click();
    QCOMPARE(select.count() + selectWithValue.count() + cancel.count(), 0);

    dialog.setCtlModel(4);
    dialog.findChildren<QRadioButton*>().at(1)->setChecked(true);  // Close
    button(dialog, "Select")->click();
    QCOMPARE(selectWithValue.count(), 1);
    QCOMPARE(selectWithValue.at(0), (QList<QVariant>{"LD/CSWI1.Pos", true, 2}));

    dialog.setCtlModel(2);
    dialog.findChild<QComboBox*>()->setCurrentIndex(3);
    button(dialog, "Select")->click();
    QCOMPARE(select.at(0), (QList<QVariant>{"LD/CSWI1.Pos", 3}));
    button(dialog, "Cancel")->click();
    QCOMPARE(cancel.at(0), (QList<QVariant>{"LD/CSWI1.Pos"}));
    button(dialog, "Operate")->click();
    QCOMPARE(operateBool.at(0), (QList<QVariant>{"LD/CSWI1.Pos", true, 3}));
    QCOMPARE(operateInt.count(), 0);

    dialog.setCtlModel(1);
    button(dialog, "Cancel")->click();  // disabled and, for direct control, ignored anyway
    QCOMPARE(cancel.count(), 1);
}

void ControlDialogTest::integerObjectsTakeTheSpinBoxValue() {
    ControlDialog dialog;
    dialog.show();
    dialog.setObjectReference("LD/GGIO1.ISCSO1");
    auto* spin = dialog.findChild<QSpinBox*>();
    QVERIFY(spin->isVisible());
    QVERIFY(!dialog.findChildren<QRadioButton*>().at(0)->isVisible());
    QCOMPARE(spin->maximum(), 3);
    spin->setValue(2);

    QSignalSpy operateInt(&dialog, &ControlDialog::controlOperateInt);
    button(dialog, "Operate")->click();
    QCOMPARE(operateInt.at(0), (QList<QVariant>{"LD/GGIO1.ISCSO1", 2, 2}));

    // Under select with value the select carries the chosen integer, never the hidden Open/Close state.
    dialog.setCtlModel(4);
    QSignalSpy selectBool(&dialog, &ControlDialog::controlSelectWithValue);
    QSignalSpy selectInt(&dialog, &ControlDialog::controlSelectWithValueInt);
    button(dialog, "Select")->click();
    QCOMPARE(selectBool.count(), 0);
    QCOMPARE(selectInt.at(0), (QList<QVariant>{"LD/GGIO1.ISCSO1", 2, 2}));

    dialog.setObjectReference("LD/GGIO1.SPCSO1");
    QVERIFY(!spin->isVisible());
    QVERIFY(dialog.findChildren<QRadioButton*>().at(0)->isVisible());
}

QCheckBox* check(ControlDialog& dialog, const QString& caption) {
    for (QCheckBox* candidate : dialog.findChildren<QCheckBox*>()) {
        if (candidate->text() == caption) {
            return candidate;
        }
    }
    qFatal("no check box %s", qPrintable(caption));
}

QString label(ControlDialog& dialog, const char* name) {
    return dialog.findChild<QLabel*>(name)->text();
}

void ControlDialogTest::everyCommandIsPrecededByItsChecks() {
    ControlDialog dialog;
    dialog.setObjectReference("LD/CSWI1.Pos");
    dialog.setCtlModel(4);
    QSignalSpy checks(&dialog, &ControlDialog::controlChecks);
    QSignalSpy select(&dialog, &ControlDialog::controlSelectWithValue);
    // The checks the dialog always asked for stay the default; Test is off.
    button(dialog, "Select")->click();
    QCOMPARE(checks.count(), 1);
    QCOMPARE(checks.at(0), (QVariantList{true, true, false}));
    QCOMPARE(select.count(), 1);

    check(dialog, "Interlock check")->click();
    check(dialog, "Test")->click();
    button(dialog, "Operate")->click();
    QCOMPARE(checks.at(1), (QVariantList{false, true, true}));
    check(dialog, "Synchrocheck")->click();
    button(dialog, "Cancel")->click();
    QCOMPARE(checks.at(2), (QVariantList{false, false, true}));
    // No command, no checks.
    dialog.setCtlModel(0);
    button(dialog, "Operate")->setEnabled(true);
    button(dialog, "Operate")->click();
    QCOMPARE(checks.count(), 3);
}

void ControlDialogTest::aSuccessReplacesTheLastRefusalAndShowsTheSelection() {
    ControlDialog dialog;
    dialog.setObjectReference("LD/CSWI1.Pos");
    dialog.setSelectionTimeout(30000);
    dialog.showResult(false, "Select fail: BLOCKED_BY_INTERLOCKING (10)");
    QCOMPARE(label(dialog, "resultLabel"), QString("Select fail: BLOCKED_BY_INTERLOCKING (10)"));
    QCOMPARE(label(dialog, "selectionLabel"), QString());

    dialog.showResult(true, "Select with value ok");
    QCOMPARE(label(dialog, "resultLabel"), QString("Select with value ok"));
    QCOMPARE(label(dialog, "selectionLabel"), QString("Selected, 30 s left"));
    // An operate ends the selection whatever its outcome.
    dialog.showResult(false, "Operate fail: POSITION_REACHED (5)");
    QCOMPARE(label(dialog, "selectionLabel"), QString());
    dialog.showResult(true, "Select ok");
    dialog.showResult(true, "Cancel ok");
    QCOMPARE(label(dialog, "selectionLabel"), QString());

    // A selection the device lets lapse is said so.
    dialog.setSelectionTimeout(1);
    dialog.showResult(true, "Select ok");
    QTRY_COMPARE(label(dialog, "selectionLabel"), QString("Selection lapsed"));
    // Another object starts with nothing said.
    dialog.setObjectReference("LD/CSWI2.Pos");
    QCOMPARE(label(dialog, "resultLabel"), QString());
    QCOMPARE(label(dialog, "selectionLabel"), QString());
}

void ControlDialogTest::theClassWordingStandsBesideOpenAndClose() {
    ControlDialog dialog;
    dialog.setObjectReference("LD/CSWI1.Pos");
    dialog.setStatusKind(ControlDialog::StatusKind::DoublePoint);
    QCOMPARE(label(dialog, "classLabel"), QString("Open = open, Close = closed"));
    dialog.setObjectReference("LD/GGIO1.SPCSO1");
    dialog.setStatusKind(ControlDialog::StatusKind::SinglePoint);
    QCOMPARE(label(dialog, "classLabel"), QString("Open = off, Close = on"));
    QVERIFY(button(dialog, "Select") != nullptr);
    bool captionsKept = false;
    for (QRadioButton* radio : dialog.findChildren<QRadioButton*>()) {
        captionsKept = captionsKept || radio->text() == "Open";
    }
    QVERIFY(captionsKept);
    dialog.setObjectReference("LD/GGIO1.ISCSO1");
    QCOMPARE(label(dialog, "classLabel"), QString("range 0 to 3"));
    dialog.setObjectReference("LD/GGIO1.SPCSO2");
    dialog.setStatusKind(ControlDialog::StatusKind::Unknown);
    QCOMPARE(label(dialog, "classLabel"), QString());
}

QTEST_MAIN(ControlDialogTest)
#include "controldialog_test.moc"
