#include "client_error.h"

namespace iecstack::client {

IedClientError errorFromDataAccessError(mms::DataAccessError error) {
    using mms::DataAccessError;
    switch (error) {
        case DataAccessError::ObjectInvalidated:
            return IED_ERROR_OBJECT_INVALIDATED;
        case DataAccessError::HardwareFault:
            return IED_ERROR_HARDWARE_FAULT;
        case DataAccessError::TemporarilyUnavailable:
            return IED_ERROR_TEMPORARILY_UNAVAILABLE;
        case DataAccessError::ObjectAccessDenied:
            return IED_ERROR_ACCESS_DENIED;
        case DataAccessError::ObjectUndefined:
            return IED_ERROR_OBJECT_UNDEFINED;
        case DataAccessError::InvalidAddress:
            return IED_ERROR_INVALID_ADDRESS;
        case DataAccessError::TypeUnsupported:
            return IED_ERROR_TYPE_UNSUPPORTED;
        case DataAccessError::TypeInconsistent:
            return IED_ERROR_TYPE_INCONSISTENT;
        case DataAccessError::ObjectAttributeInconsistent:
            return IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT;
        case DataAccessError::ObjectAccessUnsupported:
            return IED_ERROR_OBJECT_ACCESS_UNSUPPORTED;
        case DataAccessError::ObjectNonExistent:
            return IED_ERROR_OBJECT_DOES_NOT_EXIST;
        case DataAccessError::ObjectValueInvalid:
            return IED_ERROR_OBJECT_VALUE_INVALID;
    }
    return IED_ERROR_UNKNOWN;
}

}  // namespace iecstack::client
