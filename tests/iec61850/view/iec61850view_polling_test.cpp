// The polling list: editing it, what a tick reads, when ticks go out, and what survives a reconnect.
// The first cases run on a tree filled by hand (the engine is not connected and ignores the reads);
// the others against the simulator.

#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include "viewdetail.h"
#include "viewharness.h"

using iec61850::Iec61850View;
using iec61850::TreeModel;
using namespace viewharness;

namespace {

QStringList sentRefs(const QSignalSpy& reads) {
    QStringList refs;
    for (const QList<QVariant>& call : reads) {
        refs << call.at(0).toString();
    }
    return refs;
}

// The lines of a subtree a tick reads, in the order it reads them.
QStringList valuedRefs(TreeModel* tree, const QString& top) {
    QStringList refs;
    const std::function<void(QStandardItem*)> collect = [&](QStandardItem* line) {
        const QString ref = tree->referenceOf(line);
        if (!valueOf(line).isEmpty() && !ref.contains("SBO")) {
            refs << ref;
        }
        for (int row = 0; row < line->rowCount(); ++row) {
            collect(line->child(row, 0));
        }
    };
    collect(tree->itemOf(top));
    return refs;
}

// A small model as discovery would have left it, with some attributes valued and some not.
void fillStructure(TreeModel* tree) {
    struct Line {
        const char* text;
        const char* ref;
        int layer;
        const char* value;
    };
    const Line lines[] = {
        {" LD1", "LD1", 1, ""},
        {" MMXU1", "LD1/MMXU1", 2, ""},
        {" TotW", "LD1/MMXU1.TotW", 3, ""},
        {"[MX] mag", "LD1/MMXU1.TotW.mag", 4, ""},
        {"[MX] f", "LD1/MMXU1.TotW.mag.f", 5, "12.5"},
        {"[MX] q", "LD1/MMXU1.TotW.q", 4, "good"},
        {" Hz", "LD1/MMXU1.Hz", 3, ""},
        {"[MX] mag", "LD1/MMXU1.Hz.mag", 4, ""},
        {" CSWI1", "LD1/CSWI1", 2, ""},
        {" Pos", "LD1/CSWI1.Pos", 3, ""},
        {"[CO] SBOw", "LD1/CSWI1.Pos.SBOw", 4, ""},
        {"[CO] ctlVal", "LD1/CSWI1.Pos.SBOw.ctlVal", 5, "false"},
        {"[ST] stVal", "LD1/CSWI1.Pos.stVal", 4, "on (1)"},
        {" GGIO9", "LD1/GGIO9", 2, ""},
        {" Ind", "LD1/GGIO9.Ind", 3, ""},
        {"[ST] stVal", "LD1/GGIO9.Ind.stVal", 4, ""},
    };
    for (const Line& line : lines) {
        tree->addItem(line.text, line.ref, line.layer);
        tree->setValue(line.ref, line.value, false);
    }
}

struct PollingUi : ViewUnderTest {
    QPushButton* addRemove() const { return button("addRemoveButton"); }
    QPushButton* startStop() const { return button("startStopPollButton"); }
    QPushButton* dialogStartStop() const { return button("dialogStartStopButton"); }
    QLabel* lastPoll() const { return part<QLabel>("lastPollLabel"); }
    QLineEdit* interval() const { return part<QLineEdit>("pollIntervalEdit"); }

    void add(const QString& ref) const {
        click(structure()->itemOf(ref));
        addRemove()->click();
    }
    void removeInDialog(const QString& ref) const {
        pollView()->setCurrentIndex(poll()->itemOf(ref)->index());
        button("dialogRemoveButton")->click();
    }
    bool polling() const { return startStop()->text() == "Stop polling"; }
    // Ready comes with the walk's end, but polling resumed then turns it off at its first tick and, at
    // 100 ms, seldom leaves the quiet time that turns it on again.
    bool browsedOrPolling() const { return connected() && (polling() || browsed()); }
    // Both Start/Stop buttons are one control.
    bool startStopEnabled() const {
        if (startStop()->isEnabled() != dialogStartStop()->isEnabled() ||
            startStop()->text() != dialogStartStop()->text()) {
            qFatal("the two Start/Stop buttons disagree");
        }
        return startStop()->isEnabled();
    }
};

}  // namespace

class PollingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void intervalFieldTextGivesTheTimerInterval();
    void tickReadsOnlyValuedAttributesAndNeverSelectLines();
    void listWithoutValuesStopsAtTheFirstTick();
    void intervalIsReadWhenPollingStarts();
    void addingAndRemovingLines();
    void slowDeviceGetsTheNextTickOnlyWhenTheAnswersAreIn();
    void reconnectResumesOrDropsTheList();
    void polledMeasurementUpdatesEveryTreeAndTheCounter();
    void achievedPeriodIsTheAverageOfTheLastTicks();
    void emptiedListIsNotStartedAfterAReconnect();

private:
    void startSimulator(SimulatorProcess& simulator, const QStringList& extra = {},
                        const QString& scl = QString());

    QString model;
    QString smallModel;
};

void PollingTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanPollingTest");
    QSettings().clear();
    model = QString::fromStdString(SimulatorProcess::sampleModel());
    smallModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd");
}

void PollingTest::startSimulator(SimulatorProcess& simulator, const QStringList& extra, const QString& scl) {
    if (!simulator.start(scl.isEmpty() ? model : scl, extra)) {
        QFAIL(simulator.errorText().c_str());
    }
}

void PollingTest::intervalFieldTextGivesTheTimerInterval() {
    using iec61850::viewdetail::pollIntervalMs;
    QCOMPARE(pollIntervalMs(""), 1000);
    QCOMPARE(pollIntervalMs("250"), 250);
    QCOMPARE(pollIntervalMs("100"), 100);
    QCOMPARE(pollIntervalMs("10000"), 10000);
    // Text the field lets through on the way to a valid number must not make a busy loop.
    QCOMPARE(pollIntervalMs("5"), 100);
    QCOMPARE(pollIntervalMs("0"), 100);
    QCOMPARE(pollIntervalMs("99999"), 10000);
}

void PollingTest::tickReadsOnlyValuedAttributesAndNeverSelectLines() {
    PollingUi ui;
    fillStructure(ui.structure());
    ui.add("LD1/MMXU1");
    ui.add("LD1/CSWI1");
    ui.interval()->setText("100");
    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);
    ui.startStop()->click();
    QVERIFY(ui.polling());

    const QStringList perTick{"LD1/MMXU1.TotW.mag.f", "LD1/MMXU1.TotW.q", "LD1/CSWI1.Pos.stVal"};
    QTRY_VERIFY(reads.count() >= 2 * perTick.size());
    QCOMPARE(sentRefs(reads).mid(0, 2 * perTick.size()), perTick + perTick);
    QVERIFY(QRegularExpression(R"(^Last poll at \d\d:\d\d:\d\d\.\d\d\d \d\d\.\d\d\.\d{4}$)")
                .match(ui.lastPoll()->text())
                .hasMatch());
    // Beside it, the period the ticks actually went out at.
    QVERIFY(QRegularExpression(R"(^Achieved period: \d+ ms$)")
                .match(ui.part<QLabel>("achievedPeriodLabel")->text())
                .hasMatch());

    // A value arriving for a polled line shows in the polling tree.
    QVERIFY(QMetaObject::invokeMethod(ui.view.get(), "updateValue", Q_ARG(QString, "LD1/MMXU1.TotW.q"),
                                      Q_ARG(QString, "invalid")));
    QCOMPARE(valueOf(ui.poll()->itemOf("LD1/MMXU1.TotW.q")), QString("invalid"));

    ui.dialogStartStop()->click();
    QVERIFY(!ui.polling());
    QVERIFY(ui.startStopEnabled());
}

void PollingTest::listWithoutValuesStopsAtTheFirstTick() {
    PollingUi ui;
    fillStructure(ui.structure());
    ui.add("LD1/GGIO9");
    QVERIFY(ui.startStopEnabled());
    ui.interval()->setText("100");
    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);
    ui.startStop()->click();
    QTRY_VERIFY(!ui.polling());
    QCOMPARE(reads.count(), 0);
    QCOMPARE(ui.lastPoll()->text(), QString("Never poll"));
    // Stopped, not emptied: the list can be started again.
    QVERIFY(ui.startStopEnabled());
}

