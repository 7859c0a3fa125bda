// The control box and dialog against the simulator: which buttons a clicked Oper line offers, the
// integer row, the re-read after an operate, a breaker operated from the dialog that shows its
// new position in the tree, what the dialog and the message log say about each command, and the
// dialog's check boxes as the device sees them.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "controldialog.h"
#include "viewharness.h"

using namespace viewharness;

using iec61850::Iec61850View;

namespace {

struct ControlUi : ViewUnderTest {
    ControlDialog* dialog() const {
        auto* d = view->findChild<ControlDialog*>();
        if (d == nullptr) {
            qFatal("control dialog missing");
        }
        return d;
    }
    template <class W>
    W* inDialog(const QString& text) const {
        for (W* w : dialog()->findChildren<W*>()) {
            if (w->text() == text) {
                return w;
            }
        }
        qFatal("dialog part %s missing", qPrintable(text));
        return nullptr;
    }
    QPushButton* dialogButton(const char* text) const { return inDialog<QPushButton>(text); }
    // Clicks the Oper line of `dataObjectRef` and opens the dialog.
    void openControl(const QString& dataObjectRef) const {
        click(structure()->itemOf(dataObjectRef + ".Oper"));
        button("controlButton")->click();
    }
    QString structureValue(const QString& ref) const { return valueOf(structure()->itemOf(ref)); }
    QString result() const { return dialog()->findChild<QLabel*>("resultLabel")->text(); }
    // Presses a dialog button and waits until the dialog's result line says `expected`; false, with
    // what it said instead, when the device's answer did not come to that.
    bool press(const char* caption, const QString& expected) const {
        dialogButton(caption)->click();
        if (QTest::qWaitFor([&] { return result() == expected; }, 10000)) {
            return true;
        }
        qWarning("the dialog says \"%s\", not \"%s\"", qPrintable(result()), qPrintable(expected));
        return false;
    }
};

}  // namespace

class ControlViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    // Buttons per control model, as the clicked Oper line's ctlModel shows it.
    void operLinesOfferTheButtonsOfTheirModel();
    void operatingTheBreakerShowsItsNewPositionInTheTree();
    void refusedSelectShowsItsCause();
    // A status-only object offers no command, and says why; the next object gets its buttons back.
    void statusOnlyObjectOffersNoCommand();
    void successesAndTerminationsAreToldInTheDialogAndTheLog();
    void testAndInterlockCheckReachTheDevice();
    void eachCheckBoxSetsExactlyItsBitOnTheWire();

private:
    // The sample with the breaker's interlocking not enabling closing and a synchronism check that does
    // not release it, written into `dir`.
    QString blockedModel(const QTemporaryDir& dir) const;

    QString model;
};

void ControlViewTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanControlViewTest");
    QSettings().clear();
    model = QString::fromStdString(SimulatorProcess::sampleModel());
}

void ControlViewTest::operLinesOfferTheButtonsOfTheirModel() {
    SimulatorProcess simulator;
    ControlUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    struct Case {
        const char* ref;
        bool select, operate, cancel;
    };
    const Case cases[] = {
        {"BAY1CTRL/GGIO1.SPCSO2", false, true, false},  // direct, normal security
        {"BAY1CTRL/GGIO1.SPCSO3", true, true, true},    // select before operate
        {"BAY1CTRL/GGIO1.SPCSO4", false, true, false},  // direct, enhanced security
        {"BAY1CTRL/CSWI1.Pos", true, true, true},       // select with value
    };
    for (const Case& c : cases) {
        ui.openControl(c.ref);
        QVERIFY(ui.button("controlButton")->isEnabled());
        QVERIFY(ui.dialog()->isVisible());
        QCOMPARE(ui.dialogButton("Select")->isEnabled(), c.select);
        QCOMPARE(ui.dialogButton("Operate")->isEnabled(), c.operate);
        QCOMPARE(ui.dialogButton("Cancel")->isEnabled(), c.cancel);
        QVERIFY(ui.inDialog<QRadioButton>("Open")->isVisible());
    }
    // The integer object shows the value row instead of Open and Close.
    ui.openControl("BAY1CTRL/GGIO1.ISCSO1");
    QVERIFY(!ui.inDialog<QRadioButton>("Open")->isVisible());
    QVERIFY(ui.dialog()->findChild<QSpinBox*>()->isVisible());
    // The data object itself is not controllable through its own line.
    ui.click(ui.structure()->itemOf("BAY1CTRL/CSWI1.Pos"));
    QVERIFY(!ui.button("controlButton")->isEnabled());
}

