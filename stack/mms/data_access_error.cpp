#include "mms/data_access_error.h"

namespace iecstack::mms {

const char* dataAccessErrorName(DataAccessError error) {
    switch (error) {
        case DataAccessError::ObjectInvalidated:
            return "object-invalidated";
        case DataAccessError::HardwareFault:
            return "hardware-fault";
        case DataAccessError::TemporarilyUnavailable:
            return "temporarily-unavailable";
        case DataAccessError::ObjectAccessDenied:
            return "object-access-denied";
        case DataAccessError::ObjectUndefined:
            return "object-undefined";
        case DataAccessError::InvalidAddress:
            return "invalid-address";
        case DataAccessError::TypeUnsupported:
            return "type-unsupported";
        case DataAccessError::TypeInconsistent:
            return "type-inconsistent";
        case DataAccessError::ObjectAttributeInconsistent:
            return "object-attribute-inconsistent";
        case DataAccessError::ObjectAccessUnsupported:
            return "object-access-unsupported";
        case DataAccessError::ObjectNonExistent:
            return "object-non-existent";
        case DataAccessError::ObjectValueInvalid:
            return "object-value-invalid";
    }
    return "unknown-data-access-error";
}

}  // namespace iecstack::mms
