// The report box against the simulator: a block enabled from the control box brings reports newest
// first with their values flashing in the trees, disabling stops them; a buffered block sent in
// segments shows its header fields; and the box's own rules for values that cannot be placed, calls
// without a report, its bound, filter, pause, clear and CSV.
#include "iec61850view.h"

#include <QBrush>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTextStream>
#include <QtTest>

#include <thread>

#include "iec61850network.h"
#include "reportheader.h"
#include "reportlogmodel.h"
#include "viewharness.h"

using iec61850::Iec61850View;
using iec61850::ReportHeader;
using iec61850::ReportLogModel;
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
    void addHeader(const ReportHeader& header) const {
        QVERIFY(
            QMetaObject::invokeMethod(view.get(), "addReportHeader", Q_ARG(iec61850::ReportHeader, header)));
    }
    // Reports are shown once the window has taken what is queued to it.
    void showReports() const { QCoreApplication::processEvents(); }
    ReportLogModel* log() const { return qobject_cast<ReportLogModel*>(reports()); }
    // Text of a report entry (parentRow < 0) or of a value line of entry parentRow.
    QString text(int row, int column, int parentRow = -1) const {
        const QModelIndex parent = parentRow < 0 ? QModelIndex() : reports()->index(parentRow, 0);
        return reports()->index(row, column, parent).data().toString();
    }
    int values(int row) const { return reports()->rowCount(reports()->index(row, 0)); }
    QString csv() const {
        QString text;
        QTextStream out(&text);
        log()->writeCsv(out);
        out.flush();
        return text;
    }
};

ReportHeader headerOf(const QString& block, const QString& dataSet, int seqNum, QList<int> reasons = {}) {
    ReportHeader header;
    header.block = block;
    header.dataSetRef = dataSet;
    header.rptId = block + "/id";
    header.seqNum = seqNum;
    header.arrivalMs = 1700000000000 + seqNum;
    header.reasons = std::move(reasons);
    return header;
}

}  // namespace

class Iec61850ViewReportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void enablingABlockShowsReportsNewestFirstAndDisablingStopsThem();
    void valuesWithoutAPlaceInTheTreesAreStillShown();
    void theReportListKeepsTheNewestEntriesOnly();
    void aBufferedBlockSentInSegmentsShowsItsHeaderFields();
    void headerFieldsPairWithTheirEntryAndOverflowShows();
    void filterPauseAndClear();
    void csvHasOneLinePerValueOldestFirst();
    void reportsFromTheEngineKeepTheirOrderAndTheirPlaceAmongValues();

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

    QAbstractItemModel* reports = ui.reports();
    QTRY_VERIFY_WITH_TIMEOUT(reports->rowCount() >= 1 && ui.values(0) > 0, 20000);
    QCOMPARE(ui.text(0, 0), kFeeder);
    // The header fields the block sends: its RptID, a sequence number, ConfRev; reasons per value.
    QCOMPARE(ui.text(0, ReportLogModel::Block), QString("BAY1MEAS/LLN0.RP.MeasUrcb01"));
    QCOMPARE(ui.text(0, ReportLogModel::RptId), QString("BAY1/FeederU"));
    QCOMPARE(ui.text(0, ReportLogModel::ConfRev), QString("1"));
    QVERIFY(!ui.text(0, ReportLogModel::SqNum).isEmpty());
    QVERIFY(!ui.text(0, ReportLogModel::Reason, 0).isEmpty());
    // Each value line names a line of the structure tree, which shows the value and flashes.
    const QString ref = ui.text(0, 0, 0);
    const QString value = ui.text(0, 1, 0);
    QStandardItem* line = ui.structure()->itemOf(ref);
    QVERIFY2(line != nullptr, qPrintable(ref));
    QVERIFY(!value.isEmpty());
    QTRY_COMPARE(line->background().color(), QColor(Qt::darkCyan));

    // A later report goes on top; the earlier one moves down unchanged.
    QPersistentModelIndex earlier(reports->index(0, 0));
    const int earlierValues = ui.values(0);
    const QString earlierSqNum = ui.text(0, ReportLogModel::SqNum);
    QTRY_VERIFY_WITH_TIMEOUT(earlier.row() >= 1, 20000);
    QCOMPARE(reports->rowCount(earlier), earlierValues);
    QCOMPARE(earlier.sibling(earlier.row(), ReportLogModel::SqNum).data().toString(), earlierSqNum);

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
    QAbstractItemModel* reports = ui.reports();

    // A member call before any report has nowhere to go.
    ui.addReport(kFeeder, kTotW, {"1"});
    QCOMPARE(reports->rowCount(), 0);

    ui.addReport(kFeeder, QString(), {});
    ui.addReport(kFeeder, kTotW, {"12.5"});
    ui.showReports();
    QCOMPARE(ui.values(0), 1);
    QCOMPARE(ui.text(0, 0, 0), kTotW);
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("12.5"));

    // Values that do not pair with the member's lines, and a member discovery never listed: both shown
    // under the report with the member's reference; the trees keep their values.
    ui.addReport(kFeeder, QString(), {});
    ui.addReport(kFeeder, kTotW, {"1", "2", "3"});
    ui.addReport(kFeeder, QStringLiteral("BAY1MEAS/MMXU9.Gone.mag.f"), {"7"});
    ui.showReports();
    QCOMPARE(reports->rowCount(), 2);
    QCOMPARE(ui.values(0), 2);
    QCOMPARE(ui.text(0, 0, 0), kTotW);
    QCOMPARE(ui.text(0, 1, 0), QString("1; 2; 3"));
    QCOMPARE(ui.text(1, 1, 0), QString("7"));
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("12.5"));
    QCOMPARE(ui.text(0, 1, 1), QString("12.5"));

    // The rest of a report already shown goes under it.
    ui.addReport(kFeeder, kTotW, {"13.5"});
    QCOMPARE(ui.values(0), 3);
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
    QCOMPARE(ui.reports()->rowCount(), 1000);
    QCOMPARE(ui.text(0, 0), QString("1009"));
    QCOMPARE(ui.text(999, 0), QString("10"));
}