void ControlViewTest::operatingTheBreakerShowsItsNewPositionInTheTree() {
    SimulatorProcess simulator;
    ControlUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    const QString position = QStringLiteral("BAY1CTRL/CSWI1.Pos.stVal");
    const QString closed = ui.structureValue(position);
    QSignalSpy status(ui.view.get(), &Iec61850View::setStatusBarMessage);

    ui.openControl("BAY1CTRL/CSWI1.Pos");
    ui.inDialog<QRadioButton>("Open")->click();
    ui.dialogButton("Select")->click();
    ui.dialogButton("Operate")->click();
    QVERIFY(!ui.ready()->isChecked());  // off at once; the re-read a second later turns it on again
    QTRY_VERIFY_WITH_TIMEOUT(ui.structureValue(position) != closed, 10000);
    const QString open = ui.structureValue(position);
    QVERIFY(!open.isEmpty());

    ui.inDialog<QRadioButton>("Close")->click();
    ui.dialogButton("Select")->click();
    ui.dialogButton("Operate")->click();
    QTRY_COMPARE_WITH_TIMEOUT(ui.structureValue(position), closed, 10000);
    QCOMPARE(status.count(), 0);
}

void ControlViewTest::refusedSelectShowsItsCause() {
    SimulatorProcess simulator;
    ControlUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    QSignalSpy status(ui.view.get(), &Iec61850View::setStatusBarMessage);
    // Closing the closed breaker: the select passes, the operate is refused.
    ui.openControl("BAY1CTRL/CSWI1.Pos");
    ui.inDialog<QRadioButton>("Close")->click();
    ui.dialogButton("Select")->click();
    ui.dialogButton("Operate")->click();
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Operate fail: POSITION_REACHED (5)"));
}

void ControlViewTest::statusOnlyObjectOffersNoCommand() {
    SimulatorProcess simulator;
    ControlUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    // After an object that takes every command, so nothing is left over from it.
    ui.openControl("BAY1CTRL/GGIO1.SPCSO3");
    QVERIFY(ui.dialogButton("Operate")->isEnabled());
    ui.openControl("BAY1CTRL/GGIO1.SPCSO1");
    QVERIFY(ui.dialog()->isVisible());
    for (const char* name : {"Select", "Operate", "Cancel"}) {
        QVERIFY2(!ui.dialogButton(name)->isEnabled(), name);
        QVERIFY2(ui.dialogButton(name)->toolTip().contains("status-only"), name);
    }
    ui.openControl("BAY1CTRL/GGIO1.SPCSO2");
    QVERIFY(ui.dialogButton("Operate")->isEnabled());
    QCOMPARE(ui.dialogButton("Operate")->toolTip(), QString());
    QVERIFY(ui.dialogButton("Select")->toolTip().contains("no selection"));
}

