// Data sets made and deleted from the structure tree against the simulator: the dialog offers the
// right lines, the device gets the set, the tree follows, and refusals are said on the status bar.
#include <QDialogButtonBox>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

#include "datasetdialog.h"
#include "iec61850_client.h"
#include "observerclient.h"
#include "viewharness.h"

using namespace viewharness;

namespace {

QStringList childTexts(QStandardItem* line) {
    QStringList texts;
    for (int row = 0; line != nullptr && row < line->rowCount(); ++row) {
        texts << line->child(row, 0)->text();
    }
    return texts;
}

// What another client of the device sees of a data set; empty when it has none of that name.
QStringList membersSeenBy(quint16 port, const char* dataSetRef) {
    korvan::test::ObserverClient other(port);
    IedClientError error = IED_ERROR_UNKNOWN;
    QStringList members;
    LinkedList list = IedConnection_getDataSetDirectory(other.connection, &error, dataSetRef, nullptr);
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
        members << QString::fromUtf8(static_cast<const char*>(LinkedList_getData(e)));
    }
    LinkedList_destroy(list);
    return members;
}

// The view connected to the sample bay, with its status bar texts recorded.
struct ConnectedView {
    SimulatorProcess device;
    ViewUnderTest ui;
    NoticeCloser notices;
    QSignalSpy status{ui.view.get(), &iec61850::Iec61850View::setStatusBarMessage};

    bool start() {
        if (!device.start(QString::fromStdString(SimulatorProcess::sampleModel()))) {
            return false;
        }
        return ui.connectAndBrowse(device.port());
    }
};

}  // namespace

class Iec61850ViewDataSetsTest : public QObject {
    Q_OBJECT

private slots:
    // Only lines with a constraint can be members, never control block settings or other sets' members.
    void membersAreLinesWithTheirConstraint();
    void dataSetIsMadeFromChosenLinesAndDeletedAgain();
    void refusalsAreSaidAndLeaveTheTreeAlone();
};

void Iec61850ViewDataSetsTest::membersAreLinesWithTheirConstraint() {
    using iec61850::dataSetMemberOf;
    QCOMPARE(dataSetMemberOf("[MX] f", "LD/MMXU1.TotW.mag.f"), QString("LD/MMXU1.TotW.mag.f[MX]"));
    QCOMPARE(dataSetMemberOf("[ST] Pos", "LD/XCBR1.Pos"), QString("LD/XCBR1.Pos[ST]"));
    QCOMPARE(dataSetMemberOf(" TotW", "LD/MMXU1.TotW"), QString());
    QCOMPARE(dataSetMemberOf("[RP] RptID", "LD/LLN0.RP.Urcb01.RptID"), QString());
    QCOMPARE(dataSetMemberOf("[MS] SvEna", "LD/LLN0.MsvCB01.SvEna"), QString());
    QCOMPARE(dataSetMemberOf("[MX] LD/MMXU1.Hz.mag.f", "LD/LLN0.Feeder.LD/MMXU1.Hz.mag.f"), QString());
    QVERIFY(iec61850::DataSetDialog::isUsableName("Mine_2"));
    QVERIFY(!iec61850::DataSetDialog::isUsableName("2Mine"));
    QVERIFY(!iec61850::DataSetDialog::isUsableName("My.Set"));
    QVERIFY(!iec61850::DataSetDialog::isUsableName(QString(33, 'a')));
}

