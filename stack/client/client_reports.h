#pragma once
// Received reports. The client's report code in four places:
// - mapping/report.h: the report format, decoded there (and encoded there for the server);
// - here: what a received report looks like to the C interface, and its delivery to the handlers;
// - report_control_block.h: the client's copy of a report control block, and
//   client_connection_reports.cpp: the requests that read and write one;
// - iec61850_client_reports.cpp: the C functions over both.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "iec61850_client.h"
#include "mapping/report.h"
#include "mms/services.h"

// One received report as ClientReport hands it out: the fields its OptFlds announce, and the data
// set's members by index. Members the report did not include have no data reference, reason 0 and an
// absent value (null through the C interface), never a value of an earlier report.
struct sClientReport {
    std::string rcbReference;  // of the handler that took the report
    std::string rptId;
    std::optional<uint32_t> seqNum;
    std::optional<uint64_t> timeOfEntryMs;
    std::optional<std::string> dataSetName;
    std::optional<bool> bufOvfl;
    std::optional<MmsValue> entryId;
    std::optional<uint32_t> confRev;
    std::optional<uint32_t> subSeqNum;
    bool moreSegmentsFollow = false;
    bool hasDataReferences = false;
    bool hasReasons = false;
    // One element per data set member.
    MmsValue values = MmsValue::array({});
    std::vector<std::optional<std::string>> dataReferences;
    std::vector<uint8_t> reasons;
};

namespace iecstack::client {

using mapping::isReport;

// Decodes a received report into what ClientReport hands out; a malformed one is refused with the
// reason in `why`.
std::optional<sClientReport> decodeReport(mms::InformationReport&& report, std::string* why);

// The report handlers a connection handle has installed, and the delivery of reports to them on the
// receive thread.
class ReportHandlers {
public:
    // Replaces the handler of the same control block. rptId null: reports are matched by the block's
    // reference.
    void install(const char* rcbReference, const char* rptId, ReportCallbackFunction handler,
                 void* parameter);
    void uninstall(const char* rcbReference);
    // Decodes the report and calls its handler, if any; malformed reports are counted and dropped.
    void deliver(mms::InformationReport&& report);

    uint64_t malformedReports() const { return malformed_; }
    uint64_t unclaimedReports() const { return unclaimed_; }

private:
    struct Entry {
        std::string rcbReference;
        std::optional<std::string> rptId;
        ReportCallbackFunction handler = nullptr;
        void* parameter = nullptr;
    };
    static bool claims(const Entry& entry, const std::string& rptId);

    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::atomic<uint64_t> malformed_{0};
    std::atomic<uint64_t> unclaimed_{0};
};

}  // namespace iecstack::client
