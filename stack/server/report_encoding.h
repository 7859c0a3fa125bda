#pragma once
// Reports as the server puts them on the wire; not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "mms/bit_string.h"
#include "mms/value.h"

namespace iecstack::server {

// Why a member is in a report, as bits (the reason string has them one place higher on the wire).
enum ReportReason : uint8_t {
    kReasonDataChange = 1,
    kReasonQualityChange = 2,
    kReasonDataUpdate = 4,
    kReasonIntegrity = 8,
    kReasonGeneralInterrogation = 16,
};

// The reason code as reports and log entries carry it.
MmsValue reasonString(uint8_t reasons);

// Everything one report says. Which optional fields go out is decided by optFlds alone; the
// segmentation bit is set by the encoder when the report has to be cut.
struct ReportContent {
    std::string rptId;
    mms::BitString optFlds{10};
    uint32_t seqNum = 0;
    uint64_t timeOfEntryMs = 0;
    std::string dataSetName;  // "LD/LLN0$Events"
    bool bufOvfl = false;
    std::vector<uint8_t> entryId;
    uint32_t confRev = 0;
    size_t memberCount = 0;  // of the data set
    struct Member {
        size_t index = 0;
        std::string reference;  // "LD/GGIO1$ST$Ind1$stVal"
        MmsValue value;
        uint8_t reasons = 0;  // ReportReason bits
    };
    std::vector<Member> members;  // included ones, by ascending index
};

// The report as unconfirmed MMS PDUs of at most maxPduSize octets each: one PDU when it fits,
// otherwise segments numbered from 0, all but the last with MoreSegmentsFollow. Empty when not even one
// member fits beside the report's header.
std::vector<Bytes> encodeReport(const ReportContent& content, size_t maxPduSize);

}  // namespace iecstack::server