void Iec61850ViewDataSetsTest::dataSetIsMadeFromChosenLinesAndDeletedAgain() {
    if (!SimulatorProcess::available()) {
        QSKIP("the simulator is not part of this build");
    }
    ConnectedView connected;
    QVERIFY2(connected.start(), connected.device.errorText().c_str());
    ViewUnderTest& ui = connected.ui;
    SimulatorProcess& device = connected.device;
    QSignalSpy& status = connected.status;

    ui.click(ui.structure()->itemOf("BAY1MEAS/MMXU1"));
    ui.button("newDataSetButton")->click();
    auto* dialog = ui.view->findChild<iec61850::DataSetDialog*>("dataSetDialog");
    QVERIFY(dialog != nullptr);
    auto* list = dialog->findChild<QListWidget*>("dataSetMemberList");
    const auto power = list->findItems("BAY1MEAS/MMXU1.TotW.mag.f[MX]", Qt::MatchExactly);
    const auto frequency = list->findItems("BAY1MEAS/MMXU1.Hz.mag.f[MX]", Qt::MatchExactly);
    QCOMPARE(power.size(), 1);
    QCOMPARE(frequency.size(), 1);
    // A structure below its data object can be a member too; the data object line itself has no constraint.
    QCOMPARE(list->findItems("BAY1MEAS/MMXU1.TotW.mag[MX]", Qt::MatchExactly).size(), 1);
    QCOMPARE(list->findItems("BAY1MEAS/MMXU1.TotW[MX]", Qt::MatchExactly).size(), 0);
    auto* create = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QVERIFY(!create->isEnabled());
    dialog->findChild<QLineEdit*>("dataSetNameEdit")->setText("Mine");
    QVERIFY2(!create->isEnabled(), "no member ticked yet");
    frequency.first()->setCheckState(Qt::Checked);
    power.first()->setCheckState(Qt::Checked);
    QVERIFY(create->isEnabled());
    QCOMPARE(dialog->dataSetReference(), QString("BAY1MEAS/MMXU1.Mine"));
    create->click();

    QTRY_VERIFY(ui.structure()->itemOf("BAY1MEAS/MMXU1.Mine") != nullptr);
    QStandardItem* line = ui.structure()->itemOf("BAY1MEAS/MMXU1.Mine");
    QCOMPARE(line->text(), QString(" Mine"));
    // In the dialog's order, which is the tree's, whatever order they were ticked in.
    QCOMPARE(childTexts(line),
             (QStringList{"[MX] BAY1MEAS/MMXU1.Hz.mag.f", "[MX] BAY1MEAS/MMXU1.TotW.mag.f"}));
    QVERIFY(ui.structure()->itemOf("BAY1MEAS/MMXU1.Mine.BAY1MEAS/MMXU1.Hz.mag.f") != nullptr);
    QCOMPARE(membersSeenBy(device.port(), "BAY1MEAS/MMXU1.Mine"),
             (QStringList{"BAY1MEAS/MMXU1.Hz.mag.f[MX]", "BAY1MEAS/MMXU1.TotW.mag.f[MX]"}));
    QVERIFY(status.contains(QVariantList{QString("Data set BAY1MEAS/MMXU1.Mine created")}));

    ui.click(line);
    ui.button("deleteDataSetButton")->click();
    QTRY_VERIFY(ui.structure()->itemOf("BAY1MEAS/MMXU1.Mine") == nullptr);
    QVERIFY(ui.structure()->itemOf("BAY1MEAS/MMXU1.Mine.BAY1MEAS/MMXU1.Hz.mag.f") == nullptr);
    QVERIFY(membersSeenBy(device.port(), "BAY1MEAS/MMXU1.Mine").isEmpty());
    QVERIFY(status.contains(QVariantList{QString("Data set BAY1MEAS/MMXU1.Mine deleted")}));
    QVERIFY(connected.notices.notices.isEmpty());
}

void Iec61850ViewDataSetsTest::refusalsAreSaidAndLeaveTheTreeAlone() {
    if (!SimulatorProcess::available()) {
        QSKIP("the simulator is not part of this build");
    }
    ConnectedView connected;
    QVERIFY2(connected.start(), connected.device.errorText().c_str());
    ViewUnderTest& ui = connected.ui;
    QSignalSpy& status = connected.status;

    // A configured set is the device's.
    QStandardItem* feeder = ui.structure()->itemOf("BAY1MEAS/LLN0.Feeder");
    QVERIFY(feeder != nullptr);
    const int members = feeder->rowCount();
    ui.click(feeder);
    ui.button("deleteDataSetButton")->click();
    QTRY_VERIFY(status.contains(
        QVariantList{QString("Data set BAY1MEAS/LLN0.Feeder not deleted: the device keeps it")}));
    QCOMPARE(ui.structure()->itemOf("BAY1MEAS/LLN0.Feeder"), feeder);
    QCOMPARE(feeder->rowCount(), members);

    // Not a data set: nothing is asked.
    ui.click(ui.structure()->itemOf("BAY1MEAS/MMXU1"));
    ui.button("deleteDataSetButton")->click();
    QVERIFY(status.contains(QVariantList{QString("Delete data set: choose a data set line")}));

    // A name the node has already.
    ui.button("newDataSetButton")->click();
    auto* dialog = ui.view->findChild<iec61850::DataSetDialog*>("dataSetDialog");
    QVERIFY(dialog != nullptr);
    dialog->findChild<QLineEdit*>("dataSetNameEdit")->setText("Feeder");
    dialog->findChild<QComboBox*>("dataSetNodeCombo")->setCurrentText("BAY1MEAS/LLN0");
    dialog->findChild<QListWidget*>("dataSetMemberList")->item(0)->setCheckState(Qt::Checked);
    dialog->accept();
    QTRY_VERIFY(status.contains(
        QVariantList{QString("Data set BAY1MEAS/LLN0.Feeder not created: the name is taken")}));
    QCOMPARE(feeder->rowCount(), members);
}

QTEST_MAIN(Iec61850ViewDataSetsTest)
#include "iec61850view_datasets_test.moc"
