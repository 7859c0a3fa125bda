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

IedClientError errorFromServiceError(const mms::ServiceError& error) {
    using mms::ErrorClass;
    switch (error.errorClass) {
        case ErrorClass::Access:
            switch (static_cast<mms::AccessErrorCode>(error.code)) {
                case mms::AccessErrorCode::ObjectAccessUnsupported:
                    return IED_ERROR_OBJECT_ACCESS_UNSUPPORTED;
                case mms::AccessErrorCode::ObjectNonExistent:
                    return IED_ERROR_OBJECT_DOES_NOT_EXIST;
                case mms::AccessErrorCode::ObjectAccessDenied:
                    return IED_ERROR_ACCESS_DENIED;
                case mms::AccessErrorCode::ObjectInvalidated:
                case mms::AccessErrorCode::ObjectInvalidatedByPeer:
                    return IED_ERROR_OBJECT_INVALIDATED;
            }
            return IED_ERROR_UNKNOWN;
        case ErrorClass::Definition:
            // other, object-undefined, invalid-address, type-unsupported, type-inconsistent,
            // object-exists, object-attribute-inconsistent
            switch (error.code) {
                case 1:
                    return IED_ERROR_OBJECT_DOES_NOT_EXIST;
                case 2:
                    return IED_ERROR_INVALID_ADDRESS;
                case 3:
                    return IED_ERROR_TYPE_UNSUPPORTED;
                case 4:
                    return IED_ERROR_TYPE_INCONSISTENT;
                case 5:
                    return IED_ERROR_OBJECT_EXISTS;
                case 6:
                    return IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT;
                default:
                    return IED_ERROR_UNKNOWN;
            }
        case ErrorClass::Resource:
            return IED_ERROR_TEMPORARILY_UNAVAILABLE;
        case ErrorClass::File:
            switch (static_cast<mms::FileErrorCode>(error.code)) {
                case mms::FileErrorCode::FileNonExistent:
                    return IED_ERROR_OBJECT_DOES_NOT_EXIST;
                case mms::FileErrorCode::FileAccessDenied:
                    return IED_ERROR_ACCESS_DENIED;
                case mms::FileErrorCode::FileBusy:
                    return IED_ERROR_TEMPORARILY_UNAVAILABLE;
                case mms::FileErrorCode::DuplicateFilename:
                    return IED_ERROR_OBJECT_EXISTS;
                default:
                    return IED_ERROR_UNKNOWN;
            }
        case ErrorClass::Service:
            return IED_ERROR_SERVICE_NOT_SUPPORTED;
        default:
            return IED_ERROR_UNKNOWN;
    }
}

IedClientError errorFromReject(const mms::Reject& reject) {
    if (reject.rejectClass == mms::RejectClass::ConfirmedRequest &&
        reject.reason == static_cast<int64_t>(mms::RequestRejectReason::UnrecognizedService)) {
        return IED_ERROR_SERVICE_NOT_SUPPORTED;
    }
    if (reject.rejectClass == mms::RejectClass::ConfirmedRequest &&
        reject.reason == static_cast<int64_t>(mms::RequestRejectReason::MaxServicesOutstandingExceeded)) {
        return IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED;
    }
    return IED_ERROR_SERVICE_NOT_SUPPORTED;
}

}  // namespace iecstack::client
