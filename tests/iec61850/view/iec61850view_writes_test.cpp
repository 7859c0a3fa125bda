// Changing the device from the view, against the simulator: which lines invite a write, the editor
// and its confirmation, and what the device and the trees show afterwards.
#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include "iec61850_client.h"
#include "observerclient.h"
#include "reportcontrolblockdialog.h"
#include "settinggroupdialog.h"
#include "substitutiondialog.h"
#include "valueeditor.h"
#include "viewharness.h"
#include "writevaluedialog.h"

using namespace viewharness;

using iec61850::Iec61850View;
using iec61850::ReportControlBlockDialog;
using iec61850::SettingGroupDialog;
using iec61850::SubstitutionDialog;
using iec61850::WriteValueDialog;

namespace {

// Answers the write confirmation as told and keeps what it said.
class ConfirmationAnswerer : public QObject {
public:
    explicit ConfirmationAnswerer(bool yes) {
        connect(&timer, &QTimer::timeout, this, [this, yes]() {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box->objectName() != QLatin1String("writeConfirmation")) {
                return;
            }
            questions << box->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        timer.start(20);
    }
    QStringList questions;

private:
    QTimer timer;
};

// Runs `pick` on the context menu once it is open.
void onContextMenu(const std::function<void(QMenu*)>& pick) {
    QTimer::singleShot(50, [pick] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            pick(menu);
            menu->close();
        }
    });
}

QAction* actionNamed(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

QCheckBox* boxNamed(QWidget* parent, const QString& text) {
    for (QCheckBox* box : parent->findChildren<QCheckBox*>()) {
        if (box->text() == text) {
            return box;
        }
    }
    return nullptr;
}

struct WriteUi : ViewUnderTest {
    WriteValueDialog* writeDialog() const { return view->findChild<WriteValueDialog*>("writeValueDialog"); }
    ReportControlBlockDialog* rcbDialog() const {
        return view->findChild<ReportControlBlockDialog*>("reportControlBlockDialog");
    }
    template <class W>
    W* inRcb(const QString& name) const {
        return rcbDialog()->findChild<W*>(name);
    }
    SettingGroupDialog* sgDialog() const {
        return view->findChild<SettingGroupDialog*>("settingGroupDialog");
    }
    template <class W>
    W* inSg(const QString& name) const {
        return sgDialog()->findChild<W*>(name);
    }
    // Triggers an entry of a line's context menu; false when the menu has no such entry.
    bool fromMenu(const QString& ref, const QString& entry) const {
        QStandardItem* line = structure()->itemOf(ref);
        structureView()->scrollTo(line->index());
        bool found = false;
        onContextMenu([entry, &found](QMenu* menu) {
            if (QAction* action = actionNamed(menu, entry)) {
                found = true;
                action->trigger();
            }
        });
        emit structureView()->customContextMenuRequested(structureView()->visualRect(line->index()).center());
        return found;
    }
    // Opens the block's dialog from its line's menu and waits until its attributes are shown.
    bool openBlock(const QString& rcbRef) const {
        QStandardItem* line = structure()->itemOf(rcbRef);
        if (line == nullptr) {
            return false;
        }
        structureView()->scrollTo(line->index());
        onContextMenu(
            [](QMenu* menu) { actionNamed(menu, QStringLiteral("Report control block..."))->trigger(); });
        emit structureView()->customContextMenuRequested(structureView()->visualRect(line->index()).center());
        return QTest::qWaitFor([this] { return rcbDialog() && inRcb<QWidget>("edit_TrgOps") != nullptr; },
                               10000);
    }
    QString structureValue(const QString& ref) const { return valueOf(structure()->itemOf(ref)); }
    // Whether the line's menu offers "Write value..." enabled.
    bool menuOffersWrite(QTreeView* tree, QStandardItem* line) const {
        tree->scrollTo(line->index());
        bool enabled = false;
        bool seen = false;
        onContextMenu([&](QMenu* menu) {
            QAction* write = actionNamed(menu, QStringLiteral("Write value..."));
            seen = write != nullptr;
            enabled = write && write->isEnabled();
        });
        emit tree->customContextMenuRequested(tree->visualRect(line->index()).center());
        return seen && enabled;
    }
};

}  // namespace

class WritesViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    // ST, MX, SG and CO lines, structures and data set members never open an editor.
    void onlyWritableLinesInviteAWrite();
    void confirmedWriteChangesTheDeviceAndTheTree();
    void declinedConfirmationWritesNothing();
    void controlBoxLinesAreEditableWithF2();
    // Only the changed attributes go out, one request each when so set, and each shows its result.
    void reportBlockDialogWritesOnlyWhatChanged();
    void reportBlockHeldByAnotherClientNamesIt();
    // TrgOps set to general interrogation only, the block enabled from the dialog, and GI brings
    // exactly its report.
    void interrogationFromTheDialogBringsAReport();
    // Edit group 2, change a setting, confirm, activate group 2: the active value and the tree follow.
    void settingGroupIsEditedAndActivated();
    void editHeldByAnotherClientIsRefused();
    // A substituted value shows in the tree and arrives in a report; ending it gives the process back.
    void substitutedValueIsReportedAndEnded();

private:
    QString model;
};

void WritesViewTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanWritesViewTest");
    QSettings().clear();
    model = QString::fromStdString(SimulatorProcess::sampleModel());
}

void WritesViewTest::onlyWritableLinesInviteAWrite() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QStringList readOnly{"BAY1CTRL/GGIO1.Ind1.stVal",
                               "BAY1MEAS/MMXU1.TotW.mag.f",
                               "BAY1MEAS/PTOC1.StrVal.setMag.f",
                               "BAY1CTRL/GGIO1.SPCSO2.Oper.ctlVal",
                               "BAY1CTRL/GGIO1.Ind1",
                               "BAY1CTRL/LLN0.Indications.BAY1CTRL/GGIO1.Ind1.stVal"};
    for (const QString& ref : readOnly) {
        QStandardItem* line = ui.structure()->itemOf(ref);
        QVERIFY2(line != nullptr, qPrintable(ref));
        emit ui.structureView()->doubleClicked(line->index());
        QVERIFY2(ui.writeDialog() == nullptr || !ui.writeDialog()->isVisible(), qPrintable(ref));
        QVERIFY2(!ui.menuOffersWrite(ui.structureView(), line), qPrintable(ref));
    }
    QStandardItem* writable = ui.structure()->itemOf("BAY1CTRL/GGIO1.SPCSO3.sboTimeout");
    QVERIFY(ui.menuOffersWrite(ui.structureView(), writable));
}

void WritesViewTest::confirmedWriteChangesTheDeviceAndTheTree() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QString ref = QStringLiteral("BAY1CTRL/GGIO1.SPCSO3.sboTimeout");
    QCOMPARE(ui.structureValue(ref), QStringLiteral("30000"));
    QSignalSpy status(ui.view.get(), &Iec61850View::setStatusBarMessage);
    ConfirmationAnswerer yes(true);
    // From the context menu.
    QStandardItem* line = ui.structure()->itemOf(ref);
    ui.structureView()->scrollTo(line->index());
    onContextMenu([](QMenu* menu) { actionNamed(menu, QStringLiteral("Write value..."))->trigger(); });
    emit ui.structureView()->customContextMenuRequested(
        ui.structureView()->visualRect(line->index()).center());
    QTRY_VERIFY(ui.writeDialog() && ui.writeDialog()->isVisible());
    QTRY_VERIFY(ui.writeDialog()->editor() != nullptr);
    // An INT32U is wider than a spin box holds.
    auto* field = ui.writeDialog()->editor()->findChild<QLineEdit*>();
    QVERIFY(field);
    field->setText("12000");
    ui.writeDialog()->findChild<QPushButton*>("writeButton")->click();
    QCOMPARE(yes.questions.size(), 1);
    QVERIFY(yes.questions.first().contains(ref + " [CF]"));
    QVERIFY(yes.questions.first().contains("old value: 30000"));
    QVERIFY(yes.questions.first().contains("new value: 12000"));
    QVERIFY(!ui.writeDialog()->isVisible());
    QTRY_VERIFY(!status.isEmpty());
    QCOMPARE(status.first().first().toString(), QStringLiteral("Write ok: ") + ref);
    QTRY_COMPARE(ui.structureValue(ref), QStringLiteral("12000"));
}

void WritesViewTest::declinedConfirmationWritesNothing() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QString ref = QStringLiteral("BAY1CTRL/LLN0.NamPlt.d");
    const QString before = ui.structureValue(ref);
    QSignalSpy status(ui.view.get(), &Iec61850View::setStatusBarMessage);
    ConfirmationAnswerer no(false);
    emit ui.structureView()->doubleClicked(ui.structure()->itemOf(ref)->index());
    QTRY_VERIFY(ui.writeDialog() && ui.writeDialog()->editor() != nullptr);
    ui.writeDialog()->editor()->findChild<QLineEdit*>()->setText("changed");
    ui.writeDialog()->findChild<QPushButton*>("writeButton")->click();
    QCOMPARE(no.questions.size(), 1);
    // The dialog stays for another try; the device never saw a write.
    QVERIFY(ui.writeDialog()->isVisible());
    ui.writeDialog()->reject();
    QCOMPARE(QString::fromStdString(simulator.output()).count("] write "), 0);
    QCOMPARE(ui.structureValue(ref), before);
    QVERIFY(status.isEmpty());
}