void PollingTest::intervalIsReadWhenPollingStarts() {
    PollingUi ui;
    fillStructure(ui.structure());
    ui.add("LD1/MMXU1");
    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);

    // An empty field polls at the default second.
    ui.interval()->clear();
    QElapsedTimer clock;
    clock.start();
    ui.startStop()->click();
    QTRY_VERIFY(reads.count() > 0);
    QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
    ui.startStop()->click();

    // "5" is on its way to a valid number; started with it, the timer still runs at the fastest rate
    // the field admits, not every 5 ms.
    ui.interval()->setText("5");
    reads.clear();
    clock.restart();
    ui.startStop()->click();
    // Editing the field while polling changes nothing until the next start.
    ui.interval()->setText("10000");
    QTRY_VERIFY(reads.count() >= 3 * 2);
    QVERIFY2(clock.elapsed() >= 3 * 90, qPrintable(QString::number(clock.elapsed())));
    ui.startStop()->click();
}

void PollingTest::addingAndRemovingLines() {
    PollingUi ui;
    fillStructure(ui.structure());
    TreeModel* poll = ui.poll();
    QVERIFY(!ui.startStopEnabled());

    // A data object, then its logical node: the object is listed once, inside the node's subtree.
    ui.add("LD1/MMXU1.TotW");
    QCOMPARE(ui.addRemove()->text(), QString("Remove from poll"));
    QVERIFY(ui.startStopEnabled());
    QVERIFY(!ui.polling());
    ui.add("LD1/MMXU1");
    QCOMPARE(poll->rowCount(), 1);
    QCOMPARE(poll->item(0, 0)->text(), QString(" MMXU1"));
    QCOMPARE(
        countLines(poll->invisibleRootItem(), [](QStandardItem* line) { return line->text() == " TotW"; }),
        1);
    QCOMPARE(poll->itemOf("LD1/MMXU1.TotW")->parent(), poll->itemOf("LD1/MMXU1"));
    // The copies carry the values the structure tree shows.
    QCOMPARE(valueOf(poll->itemOf("LD1/MMXU1.TotW.mag.f")), QString("12.5"));

    // A line that is in the list toggles the button; a second click removes it.
    ui.click(ui.structure()->itemOf("LD1/MMXU1.TotW"));
    QCOMPARE(ui.addRemove()->text(), QString("Remove from poll"));
    ui.addRemove()->click();
    QVERIFY(poll->itemOf("LD1/MMXU1.TotW") == nullptr);
    QVERIFY(poll->itemOf("LD1/MMXU1") != nullptr);
    QCOMPARE(ui.addRemove()->text(), QString("Add to poll"));

    // Removing in the dialog the line selected in the structure tree, or a line above it, sets the
    // structure box's button back.
    ui.add("LD1/CSWI1");
    ui.click(ui.structure()->itemOf("LD1/CSWI1.Pos"));
    QCOMPARE(ui.addRemove()->text(), QString("Remove from poll"));
    ui.removeInDialog("LD1/CSWI1");
    QCOMPARE(ui.addRemove()->text(), QString("Add to poll"));
    ui.add("LD1/CSWI1.Pos");
    ui.removeInDialog("LD1/CSWI1.Pos.stVal");
    QCOMPARE(ui.addRemove()->text(), QString("Remove from poll"));
    ui.removeInDialog("LD1/CSWI1.Pos");
    QCOMPARE(ui.addRemove()->text(), QString("Add to poll"));

    // Removing the only top-level line in the dialog while polling stops and disables both buttons.
    QCOMPARE(poll->rowCount(), 1);
    ui.startStop()->click();
    QVERIFY(ui.polling());
    ui.removeInDialog("LD1/MMXU1");
    QCOMPARE(poll->rowCount(), 0);
    QVERIFY(!ui.polling());
    QVERIFY(!ui.startStopEnabled());

    // The same with the structure box's button.
    ui.add("LD1/MMXU1.TotW");
    ui.startStop()->click();
    QVERIFY(ui.polling());
    ui.addRemove()->click();
    QVERIFY(!ui.polling());
    QVERIFY(!ui.startStopEnabled());

    // The button does nothing once the selection is gone.
    ui.click(ui.structure()->itemOf("LD1/MMXU1.Hz"));
    ui.structureView()->clearSelection();
    ui.addRemove()->click();
    QCOMPARE(poll->rowCount(), 0);
}

