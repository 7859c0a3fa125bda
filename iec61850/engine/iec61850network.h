#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "connectionloss.h"
#include "constrainttable.h"
#include "discoverywalk.h"
#include "iec61850_client.h"
#include "journalquery.h"
#include "readplanner.h"
#include "reportheader.h"

class QTimer;

namespace iec61850 {

// True for the select attribute of a control: reading it is the select service, so the walk only
// announces it.
bool isSelectAttribute(const QString& ref);

// The IEC 61850 client engine: owns at most one association with a server, walks the server's model
// into lines, reads and renders values. It lives in a worker thread of its own and talks to the view
// only through queued signals and slots.
//
// Threads: every slot and all teardown run on the thread the engine lives in. The library's receive
// thread only runs connectionClosedHandler, which raises an atomic flag and posts the teardown to
// the engine's thread; a walk in progress sees the flag before its next request and stops. Delete the
// engine in its own thread (deleteLater, also from QThread::finished) or after that thread has ended.
// abandonAssociation() alone may be called from any thread.
class Iec61850Network : public QObject {
    Q_OBJECT

public:
    explicit Iec61850Network(QObject* parent = nullptr);
    ~Iec61850Network() override;

    // Texts of one value. In normal mode also announces the text with updateValue for `ref`; a type
    // without a text form is announced as an empty update in either mode.
    QStringList renderValue(MmsValue* value, const QString& ref, bool reportMode);
    // "NAME (code)" for the additional causes 0 to 27, the bare number for any other.
    static QString addCauseToString(int addCause);