void ControlViewTest::successesAndTerminationsAreToldInTheDialogAndTheLog() {
    SimulatorProcess simulator;
    ControlUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));
    QSignalSpy status(ui.view.get(), &Iec61850View::setStatusBarMessage);
    QSignalSpy log(ui.view.get(), &Iec61850View::logMessage);
    const auto logged = [&log] {
        QStringList texts;
        for (const auto& call : log) {
            texts << call.at(0).toString();
        }
        return texts;
    };
    auto* selection = ui.dialog()->findChild<QLabel*>("selectionLabel");

    // The breaker is closed; closing it again is refused, and the refusal shows in the dialog too.
    ui.openControl("BAY1CTRL/CSWI1.Pos");
    QCOMPARE(ui.dialog()->findChild<QLabel*>("classLabel")->text(), QString("Open = open, Close = closed"));
    ui.inDialog<QRadioButton>("Close")->click();
    QVERIFY(ui.press("Select", "Select with value ok"));
    QVERIFY2(selection->text().startsWith("Selected, "), qPrintable(selection->text()));
    QVERIFY(ui.press("Operate", "Operate fail: POSITION_REACHED (5)"));
    QCOMPARE(selection->text(), QString());

    // Opening: each step is said in the dialog and the log, never on the status bar; the success
    // replaces the refusal.
    ui.inDialog<QRadioButton>("Open")->click();
    QVERIFY(ui.press("Select", "Select with value ok"));
    ui.dialogButton("Operate")->click();
    QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 4, 10000);
    QCOMPARE(logged(), (QStringList{"Select with value ok", "Select with value ok", "Operate ok",
                                    "Command terminated: ok"}));
    QCOMPARE(ui.result(), QString("Command terminated: ok"));
    QCOMPARE(status.count(), 1);  // the refusal only

    // A generic output under normal security: Select, then Cancel.
    ui.openControl("BAY1CTRL/GGIO1.SPCSO3");
    QCOMPARE(ui.result(), QString());
    QVERIFY(ui.press("Select", "Select ok"));
    QVERIFY(ui.press("Cancel", "Cancel ok"));
    QCOMPARE(logged().mid(4), (QStringList{"Select ok", "Cancel ok"}));
}

void ControlViewTest::testAndInterlockCheckReachTheDevice() {
    // Closing is not enabled by the interlocking node: only a command that asks for the check is refused.
    QTemporaryDir dir;
    QFile in(model);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(in.readAll());
    text.replace(QStringLiteral("<DOI name=\"EnaCls\"><DAI name=\"stVal\"><Val>true</Val>"),
                 QStringLiteral("<DOI name=\"EnaCls\"><DAI name=\"stVal\"><Val>false</Val>"));
    QFile out(dir.filePath("interlocked.icd"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
    out.close();
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(out.fileName()), simulator.errorText().c_str());
    ControlUi ui;
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    const auto box = [&ui](const QString& caption) { return ui.inDialog<QCheckBox>(caption); };

    ui.openControl("BAY1CTRL/CSWI1.Pos");
    ui.inDialog<QRadioButton>("Close")->click();
    QVERIFY(ui.press("Select", "Select fail: BLOCKED_BY_INTERLOCKING (10)"));
    box("Interlock check")->click();
    QVERIFY(ui.press("Select", "Select with value ok"));

    // Closing the closed breaker is refused, unless the command is only a test.
    QVERIFY(ui.press("Operate", "Operate fail: POSITION_REACHED (5)"));
    box("Test")->click();
    QVERIFY(ui.press("Select", "Select with value ok"));
    ui.dialogButton("Operate")->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui.result() == "Operate ok" || ui.result() == "Command terminated: ok", 10000);
}

