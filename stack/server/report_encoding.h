#pragma once
// The report engine's names for the shared report format; not part of the public interface.

#include <cstddef>
#include <vector>

#include "mapping/report.h"

namespace iecstack::server {

using ReportContent = mapping::Report;
using mapping::kReasonDataChange;
using mapping::kReasonDataUpdate;
using mapping::kReasonGeneralInterrogation;
using mapping::kReasonIntegrity;
using mapping::kReasonQualityChange;
using mapping::ReportReason;
using mapping::reasonString;

// The report as the PDUs that go out to one client (see mapping::encodeReportPdus).
inline std::vector<Bytes> encodeReport(const ReportContent& content, size_t maxPduSize) {
    return mapping::encodeReportPdus(content, maxPduSize);
}

}  // namespace iecstack::server