void WritesViewTest::controlBoxLinesAreEditableWithF2() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    ui.click(ui.structure()->itemOf("BAY1CTRL/GGIO1.Ind1"));
    QStandardItem* subVal = ui.control()->itemOf("BAY1CTRL/GGIO1.Ind1.subVal");
    QVERIFY(subVal);
    ui.controlView()->setFocus();
    ui.controlView()->setCurrentIndex(subVal->index());
    QTest::keyClick(ui.controlView(), Qt::Key_F2);
    QTRY_VERIFY(ui.writeDialog() && ui.writeDialog()->editor() != nullptr);
    auto* box = ui.writeDialog()->editor()->findChild<QCheckBox*>();
    QVERIFY(box);
    box->setChecked(true);
    ConfirmationAnswerer yes(true);
    ui.writeDialog()->findChild<QPushButton*>("writeButton")->click();
    QTRY_COMPARE(valueOf(ui.control()->itemOf("BAY1CTRL/GGIO1.Ind1.subVal")), QStringLiteral("1"));
    QCOMPARE(ui.structureValue("BAY1CTRL/GGIO1.Ind1.subVal"), QStringLiteral("1"));
}

void WritesViewTest::reportBlockDialogWritesOnlyWhatChanged() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QString rcb = QStringLiteral("BAY1MEAS/LLN0.MeasUrcb01");
    QVERIFY(ui.openBlock(rcb));
    QCOMPARE(ui.inRcb<QLabel>("value_IntgPd")->text(), QStringLiteral("2000"));
    QVERIFY(ui.inRcb<QComboBox>("edit_DatSet")->findText("BAY1CTRL/LLN0$Positions") >= 0);
    QVERIFY(ui.inRcb<QLabel>("value_ConfRev") != nullptr);
    QVERIFY(ui.inRcb<QWidget>("edit_ConfRev") == nullptr);  // read-only
    boxNamed(ui.inRcb<QWidget>("edit_TrgOps"), "data update")->setChecked(true);
    ui.inRcb<QWidget>("edit_IntgPd")->findChild<QLineEdit*>()->setText("3000");
    ui.inRcb<QCheckBox>("singleRequestCheck")->setChecked(false);
    ConfirmationAnswerer yes(true);
    ui.inRcb<QPushButton>("rcbWriteButton")->click();
    QCOMPARE(yes.questions.size(), 1);
    QVERIFY(yes.questions.first().contains(rcb + ".TrgOps [RP]"));
    QVERIFY(yes.questions.first().contains(rcb + ".IntgPd [RP]"));
    QVERIFY(!yes.questions.first().contains("BufTm"));
    QTRY_COMPARE(ui.inRcb<QLabel>("result_IntgPd")->text(), QStringLiteral("ok"));
    QCOMPARE(ui.inRcb<QLabel>("result_TrgOps")->text(), QStringLiteral("ok"));
    QTRY_COMPARE(ui.inRcb<QLabel>("value_IntgPd")->text(), QStringLiteral("3000"));
    QCOMPARE(ui.inRcb<QLabel>("value_TrgOps")->text(), QStringLiteral("0b01 0111"));
    QCOMPARE(ui.structureValue(rcb + ".IntgPd"), QStringLiteral("3000"));
    // One write per attribute, nothing else.
    QCOMPARE(QString::fromStdString(simulator.output()).count("] write "), 2);
    // Nothing changed since: nothing is sent.
    ui.inRcb<QPushButton>("rcbWriteButton")->click();
    QCOMPARE(yes.questions.size(), 1);
    QCOMPARE(QString::fromStdString(simulator.output()).count("] write "), 2);
}