QString ControlViewTest::blockedModel(const QTemporaryDir& dir) const {
    QFile in(model);
    if (!in.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QString text = QString::fromUtf8(in.readAll());
    const auto replace = [&text](const QString& what, const QString& with) {
        const int at = text.indexOf(what);
        if (at >= 0) {
            text.replace(at, what.size(), with);
        }
        return at >= 0;
    };
    const bool replaced =
        replace(QStringLiteral("<DOI name=\"EnaCls\"><DAI name=\"stVal\"><Val>true</Val>"),
                QStringLiteral("<DOI name=\"EnaCls\"><DAI name=\"stVal\"><Val>false</Val>")) &&
        replace(QStringLiteral("<LN lnClass=\"CSWI\" lnType=\"BAY_CSWI\" inst=\"1\" prefix=\"\">"),
                QStringLiteral("<LN lnClass=\"RSYN\" lnType=\"BAY_RSYN\" inst=\"1\" prefix=\"\">"
                               "<DOI name=\"Rel\"><DAI name=\"stVal\"><Val>false</Val></DAI></DOI></LN>"
                               "<LN lnClass=\"CSWI\" lnType=\"BAY_CSWI\" inst=\"1\" prefix=\"\">")) &&
        replace(QStringLiteral("<LNodeType id=\"BAY_CSWI\" lnClass=\"CSWI\">"),
                QStringLiteral("<LNodeType id=\"BAY_RSYN\" lnClass=\"RSYN\"><DO name=\"Beh\" "
                               "type=\"BAY_ENS_Beh\"/><DO name=\"Rel\" type=\"BAY_SPS\"/></LNodeType>"
                               "<LNodeType id=\"BAY_CSWI\" lnClass=\"CSWI\">"));
    QFile out(dir.filePath("blocked.icd"));
    if (!replaced || !out.open(QIODevice::WriteOnly)) {
        return QString();
    }
    out.write(text.toUtf8());
    return out.fileName();
}

// The device logs what each command asked for as it decoded it: a box that set another bit, or none,
// shows there and in the refusal the dialog reports.
void ControlViewTest::eachCheckBoxSetsExactlyItsBitOnTheWire() {
    QTemporaryDir dir;
    const QString file = blockedModel(dir);
    QVERIFY(!file.isEmpty());
    SimulatorProcess simulator;
    ControlUi ui;
    QVERIFY(ui.serveAndBrowse(simulator, file));
    auto* result = ui.dialog()->findChild<QLabel*>("resultLabel");
    ui.openControl("BAY1CTRL/CSWI1.Pos");
    ui.inDialog<QRadioButton>("Close")->click();
    QCheckBox* interlock = ui.inDialog<QCheckBox>("Interlock check");
    QCheckBox* synchro = ui.inDialog<QCheckBox>("Synchrocheck");
    QCheckBox* test = ui.inDialog<QCheckBox>("Test");
    // What the dialog sends when nobody touches it.
    QVERIFY(interlock->isChecked());
    QVERIFY(synchro->isChecked());
    QVERIFY(!test->isChecked());

    struct Case {
        bool interlock, synchro, test;
        const char* logged;  // what the device read from the select with value
        const char* result;
    };
    const Case cases[] = {
        {true, true, false, "Test false, Check synchrocheck interlock-check, refused with AddCause 10",
         "Select fail: BLOCKED_BY_INTERLOCKING (10)"},
        {false, true, false, "Test false, Check synchrocheck, refused with AddCause 11",
         "Select fail: BLOCKED_BY_SYNCHROCHECK (11)"},
        {true, false, false, "Test false, Check interlock-check, refused with AddCause 10",
         "Select fail: BLOCKED_BY_INTERLOCKING (10)"},
        {false, false, true, "Test true, Check none", "Select with value ok"},
        {false, false, false, "Test false, Check none", "Select with value ok"},
    };
    int selects = 0;
    for (const Case& c : cases) {
        interlock->setChecked(c.interlock);
        synchro->setChecked(c.synchro);
        test->setChecked(c.test);
        result->clear();
        ui.dialogButton("Select")->click();
        ++selects;
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), QString(c.result), 10000);
        QStringList selectLines;
        QTRY_VERIFY_WITH_TIMEOUT(
            (selectLines = QString::fromStdString(simulator.output())
                               .split('\n')
                               .filter(QStringLiteral("write BAY1CTRL/CSWI1$CO$Pos$SBOw ")))
                    .size() == selects,
            10000);
        const QString expected = QStringLiteral("(ctlVal true, %1)").arg(QLatin1String(c.logged));
        QVERIFY2(selectLines.last().contains(expected), qPrintable(selectLines.last()));
        if (QString(c.result) == "Select with value ok") {
            // The selection is given back, so the next case selects afresh.
            ui.dialogButton("Cancel")->click();
            QTRY_COMPARE_WITH_TIMEOUT(result->text(), QString("Cancel ok"), 10000);
        }
    }
}

QTEST_MAIN(ControlViewTest)
#include "iec61850view_control_test.moc"
