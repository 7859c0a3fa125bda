#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QStringList>
#include <QThread>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "announcementqueue.h"
#include "nextslice.h"
#include "reportheader.h"
#include "subtreewalk.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPoint;
class QPaintEvent;
class QProgressBar;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTimer;
class QTreeView;
class ControlDialog;

namespace iec61850 {
class FilesDialog;
class LogsDialog;
class ReportControlBlockDialog;
class SettingGroupDialog;
class SubstitutionDialog;
class WriteValueDialog;
}  // namespace iec61850

namespace iec61850 {

class ExpansionMemory;
class FindBar;
struct SclLoad;
class SclCompareDialog;
class Iec61850Network;
class ReportLogModel;
class TreeModel;

// The widget shown in the shell's "IEC61850" tab. It owns the engine and the worker thread the engine
// runs in, and talks to the engine only through queued signals and slots.
class Iec61850View : public QWidget {
    Q_OBJECT

public:
    explicit Iec61850View(QWidget* parent = nullptr);
    ~Iec61850View() override;
    // The engine behind the view, for tests and benchmarks that announce what a device would through
    // its signals; the view itself talks to it only through queued signals and slots.
    Iec61850Network* engine() const { return network; }

signals:
    void addItem(const QString& dataString, const QString& refString, int layer);
    void doConnect(const QString& IP, int port);
    void doDisconnect();
    void readValue(const QString& refString);
    void enableDisableReport(const QString& refString);
    // Declared for the library's interface; the control dialog talks to the engine itself.
    void controlSelect(const QString& objectPosRef);
    void controlSelectWithValue(const QString& objectPosRef, bool state);
    void controlCancel(const QString& objectPosRef);
    void controlOperate(const QString& objectPosRef, bool state);
    void setStatusBarMessage(const QString& text);
    // For the message log only: what went well, which the status bar (an alert) does not show.
    void logMessage(const QString& text);
    void createDataSet(const QString& dataSetRef, const QStringList& memberRefs);
    void deleteDataSet(const QString& dataSetRef);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void connectClicked();
    void disconnectClicked();
    void readClicked();
    void enableDisableClicked();
    void controlOperateDone(const QString& controllableDataObjectRef);
    void addRemoveButtonClicked();
    void dialogRemoveButtonClicked();
    void startStopPollButtonClicked();
    void renameForView(const QString& dataString, const QString& refString, const QString& fcString,
                       int layer);
    void updateValue(const QString& refString = QString(), const QString& valueString = QString());
    void structureViewClicked();
    void connectionStateChanged(bool state);
    void addReport(const QString& dataSetRef, QString dataRef = "", QStringList valueList = QStringList());
    void timerPollingHandler();
    void timerNewValueHandler();
    void filesClicked();
    void logsClicked();
    void addReportHeader(const iec61850::ReportHeader& header);
    void exportReportLogClicked();
    void controlResultArrived(bool success, const QString& text);
    void discoveryProgress(int done, int total);
    // Configuration files (iec61850view_scl.cpp). Without a connection the file's model shows in the
    // structure tree offline; with one, the file is kept for comparing. An empty `iedName` asks for
    // one when the file has several.
    void openSclClicked();
    void openSclFile(const QString& path, const QString& iedName = QString());
    // Compares the connected device with the file opened, on an association of its own in a worker
    // thread, and shows the differences.
    void compareSclClicked();
    // Lines and values announced by the engine (announcementqueue.h).
    void takeAnnouncements();
    void applyAnnouncementSlice();
    void applyAllAnnouncements();
    // Runs on the engine's thread, for whatever else the engine says.
    void closeAnnouncementBatch();
    void newDataSetClicked();
    void deleteDataSetClicked();
    void dataSetCreated(const QString& dataSetRef, const QStringList& memberRefs);
    void dataSetDeleted(const QString& dataSetRef);
    // Saves the connected device's model as an ICD file (iec61850view_sclsave.cpp): the path is asked
    // for, then the model is read on an association of its own in a worker thread.
    void saveModelAsSclClicked();
    void saveModelAsScl(const QString& path);
    // Stops the "Open SCL..." under way; what the view showed before stays (iec61850view_scl.cpp).
    void cancelSclLoadClicked();

private:
    void makeConnectBox();
    void disableConnectBox(bool disable);
    void getRegistryValue();
    void makeStructureBox();
    void readAllValues(const QString& ref);
    QStringList getItemRefWithValue(const QString& ref, const QString& filter);
    void makeControlBox();
    // Shows `item` (of layer `layer`) and its subtree in the control box: a logical node or less at
    // once, a larger subtree a slice at a time on later turns of the event loop.
    void updateControlBox(QStandardItem* item, int layer);
    void makeReportBox();
    // Reports are shown in batches, so that a device reporting faster than the window can draw costs
    // one pass per batch instead of one per report (iec61850view_report.cpp).
    struct PendingReport {
        ReportHeader header;
        QList<QPair<QString, QStringList>> members;  // member reference, value texts
    };
    void showPendingReports();
    // A report's opening (no member) or one of its members, taken into the reports to show next.
    void takeReport(const QString& dataSetRef, const QString& dataRef, const QStringList& valueList);
    // The value lines of one member: tree references with their values when they pair with the member's
    // lines, otherwise one line under the member's own reference.
    QList<QPair<QString, QString>> reportLines(const QString& dataSetRef, const QString& dataRef,
                                               const QStringList& valueList, bool* placed);
    // The tree lines a member's values go to, as reportLines pairs them; computed once per member and
    // value count, and again when the structure tree changes.
    QStringList placementOf(const QString& dataSetRef, const QString& dataRef, int valueCount);
    void showHeldCount();
    void makePollDialog();
    void updatePollDialog(QStandardItem* item, int layer);
    bool isInvalidRefExist(const QStringList& refs);
    void constructPollingLists(QStandardItem* item, bool isRoot);
    void stopPollingIfListEmpty();
    // Runs `then` on this thread once the engine has handled every read asked for so far.
    void awaitReadsHandled(std::function<void()> then);
    void pollAnswersIn();
    void readAllAnswersIn();
    void connectSignals();
    // Writes (iec61850view_writes.cpp): double-click, F2 and the context menu of both trees.
    void makeWriteActions();
    void startWrite(QTreeView* tree, const QModelIndex& index);
    void showLineMenu(QTreeView* tree, const QPoint& pos);
    void openReportBlock(TreeModel* model, QStandardItem* line);
    void openSettingGroups(const QString& sgcbRef);
    // Discovery and Read all show how far they are in a bar below the structure tree, gone once they
    // end, also when the association ends first (iec61850view_progress.cpp).
    void makeProgressBar();
    void showProgress();
    void endProgressWith(bool connectionState);
    void makeSclButtons();
    bool showsOfflineModel() const;
    // Waits for every SCL worker still running (opening, comparing, saving); the view is going.
    void finishSclWork();
    void connectAnnouncements();
    // Shows what has been taken from the engine's batches, in order, for at most `budgetMs` (all when
    // negative); what is left waits for a later pass of the event loop.
    void applyAnnouncements(qint64 budgetMs);
    void showValue(const QString& refString, const QString& valueString);
    void valuesShown(int count);
    // The structure box's data set buttons and their wiring (iec61850view_datasets.cpp).
    void makeDataSetActions();

