#include "service_support.h"

namespace iecstack::server::detail {

mms::Pdu serviceError(uint32_t invokeId, mms::ErrorClass errorClass, int64_t code) {
    mms::ConfirmedError e;
    e.invokeId = invokeId;
    e.error.errorClass = errorClass;
    e.error.code = code;
    return e;
}

mms::Pdu nonExistent(uint32_t invokeId) {
    return serviceError(invokeId, mms::ErrorClass::Access,
                        static_cast<int64_t>(mms::AccessErrorCode::ObjectNonExistent));
}

mms::Pdu response(uint32_t invokeId, mms::ConfirmedResponseService service) {
    return mms::ConfirmedResponse{invokeId, std::move(service)};
}

// A log line names the first few variables of a request; a list of thousands would drown the log.
constexpr size_t kNamesPerLogLine = 8;

void appendToSummary(std::string& summary, size_t index, size_t total, const std::string& item) {
    if (index < kNamesPerLogLine) {
        summary += " " + item;
    } else if (index == kNamesPerLogLine) {
        summary += " and " + std::to_string(total - kNamesPerLogLine) + " more";
    }
}

}  // namespace iecstack::server::detail
