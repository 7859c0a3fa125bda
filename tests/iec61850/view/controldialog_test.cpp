#include "controldialog.h"

#include <QComboBox>
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

QTEST_MAIN(ControlDialogTest)
#include "controldialog_test.moc"
