// The report box against the simulator: a block enabled from the control box brings reports newest
// first with their values flashing in the trees, disabling stops them; and the box's own rules for
// values that cannot be placed, calls without a report, and its bound.
#include "iec61850view.h"

#include <QBrush>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include "viewharness.h"

using iec61850::Iec61850View;
using namespace viewharness;

namespace {

const QString kFeeder = QStringLiteral("BAY1MEAS/LLN0.Feeder");
const QString kTotW = QStringLiteral("BAY1MEAS/MMXU1.TotW.mag.f");

struct ReportView : ViewUnderTest {
    bool browse(quint16 serverPort) const {
        connectTo(serverPort);
        return QTest::qWaitFor([this] { return status()->text() == "ConnectedState"; }, kBrowseTimeoutMs);
    }
    QStandardItem* blockLine(const QString& name) const {
        return findLine(structure()->invisibleRootItem(),
                        [&](QStandardItem* line) { return line->text().endsWith(" " + name); });
    }
    void addReport(const QString& dataSet, const QString& dataRef, const QStringList& values) const {
        QVERIFY(QMetaObject::invokeMethod(view.get(), "addReport", Q_ARG(QString, dataSet),
                                          Q_ARG(QString, dataRef), Q_ARG(QStringList, values)));
    }
    // Reports are shown once the window has taken what is queued to it.
    void showReports() const { QCoreApplication::processEvents(); }
};

}  // namespace

class Iec61850ViewReportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void enablingABlockShowsReportsNewestFirstAndDisablingStopsThem();
    void valuesWithoutAPlaceInTheTreesAreStillShown();
    void theReportListKeepsTheNewestEntriesOnly();

private:
    bool startSimulator(SimulatorProcess& simulator, const QStringList& extra = {});
};

void Iec61850ViewReportTest::initTestCase() {
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("Korvan");
    QSettings().clear();
}

bool Iec61850ViewReportTest::startSimulator(SimulatorProcess& simulator, const QStringList& extra) {
    if (!simulator.start(QString::fromStdString(SimulatorProcess::sampleModel()), extra)) {
        qWarning("%s", simulator.errorText().c_str());
        return false;
    }
    return true;
}

void Iec61850ViewReportTest::enablingABlockShowsReportsNewestFirstAndDisablingStopsThem() {
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator, {"--simulate"}));
    ReportView ui;
    QVERIFY(ui.browse(simulator.port()));

    // The unbuffered block of the feeder measurements sends no data references.
    QStandardItem* block = ui.blockLine("MeasUrcb01");
    QVERIFY(block != nullptr);
    ui.click(block);
    auto* button = ui.part<QPushButton>("enableDisableButton");
    QVERIFY(button->isEnabled());
    QSignalSpy toggles(ui.view.get(), &Iec61850View::enableDisableReport);
    button->click();
    QCOMPARE(toggles.takeFirst().at(0).toString(), QString("BAY1MEAS/LLN0.RP.MeasUrcb01"));
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QString("Disable"), 10000);

    QStandardItemModel* reports = ui.reports();
    QTRY_VERIFY_WITH_TIMEOUT(reports->rowCount() >= 1 && reports->item(0)->rowCount() > 0, 20000);
    QCOMPARE(reports->item(0)->text(), kFeeder);
    // Each value line names a line of the structure tree, which shows the value and flashes.
    const QString ref = reports->item(0)->child(0, 0)->text();
    const QString value = reports->item(0)->child(0, 1)->text();
    QStandardItem* line = ui.structure()->itemOf(ref);
    QVERIFY2(line != nullptr, qPrintable(ref));
    QVERIFY(!value.isEmpty());
    QTRY_COMPARE(line->background().color(), QColor(Qt::darkCyan));

    // A later report goes on top; the earlier one moves down unchanged.
    QPersistentModelIndex earlier(reports->index(0, 0));
    const int earlierValues = reports->item(0)->rowCount();
    QTRY_VERIFY_WITH_TIMEOUT(earlier.row() >= 1, 20000);
    QCOMPARE(reports->itemFromIndex(earlier)->rowCount(), earlierValues);

    // Disabled: after what was on its way, nothing more arrives (the block's period is 2 s).
    ui.click(ui.blockLine("MeasUrcb01"));
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QString("Enable"), 10000);
    QTest::qWait(500);
    const int stopped = reports->rowCount();
    QTest::qWait(2500);
    QCOMPARE(reports->rowCount(), stopped);
}

void Iec61850ViewReportTest::valuesWithoutAPlaceInTheTreesAreStillShown() {
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator));
    ReportView ui;
    QVERIFY(ui.browse(simulator.port()));
    QStandardItemModel* reports = ui.reports();

    // A member call before any report has nowhere to go.
    ui.addReport(kFeeder, kTotW, {"1"});
    QCOMPARE(reports->rowCount(), 0);

    ui.addReport(kFeeder, QString(), {});
    ui.addReport(kFeeder, kTotW, {"12.5"});
    ui.showReports();
    QCOMPARE(reports->item(0)->rowCount(), 1);
    QCOMPARE(reports->item(0)->child(0, 0)->text(), kTotW);
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("12.5"));

    // Values that do not pair with the member's lines, and a member discovery never listed: both shown
    // under the report with the member's reference; the trees keep their values.
    ui.addReport(kFeeder, QString(), {});
    ui.addReport(kFeeder, kTotW, {"1", "2", "3"});
    ui.addReport(kFeeder, QStringLiteral("BAY1MEAS/MMXU9.Gone.mag.f"), {"7"});
    ui.showReports();
    QCOMPARE(reports->rowCount(), 2);
    QCOMPARE(reports->item(0)->rowCount(), 2);
    QCOMPARE(reports->item(0)->child(0, 0)->text(), kTotW);
    QCOMPARE(reports->item(0)->child(0, 1)->text(), QString("1; 2; 3"));
    QCOMPARE(reports->item(0)->child(1, 1)->text(), QString("7"));
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("12.5"));
    QCOMPARE(reports->item(1)->child(0, 1)->text(), QString("12.5"));

    // The rest of a report already shown goes under it.
    ui.addReport(kFeeder, kTotW, {"13.5"});
    QCOMPARE(reports->item(0)->rowCount(), 3);
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("13.5"));
}

void Iec61850ViewReportTest::theReportListKeepsTheNewestEntriesOnly() {
    ReportView ui;
    for (int i = 0; i < 1010; ++i) {
        ui.addReport(QString::number(i), QString(), {});
        if (i == 500) {
            ui.showReports();  // in two batches: one within the bound, one beyond it
        }
    }
    ui.showReports();
    QStandardItemModel* reports = ui.reports();
    QCOMPARE(reports->rowCount(), 1000);
    QCOMPARE(reports->item(0)->text(), QString("1009"));
    QCOMPARE(reports->item(999)->text(), QString("10"));
}

QTEST_MAIN(Iec61850ViewReportTest)
#include "iec61850view_report_test.moc"