void WritesViewTest::reportBlockHeldByAnotherClientNamesIt() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    korvan::test::ObserverClient other(simulator.port());
    QVERIFY(other.connected);
    IedClientError error = IED_ERROR_UNKNOWN;
    MmsValue* reserve = MmsValue_newBoolean(true);
    IedConnection_writeObject(other.connection, &error, "BAY1MEAS/LLN0.MeasUrcb01.Resv", IEC61850_FC_RP,
                              reserve);
    MmsValue_delete(reserve);
    QCOMPARE(error, IED_ERROR_OK);
    QVERIFY(ui.openBlock(QStringLiteral("BAY1MEAS/LLN0.MeasUrcb01")));
    ui.inRcb<QWidget>("edit_IntgPd")->findChild<QLineEdit*>()->setText("1500");
    ConfirmationAnswerer yes(true);
    ui.inRcb<QPushButton>("rcbWriteButton")->click();
    QTRY_VERIFY(ui.inRcb<QLabel>("result_IntgPd")->text().startsWith("failed: "));
    QTRY_COMPARE(ui.inRcb<QLabel>("rcbHolder")->text(),
                 QStringLiteral("Another client holds this block: 127.0.0.1"));
    QCOMPARE(ui.inRcb<QLabel>("value_IntgPd")->text(), QStringLiteral("2000"));
}

void WritesViewTest::interrogationFromTheDialogBringsAReport() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    QVERIFY(ui.openBlock(QStringLiteral("BAY1MEAS/LLN0.MeasUrcb01")));
    auto* trgOps = ui.inRcb<QWidget>("edit_TrgOps");
    for (QCheckBox* box : trgOps->findChildren<QCheckBox*>()) {
        box->setChecked(box->text() == QLatin1String("general interrogation"));
    }
    ui.inRcb<QWidget>("edit_RptEna")->findChild<QCheckBox*>()->setChecked(true);
    ui.inRcb<QCheckBox>("singleRequestCheck")->setChecked(true);
    ConfirmationAnswerer yes(true);
    ui.inRcb<QPushButton>("rcbWriteButton")->click();
    QTRY_COMPARE(ui.inRcb<QLabel>("result_RptEna")->text(), QStringLiteral("ok"));
    QTRY_COMPARE(ui.inRcb<QLabel>("value_RptEna")->text(), QStringLiteral("1"));
    QCOMPARE(ui.reports()->rowCount(), 0);
    ui.inRcb<QPushButton>("rcbGiButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(ui.reports()->rowCount(), 1, 10000);
}

void WritesViewTest::settingGroupIsEditedAndActivated() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QString setting = QStringLiteral("BAY1MEAS/PTOC1.StrVal.setMag.f");
    QCOMPARE(ui.structureValue(setting), QStringLiteral("400"));
    ui.fromMenu("BAY1MEAS/LLN0.SGCB", "Setting groups...");
    QTRY_VERIFY(ui.sgDialog() && ui.inSg<QLabel>("sgState")->text().startsWith("Groups: 2   Active: 1"));
    QCOMPARE(ui.inSg<QLabel>("active_" + setting)->text(), QStringLiteral("400"));
    QVERIFY(ui.inSg<QLabel>("active_BAY1MEAS/PTOC1.OpDlTmms.setVal") != nullptr);
    ConfirmationAnswerer yes(true);
    ui.inSg<QSpinBox>("sgGroupSpin")->setValue(2);
    ui.inSg<QPushButton>("sgEditButton")->click();
    QTRY_VERIFY(ui.inSg<QWidget>("edit_" + setting) != nullptr);
    auto* field = ui.inSg<QWidget>("edit_" + setting)->findChild<QLineEdit*>();
    QCOMPARE(field->text(), QStringLiteral("600"));
    field->setText("650");
    ui.inSg<QPushButton>("sgConfirmButton")->click();
    QCOMPARE(yes.questions.size(), 2);
    QVERIFY(yes.questions.last().contains(setting + " [SE]\nold value: 600\nnew value: 650"));
    QVERIFY(yes.questions.last().contains("BAY1MEAS/LLN0.SGCB.CnfEdit [SP]"));
    QTRY_COMPARE(ui.inSg<QLabel>("sgNote")->text(), QStringLiteral("CnfEdit: ok"));
    // Still the active group's value until group 2 is activated.
    QCOMPARE(ui.structureValue(setting), QStringLiteral("400"));
    ui.inSg<QPushButton>("sgActivateButton")->click();
    QTRY_COMPARE(ui.inSg<QLabel>("active_" + setting)->text(), QStringLiteral("650"));
    QTRY_COMPARE(ui.structureValue(setting), QStringLiteral("650"));
    QTRY_VERIFY(ui.inSg<QLabel>("sgState")->text().startsWith("Groups: 2   Active: 2   Being edited: 2"));
    ui.inSg<QPushButton>("sgDiscardButton")->click();
    QTRY_VERIFY(ui.inSg<QLabel>("sgState")->text().contains("Being edited: none"));
    QVERIFY(ui.inSg<QWidget>("edit_" + setting) == nullptr);
}