void PollingTest::slowDeviceGetsTheNextTickOnlyWhenTheAnswersAreIn() {
    // Every answer takes as long as the polling interval, so one tick's reads take several intervals.
    SimulatorProcess simulator;
    startSimulator(simulator, {"--latency", "100"}, smallModel);
    NoticeCloser closer;
    PollingUi ui;
    ui.connectTo(simulator.port());
    QVERIFY(ui.browsedOrPolling());

    const QString totW = "KCTRL/MMXU1.TotW";
    ui.add(totW);
    ui.interval()->setText("100");
    const QStringList expected = valuedRefs(ui.structure(), totW);
    QVERIFY2(expected.size() >= 2, qPrintable(expected.join(' ')));

    // Each tick starts with the first attribute; when it goes out, every earlier request is answered
    // (the counter counts one value per answer).
    const int counted = ui.packets()->text().toInt();
    int sent = 0;
    QList<QPair<int, int>> atTickStart;  // requests sent before the tick, answers counted by then
    connect(ui.view.get(), &Iec61850View::readValue, this, [&](const QString& ref) {
        if (ref == expected.first()) {
            atTickStart.append({sent, ui.packets()->text().toInt() - counted});
        }
        ++sent;
    });
    ui.startStop()->click();
    QTRY_VERIFY_WITH_TIMEOUT(atTickStart.size() >= 4, 20000);
    ui.startStop()->click();
    for (const auto& tick : atTickStart) {
        QCOMPARE(tick.second, tick.first);
    }
    QTRY_COMPARE(ui.packets()->text().toInt() - counted, sent);
    QVERIFY(closer.notices.isEmpty());
}

void PollingTest::reconnectResumesOrDropsTheList() {
    auto simulator = std::make_unique<SimulatorProcess>();
    startSimulator(*simulator);
    NoticeCloser closer;
    PollingUi ui;
    ui.connectTo(simulator->port());
    QVERIFY(ui.browsedOrPolling());
    const QString totW = "BAY1MEAS/MMXU1.TotW";
    const QString ctrlNode = "BAY1CTRL/LLN0";
    QVERIFY(ui.structure()->itemOf(totW) != nullptr);

    // A list that was never polled keeps its lines over a reconnect and is not started.
    ui.add(totW);
    ui.button("disconnectButton")->click();
    QTRY_COMPARE(closer.notices.size(), 1);
    QVERIFY(!ui.startStopEnabled());
    ui.button("connectButton")->click();
    QCOMPARE(ui.lastPoll()->text(), QString("Never poll"));
    QVERIFY(ui.browsedOrPolling());
    QVERIFY(ui.poll()->itemOf(totW) != nullptr);
    QVERIFY(!ui.startStopEnabled());
    QVERIFY(!ui.polling());
    // Until a line is added.
    ui.add(ctrlNode);
    QVERIFY(ui.startStopEnabled());

    // Polled once, stopped, then the association drops: an identical model resumes polling.
    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);
    ui.interval()->setText("100");
    ui.startStop()->click();
    QTRY_VERIFY(reads.count() > 0);
    QTRY_VERIFY(ui.lastPoll()->text().startsWith("Last poll at"));
    ui.startStop()->click();
    simulator = std::make_unique<SimulatorProcess>();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices.size(), 2, 20000);
    startSimulator(*simulator);
    ui.connectTo(simulator->port());
    QCOMPARE(ui.lastPoll()->text(), QString("Never poll"));
    QVERIFY(ui.browsedOrPolling());
    QVERIFY(ui.polling());
    QVERIFY(ui.startStopEnabled());
    reads.clear();
    QTRY_VERIFY(sentRefs(reads).contains(totW + ".mag.f"));
    QTRY_VERIFY(ui.lastPoll()->text().startsWith("Last poll at"));

    // A model without one of the polled references: the list is dropped and polling is off.
    SimulatorProcess other;
    startSimulator(other, {}, smallModel);
    ui.button("disconnectButton")->click();
    QTRY_COMPARE(closer.notices.size(), 3);
    ui.connectTo(other.port());
    QVERIFY(ui.browsedOrPolling());
    QCOMPARE(ui.poll()->rowCount(), 0);
    QVERIFY(!ui.polling());
    QVERIFY(!ui.startStopEnabled());
}

