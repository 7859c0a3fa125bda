#pragma once

#include <QString>

#include "iec61850_client.h"

namespace iec61850 {

// Why a connect to host:port failed, in words an engineer on site can act on ("connection refused",
// "no answer within 10 s", "not an IEC 61850/MMS server", "association rejected", "name not found").
// The client reports a refused TCP connect and a refused association with the same code, so for that
// code this looks again with a bare TCP connect that sends nothing. Blocks for at most a few seconds.
QString connectFailureReason(IedClientError error, const QString& host, int port, int connectTimeoutMs);

// What a request on an open association was about: the same refusal means something else for each.
enum class RequestSubject { DataSet, ReportControlBlock, File };

// Why a request failed, as the status bar and the dialogs say it; empty for a file request that
// succeeded.
QString requestFailureReason(IedClientError error, RequestSubject subject);

}  // namespace iec61850
