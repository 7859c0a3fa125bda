#pragma once
// Pieces shared by the server's service families; not part of the public interface.

#include <cstdint>
#include <string>

#include "mms/pdu.h"

namespace iecstack::server::detail {

mms::Pdu serviceError(uint32_t invokeId, mms::ErrorClass errorClass, int64_t code);

mms::Pdu nonExistent(uint32_t invokeId);

mms::Pdu response(uint32_t invokeId, mms::ConfirmedResponseService service);

// Adds one requested item to a log line; a list of thousands would drown the log, so only the first
// few are named.
void appendToSummary(std::string& summary, size_t index, size_t total, const std::string& item);

}  // namespace iecstack::server::detail
