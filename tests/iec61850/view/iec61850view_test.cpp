#include "iec61850view.h"

#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include "closedport.h"
#include "viewharness.h"

using iec61850::Iec61850View;
using iec61850::TreeModel;
using korvan::test::ClosedPort;
using namespace viewharness;

namespace {

const QString kWaiting = "Connected. Waiting for data...";
const QString kConnected = "ConnectedState";
const QString kUnconnected = "UnconnectedState";

// The status texts in the order they were shown, each with its style sheet.
class StatusRecorder : public QObject {
public:
    explicit StatusRecorder(QLineEdit* status) : status(status) {
        QObject::connect(status, &QLineEdit::textChanged, this, [this](const QString& text) {
            shown << text + " | " + this->status->styleSheet();
            styling = true;
        });
        // The colour is set right after the text, perhaps before the event loop runs again: the
        // entry takes each style change until the next text.
        status->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::StyleChange && styling) {
            shown.last() = status->text() + " | " + status->styleSheet();
        }
        return false;
    }
    QStringList shown;

private:
    QLineEdit* status;
    bool styling = false;
};

// The lines of `line`'s subtree, itself first, in pre-order, each as its depth below `line` and its text.
QStringList preorder(QStandardItem* line, int depth = 0) {
    QStringList lines{QString::number(depth) + ' ' + line->text()};
    for (int row = 0; row < line->rowCount(); ++row) {
        lines += preorder(line->child(row, 0), depth + 1);
    }
    return lines;
}

int depthOf(const QStandardItem* line) {
    int depth = 1;
    for (const QStandardItem* up = line->parent(); up != nullptr; up = up->parent()) {
        ++depth;
    }
    return depth;
}

}  // namespace

class Iec61850ViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartShowsNoAddressAndTheDefaultPort();
    void unreachableServerEndsRedWithNoticeAndKeepsTheAddress();
    void connectBrowsesTheModelWithValuesAndCounts();
    void enterInTheAddressFieldConnects();
    void serverDroppingTheAssociationEndsRed();
    void readAllSkipsSelectBeforeOperateAttributes();
    void readAllNeedsAnAssociationAndReadyNeverWaitsForLostAnswers();
    void reportEnableValueSetsTheButtonCaption();
    void expandSelectorOffersOneItemPerLayer();
    void theWalksProgressBarGoesWhenTheWalkIsCancelled();
    void burstsOfValuesAreShownWholeAndInTheEnginesOrder();
    // A logical device's thousands of lines reach the control box a slice at a time: in the end each
    // line once, in the tree's order, also when the tree is sorted meanwhile; a click while a copy
    // runs shows only the new line's subtree.
    void aLargeSubtreeReachesTheControlBoxWholeAndAlone();
    // A slow device answers a Read all in waves further apart than a pause in values may last: Ready
    // stays off until the last answer is in, and comes on after it.
    void readyWaitsForEveryAnswerOfASlowDevice();

private:
    void startSimulator(SimulatorProcess& simulator);

    QString model;
};

void Iec61850ViewTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("Korvan");
    QSettings().clear();
    model = QString::fromStdString(SimulatorProcess::sampleModel());
}

void Iec61850ViewTest::startSimulator(SimulatorProcess& simulator) {
    if (!simulator.start(model)) {
        QFAIL(simulator.errorText().c_str());
    }
}

void Iec61850ViewTest::firstStartShowsNoAddressAndTheDefaultPort() {
    QSettings().clear();
    ViewUnderTest ui;
    QCOMPARE(ui.view->objectName(), QString("IEC61850"));
    QCOMPARE(ui.ip()->text(), QString());
    QCOMPARE(ui.port()->text(), QString("102"));
    QCOMPARE(ui.status()->text(), QString());
    QCOMPARE(ui.status()->placeholderText(), QString("Status"));
    QVERIFY(ui.connectBoxEnabled());
    QVERIFY(!ui.button("enableDisableButton")->isEnabled());
    QVERIFY(!ui.button("controlButton")->isEnabled());
    QVERIFY(!ui.button("addRemoveButton")->isEnabled());
}

