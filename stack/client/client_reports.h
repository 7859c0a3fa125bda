#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "iec61850_client.h"
#include "mms/bit_string.h"
#include "mms/services.h"

// One received report, decoded: what ClientReport points to. Only the fields the report's own OptFlds
// announce are set; members the report did not include have no data reference, reason 0 and an
// absent value (null through the C interface), never a value of an earlier report.
struct sClientReport {
    std::string rcbReference;  // of the handler that took the report
    std::string rptId;
    iecstack::mms::BitString optFlds;
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

// Bits of the OptFlds string a report carries (bit 0 is reserved).
enum class ReportOption : uint8_t {
    SequenceNumber = 1,
    ReportTimeStamp = 2,
    ReasonForInclusion = 3,
    DataSetName = 4,
    DataReference = 5,
    BufferOverflow = 6,
    EntryId = 7,
    ConfRevision = 8,
    Segmentation = 9,
};

// Whether an information report is a report of a report control block (its list is named "RPT").
bool isReport(const mms::InformationReport& report);

// Decodes the access results of a report. A report whose elements do not follow its own OptFlds and
// inclusion string is refused with the reason in `why`.
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
