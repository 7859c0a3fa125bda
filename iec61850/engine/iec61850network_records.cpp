// Files and logs: directory listings, downloads to local files, deletion, log control blocks and
// journal queries. Each runs on the engine's thread like every other request, except downloads: a
// large file would hold every read and report behind it, so they run on a thread of their own.
#include "attributeread.h"
#include "connectfailure.h"
#include "filedownload.h"
#include "iec61850network.h"
#include "journalquery.h"

namespace iec61850 {

namespace {

QString hexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex());
}

QByteArray octetsOf(MmsValue* value) {
    if (value == nullptr || MmsValue_getType(value) != MMS_OCTET_STRING) {
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char*>(MmsValue_getOctetStringBuffer(value)),
                      MmsValue_getOctetStringSize(value));
}

}  // namespace

void Iec61850Network::listFiles(const QString& directory) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit fileListingDone(directory, requestFailureReason(IED_ERROR_NOT_CONNECTED, RequestSubject::File));
        return;
    }
    const QByteArray name = directory.toUtf8();
    IedClientError error = IED_ERROR_OK;
    LinkedList entries = IedConnection_getFileDirectory(connection, &error, name.constData());
    noteActivity();
    for (LinkedList e = LinkedList_getNext(entries); e != nullptr; e = LinkedList_getNext(e)) {
        auto entry = static_cast<FileDirectoryEntry>(LinkedList_getData(e));
        emit fileEntryListed(directory, QString::fromUtf8(FileDirectoryEntry_getFileName(entry)),
                             static_cast<qint64>(FileDirectoryEntry_getFileSize(entry)),
                             static_cast<qint64>(FileDirectoryEntry_getLastModified(entry)));
    }
    LinkedList_destroyDeep(entries,
                           reinterpret_cast<LinkedListValueDeleteFunction>(FileDirectoryEntry_destroy));
    emit fileListingDone(directory, requestFailureReason(error, RequestSubject::File));
}

void Iec61850Network::cancelDownloads() {
    cancelledBatches.store(downloadBatches.load());
}

void Iec61850Network::downloadFiles(const QStringList& names, const QStringList& local_paths) {
    const int count = std::min(names.size(), local_paths.size());
    if (!mayRequest()) {
        for (int i = 0; i < count; ++i) {
            emit fileDownloadDone(names[i], local_paths[i],
                                  requestFailureReason(IED_ERROR_NOT_CONNECTED, RequestSubject::File));
        }
        return;
    }
    const quint64 batch = ++downloadBatches;
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(downloadMutex);
        for (int i = 0; i < count; ++i) {
            downloadQueue.push_back({names[i], local_paths[i], batch});
        }
        if (!downloadsRunning) {
            downloadsRunning = start = true;
        }
    }
    if (start) {
        if (downloadThread.joinable()) {
            downloadThread.join();  // it has left its loop already
        }
        downloadThread = std::thread([this, handle = connection] { runDownloads(handle); });
    }
}

void Iec61850Network::runDownloads(IedConnection handle) {
    for (;;) {
        DownloadJob job;
        {
            std::lock_guard<std::mutex> lock(downloadMutex);
            if (downloadQueue.empty()) {
                downloadsRunning = false;
                return;
            }
            job = downloadQueue.front();
            downloadQueue.pop_front();
        }
        emit fileDownloadDone(job.name, job.localPath, downloadOne(handle, job));
    }
}

QString Iec61850Network::downloadOne(IedConnection handle, const DownloadJob& job) {
    if (job.batch <= cancelledBatches.load()) {
        return QStringLiteral("cancelled");
    }
    // Counted in flight like the engine's own requests, so that a Disconnect cuts it short; the
    // handle itself stays valid, since the teardown waits for this thread before releasing it.
    ++requestsInFlight;
    const quint64 live = liveAssociation.load();
    const bool allowed = !closedByPeer.load() && live != 0 && live != abandonedAssociation.load();
    DownloadOutcome outcome;
    if (allowed) {
        outcome = downloadFile(handle, job.name, job.localPath, [this, &job](qint64 received) {
            emit fileProgress(job.name, received, received);
            return job.batch > cancelledBatches.load();
        });
    }
    --requestsInFlight;
    if (!allowed) {
        return requestFailureReason(IED_ERROR_NOT_CONNECTED, RequestSubject::File);
    }
    if (!outcome.writeFailure.isEmpty()) {
        return outcome.writeFailure;
    }
    if (outcome.stopped) {
        return QStringLiteral("cancelled");
    }
    return requestFailureReason(outcome.error, RequestSubject::File);
}