    // Thread-safe, for the thread that asks for a disconnect while the engine's thread may be busy:
    // every request still queued for the open association is dropped unsent, and a request waiting
    // for its answer ends at once (the association is aborted). The teardown itself, with its
    // connectionStateChanged(false), stays with the disconnect() slot.
    void abandonAssociation();
    // How long an association may stay quiet before a keep-alive request goes out (default 10 s).
    // Call before the engine moves to its thread.
    void setKeepAliveInterval(int ms);
    // Runs `handled` on the engine's thread once every read asked before this call has been answered
    // and announced, or has failed or been dropped with its association; at once when none is
    // outstanding. Call on the engine's thread.
    void whenReadsHandled(std::function<void()> handled);

signals:
    void newDataLine(const QString& data_string, const QString& ref_string, const QString& fc_string,
                     int layer);
    void updateValue(const QString& ref_string = QString(), const QString& value_string = QString());
    void connectionStateChanged(bool state);
    void addReport(const QString& dataset_ref, const QString& data_ref = QStringLiteral(""),
                   const QStringList& value_list = QStringList());
    void setStatusBarMessage(const QString& text);
    // Why a connect failed, in one line; followed by connectionStateChanged(false).
    void connectFailed(const QString& reason);
    // Files and logs (iec61850network_records.cpp). An empty error means success.
    void fileEntryListed(const QString& directory, const QString& name, qint64 size, qint64 modifiedMs);
    void fileListingDone(const QString& directory, const QString& error);
    void fileProgress(const QString& name, qint64 received, qint64 size);
    // A failed or cancelled download leaves no file at localPath.
    void fileDownloadDone(const QString& name, const QString& localPath, const QString& error);
    void fileDeleteDone(const QString& name, const QString& error);
    // A log control block with its log and, as hexadecimal entry IDs, the oldest and newest entries.
    void logControlBlockFound(const QString& lcbRef, const QString& logRef, const QString& oldestEntry,
                              const QString& newestEntry);
    // One value of one entry: its time, entry ID (hexadecimal), reference, value text and reasons.
    void logEntryReceived(const QString& logRef, qint64 timeMs, const QString& entryId,
                          const QString& reference, const QString& value, const QString& reason);
    void logQueryDone(const QString& logRef, int entries, const QString& error);
    // Right before a report's opening addReport: its header and the reasons of the members that follow.
    void addReportHeader(const iec61850::ReportHeader& header);
    // How a control command ended ("Select ok", "Operate fail: ...", "Command terminated: ok"). A
    // refusal is also on the status bar; a success is only here.
    void controlResult(bool success, const QString& text);
    // How far the walk is, in logical nodes; it ends with connectionStateChanged (true when complete).
    void discoveryProgress(int done, int total);
    // Data sets the user made or deleted (iec61850network_datasets.cpp); members as LD/LN.DO.DA[FC].
    void dataSetCreated(const QString& dataSetRef, const QStringList& memberRefs);
    void dataSetDeleted(const QString& dataSetRef);
    // Writes (iec61850network_writes.cpp). An empty error means success. The type of an attribute as
    // the device describes it: its MmsType and its size (widths of numbers, lengths of strings,
    // negative for "up to").
    void valueDescribed(const QString& ref_string, const QString& fc_string, int mms_type, int size,
                        const QString& error);
    // After a write: the device's verdict and the value read again (empty when it could not be).
    void valueWritten(const QString& ref_string, const QString& fc_string, const QString& error,
                      const QString& value_string);
    // The leaves of an attribute or structure under one constraint: their names below ref_string
    // (dotted, empty for a leaf itself), value texts and types (MmsType and size, as valueDescribed).
    void objectValuesRead(const QString& ref_string, const QString& fc_string, const QStringList& names,
                          const QStringList& values, const QList<int>& mms_types, const QList<int>& sizes,
                          const QString& error);
    // One result per attribute asked for, in the order asked; empty where it was written.
    void reportControlBlockWritten(const QString& rcb_ref, const QStringList& names,
                                   const QStringList& errors);

public slots:
    void doConnect(const QString& ip, int port);
    // Ends the association; silent when there is none.
    void disconnect();
    void readValue(const QString& ref_string);
    void enableDisableReport(const QString& ref_string);
    void controlSelect(const QString& data_object_ref, int origin_category);
    void controlSelectWithValue(const QString& data_object_ref, bool state, int origin_category);
    void controlCancel(const QString& data_object_ref);
    void controlOperateBool(const QString& data_object_ref, bool state, int origin_category);
    void controlOperateInt(const QString& data_object_ref, int value, int origin_category);
    // Select with value for objects controlled by an integer; the operate then repeats that integer.
    void controlSelectWithValueInt(const QString& data_object_ref, int value, int origin_category);
    void listFiles(const QString& directory);
    // Downloads each name to the local path of the same position; cancelDownloads() ends the batch.
    void downloadFiles(const QStringList& names, const QStringList& local_paths);
    void deleteRemoteFile(const QString& name);
    void findLogControlBlocks();
    void queryLogByTime(const QString& log_ref, qint64 from_ms, qint64 to_ms);
    void queryLogAfter(const QString& log_ref, const QString& entry_id, qint64 time_ms);
    // What the following commands ask the device to check, and whether they are sent as tests.
    void setControlChecks(bool interlock_check, bool synchro_check, bool test);
    // data_set_ref: LD/LN.name (in that logical node, for every client) or @name (this association's
    // only); member_refs: LD/LN.DO.DA[FC]. A refusal is said on the status bar.
    void createDataSet(const QString& data_set_ref, const QStringList& member_refs);
    // Only sets a client made can go, and none that a control block names.
    void deleteDataSet(const QString& data_set_ref);
    void describeValue(const QString& ref_string, const QString& fc_string);
    // value_text as the editors give it: true/false, numbers, text, 0b bits, hexadecimal octets, ISO time.
    void writeValue(const QString& ref_string, const QString& fc_string, const QString& value_text);
    void readObjectValues(const QString& ref_string, const QString& fc_string);
    // rcb_ref as the tree names the block (LD/LN.name), fc_string RP or BR; names are its attributes
    // (TrgOps, IntgPd, ...). With single_request all go in one write, otherwise one write per attribute.
    void writeReportControlBlock(const QString& rcb_ref, const QString& fc_string, const QStringList& names,
                                 const QStringList& value_texts, bool single_request);

public:
    // Thread-safe: the download in progress stops at its next chunk, and the rest of its batch is
    // dropped; its partial file is removed.
    void cancelDownloads();

private:
    static void connectionClosedHandler(void* parameter, IedConnection connection);
    // `settled`: the answers that failed with the association, queued behind its notice, are in.
    void associationClosed(quint64 association, int round);
    // Remembers why the association is going, when a request failed because it went.
    void noteRequestFailure(IedClientError error);
    void noteRequestFailure(MmsError error);
    // True while an association is open that the server has not ended and nobody abandoned.
    bool mayRequest() const;