    QSettings settings;
    Iec61850Network* network;
    QThread networkThread;
    QTimer* newValueTimer;
    QTimer* pollTimer;

    QGroupBox* connectBox;
    QLineEdit* ipEdit;
    QLineEdit* portEdit;
    QPushButton* connectButton;
    QPushButton* disconnectButton;
    QPushButton* filesButton;
    QPushButton* logsButton;
    FilesDialog* filesDialog = nullptr;
    LogsDialog* logsDialog = nullptr;
    QLineEdit* statusEdit;
    QPushButton* openSclButton = nullptr;
    // The configuration file last opened and the IED chosen from it.
    QString sclPath;
    QString sclIed;
    QPushButton* compareSclButton = nullptr;
    QThread* sclWorker = nullptr;  // the comparison under way; null when none
    SclCompareDialog* sclCompareDialog = nullptr;

    QGroupBox* structureBox;
    TreeModel* structureModel;
    QTreeView* structureView;
    QCheckBox* readyCheck;
    QComboBox* expandCombo;
    QPushButton* addRemoveButton;
    QPushButton* startStopPollButton;
    QPushButton* openPollListButton;
    QLineEdit* packetsEdit;

    QGroupBox* controlBox;
    TreeModel* controlModel;
    QTreeView* controlView;
    QPushButton* readAllButton;
    QPushButton* enableDisableButton;
    QPushButton* controlButton;
    QStringList selectedRefs;
    QString selectedRcbFc;
    ControlDialog* controlDialog;