void Iec61850ViewTest::unreachableServerEndsRedWithNoticeAndKeepsTheAddress() {
    NoticeCloser closer;
    const ClosedPort closed;
    const QString port = QString::number(closed.port());
    {
        ViewUnderTest ui;
        StatusRecorder recorder(ui.status());
        ui.ip()->setText("127.0.0.1");
        ui.port()->setText(port);
        ui.button("connectButton")->click();
        QVERIFY(!ui.ip()->isEnabled());
        // Disconnect stays usable, so that an attempt or a long discovery can be stopped.
        QVERIFY(ui.button("disconnectButton")->isEnabled());
        QCOMPARE(ui.packets()->text(), QString("0"));
        QVERIFY(!ui.ready()->isChecked());

        QTRY_COMPARE_WITH_TIMEOUT(closer.notices, QStringList{"Notice: IEC61850 disconnected."}, 30000);
        QCOMPARE(recorder.shown, QStringList{kUnconnected + " | background-color: red; color: white;"});
        QVERIFY(ui.connectBoxEnabled());
        QCOMPARE(ui.structure()->rowCount(), 0);
    }
    // Stored before the attempt, whatever its outcome: the next start offers the same server.
    ViewUnderTest next;
    QCOMPARE(next.ip()->text(), QString("127.0.0.1"));
    QCOMPARE(next.port()->text(), port);
}

