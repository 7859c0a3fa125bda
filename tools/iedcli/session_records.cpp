// The verbs for files and logs: files, get, rm and log.
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdio>

#include "dumpline.h"
#include "filedownload.h"
#include "journalquery.h"
#include "session.h"
#include "valueparser.h"

namespace iedcli {

namespace {

void printFields(const QStringList& fields) {
    std::printf("%s\n", ieddump::dumpLine(fields).toUtf8().constData());
}

QString timeText(uint64_t ms) {
    return QString::fromStdString(valueedit::utcTimeText(ms));
}

}  // namespace

int Session::files(const std::string& directory) {
    IedClientError error = IED_ERROR_OK;
    LinkedList entries =
        IedConnection_getFileDirectory(connection_, &error, directory.empty() ? nullptr : directory.c_str());
    for (LinkedList e = LinkedList_getNext(entries); e != nullptr; e = LinkedList_getNext(e)) {
        auto entry = static_cast<FileDirectoryEntry>(LinkedList_getData(e));
        printFields({QString::fromUtf8(FileDirectoryEntry_getFileName(entry)),
                     QString::number(FileDirectoryEntry_getFileSize(entry)),
                     timeText(FileDirectoryEntry_getLastModified(entry))});
    }
    LinkedList_destroyDeep(entries,
                           reinterpret_cast<LinkedListValueDeleteFunction>(FileDirectoryEntry_destroy));
    return error == IED_ERROR_OK ? kOk : refusal("files " + directory, error);
}

int Session::get(const std::string& name, const std::string& destination) {
    // DEST names the local file, or a folder to put it in under the device's name for it.
    QString local = QString::fromStdString(destination);
    if (local.isEmpty() || QFileInfo(local).isDir()) {
        const QString base = QFileInfo(QString::fromStdString(name)).fileName();
        if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String("..")) {
            complain("get " + name + ": no file name to save it under; give DEST");
            return kUsage;
        }
        local = QDir(local.isEmpty() ? QStringLiteral(".") : local).filePath(base);
    }
    const iec61850::DownloadOutcome outcome =
        iec61850::downloadFile(connection_, QString::fromStdString(name), local, nullptr);
    if (!outcome.writeFailure.isEmpty()) {
        complain("get " + name + ": " + outcome.writeFailure.toStdString());
        return kUsage;
    }
    if (outcome.error != IED_ERROR_OK) {
        return refusal("get " + name, outcome.error);
    }
    printFields({local, QString::number(outcome.bytes)});
    return kOk;
}

int Session::remove(const std::string& name) {
    IedClientError error = IED_ERROR_OK;
    IedConnection_deleteFile(connection_, &error, name.c_str());
    return error == IED_ERROR_OK ? kOk : refusal("rm " + name, error);
}

int Session::log(const std::string& logRef, const std::vector<std::string>& options) {
    // [--after ENTRYID --time TIME | --from TIME --to TIME]; without them, the whole log.
    std::string after, time, from, to;
    for (size_t i = 0; i < options.size(); i += 2) {
        std::string* slot = options[i] == "--after"  ? &after
                            : options[i] == "--time" ? &time
                            : options[i] == "--from" ? &from
                            : options[i] == "--to"   ? &to
                                                     : nullptr;
        if (slot == nullptr || i + 1 >= options.size() || !slot->empty()) {
            complain("log takes --after ENTRYID --time TIME or --from TIME --to TIME");
            return kUsage;
        }
        *slot = options[i + 1];
    }
    const bool byEntry = !after.empty() || !time.empty();
    if (byEntry && (after.empty() || time.empty() || !from.empty() || !to.empty())) {
        complain("log: a query after an entry names its ID and its time: --after ENTRYID --time TIME");
        return kUsage;
    }
    iec61850::JournalStart start;
    uint64_t ms = 0;
    std::string why;
    if (byEntry) {
        std::vector<uint8_t> id;
        if (!valueedit::parseOctets(after, &id, &why) || id.empty()) {
            complain("log: not an entry ID in hexadecimal: " + after + (why.empty() ? "" : " (" + why + ")"));
            return kUsage;
        }
        if (!valueedit::parseUtcTime(time, &ms)) {
            complain("log: not a time in UTC such as 2026-12-07T14:03:00.250Z: " + time);
            return kUsage;
        }
        MmsValue* entry = MmsValue_newOctetString(0, static_cast<int>(id.size()));
        MmsValue_setOctetString(entry, id.data(), static_cast<int>(id.size()));
        start.afterId.reset(entry, MmsValue_delete);
        start.afterTimeMs = static_cast<qint64>(ms);
    } else {
        // An open end is the far future, so that entries stamped ahead of this clock still come.
        start.toMs = 253402300799000;  // 9999-12-31T23:59:59Z
        for (auto [text, bound] : {std::pair{&from, &start.fromMs}, std::pair{&to, &start.toMs}}) {
            if (text->empty()) {
                continue;
            }
            if (!valueedit::parseUtcTime(*text, &ms)) {
                complain("log: not a time in UTC such as 2026-12-07T14:03:00.250Z: " + *text);
                return kUsage;
            }
            *bound = static_cast<qint64>(ms);
        }
    }
    const iec61850::JournalResult result = iec61850::queryJournal(
        connection_, QString::fromStdString(logRef), start, [](const iec61850::JournalRecord& record) {
            QStringList fields{timeText(static_cast<uint64_t>(record.timeMs)),
                               QString::fromLatin1(record.entryId.toHex())};
            for (const iec61850::JournalValue& value : record.values) {
                fields << value.reference << value.texts.join(QStringLiteral(", ")) << value.reason;
            }
            printFields(fields);
        });
    return result.error == IED_ERROR_OK ? kOk : refusal("log " + logRef, result.error);
}

}  // namespace iedcli
