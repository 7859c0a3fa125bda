// The Files and Logs dialogs against the simulator: the device's files listed, a COMTRADE record
// downloaded as one with its progress, a deletion after the question, and the sample bay's log
// queried and saved as CSV.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "filesdialog.h"
#include "logsdialog.h"
#include "viewharness.h"

using namespace viewharness;

namespace {

QTreeWidgetItem* findFile(QTreeWidget* tree, const QString& shown) {
    const auto found = tree->findItems(shown, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return found.isEmpty() ? nullptr : found.first();
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

}  // namespace

class Iec61850ViewRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void filesAreListedDownloadedAsARecordAndDeleted();
    void theLogIsQueriedAndSavedAsCsv();
};

void Iec61850ViewRecordsTest::filesAreListedDownloadedAsARecordAndDeleted() {
    if (!SimulatorProcess::available()) {
        QSKIP("the simulator is not part of this build");
    }
    QTemporaryDir served, local;
    QVERIFY(QDir(served.path()).mkpath("COMTRADE"));
    QByteArray big;
    for (int i = 0; i < 200000; ++i) {
        big.append(static_cast<char>(i % 251));
    }
    writeFile(served.filePath("COMTRADE/R1.cfg"), "cfg");
    writeFile(served.filePath("COMTRADE/R1.dat"), big);
    writeFile(served.filePath("COMTRADE/R2.cfg"), "other record");
    SimulatorProcess device;
    QVERIFY2(device.start(QString::fromStdString(SimulatorProcess::sampleModel()),
                          {"--files", served.path(), "--max-pdu", "4000"}),
             device.errorText().c_str());
    ViewUnderTest ui;
    NoticeCloser notices;
    QVERIFY(ui.connectAndBrowse(device.port()));

    ui.button("filesButton")->click();
    auto* dialog = ui.view->findChild<iec61850::FilesDialog*>("filesDialog");
    QVERIFY(dialog != nullptr);
    auto* tree = dialog->findChild<QTreeWidget*>("filesTree");
    QTRY_VERIFY(findFile(tree, "COMTRADE/") != nullptr);
    findFile(tree, "COMTRADE/")->setExpanded(true);
    QTRY_VERIFY(findFile(tree, "R1.dat") != nullptr);
    QCOMPARE(findFile(tree, "R1.dat")->text(1), iec61850::FilesDialog::sizeText(big.size()));

    // The cfg alone is chosen; the record's dat comes with it, the other record does not.
    dialog->setDownloadFolder(local.path());
    tree->clearSelection();
    findFile(tree, "R1.cfg")->setSelected(true);
    auto* progress = dialog->findChild<QProgressBar*>("downloadProgress");
    QSignalSpy progressed(progress, &QProgressBar::valueChanged);
    dialog->findChild<QPushButton*>("downloadButton")->click();
    auto* status = dialog->findChild<QLabel*>("filesStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Downloaded to"), 20000);
    QCOMPARE(progress->value(), 1000);
    QVERIFY(progressed.count() > 2);
    QCOMPARE(contentOf(local.filePath("R1.cfg")), QByteArray("cfg"));
    QCOMPARE(contentOf(local.filePath("R1.dat")), big);
    QVERIFY(!QFile::exists(local.filePath("R2.cfg")));
    QVERIFY(!QFile::exists(local.filePath("R1.dat.part")));

    // Deleting asks first; a "no" leaves the file.
    QStringList asked;
    bool answer = false;
    dialog->confirmDelete = [&](const QString& name) {
        asked << name;
        return answer;
    };
    tree->clearSelection();
    findFile(tree, "R2.cfg")->setSelected(true);
    // Delete waits until the dialog has finished with the download.
    QTRY_VERIFY(dialog->findChild<QPushButton*>("deleteButton")->isEnabled());
    dialog->findChild<QPushButton*>("deleteButton")->click();
    QCOMPARE(asked, QStringList{"/COMTRADE/R2.cfg"});
    QTest::qWait(200);
    QVERIFY(QFile::exists(served.filePath("COMTRADE/R2.cfg")));
    answer = true;
    dialog->findChild<QPushButton*>("deleteButton")->click();
    QTRY_VERIFY(!QFile::exists(served.filePath("COMTRADE/R2.cfg")));
    QTRY_VERIFY(findFile(tree, "R2.cfg") == nullptr);
}

void Iec61850ViewRecordsTest::theLogIsQueriedAndSavedAsCsv() {
    if (!SimulatorProcess::available()) {
        QSKIP("the simulator is not part of this build");
    }
    SimulatorProcess device;
    QVERIFY2(device.start(QString::fromStdString(SimulatorProcess::sampleModel()), {"--simulate"}),
             device.errorText().c_str());
    ViewUnderTest ui;
    NoticeCloser notices;
    QVERIFY(ui.connectAndBrowse(device.port()));

    ui.button("logsButton")->click();
    auto* dialog = ui.view->findChild<iec61850::LogsDialog*>("logsDialog");
    QVERIFY(dialog != nullptr);
    auto* logs = dialog->findChild<QComboBox*>("logsCombo");
    QTRY_COMPARE(logs->count(), 1);
    QCOMPARE(logs->currentData().toString(), QString("BAY1CTRL/LLN0$EventLog"));
    auto* table = dialog->findChild<QTableWidget*>("logTable");
    // The simulated inputs toggle; query until they have been logged.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            dialog->queryClicked();
            QTest::qWait(300);
            return table->rowCount() > 0;
        }(),
        20000);
    QVERIFY(table->item(0, 2)->text().startsWith("BAY1CTRL/GGIO1$ST$"));
    QVERIFY(table->item(0, 4)->text().contains("data-change"));
    QCOMPARE(table->item(0, 1)->text().size(), 16);

    // After the last entry shown: only newer entries are added.
    const int before = table->rowCount();
    const QString lastId = table->item(before - 1, 1)->text();
    dialog->findChild<QRadioButton*>("afterLastRadio")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            dialog->queryClicked();
            QTest::qWait(300);
            return table->rowCount() > before;
        }(),
        20000);
    QVERIFY(table->item(before, 1)->text() > lastId);

    QTemporaryDir folder;
    const QString csv = folder.filePath("log.csv");
    QVERIFY(dialog->writeCsv(csv));
    const QList<QByteArray> lines = contentOf(csv).split('\n');
    QCOMPARE(lines.first(), QByteArray("Time,Entry ID,Reference,Value,Reason"));
    QCOMPARE(lines.size(), table->rowCount() + 2);  // the header, and nothing after the last line break
    QCOMPARE(iec61850::LogsDialog::csvField("a,\"b\""), QString("\"a,\"\"b\"\"\""));
}

QTEST_MAIN(Iec61850ViewRecordsTest)
#include "iec61850view_records_test.moc"