void Iec61850ViewTest::connectBrowsesTheModelWithValuesAndCounts() {
    SimulatorProcess simulator;
    startSimulator(simulator);
    NoticeCloser closer;
    ViewUnderTest ui;
    StatusRecorder recorder(ui.status());

    // While the browse runs: yellow, Disconnect on (it ends the walk), Ready off however long values
    // pause, values shown but not counted.
    bool sawWaitingState = false;
    const auto checkWaiting = [&]() {
        if (ui.status()->text() != kWaiting) {
            return;
        }
        sawWaitingState = true;
        QVERIFY(ui.button("disconnectButton")->isEnabled());
        QVERIFY(!ui.ready()->isChecked());
        QVERIFY(!ui.button("connectButton")->isEnabled());
        QCOMPARE(ui.packets()->text(), QString("0"));
    };
    // As the state is entered (a fast walk may end before a timer fires), and then while it lasts.
    connect(ui.status(), &QLineEdit::textChanged, checkWaiting);
    QTimer probe;
    connect(&probe, &QTimer::timeout, checkWaiting);
    probe.start(1);

    QVERIFY(ui.connectAndBrowse(simulator.port()));
    probe.stop();
    QVERIFY(sawWaitingState);
    // Ready comes with the walk's end, before the recorder has read the colour of the last state.
    QTRY_COMPARE(recorder.shown, (QStringList{kWaiting + " | background-color: yellow; color: black;",
                                              kConnected + " | background-color: lime; color: black;"}));
    QVERIFY(ui.button("disconnectButton")->isEnabled());
    QVERIFY(!ui.button("connectButton")->isEnabled());
    QVERIFY(!ui.ip()->isEnabled());
    QVERIFY(ui.expand()->isEnabled());
    QCOMPARE(ui.packets()->text(), QString("0"));
    QVERIFY(closer.notices.isEmpty());

    // Lines read "[FC] name", elements without a constraint " name"; attributes carry their values.
    TreeModel* tree = ui.structure();
    QVERIFY(tree->rowCount() > 0);
    QStandardItem* device = tree->item(0, 0);
    QVERIFY(device->text().startsWith(' '));
    QCOMPARE(device->text().mid(1), tree->referenceOf(device));
    QStandardItem* stVal = findLine(tree->invisibleRootItem(), [](QStandardItem* line) {
        return line->text() == "[ST] stVal" && !valueOf(line).isEmpty();
    });
    QVERIFY(stVal != nullptr);
    QVERIFY(tree->referenceOf(stVal).endsWith(".stVal"));
    QVERIFY(tree->referenceOf(stVal).contains('/'));
    QCOMPARE(tree->referenceOf(stVal->parent()) + ".stVal", tree->referenceOf(stVal));

    // Reading a branch again: the answers are counted and land in the control tree too.
    QStandardItem* node = stVal->parent()->parent();
    ui.click(node);
    QCOMPARE(ui.control()->rowCount(), 1);
    const int valued = countLines(ui.structure()->itemOf(tree->referenceOf(node)),
                                  [](QStandardItem* line) { return !valueOf(line).isEmpty(); });
    const int skipped = countLines(ui.structure()->itemOf(tree->referenceOf(node)), [&](QStandardItem* line) {
        return !valueOf(line).isEmpty() && tree->referenceOf(line).contains("SBO");
    });
    QVERIFY(valued > 0);
    QStandardItem* controlCopy = ui.control()->itemOf(tree->referenceOf(stVal));
    QVERIFY(controlCopy != nullptr);
    ui.control()->setData(controlCopy->index().siblingAtColumn(1), QString("stale"));

    ui.button("readAllButton")->click();
    QVERIFY(!ui.ready()->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(ui.packets()->text(), QString::number(valued - skipped), 20000);
    QTRY_VERIFY(ui.ready()->isChecked());
    QVERIFY(valueOf(controlCopy) != "stale");
    QCOMPARE(valueOf(controlCopy), valueOf(stVal));

    // Disconnect: red once the engine reports it, the notice, the box usable again, the tree kept.
    const int lines = countLines(tree->invisibleRootItem(), [](QStandardItem*) { return true; });
    ui.button("disconnectButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices, QStringList{"Notice: IEC61850 disconnected."}, 10000);
    QCOMPARE(ui.status()->text(), kUnconnected);
    QVERIFY(ui.connectBoxEnabled());
    QCOMPARE(countLines(tree->invisibleRootItem(), [](QStandardItem*) { return true; }), lines);

    // A second connect starts from an empty tree and a zero counter.
    ui.button("connectButton")->click();
    QCOMPARE(ui.packets()->text(), QString("0"));
    QVERIFY(ui.browsed());
    QCOMPARE(countLines(tree->invisibleRootItem(), [](QStandardItem*) { return true; }), lines);
}

void Iec61850ViewTest::enterInTheAddressFieldConnects() {
    SimulatorProcess simulator;
    startSimulator(simulator);
    NoticeCloser closer;
    ViewUnderTest ui;
    ui.ip()->setText("127.0.0.1");
    ui.port()->setText(QString::number(simulator.port()));
    QTest::keyClick(ui.ip(), Qt::Key_Return);
    QVERIFY(!ui.ip()->isEnabled());
    QVERIFY(ui.browsed());
    QVERIFY(ui.structure()->rowCount() > 0);
    QCOMPARE(QSettings().value("IEC61850/port").toString(), QString::number(simulator.port()));
}

void Iec61850ViewTest::serverDroppingTheAssociationEndsRed() {
    auto simulator = std::make_unique<SimulatorProcess>();
    startSimulator(*simulator);
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(ui.connectAndBrowse(simulator->port()));

    simulator->kill();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices, QStringList{"Notice: IEC61850 disconnected."}, 20000);
    QCOMPARE(ui.status()->text(), kUnconnected);
    QCOMPARE(ui.status()->styleSheet(), QString("background-color: red; color: white;"));
    QVERIFY(ui.connectBoxEnabled());
    QVERIFY(ui.structure()->rowCount() > 0);

    // And the view can connect again to a server that is back.
    simulator = std::make_unique<SimulatorProcess>();
    startSimulator(*simulator);
    QVERIFY(ui.connectAndBrowse(simulator->port()));
    QCOMPARE(closer.notices.size(), 1);
}

void Iec61850ViewTest::readAllSkipsSelectBeforeOperateAttributes() {
    SimulatorProcess simulator;
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));

    // A controllable data object whose select-before-operate attributes carry values.
    TreeModel* tree = ui.structure();
    QStandardItem* object = findLine(tree->invisibleRootItem(), [&](QStandardItem* line) {
        return depthOf(line) == 3 && countLines(line, [&](QStandardItem* below) {
                                         return tree->referenceOf(below).contains("SBO") &&
                                                !valueOf(below).isEmpty();
                                     }) > 0;
    });
    QVERIFY2(object != nullptr, "the model needs a data object with valued SBO attributes");
    ui.click(object);

    QStringList expected;
    const std::function<void(QStandardItem*)> collect = [&](QStandardItem* line) {
        const QString ref = tree->referenceOf(line);
        if (!valueOf(line).isEmpty() && !ref.contains("SBO")) {
            expected << ref;
        }
        for (int row = 0; row < line->rowCount(); ++row) {
            collect(line->child(row, 0));
        }
    };
    collect(object);

    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);
    ui.button("readAllButton")->click();
    QStringList sent;
    for (const QList<QVariant>& call : reads) {
        sent << call.at(0).toString();
    }
    QCOMPARE(sent, expected);
    QTRY_VERIFY(ui.ready()->isChecked());

    // An empty control box reads nothing.
    ui.control()->resetTree();
    reads.clear();
    ui.button("readAllButton")->click();
    QCOMPARE(reads.count(), 0);
}

