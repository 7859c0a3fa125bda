#pragma once

#include <QString>

#include <functional>

#include "iec61850_client.h"

namespace iec61850 {

// How a download ended. Nothing is left at the local path unless it succeeded.
struct DownloadOutcome {
    IedClientError error = IED_ERROR_OK;  // the device's or the connection's
    QString writeFailure;                 // the local file could not be written: why
    bool stopped = false;                 // the caller's progress function asked to stop
    qint64 bytes = 0;

    bool ok() const { return error == IED_ERROR_OK && writeFailure.isEmpty() && !stopped; }
};

// Fetches the device's file `name` into `localPath`. The octets go to "localPath.part", which takes
// the final name only once the device has given the whole file, so that a transfer cut short never
// leaves a file that looks complete. `chunkArrived` is called with the octets received so far after
// each chunk, on the calling thread; returning false stops the transfer.
DownloadOutcome downloadFile(IedConnection connection, const QString& name, const QString& localPath,
                             const std::function<bool(qint64 received)>& chunkArrived);

}  // namespace iec61850