void Iec61850Network::endDownloads() {
    // Everything queued or under way is cancelled; a chunk in progress is answered (or fails with the
    // association) before the thread notices.
    cancelDownloads();
    if (downloadThread.joinable()) {
        downloadThread.join();
    }
}

void Iec61850Network::deleteRemoteFile(const QString& name) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit fileDeleteDone(name, requestFailureReason(IED_ERROR_NOT_CONNECTED, RequestSubject::File));
        return;
    }
    const QByteArray remote = name.toUtf8();
    IedClientError error = IED_ERROR_OK;
    IedConnection_deleteFile(connection, &error, remote.constData());
    noteActivity();
    emit fileDeleteDone(name, requestFailureReason(error, RequestSubject::File));
}

void Iec61850Network::findLogControlBlocks() {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return;
    }
    IedClientError error = IED_ERROR_OK;
    LinkedList devices = IedConnection_getLogicalDeviceList(connection, &error);
    for (LinkedList d = LinkedList_getNext(devices); d != nullptr; d = LinkedList_getNext(d)) {
        const QString device = QString::fromUtf8(static_cast<const char*>(LinkedList_getData(d)));
        LinkedList nodes =
            IedConnection_getLogicalDeviceDirectory(connection, &error, device.toUtf8().constData());
        for (LinkedList n = LinkedList_getNext(nodes); n != nullptr; n = LinkedList_getNext(n)) {
            const QString node =
                device + '/' + QString::fromUtf8(static_cast<const char*>(LinkedList_getData(n)));
            LinkedList blocks = IedConnection_getLogicalNodeDirectory(
                connection, &error, node.toUtf8().constData(), ACSI_CLASS_LCB);
            for (LinkedList b = LinkedList_getNext(blocks); b != nullptr; b = LinkedList_getNext(b)) {
                const QString block =
                    node + '.' + QString::fromUtf8(static_cast<const char*>(LinkedList_getData(b)));
                auto read = [&](const char* attribute) {
                    const QByteArray ref = (block + '.' + QLatin1String(attribute)).toUtf8();
                    return readAttribute(connection, ref.constData(), IEC61850_FC_LG);
                };
                // Devices name the entry attributes either way; both are taken.
                auto readEither = [&](const char* name, const char* older) {
                    MmsValue* value = read(name);
                    if (value == nullptr) {
                        value = read(older);
                    }
                    const QString text = hexOf(octetsOf(value));
                    MmsValue_delete(value);
                    return text;
                };
                MmsValue* logRef = read("LogRef");
                const char* logRefText = logRef != nullptr ? MmsValue_toString(logRef) : nullptr;
                const QString log = QString::fromUtf8(logRefText != nullptr ? logRefText : "");
                MmsValue_delete(logRef);
                emit logControlBlockFound(block, log, readEither("OldEntr", "OldEnt"),
                                          readEither("NewEntr", "NewEnt"));
            }
            LinkedList_destroy(blocks);
        }
        LinkedList_destroy(nodes);
    }
    LinkedList_destroy(devices);
    noteActivity();
}

void Iec61850Network::queryLog(const QString& logRef, const JournalStart& start) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit logQueryDone(logRef, 0, requestFailureReason(IED_ERROR_NOT_CONNECTED, RequestSubject::File));
        return;
    }
    const JournalResult result = queryJournal(connection, logRef, start, [&](const JournalRecord& record) {
        const QString id = QString::fromLatin1(record.entryId.toHex());
        for (const JournalValue& value : record.values) {
            emit logEntryReceived(logRef, record.timeMs, id, value.reference,
                                  value.texts.join(QStringLiteral(", ")), value.reason);
        }
    });
    noteActivity();
    if (result.lastId) {
        lastEntries.insert(logRef, result.lastId);
    }
    emit logQueryDone(logRef, result.count, requestFailureReason(result.error, RequestSubject::File));
}

void Iec61850Network::queryLogByTime(const QString& log_ref, qint64 from_ms, qint64 to_ms) {
    JournalStart start;
    start.fromMs = from_ms;
    start.toMs = to_ms;
    queryLog(log_ref, start);
}

void Iec61850Network::queryLogAfter(const QString& log_ref, const QString& entry_id, qint64 time_ms) {
    // Entry IDs are the device's octets; only one this engine has received can be sent back.
    const std::shared_ptr<MmsValue> known = lastEntries.value(log_ref);
    if (!known || hexOf(octetsOf(known.get())) != entry_id) {
        emit logQueryDone(log_ref, 0,
                          QStringLiteral("entry %1 was not received from this log").arg(entry_id));
        return;
    }
    JournalStart start;
    start.afterId = known;
    start.afterTimeMs = time_ms;
    queryLog(log_ref, start);
}

}  // namespace iec61850