void Iec61850ViewTest::readAllNeedsAnAssociationAndReadyNeverWaitsForLostAnswers() {
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(!ui.button("readAllButton")->isEnabled());
    // Slow answers, so that the device can go while the answers to a Read all are on their way.
    auto simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(simulator->start(QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd"),
                             QStringList{"--latency", "500"}));
    QVERIFY(ui.connectAndBrowse(simulator->port()));
    QVERIFY(ui.button("readAllButton")->isEnabled());

    ui.click(ui.structure()->itemOf("KCTRL/MMXU1"));
    const int counted = ui.packets()->text().toInt();
    auto* progress = ui.part<QProgressBar>("progressBar");
    QVERIFY(!progress->isVisible());
    ui.button("readAllButton")->click();
    QVERIFY(!ui.ready()->isChecked());
    QVERIFY(progress->isVisible());
    simulator->kill();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices, QStringList{"Notice: IEC61850 disconnected."}, 30000);
    QTRY_VERIFY(ui.ready()->isChecked());
    QVERIFY(!progress->isVisible());
    QCOMPARE(ui.packets()->text().toInt(), counted);
    QVERIFY(!ui.button("readAllButton")->isEnabled());
}

void Iec61850ViewTest::reportEnableValueSetsTheButtonCaption() {
    SimulatorProcess simulator;
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(ui.serveAndBrowse(simulator, model));

    TreeModel* tree = ui.structure();
    QStandardItem* rptEna = findLine(tree->invisibleRootItem(), [](QStandardItem* line) {
        return line->text().endsWith(" RptEna") && !valueOf(line).isEmpty();
    });
    QVERIFY2(rptEna != nullptr, "the model needs a report control block");
    const QString rptEnaRef = tree->referenceOf(rptEna);
    QPushButton* button = ui.button("enableDisableButton");

    ui.click(rptEna->parent());
    QVERIFY(button->isEnabled());
    QCOMPARE(button->text(), valueOf(rptEna).toInt() != 0 ? QString("Disable") : QString("Enable"));

    const auto deliver = [&](const QString& ref, const QString& value) {
        QVERIFY(QMetaObject::invokeMethod(ui.view.get(), "updateValue", Q_ARG(QString, ref),
                                          Q_ARG(QString, value)));
    };
    deliver(rptEnaRef, "1");
    QCOMPARE(button->text(), QString("Disable"));
    deliver(rptEnaRef, "0");
    QCOMPARE(button->text(), QString("Enable"));
    // Only lines whose text names RptEna steer the caption.
    QStandardItem* sibling =
        findLine(rptEna->parent(), [](QStandardItem* line) { return !line->text().contains("RptEna"); });
    QVERIFY(sibling != nullptr);
    deliver(tree->referenceOf(sibling), "1");
    QCOMPARE(button->text(), QString("Enable"));

    // Another line clicked: the button is off and keeps its caption whatever RptEna says.
    ui.click(tree->item(0, 0));
    QVERIFY(!button->isEnabled());
    deliver(rptEnaRef, "1");
    QCOMPARE(button->text(), QString("Enable"));
}

