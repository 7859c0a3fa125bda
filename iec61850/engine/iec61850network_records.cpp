// Files and logs: directory listings, downloads to local files, deletion, log control blocks and
// journal queries. Each runs on the engine's thread like every other request.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "attributeread.h"
#include "iec61850network.h"

#include "reportheader.h"
#include "valuerenderer.h"

namespace iec61850 {

namespace {

// A device that keeps saying "more follows" gets this many answers to a query at most.
constexpr int kMaxQueryRounds = 10000;

QString fileErrorText(IedClientError error) {
    switch (error) {
        case IED_ERROR_OK:
            return QString();
        case IED_ERROR_NOT_CONNECTED:
        case IED_ERROR_CONNECTION_LOST:
            return QStringLiteral("connection lost");
        case IED_ERROR_TIMEOUT:
            return QStringLiteral("no answer in time");
        case IED_ERROR_OBJECT_DOES_NOT_EXIST:
            return QStringLiteral("does not exist");
        case IED_ERROR_ACCESS_DENIED:
            return QStringLiteral("access denied");
        case IED_ERROR_TEMPORARILY_UNAVAILABLE:
            return QStringLiteral("busy");
        case IED_ERROR_SERVICE_NOT_SUPPORTED:
            return QStringLiteral("not supported by the device");
        case IED_ERROR_OBJECT_REFERENCE_INVALID:
            return QStringLiteral("not a valid reference");
        default:
            return QStringLiteral("error %1").arg(static_cast<int>(error));
    }
}

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

void destroyEntries(LinkedList list) {
    LinkedList_destroyDeep(list, reinterpret_cast<LinkedListValueDeleteFunction>(MmsJournalEntry_destroy));
}

// Names of the reason bits of a log entry, as "data-change, integrity"; bit n on the wire is 1 << (n - 1).
QString reasonText(MmsValue* reasons) {
    int bits = 0;
    if (reasons != nullptr && MmsValue_getType(reasons) == MMS_BIT_STRING) {
        for (int bit = 1; bit < MmsValue_getBitStringSize(reasons) && bit <= 6; ++bit) {
            if (MmsValue_getBitStringBit(reasons, bit)) {
                bits |= 1 << (bit - 1);
            }
        }
    }
    return reasonNames(bits);
}

}  // namespace

void Iec61850Network::listFiles(const QString& directory) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit fileListingDone(directory, fileErrorText(IED_ERROR_NOT_CONNECTED));
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
    emit fileListingDone(directory, fileErrorText(error));
}

struct Iec61850Network::Download {
    Iec61850Network* engine = nullptr;
    QString name;
    QFile* file = nullptr;
    qint64 received = 0;
    qint64 size = 0;
    bool writeFailed = false;
};

bool Iec61850Network::fileChunk(void* parameter, uint8_t* buffer, uint32_t bytesRead) {
    auto* d = static_cast<Download*>(parameter);
    if (d->file->write(reinterpret_cast<const char*>(buffer), bytesRead) != static_cast<qint64>(bytesRead)) {
        d->writeFailed = true;
        return false;
    }
    d->received += bytesRead;
    emit d->engine->fileProgress(d->name, d->received, std::max(d->size, d->received));
    return !d->engine->downloadsCancelled.load();
}

void Iec61850Network::cancelDownloads() {
    downloadsCancelled = true;
}

void Iec61850Network::downloadFiles(const QStringList& names, const QStringList& local_paths) {
    downloadsCancelled = false;
    for (int i = 0; i < names.size() && i < local_paths.size(); ++i) {
        if (downloadsCancelled) {
            emit fileDownloadDone(names[i], local_paths[i], QStringLiteral("cancelled"));
            continue;
        }
        emit fileDownloadDone(names[i], local_paths[i], downloadOne(names[i], local_paths[i]));
    }
}

QString Iec61850Network::downloadOne(const QString& name, const QString& localPath) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return fileErrorText(IED_ERROR_NOT_CONNECTED);
    }
    // The download goes to a file of its own and takes the final name only once it is whole, so
    // that a cut transfer never leaves a file that looks complete.
    QFile part(localPath + QStringLiteral(".part"));
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString());
    }
    Download download;
    download.engine = this;
    download.name = name;
    download.file = &part;
    const QByteArray remote = name.toUtf8();
    IedClientError error = IED_ERROR_OK;
    IedConnection_getFile(connection, &error, remote.constData(), &Iec61850Network::fileChunk, &download);
    noteActivity();
    part.close();
    QString failure;
    if (download.writeFailed) {
        failure = QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString());
    } else if (downloadsCancelled) {
        failure = QStringLiteral("cancelled");
    } else if (error != IED_ERROR_OK) {
        failure = fileErrorText(error);
    } else {
        QFile::remove(localPath);
        if (!part.rename(localPath)) {
            failure = QStringLiteral("cannot write %1").arg(localPath);
        }
    }
    if (!failure.isEmpty()) {
        part.remove();
    }
    return failure;
}