    QGroupBox* reportBox;
    ReportLogModel* reportLog;
    QTreeView* reportView;
    QComboBox* reportBlockCombo;
    QPushButton* reportPauseButton;
    QPushButton* reportClearButton;
    QPushButton* reportExportButton;
    QLabel* reportHeldLabel;
    QList<PendingReport> pendingReports;
    std::optional<ReportHeader> nextReportHeader;  // announced for the report whose entry comes next
    // The newest report shown, for members of it that arrive after it was shown.
    QList<int> newestReportReasons;
    int newestReportMembers = 0;
    QHash<QString, QStringList> reportPlacements;
    QTimer* reportBatchTimer;
    QTimer* reportStormEnd;
    int reportsSinceTrim = 0;

    QDialog* pollDialog;
    TreeModel* pollModel;
    QLineEdit* pollIntervalEdit;
    QTreeView* pollView;
    QPushButton* dialogRemoveButton;
    QPushButton* dialogStartStopButton;
    QLabel* lastPollLabel;
    QLabel* achievedPeriodLabel;
    QElapsedTimer pollClock;
    QList<qint64> tickStartsMs;  // when the ticks since polling started went out
    bool pollListChanged = false;
    QStringList pollRefs;
    // A tick's reads are still queued or in progress on the engine's thread.
    bool pollAnswersPending = false;

    WriteValueDialog* writeDialog = nullptr;
    ReportControlBlockDialog* rcbDialog = nullptr;
    SettingGroupDialog* settingGroupDialog = nullptr;
    SubstitutionDialog* substitutionDialog = nullptr;
    QProgressBar* progressBar;
    int discoveryDone = 0;
    int discoveryTotal = 0;  // 0 while no walk runs
    int readAllsRunning = 0;

    FindBar* findBar;
    QCheckBox* naturalOrderCheck;
    ExpansionMemory* expansionMemory;

    std::unique_ptr<AnnouncementQueue> announcements;
    std::deque<Announcement> unapplied;  // taken from the queue, not yet shown
    NextSlice announcementSlice{this, [this] { applyAnnouncementSlice(); }};
    QPushButton* newDataSetButton;
    QPushButton* deleteDataSetButton;

    void makeSclSaveButton();
    QPushButton* saveSclButton = nullptr;
    QThread* sclSaveWorker = nullptr;  // the save under way; null when none
    QString sclSavePath;               // the file last saved, where the dialog starts
    // Every SCL job off the window's thread (opening, comparing, saving) runs through startSclWorker:
    // `work` on a thread of its own, then `then` on this thread once that thread has ended; when the
    // view goes first, finishSclWork waits for the thread and `then` never runs.
    QThread* startSclWorker(std::function<void()> work, std::function<void()> then);
    // "Open SCL..." reads the file and builds its model off the window's thread, then files the lines
    // into the tree a slice at a time (iec61850view_scl.cpp); its progress shares the progress bar.
    void sclFileRead(const std::shared_ptr<SclLoad>& load);
    void sclLinesMade(const std::shared_ptr<SclLoad>& load);
    void fileSclLines(const std::shared_ptr<SclLoad>& load);
    void endSclLoad();
    // Gives up the open under way; lines it had filed go with it.
    void dropSclLoad();
    // A connection is being made: lines of a file still being filed would mix with the device's.
    void stopFilingSclLines();
    // False when no file is being opened; otherwise sets the bar for it.
    bool showSclLoadProgress();
    std::shared_ptr<SclLoad> sclLoad;  // the open under way; null when none
    QList<QThread*> sclThreads;        // SCL workers not yet finished, also of opens given up
    QTimer* sclLoadTimer = nullptr;
    QPushButton* progressCancelButton = nullptr;

    // The control box shows the clicked line's subtree, copied a slice at a time
    // (iec61850view_control.cpp): updateControlBox starts the copy, which files line after line.
    void fillControlBoxSlice();
    void fileControlLine(QStandardItem* item, int layer);
    // The structure tree changed under a copy under way; it starts over (or ends when its line went).
    void restartControlFill();
    SubtreeWalk controlFill;
    NextSlice controlFillSlice{this, [this] { fillControlBoxSlice(); }};

    // Read all asks for a large subtree's values a slice at a time (iec61850view_structure.cpp); each
    // Read all waits for its answers once its last read is asked for.
    void sendReadAllSlice();
    std::deque<SubtreeWalk> unsentReadAlls;  // the lines each Read all has still to walk
    NextSlice readAllSlice{this, [this] { sendReadAllSlice(); }};

    // Ready means the view awaits no answer it asked for: no Read all, no poll tick, no re-read after
    // an operate (the walk's end is told by the state).
    bool nothingPending() const;
    int operateRereadsDue = 0;
};

}  // namespace iec61850