void WritesViewTest::editHeldByAnotherClientIsRefused() {
    SimulatorProcess simulator;
    QVERIFY(simulator.start(model));
    // A second Korvan edits group 1 first.
    WriteUi other;
    QVERIFY(other.connectAndBrowse(simulator.port()));
    ConfirmationAnswerer yes(true);
    other.fromMenu("BAY1MEAS/LLN0.SGCB", "Setting groups...");
    QTRY_VERIFY(other.sgDialog() && other.inSg<QPushButton>("sgEditButton")->isEnabled());
    other.inSg<QPushButton>("sgEditButton")->click();
    QTRY_VERIFY(other.inSg<QLabel>("sgState")->text().contains("Being edited: 1"));
    other.sgDialog()->hide();

    WriteUi ui;
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    QVERIFY(!ui.fromMenu("BAY1MEAS/PTOC1", "Setting groups..."));  // PTOC1 holds no block
    QVERIFY(ui.fromMenu("BAY1MEAS/LLN0", "Setting groups..."));
    QTRY_VERIFY(ui.sgDialog() && ui.inSg<QLabel>("sgState")->text().contains("Being edited: 1"));
    // The other client's edit values are not ours to read.
    QTRY_VERIFY(ui.inSg<QLabel>("edited_BAY1MEAS/PTOC1.StrVal.setMag.f")->text().startsWith("not readable"));
    ui.inSg<QSpinBox>("sgGroupSpin")->setValue(2);
    ui.inSg<QPushButton>("sgEditButton")->click();
    QTRY_COMPARE(ui.inSg<QLabel>("sgNote")->text(),
                 QStringLiteral("EditSG: failed: temporarily-unavailable"));
}

void WritesViewTest::substitutedValueIsReportedAndEnded() {
    SimulatorProcess simulator;
    WriteUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QString stVal = QStringLiteral("BAY1CTRL/GGIO1.Ind1.stVal");
    QCOMPARE(ui.structureValue(stVal), QStringLiteral("0"));
    ui.click(ui.structure()->itemOf("BAY1CTRL/LLN0.IndRpt01"));
    ui.button("enableDisableButton")->click();
    QTRY_COMPARE(ui.structureValue("BAY1CTRL/LLN0.IndRpt01.RptEna"), QStringLiteral("1"));
    const int reportsBefore = ui.reports()->rowCount();

    QVERIFY(!ui.fromMenu("BAY1CTRL/GGIO1.Ind2", "Substitute..."));  // has no substitution attributes
    QVERIFY(ui.fromMenu("BAY1CTRL/GGIO1.Ind1", "Substitute..."));
    auto* dialog = ui.view->findChild<SubstitutionDialog*>("substitutionDialog");
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->findChild<QWidget*>("edit_subVal") != nullptr);
    QCOMPARE(dialog->findChild<QLabel*>("subState")->text(), QStringLiteral("Substitution is off."));
    dialog->findChild<QWidget*>("edit_subVal")->findChild<QCheckBox*>()->setChecked(true);
    ConfirmationAnswerer yes(true);
    dialog->findChild<QPushButton*>("subOnButton")->click();
    QCOMPARE(yes.questions.size(), 1);
    QVERIFY(yes.questions.first().contains("BAY1CTRL/GGIO1.Ind1.subVal [SV]"));
    QVERIFY(yes.questions.first().contains("BAY1CTRL/GGIO1.Ind1.subEna [SV]\nold value: 0\nnew value: true"));
    QTRY_COMPARE(dialog->findChild<QLabel*>("subState")->text(), QStringLiteral("Substitution is on."));
    QTRY_COMPARE(ui.structureValue(stVal), QStringLiteral("1"));
    QVERIFY(ui.structureValue("BAY1CTRL/GGIO1.Ind1.q").contains("QUALITY_SOURCE_SUBSTITUTED"));
    QTRY_VERIFY_WITH_TIMEOUT(ui.reports()->rowCount() > reportsBefore, 10000);

    dialog->findChild<QPushButton*>("subOffButton")->click();
    QTRY_COMPARE(dialog->findChild<QLabel*>("subState")->text(), QStringLiteral("Substitution is off."));
    QTRY_COMPARE(ui.structureValue(stVal), QStringLiteral("0"));
    QVERIFY(!ui.structureValue("BAY1CTRL/GGIO1.Ind1.q").contains("QUALITY_SOURCE_SUBSTITUTED"));
}

QTEST_MAIN(WritesViewTest)
#include "iec61850view_writes_test.moc"
