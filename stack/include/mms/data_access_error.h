#pragma once

#include <cstdint>

namespace iecstack::mms {

// Failure codes of a single Read or Write result; the numbers are those on the wire.
enum class DataAccessError : uint8_t {
    ObjectInvalidated = 0,
    HardwareFault = 1,
    TemporarilyUnavailable = 2,
    ObjectAccessDenied = 3,
    ObjectUndefined = 4,
    InvalidAddress = 5,
    TypeUnsupported = 6,
    TypeInconsistent = 7,
    ObjectAttributeInconsistent = 8,
    ObjectAccessUnsupported = 9,
    ObjectNonExistent = 10,
    ObjectValueInvalid = 11,
};

const char* dataAccessErrorName(DataAccessError error);

}  // namespace iecstack::mms