    // Reports (iec61850network_reports.cpp).
    struct ReportContext {
        Iec61850Network* engine = nullptr;
        QString block;           // LD/LN.RP.name, as the handler was installed for it
        QString dataSetRef;      // the block's data set (LD/LN.DS), for reports that do not name it
        QStringList memberRefs;  // its members (LD/LN.DO.DA), for reports without data references
    };
    static void reportHandler(void* parameter, ClientReport report);
    void emitReport(const ReportContext& context, ClientReport report);
    QStringList dataSetMemberRefs(const QString& dataSetRef);
    // Installs the handler and writes RptEna; false (with lastError) when the block was not enabled.
    bool enableReport(ClientReportControlBlock rcb, const QString& ref);
    // Installs the handler for the block's reports, as the copy names its data set and RptID.
    void watchReports(ClientReportControlBlock rcb, const QString& ref);
    // After a reconnect to the same device: the blocks enabled before are enabled again.
    void reenableReports();

    // Marks a library request in progress on the engine's thread, so that abandonAssociation() knows
    // whether there is a request to cut short; `allowed` says whether the request may go out at all.
    class RequestScope {
    public:
        explicit RequestScope(Iec61850Network& engine);
        ~RequestScope();
        RequestScope(const RequestScope&) = delete;
        RequestScope& operator=(const RequestScope&) = delete;
        bool allowed() const { return allowed_; }

    private:
        Iec61850Network& engine_;
        bool allowed_;
    };

    // Reads the view asked for go to the planner; those asked within one turn of the event loop leave
    // together (event()), and their values are announced in the order asked.
    bool event(QEvent* event) override;
    void askRead(const QString& ref);
    void flushReads();
    void deliverFinishedReads();
    void releaseReadWaiters();
    // Restarts the idle clock of the keep-alive; every request counts.
    void noteActivity();
    void keepAlive();
    static void keepAliveAnswer(uint32_t invokeId, void* parameter, MmsError error, char*, char*, char*);
    void keepAliveAnswered(quint64 association, MmsError error);

    // The discovery walk, one logical device at a time: its structure comes from the devices' variable
    // names (asked for all devices side by side before the plan starts), its values and data-set members
    // from requests sent in batches, several at once; the answers come back as queued calls, so the
    // engine's thread stays free for a Disconnect. Lines are announced in the order of the model once
    // their values are in (discoverywalk.h).
    template <typename Request>
    bool requestNames(Request request, QList<QByteArray>& names);
    // Adds a line of the walk to `lines`, returning its place; its reference comes back in `ref`.
    int planLine(PlannedLines& lines, const QString& name, bool record, QString* ref);
    int planLine(PlannedLines& lines, const QString& shown, const QString& fc, bool record, QString* ref);
    void planRead(WalkEntry& entry, const QString& ref);
    bool planDataLine(const QString& shown, const QString& fc, PlannedLines& entries);
    void announce(const PlannedLines& lines, const WalkEntry& entry);
    bool skipOdd(const QString& name);
    void browseServer();
    // Plans further lines, device by device and node by node, until enough reads wait for answers or
    // the model is planned.
    void planMore();
    // Plans the next piece (a device's own line, or one of its logical nodes); false at a failure.
    bool planStep();
    bool planNode(const QString& nodeName, bool dataSetsListed, const QList<QByteArray>& dataSetNames,
                  PlannedLines& entries);
    bool planDataDirectory(const QString& ref, PlannedLines& entries);
    void planDataSets(const QString& nodeName, const QList<QByteArray>& dataSetNames, PlannedLines& entries);
    // The devices' name lists, a page per request, side by side with the other devices'.
    bool sendNameListRequest();
    static void nameListAnswer(uint32_t invokeId, void* parameter, IedClientError error, LinkedList names,
                               bool moreFollows);
    void nameListAnswered(quint64 association, int device, bool dataSets, IedClientError error,
                          std::vector<std::string> page, bool moreFollows);
    void endNameList(int device, bool dataSets, IedClientError error);
    // Every name list is in: the plan starts on what they listed.
    void namesListed();
    void pumpRequests();
    bool sendDataSetRequest();
    bool sendReadRequest(const ReadPlanner::Request& request);
    void finishRead(ReadPlanner::ReadId id, const ReadResult& result);
    static void readAnswer(uint32_t invokeId, void* parameter, MmsError error, MmsValue* value);
    static void dataSetAnswer(uint32_t invokeId, void* parameter, IedClientError error, LinkedList members,
                              bool isDeletable);
    void readAnswered(quint64 association, int requestId, MmsError error,
                      const std::shared_ptr<MmsValue>& value);
    void dataSetAnswered(quint64 association, int index, IedClientError error, const QStringList& members);
    bool nodeComplete(const PlannedLines& entries) const;
    void announceReady();
    void reportProgress();
    void finishWalk();

