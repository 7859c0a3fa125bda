#include "filedownload.h"

#include <QFile>

namespace iec61850 {

namespace {

struct Transfer {
    QFile* file = nullptr;
    const std::function<bool(qint64)>* chunkArrived = nullptr;
    DownloadOutcome* outcome = nullptr;
};

bool takeChunk(void* parameter, uint8_t* buffer, uint32_t bytesRead) {
    auto* t = static_cast<Transfer*>(parameter);
    if (t->file->write(reinterpret_cast<const char*>(buffer), bytesRead) != static_cast<qint64>(bytesRead)) {
        t->outcome->writeFailure =
            QStringLiteral("cannot write %1: %2").arg(t->file->fileName(), t->file->errorString());
        return false;
    }
    t->outcome->bytes += bytesRead;
    if (*t->chunkArrived && !(*t->chunkArrived)(t->outcome->bytes)) {
        t->outcome->stopped = true;
        return false;
    }
    return true;
}

}  // namespace

DownloadOutcome downloadFile(IedConnection connection, const QString& name, const QString& localPath,
                             const std::function<bool(qint64 received)>& chunkArrived) {
    DownloadOutcome outcome;
    QFile part(localPath + QStringLiteral(".part"));
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        outcome.writeFailure = QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString());
        return outcome;
    }
    Transfer transfer{&part, &chunkArrived, &outcome};
    const QByteArray remote = name.toUtf8();
    IedConnection_getFile(connection, &outcome.error, remote.constData(), &takeChunk, &transfer);
    if (!part.flush() && outcome.writeFailure.isEmpty()) {
        outcome.writeFailure = QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString());
    }
    part.close();
    if (outcome.ok()) {
        QFile::remove(localPath);
        if (!part.rename(localPath)) {
            outcome.writeFailure = QStringLiteral("cannot write %1: %2").arg(localPath, part.errorString());
        }
    }
    if (!outcome.ok()) {
        part.remove();
    }
    return outcome;
}

}  // namespace iec61850