void Iec61850Network::deleteRemoteFile(const QString& name) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit fileDeleteDone(name, fileErrorText(IED_ERROR_NOT_CONNECTED));
        return;
    }
    const QByteArray remote = name.toUtf8();
    IedClientError error = IED_ERROR_OK;
    IedConnection_deleteFile(connection, &error, remote.constData());
    noteActivity();
    emit fileDeleteDone(name, fileErrorText(error));
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

bool Iec61850Network::emitJournal(const QString& logRef, LinkedList entries, qint64 endMs, int* count,
                                  std::shared_ptr<MmsValue>* lastId, qint64* lastTime) {
    for (LinkedList e = LinkedList_getNext(entries); e != nullptr; e = LinkedList_getNext(e)) {
        auto entry = static_cast<MmsJournalEntry>(LinkedList_getData(e));
        const qint64 time =
            static_cast<qint64>(MmsValue_getBinaryTimeAsUtcMs(MmsJournalEntry_getOccurenceTime(entry)));
        if (endMs > 0 && time > endMs) {
            return false;
        }
        lastId->reset(MmsValue_clone(MmsJournalEntry_getEntryID(entry)), MmsValue_delete);
        *lastTime = time;
        ++*count;
        const QString id = hexOf(octetsOf(lastId->get()));
        // Per value: its reference with the value, then "ReasonCode" with why it was logged.
        LinkedList v = LinkedList_getNext(MmsJournalEntry_getJournalVariables(entry));
        while (v != nullptr) {
            auto variable = static_cast<MmsJournalVariable>(LinkedList_getData(v));
            v = LinkedList_getNext(v);
            const QString tag = QString::fromUtf8(MmsJournalVariable_getTag(variable));
            QString reason;
            if (v != nullptr) {
                auto next = static_cast<MmsJournalVariable>(LinkedList_getData(v));
                if (qstrcmp(MmsJournalVariable_getTag(next), "ReasonCode") == 0) {
                    reason = reasonText(MmsJournalVariable_getValue(next));
                    v = LinkedList_getNext(v);
                }
            }
            const RenderedValue rendered =
                iec61850::renderValue(MmsJournalVariable_getValue(variable), tag, true);
            emit logEntryReceived(logRef, *lastTime, id, tag, rendered.texts.join(QStringLiteral(", ")),
                                  reason);
        }
    }
    return true;
}

void Iec61850Network::queryLog(const QString& logRef, const std::shared_ptr<MmsValue>& afterId,
                               qint64 afterTime, qint64 fromMs, qint64 toMs) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit logQueryDone(logRef, 0, fileErrorText(IED_ERROR_NOT_CONNECTED));
        return;
    }
    const QByteArray reference = logRef.toUtf8();
    IedClientError error = IED_ERROR_OK;
    bool more = false;
    int count = 0;
    std::shared_ptr<MmsValue> lastId = afterId;
    qint64 lastTime = afterTime;
    LinkedList entries =
        afterId
            ? IedConnection_queryLogAfter(connection, &error, reference.constData(), afterId.get(),
                                          static_cast<uint64_t>(afterTime), &more)
            : IedConnection_queryLogByTime(connection, &error, reference.constData(),
                                           static_cast<uint64_t>(fromMs), static_cast<uint64_t>(toMs), &more);
    // A time range is followed with queries after its last entry, which know no end time: the
    // range ends where its entries pass the end.
    const qint64 endMs = afterId ? 0 : toMs;
    for (int round = 0; error == IED_ERROR_OK; ++round) {
        const bool inRange = emitJournal(logRef, entries, endMs, &count, &lastId, &lastTime);
        destroyEntries(entries);
        entries = nullptr;
        if (!inRange || !more || !lastId || round >= kMaxQueryRounds) {
            break;
        }
        entries = IedConnection_queryLogAfter(connection, &error, reference.constData(), lastId.get(),
                                              static_cast<uint64_t>(lastTime), &more);
    }
    destroyEntries(entries);
    noteActivity();
    if (lastId) {
        lastEntries.insert(logRef, lastId);
    }
    emit logQueryDone(logRef, count, fileErrorText(error));
}

void Iec61850Network::queryLogByTime(const QString& log_ref, qint64 from_ms, qint64 to_ms) {
    queryLog(log_ref, nullptr, 0, from_ms, to_ms);
}

void Iec61850Network::queryLogAfter(const QString& log_ref, const QString& entry_id, qint64 time_ms) {
    // Entry IDs are the device's octets; only one this engine has received can be sent back.
    const std::shared_ptr<MmsValue> known = lastEntries.value(log_ref);
    if (!known || hexOf(octetsOf(known.get())) != entry_id) {
        emit logQueryDone(log_ref, 0,
                          QStringLiteral("entry %1 was not received from this log").arg(entry_id));
        return;
    }
    queryLog(log_ref, known, time_ms, 0, 0);
}

}  // namespace iec61850