    ConstraintTable refToFc;
    // Data set reference (LD/LN.DS) -> its members as discovery listed them (LD/LN.DO.DA[FC]).
    QMap<QString, QStringList> dataSetMembers;
    // What each installed report handler needs on the receive thread. Kept until the connection is
    // destroyed, since a replaced handler may still be running.
    std::vector<std::unique_ptr<ReportContext>> reportContexts;
    // Written only on the engine's thread, under handleMutex; abandonAssociation() reads it under the
    // mutex, so the handle cannot be released while it is being aborted.
    IedConnection connection = nullptr;
    mutable std::mutex handleMutex;
    // Raised on the receive thread when the server ends the association; stops every further request.
    std::atomic<bool> closedByPeer{false};
    int currentLayer = 0;
    IedClientError lastError = IED_ERROR_OK;
    QStringList layerStack;
    // Control (iec61850network_control.cpp). The held object of a select, the reference it was made
    // for, and the control value of a select with value. Commands are sent without waiting, so that
    // the engine's thread stays free (Disconnect ends them at once); their answers come back queued.
    ControlObjectClient controlObject = nullptr;
    QString controlRef;
    MmsValue* controlValue = nullptr;
    int controlTerminationWaitMs = 0;  // of the held object; 0 unless it ends operates with a termination
    bool interlockCheck = true;
    bool synchroCheck = true;
    bool testCommands = false;
    // A command on its way: what its answer is told with.
    struct PendingControl {
        Iec61850Network* engine = nullptr;
        ControlObjectClient object = nullptr;
        const char* prefix = nullptr;  // "Operate fail: %1"
        const char* done = nullptr;    // "Operate ok"
        int terminationWaitMs = 0;     // > 0: an operate whose termination is due within this
    };
    std::vector<std::unique_ptr<PendingControl>> controlCommands;
    // Objects that left the sequence while a command of theirs may still be answered or terminated.
    std::vector<ControlObjectClient> retiredControls;
    QHash<ControlObjectClient, QTimer*> terminationTimers;
    QSet<ControlObjectClient> terminatedEarly;  // terminated before the operate's answer was handled
    bool prepareControl(const QString& ref, int originCategory);
    void releaseHeldControl();
    void retireControl(ControlObjectClient object);
    void dropIfIdle(ControlObjectClient object);
    void selectWith(const QString& ref, MmsValue* value, int originCategory);
    void operateWith(const QString& ref, MmsValue* value, int originCategory);
    template <typename Send>
    void sendControl(const char* prefix, const char* done, int terminationWaitMs, Send send);
    void reportControlFailure(const char* prefix, IedClientError error, const LastApplError& applError);
    void controlAnswered(PendingControl* command, IedClientError error, bool success,
                         const LastApplError& applError);
    void terminationArrived(ControlObjectClient object);
    void terminationOverdue(ControlObjectClient object);
    void releaseControls();
    static void controlAnswer(uint32_t invokeId, void* parameter, IedClientError error,
                              ControlActionType type, bool success);
    static void commandTerminationHandler(void* parameter, ControlObjectClient object);
    // Every request waits this long for its answer.
    static constexpr int kRequestTimeoutMs = 5000;

