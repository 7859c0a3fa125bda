#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "mms/bit_string.h"
#include "mms/services.h"
#include "mms/value.h"

namespace iecstack::mapping {

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

// Why a member is in a report, as bits (the reason string has them one place higher on the wire).
enum ReportReason : uint8_t {
    kReasonDataChange = 1,
    kReasonQualityChange = 2,
    kReasonDataUpdate = 4,
    kReasonIntegrity = 8,
    kReasonGeneralInterrogation = 16,
    kReasonApplicationTrigger = 32,
};

// The reason code as reports and log entries carry it, and the bits it holds.
MmsValue reasonString(uint8_t reasons);
uint8_t reasonsOf(const MmsValue& bits);

// Everything one report says, as it travels in an information report named "RPT". Which optional
// fields are on the wire is decided by optFlds alone; fields it does not announce keep their defaults.
struct Report {
    std::string rptId;
    mms::BitString optFlds{10};
    uint32_t seqNum = 0;
    uint64_t timeOfEntryMs = 0;
    std::string dataSetName;  // "LD/LLN0$Events"
    bool bufOvfl = false;
    std::vector<uint8_t> entryId;
    uint32_t confRev = 0;
    uint32_t subSeqNum = 0;  // with Segmentation
    bool moreSegmentsFollow = false;
    size_t memberCount = 0;  // of the data set: the length of the inclusion string
    struct Member {
        size_t index = 0;
        std::string reference;  // "LD/GGIO1$ST$Ind1$stVal", with DataReference
        MmsValue value;
        uint8_t reasons = 0;  // ReportReason bits, with ReasonForInclusion
    };
    std::vector<Member> members;  // included ones, by ascending index

    bool has(ReportOption option) const { return optFlds.bit(static_cast<size_t>(option)); }
};

// Whether an information report is a report of a report control block (its list is named "RPT").
bool isReport(const mms::InformationReport& report);

// The report as one information report; OptFlds shorter than ten bits are widened.
mms::InformationReport encodeReport(const Report& report);

// The report an information report carries. One whose elements do not follow its own OptFlds and
// inclusion string is refused with the reason in `why`.
std::optional<Report> decodeReport(mms::InformationReport&& report, std::string* why);

// The report as unconfirmed MMS PDUs of at most maxPduSize octets each: one PDU when it fits (with the
// segmentation bit cleared), otherwise segments numbered from 0, all but the last with
// MoreSegmentsFollow. Empty when not even one member fits beside the report's header.
std::vector<Bytes> encodeReportPdus(const Report& report, size_t maxPduSize);

}  // namespace iecstack::mapping