void Iec61850ViewTest::expandSelectorOffersOneItemPerLayer() {
    SimulatorProcess simulator;
    startSimulator(simulator);
    NoticeCloser closer;
    ViewUnderTest ui;
    ui.connectTo(simulator.port());
    QCOMPARE(ui.expand()->count(), 1);
    QVERIFY(!ui.expand()->isEnabled());
    QVERIFY(ui.browsed());

    TreeModel* tree = ui.structure();
    int deepest = 0;
    const std::function<void(QStandardItem*)> measure = [&](QStandardItem* line) {
        deepest = qMax(deepest, depthOf(line));
        for (int row = 0; row < line->rowCount(); ++row) {
            measure(line->child(row, 0));
        }
    };
    for (int row = 0; row < tree->rowCount(); ++row) {
        measure(tree->item(row, 0));
    }
    QVERIFY(deepest >= 4);
    QStringList items;
    for (int i = 0; i < ui.expand()->count(); ++i) {
        items << ui.expand()->itemText(i);
    }
    QStringList expected{"<Select>"};
    for (int layer = 1; layer <= deepest; ++layer) {
        expected << "Layer " + QString::number(layer);
    }
    QCOMPARE(items, expected);

    // Layer 2 opens the devices and their nodes; the data objects stay closed.
    QStandardItem* object = findLine(tree->invisibleRootItem(), [](QStandardItem* line) {
        return depthOf(line) == 3 && line->hasChildren();
    });
    QVERIFY(object != nullptr);
    QTreeView* view = ui.structureView();
    ui.expand()->setCurrentIndex(2);
    QVERIFY(view->isExpanded(object->parent()->parent()->index()));
    QVERIFY(view->isExpanded(object->parent()->index()));
    QVERIFY(!view->isExpanded(object->index()));

    view->collapseAll();
    ui.expand()->setCurrentIndex(0);
    QVERIFY(!view->isExpanded(object->parent()->parent()->index()));
}

void Iec61850ViewTest::theWalksProgressBarGoesWhenTheWalkIsCancelled() {
    // Slow answers and many logical nodes: the walk takes long enough to be watched and cut short.
    SimulatorProcess simulator;
    QVERIFY2(simulator.startGenerated(40, {"--latency", "200"}), simulator.errorText().c_str());
    NoticeCloser closer;
    ViewUnderTest ui;
    QSignalSpy status(ui.view.get(), &Iec61850View::setStatusBarMessage);
    auto* progress = ui.part<QProgressBar>("progressBar");
    ui.connectTo(simulator.port());
    QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible() && progress->value() > 0, 30000);
    QVERIFY2(progress->text().startsWith("Discovery: "), qPrintable(progress->text()));
    QVERIFY(progress->maximum() >= 40);
    ui.button("disconnectButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer.notices, QStringList{"Notice: IEC61850 disconnected."}, 10000);
    QVERIFY(!progress->isVisible());
    // How far the walk came is not a status text.
    for (const auto& call : status) {
        QVERIFY2(!call.at(0).toString().startsWith("Discovery"), qPrintable(call.at(0).toString()));
    }
}