void Iec61850ViewReportTest::aBufferedBlockSentInSegmentsShowsItsHeaderFields() {
    SimulatorProcess simulator;
    // A report of all 24 points does not fit 800 bytes (their directory does): the integrity reports come in
    // segments.
    QVERIFY2(simulator.start(QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/view/report_log_model.icd"),
                             QStringList{"--max-pdu", "800"}),
             simulator.errorText().c_str());
    ReportView ui;
    NoticeCloser closer;
    QVERIFY(ui.browse(simulator.port()));
    QStandardItem* block = ui.blockLine("Log");
    QVERIFY(block != nullptr);
    ui.click(block);
    ui.button("enableDisableButton")->click();

    // Wait for a whole segmented report: its last segment says no more follow.
    const auto lastSegment = [&ui] {
        for (int row = 0; row < ui.reports()->rowCount(); ++row) {
            const QString sqNum = ui.text(row, ReportLogModel::SqNum);
            if (sqNum.contains("segment") && !sqNum.contains("more follow") &&
                !sqNum.contains("segment 0)")) {
                return row;
            }
        }
        return -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(lastSegment() >= 0, 20000);
    const int last = lastSegment();
    const QString sqNum = ui.text(last, ReportLogModel::SqNum).section(' ', 0, 0);
    // Its earlier segments are below it (older), with the same SqNum and more to follow.
    int members = ui.values(last);
    int earlierSegments = 0;
    for (int row = last + 1; row < ui.reports()->rowCount(); ++row) {
        const QString text = ui.text(row, ReportLogModel::SqNum);
        if (text.section(' ', 0, 0) != sqNum) {
            break;
        }
        QVERIFY2(text.contains("more follow"), qPrintable(text));
        members += ui.values(row);
        ++earlierSegments;
    }
    QVERIFY(earlierSegments >= 1);
    // Every one of the 24 points arrived once with its three attributes, none lost between segments.
    QCOMPARE(members, 24 * 3);

    QCOMPARE(ui.text(last, ReportLogModel::Block), QString("RLD0/LLN0.BR.Log"));
    QCOMPARE(ui.text(last, ReportLogModel::RptId), QString("R/Log"));
    QCOMPARE(ui.text(last, ReportLogModel::DataSet), QString("RLD0/LLN0.Many"));
    QCOMPARE(ui.text(last, ReportLogModel::ConfRev), QString("3"));
    QCOMPARE(ui.text(last, ReportLogModel::BufOvfl), QString("false"));
    const QRegularExpression entryId("^([0-9a-f]{2} ){7}[0-9a-f]{2}$");
    QVERIFY2(entryId.match(ui.text(last, ReportLogModel::EntryId)).hasMatch(),
             qPrintable(ui.text(last, ReportLogModel::EntryId)));
    const QRegularExpression arrival("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}$");
    QVERIFY(arrival.match(ui.text(last, ReportLogModel::Arrival)).hasMatch());
    // An integrity report includes every member for that reason.
    for (int value = 0; value < ui.values(last); ++value) {
        QCOMPARE(ui.text(value, ReportLogModel::Reason, last), QString("integrity"));
        QVERIFY(ui.text(value, ReportLogModel::Reference, last).startsWith("RLD0/GGIO"));
    }
}

void Iec61850ViewReportTest::headerFieldsPairWithTheirEntryAndOverflowShows() {
    ReportView ui;
    ReportHeader header = headerOf("LD/LLN0.BR.b", "LD/LLN0.DS", 7, {1 | 2, 16});
    header.bufOvfl = 1;
    header.subSeqNum = 2;
    header.entryId = "00 00 00 00 00 00 00 0a";
    ui.addHeader(header);
    ui.addReport("LD/LLN0.DS", QString(), {});
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind1.stVal", {"true"});
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind2.stVal", {"false"});
    // A header for another data set does not belong to the entry that follows.
    ui.addHeader(headerOf("LD/LLN0.RP.u", "LD/LLN0.Other", 8));
    ui.addReport("LD/LLN0.DS", QString(), {});
    ui.showReports();

    QCOMPARE(ui.reports()->rowCount(), 2);
    QCOMPARE(ui.text(1, ReportLogModel::BufOvfl), QString("true"));
    QCOMPARE(ui.text(1, ReportLogModel::SqNum), QString("7 (segment 2)"));
    QCOMPARE(ui.text(1, ReportLogModel::EntryId), QString("00 00 00 00 00 00 00 0a"));
    QCOMPARE(ui.text(0, ReportLogModel::Reason, 1), QString("data-change, quality-change"));
    QCOMPARE(ui.text(1, ReportLogModel::Reason, 1), QString("general-interrogation"));
    QCOMPARE(ui.text(0, ReportLogModel::Block), QString());
    QCOMPARE(ui.text(0, ReportLogModel::SqNum), QString());
    QVERIFY(!ui.text(0, ReportLogModel::Arrival).isEmpty());

    // A member that arrives after its report was shown keeps the reason its header gave it.
    ui.addHeader(headerOf("LD/LLN0.BR.b", "LD/LLN0.DS", 9, {1, 8}));
    ui.addReport("LD/LLN0.DS", QString(), {});
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind1.stVal", {"true"});
    ui.showReports();
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind2.stVal", {"false"});
    QCOMPARE(ui.values(0), 2);
    QCOMPARE(ui.text(0, ReportLogModel::Reason, 0), QString("data-change"));
    QCOMPARE(ui.text(1, ReportLogModel::Reason, 0), QString("integrity"));
}

void Iec61850ViewReportTest::filterPauseAndClear() {
    ReportView ui;
    const auto report = [&ui](const QString& block, int seqNum) {
        ui.addHeader(headerOf(block, "LD/LLN0.DS", seqNum));
        ui.addReport("LD/LLN0.DS", QString(), {});
        ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind1.stVal", {QString::number(seqNum)});
    };
    report("LD/LLN0.RP.a", 1);
    report("LD/LLN0.RP.b", 2);
    report("LD/LLN0.RP.a", 3);
    ui.showReports();

    // The filter offers each block once and shows only its reports, newest first.
    auto* blocks = ui.part<QComboBox>("reportBlockCombo");
    QCOMPARE(blocks->count(), 3);
    blocks->setCurrentText("LD/LLN0.RP.a");
    QCOMPARE(ui.reports()->rowCount(), 2);
    QCOMPARE(ui.text(0, ReportLogModel::SqNum), QString("3"));
    QCOMPARE(ui.text(1, ReportLogModel::SqNum), QString("1"));
    QCOMPARE(ui.text(0, 1, 1), QString("1"));

    // Paused: nothing moves, what arrives is held and counted, and shown on resuming in order.
    auto* pause = ui.button("reportPauseButton");
    pause->click();
    report("LD/LLN0.RP.a", 4);
    report("LD/LLN0.RP.b", 5);
    report("LD/LLN0.RP.a", 6);
    ui.showReports();
    QCOMPARE(ui.reports()->rowCount(), 2);
    QCOMPARE(ui.text(0, ReportLogModel::SqNum), QString("3"));
    QVERIFY(ui.part<QLabel>("reportHeldLabel")->text().startsWith("3 "));
    pause->click();
    QCOMPARE(ui.reports()->rowCount(), 4);
    QCOMPARE(ui.text(0, ReportLogModel::SqNum), QString("6"));
    QCOMPARE(ui.text(1, ReportLogModel::SqNum), QString("4"));
    QCOMPARE(ui.text(0, 1, 0), QString("6"));

    blocks->setCurrentIndex(0);
    QCOMPARE(ui.reports()->rowCount(), 6);
    ui.button("reportClearButton")->click();
    QCOMPARE(ui.reports()->rowCount(), 0);
    // A member call after a clear has no report to join.
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind1.stVal", {"9"});
    QCOMPARE(ui.reports()->rowCount(), 0);
    report("LD/LLN0.RP.b", 7);
    ui.showReports();
    QCOMPARE(ui.reports()->rowCount(), 1);
}

void Iec61850ViewReportTest::csvHasOneLinePerValueOldestFirst() {
    ReportView ui;
    ReportHeader first = headerOf("LD/LLN0.BR.b", "LD/LLN0.DS", 1, {1, 8});
    first.entryId = "00 01";
    first.confRev = 4;
    first.bufOvfl = 0;
    ui.addHeader(first);
    ui.addReport("LD/LLN0.DS", QString(), {});
    // Texts with a separator, a quote or a line break stay one field.
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind1.stVal", {"a, b"});
    ui.addReport("LD/LLN0.DS", "LD/GGIO1.Ind2.stVal", {"say \"x\"\nnext"});
    ui.addHeader(headerOf("LD/LLN0.RP.u", "LD/LLN0.DS", 2));
    ui.addReport("LD/LLN0.DS", QString(), {});
    ui.showReports();

    const QStringList lines = ui.csv().split('\n');
    QCOMPARE(lines.at(0),
             QString("Reference,Value,Arrival,Block,RptID,SqNum,EntryID,Data set,ConfRev,BufOvfl,Reason"));
    const QString arrival = ui.text(1, ReportLogModel::Arrival);
    QCOMPARE(
        lines.at(1),
        QString("LD/GGIO1.Ind1.stVal,\"a, b\",%1,LD/LLN0.BR.b,LD/LLN0.BR.b/id,1,00 01,LD/LLN0.DS,4,false,"
                "data-change")
            .arg(arrival));
    QCOMPARE(lines.at(2), QString("LD/GGIO1.Ind2.stVal,\"say \"\"x\"\""));
    QCOMPARE(
        lines.at(3),
        QString("next\",%1,LD/LLN0.BR.b,LD/LLN0.BR.b/id,1,00 01,LD/LLN0.DS,4,false,integrity").arg(arrival));
    // A report without values is one line of its own fields.
    QCOMPARE(lines.at(4), QString("LD/LLN0.DS,,%1,LD/LLN0.RP.u,LD/LLN0.RP.u/id,2,,LD/LLN0.DS,,,")
                              .arg(ui.text(0, ReportLogModel::Arrival)));
    QCOMPARE(lines.size(), 6);  // and the final line break
}

// The engine announces reports from its receive thread while its own thread announces values: a value
// read after a report must not be overwritten by that report, and a storm of reports must reach the
// log whole, each entry with its own header and members, however the window takes them in slices.
void Iec61850ViewReportTest::reportsFromTheEngineKeepTheirOrderAndTheirPlaceAmongValues() {
    SimulatorProcess simulator;
    QVERIFY(startSimulator(simulator));
    ReportView ui;
    QVERIFY(ui.browse(simulator.port()));
    iec61850::Iec61850Network* engine = ui.view->engine();
    const auto announce = [engine](int seqNum, const QString& value) {
        emit engine->addReportHeader(headerOf("BAY1MEAS/LLN0.RP.MeasUrcb01", kFeeder, seqNum, {1, 2}));
        emit engine->addReport(kFeeder, QString(), QStringList());
        emit engine->addReport(kFeeder, kTotW, QStringList{value});
        emit engine->addReport(kFeeder, QStringLiteral("BAY1MEAS/MMXU9.Gone.mag.f"),
                               QStringList{QString::number(seqNum)});
    };

    // Joined also when a check below returns early.
    struct Receiver : std::thread {
        using std::thread::thread;
        ~Receiver() {
            if (joinable()) {
                join();
            }
        }
    };
    {
        Receiver receiver([&] {
            announce(1, "12.5");
            emit engine->updateValue(kTotW, "20");
        });
    }
    QTRY_COMPARE(ui.reports()->rowCount(), 1);
    QCOMPARE(ui.text(0, ReportLogModel::SqNum), QString("1"));
    QTRY_COMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("20"));
    QTest::qWait(50);
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString("20"));

    constexpr int kStorm = 3000;
    Receiver storm([&] {
        for (int n = 2; n <= kStorm; ++n) {
            announce(n, QString::number(n));
        }
    });
    // Taken while the storm is still coming, as the window does.
    QTRY_COMPARE_WITH_TIMEOUT(ui.text(0, ReportLogModel::SqNum), QString::number(kStorm), 30000);
    QCOMPARE(ui.reports()->rowCount(), 1000);
    for (int row = 0; row < 1000; ++row) {
        const int seqNum = kStorm - row;
        QCOMPARE(ui.text(row, ReportLogModel::SqNum), QString::number(seqNum));
        QCOMPARE(ui.values(row), 2);
        QCOMPARE(ui.text(0, ReportLogModel::Value, row), QString::number(seqNum));
        QCOMPARE(ui.text(1, ReportLogModel::Value, row), QString::number(seqNum));
        QCOMPARE(ui.text(1, ReportLogModel::Reason, row), QString("quality-change"));
    }
    QCOMPARE(valueOf(ui.structure()->itemOf(kTotW)), QString::number(kStorm));
}

QTEST_MAIN(Iec61850ViewReportTest)
#include "iec61850view_report_test.moc"