void PollingTest::polledMeasurementUpdatesEveryTreeAndTheCounter() {
    SimulatorProcess simulator;
    startSimulator(simulator, {"--simulate"});
    NoticeCloser closer;
    PollingUi ui;
    ui.connectTo(simulator.port());
    QVERIFY(ui.browsedOrPolling());

    const QString totW = "BAY1MEAS/MMXU1.TotW";
    const QString magnitude = totW + ".mag.f";
    const QString first = valueOf(ui.structure()->itemOf(magnitude));
    QVERIFY(!first.isEmpty());
    // In the control box as well: it shows the clicked data object.
    ui.add(totW);
    QVERIFY(ui.control()->itemOf(magnitude) != nullptr);

    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);
    const int counted = ui.packets()->text().toInt();
    ui.interval()->setText("100");
    ui.startStop()->click();
    QTRY_VERIFY_WITH_TIMEOUT(valueOf(ui.poll()->itemOf(magnitude)) != first, 20000);
    ui.startStop()->click();

    // Once the last answers are in, every tree shows the same new value and each answer was counted.
    QTRY_COMPARE(ui.packets()->text().toInt() - counted, reads.count());
    QTRY_VERIFY(ui.ready()->isChecked());
    const QString now = valueOf(ui.poll()->itemOf(magnitude));
    QCOMPARE(valueOf(ui.structure()->itemOf(magnitude)), now);
    QCOMPARE(valueOf(ui.control()->itemOf(magnitude)), now);
    QVERIFY(closer.notices.isEmpty());
}

void PollingTest::achievedPeriodIsTheAverageOfTheLastTicks() {
    using iec61850::viewdetail::achievedPeriodMs;
    QList<qint64> starts;
    QCOMPARE(achievedPeriodMs(starts), -1);
    starts << 1000;
    QCOMPARE(achievedPeriodMs(starts), -1);
    starts << 1100;
    QCOMPARE(achievedPeriodMs(starts), 100);
    // One tick held up by a slow device shows for the next five periods, then no more.
    starts << 1600 << 1700 << 1800 << 1900;
    QCOMPARE(achievedPeriodMs(starts), 180);
    starts << 2000;
    QCOMPARE(achievedPeriodMs(starts), 180);
    starts << 2100;
    QCOMPARE(achievedPeriodMs(starts), 100);
    QCOMPARE(starts.size(), 6);
}

void PollingTest::emptiedListIsNotStartedAfterAReconnect() {
    SimulatorProcess simulator;
    startSimulator(simulator, {}, smallModel);
    NoticeCloser closer;
    PollingUi ui;
    ui.connectTo(simulator.port());
    QVERIFY(ui.browsedOrPolling());
    const QString totW = "KCTRL/MMXU1.TotW";
    ui.add(totW);
    ui.interval()->setText("100");
    ui.startStop()->click();
    QTRY_VERIFY(ui.lastPoll()->text().startsWith("Last poll at"));
    ui.startStop()->click();
    ui.removeInDialog(totW);
    QVERIFY(!ui.startStopEnabled());

    ui.button("disconnectButton")->click();
    QTRY_COMPARE(closer.notices.size(), 1);
    ui.button("connectButton")->click();
    QVERIFY(ui.browsedOrPolling());
    QVERIFY(!ui.polling());
    QVERIFY(!ui.startStopEnabled());
    QCOMPARE(ui.lastPoll()->text(), QString("Never poll"));
}

QTEST_MAIN(PollingTest)
#include "iec61850view_polling_test.moc"