// Lines and values reach the window in batches shown a slice at a time; nothing may be lost, counted
// twice, or shown after what the engine said later (the end of the walk, the end of a Read all).
void Iec61850ViewTest::burstsOfValuesAreShownWholeAndInTheEnginesOrder() {
    SimulatorProcess simulator;
    QVERIFY(simulator.startGenerated(40));  // about 2,500 attributes: many slices
    NoticeCloser closer;
    ViewUnderTest ui;
    TreeModel* tree = ui.structure();
    const auto valued = [](QStandardItem* line) { return !valueOf(line).isEmpty(); };

    // The walk's values are all in when the view turns to connected, so none of them is counted.
    int valuedWhenConnected = -1;
    connect(ui.status(), &QLineEdit::textChanged, [&](const QString& text) {
        if (text == kConnected) {
            valuedWhenConnected = countLines(tree->invisibleRootItem(), valued);
        }
    });
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    const int valuedLines = countLines(tree->invisibleRootItem(), valued);
    QVERIFY(valuedLines > 2000);
    QCOMPARE(valuedWhenConnected, valuedLines);
    QCOMPARE(ui.packets()->text(), QString("0"));

    // Read all of the first device: when Ready comes on, every value is shown and counted once.
    QStandardItem* device = tree->item(0, 0);
    ui.click(device);
    // A device's thousands of lines reach the control box a slice at a time, all of them in the end.
    const auto all = [](QStandardItem*) { return true; };
    QTRY_COMPARE(countLines(ui.control()->invisibleRootItem(), all), 1 + countLines(device, all));
    const int readable = countLines(device, [&](QStandardItem* line) {
        return valued(line) && !tree->referenceOf(line).contains("SBO");
    });
    QVERIFY(readable > 1000);
    QList<QStandardItem*> copies;
    std::function<void(QStandardItem*)> stale = [&](QStandardItem* parent) {
        for (int row = 0; row < parent->rowCount(); ++row) {
            QStandardItem* line = parent->child(row, 0);
            if (valued(line) && !ui.control()->referenceOf(line).contains("SBO")) {
                ui.control()->setData(line->index().siblingAtColumn(1), QString("stale"));
                copies.append(line);
            }
            stale(line);
        }
    };
    stale(ui.control()->invisibleRootItem());
    QCOMPARE(copies.size(), readable);

    int countedAtReady = -1;
    int staleAtReady = -1;
    connect(ui.ready(), &QCheckBox::toggled, [&](bool on) {
        if (on && countedAtReady < 0) {
            countedAtReady = ui.packets()->text().toInt();
            staleAtReady = static_cast<int>(std::count_if(
                copies.begin(), copies.end(), [](QStandardItem* c) { return valueOf(c) == "stale"; }));
        }
    });
    ui.button("readAllButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(countedAtReady >= 0, 30000);
    QCOMPARE(countedAtReady, readable);
    QCOMPARE(staleAtReady, 0);
}

void Iec61850ViewTest::aLargeSubtreeReachesTheControlBoxWholeAndAlone() {
    SimulatorProcess simulator;
    QVERIFY(simulator.startGenerated(40));
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    TreeModel* tree = ui.structure();
    TreeModel* control = ui.control();
    QStandardItem* device = tree->item(0, 0);
    QVERIFY(preorder(device).size() > 1000);

    // The clicked line is there at once, so Read all can start from it.
    ui.click(device);
    QCOMPARE(control->rowCount(), 1);
    QCOMPARE(control->referenceOf(control->item(0, 0)), tree->referenceOf(device));
    // Sorting the tree meanwhile reorders lines the copy has not reached yet: it starts over.
    ui.part<QCheckBox>("naturalOrderCheck")->setChecked(true);
    QTRY_COMPARE(preorder(control->item(0, 0)), preorder(device));
    QTest::qWait(50);
    QCOMPARE(control->rowCount(), 1);
    QCOMPARE(preorder(control->item(0, 0)), preorder(device));
    ui.part<QCheckBox>("naturalOrderCheck")->setChecked(false);

    // Another click while the device is still being copied: nothing of the device stays or comes later.
    QStandardItem* node = device->child(device->rowCount() - 1, 0);
    ui.click(device);
    ui.click(node);
    QTRY_COMPARE(preorder(control->item(0, 0)), preorder(node));
    QTest::qWait(50);
    QCOMPARE(control->rowCount(), 1);
    QCOMPARE(preorder(control->item(0, 0)), preorder(node));
    QVERIFY(closer.notices.isEmpty());
}

void Iec61850ViewTest::readyWaitsForEveryAnswerOfASlowDevice() {
    SimulatorProcess simulator;
    QVERIFY2(simulator.startGenerated(17, {"--latency", "300"}), simulator.errorText().c_str());
    NoticeCloser closer;
    ViewUnderTest ui;
    QVERIFY(ui.connectAndBrowse(simulator.port()));
    ui.click(ui.structure()->item(0, 0));

    QSignalSpy reads(ui.view.get(), &Iec61850View::readValue);
    const int countedBefore = ui.packets()->text().toInt();
    int countedAtReady = -1;
    connect(ui.ready(), &QCheckBox::toggled, [&](bool on) {
        if (on && countedAtReady < 0) {
            countedAtReady = ui.packets()->text().toInt() - countedBefore;
        }
    });
    ui.button("readAllButton")->click();
    QVERIFY(!ui.ready()->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(countedAtReady >= 0, 30000);
    QVERIFY(reads.count() > 1000);
    QCOMPARE(countedAtReady, reads.count());
    QVERIFY(closer.notices.isEmpty());
}

QTEST_MAIN(Iec61850ViewTest)
#include "iec61850view_test.moc"