    // Number of the open association, 0 while none is open. A closure notice carries the number it was
    // raised for, so one that arrives late cannot end a newer association.
    std::atomic<quint64> liveAssociation{0};
    quint64 associationCount = 0;
    // The association a disconnect was asked for; its queued requests are dropped.
    std::atomic<quint64> abandonedAssociation{0};
    std::atomic<int> requestsInFlight{0};
    // Requests sent without waiting whose answers the library has not handed back yet.
    std::atomic<int> answersOutstanding{0};

    // The device as "HOST:PORT", and whether the association with it was made.
    QString peer;
    bool associated = false;
    std::optional<ConnectionLoss> loss;  // why the open association is going, once known
    // Report control blocks this client enabled at `reportsPeer`, in the order enabled.
    QStringList enabledReports;
    QString reportsPeer;

    std::unique_ptr<DiscoveryWalk> walk;  // set while a walk runs
    // Every read of the association, the walk's and the view's; what the device taught it about
    // request sizes and outstanding requests holds until the association ends.
    std::unique_ptr<ReadPlanner> planner;
    // A read the view asked for; the walk's reads are found through DiscoveryWalk::firstRead.
    struct ReadTarget {
        QString ref;
        ReadResult result;
    };
    std::unordered_map<ReadPlanner::ReadId, ReadTarget> readTargets;
    bool flushPosted = false;
    // Waiting for the reads up to (not including) a planner read number.
    std::vector<std::pair<ReadPlanner::ReadId, std::function<void()>>> readWaiters;
    QElapsedTimer walkClock;
    qint64 lastProgressMs = 0;
    // What the view asked for during the walk, in order: reads, and waiters after as many of them.
    QStringList deferredReads;
    std::vector<std::pair<int, std::function<void()>>> deferredWaiters;

    QTimer* keepAliveTimer = nullptr;
    bool keepAliveOutstanding = false;

    // Files and logs (iec61850network_records.cpp). Downloads are taken in order by a thread of their
    // own, started when a batch comes and ending when none is left; the teardown waits for it.
    struct DownloadJob {
        QString name;
        QString localPath;
        quint64 batch = 0;
    };
    void runDownloads(IedConnection handle);
    QString downloadOne(IedConnection handle, const DownloadJob& job);
    void endDownloads();
    void queryLog(const QString& logRef, const JournalStart& start);
    // The newest entry ID received from each log, for a query after it.
    QHash<QString, std::shared_ptr<MmsValue>> lastEntries;
    std::mutex downloadMutex;
    std::deque<DownloadJob> downloadQueue;  // under downloadMutex
    bool downloadsRunning = false;          // under downloadMutex
    std::thread downloadThread;
    // Batches are numbered as they come; those up to cancelledBatches are cancelled.
    std::atomic<quint64> downloadBatches{0};
    std::atomic<quint64> cancelledBatches{0};

    // Writes (iec61850network_writes.cpp). Type descriptions by "FC|reference", for the association
    // they were fetched on.
    struct SpecDeleter {
        void operator()(MmsVariableSpecification* spec) const { MmsVariableSpecification_destroy(spec); }
    };
    using SpecPtr = std::unique_ptr<MmsVariableSpecification, SpecDeleter>;
    std::unordered_map<std::string, SpecPtr> typeCache;
    quint64 typeCacheAssociation = 0;
    MmsVariableSpecification* typeOf(const QString& ref, FunctionalConstraint fc, IedClientError* error);
    // The value read again after a write, announced to the trees when they show it under this constraint.
    QString readBack(const QString& ref, const QString& fc);
};

}  // namespace iec61850
