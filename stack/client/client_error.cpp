#include "client_error.h"

namespace iecstack::client {

ClientError errorFromDataAccessError(mms::DataAccessError error) {
    using mms::DataAccessError;
    switch (error) {
        case DataAccessError::ObjectInvalidated:
            return ClientError::ObjectInvalidated;
        case DataAccessError::HardwareFault:
            return ClientError::HardwareFault;
        case DataAccessError::TemporarilyUnavailable:
            return ClientError::TemporarilyUnavailable;
        case DataAccessError::ObjectAccessDenied:
            return ClientError::AccessDenied;
        case DataAccessError::ObjectUndefined:
            return ClientError::ObjectUndefined;
        case DataAccessError::InvalidAddress:
            return ClientError::InvalidAddress;
        case DataAccessError::TypeUnsupported:
            return ClientError::TypeUnsupported;
        case DataAccessError::TypeInconsistent:
            return ClientError::TypeInconsistent;
        case DataAccessError::ObjectAttributeInconsistent:
            return ClientError::ObjectAttributeInconsistent;
        case DataAccessError::ObjectAccessUnsupported:
            return ClientError::ObjectAccessUnsupported;
        case DataAccessError::ObjectNonExistent:
            return ClientError::ObjectDoesNotExist;
        case DataAccessError::ObjectValueInvalid:
            return ClientError::ObjectValueInvalid;
    }
    return ClientError::Unknown;
}

ClientError errorFromServiceError(const mms::ServiceError& error) {
    using mms::ErrorClass;
    switch (error.errorClass) {
        case ErrorClass::Access:
            switch (static_cast<mms::AccessErrorCode>(error.code)) {
                case mms::AccessErrorCode::ObjectAccessUnsupported:
                    return ClientError::ObjectAccessUnsupported;
                case mms::AccessErrorCode::ObjectNonExistent:
                    return ClientError::ObjectDoesNotExist;
                case mms::AccessErrorCode::ObjectAccessDenied:
                    return ClientError::AccessDenied;
                case mms::AccessErrorCode::ObjectInvalidated:
                case mms::AccessErrorCode::ObjectInvalidatedByPeer:
                    return ClientError::ObjectInvalidated;
            }
            return ClientError::Unknown;
        case ErrorClass::Definition:
            // other, object-undefined, invalid-address, type-unsupported, type-inconsistent,
            // object-exists, object-attribute-inconsistent
            switch (error.code) {
                case 1:
                    return ClientError::ObjectDoesNotExist;
                case 2:
                    return ClientError::InvalidAddress;
                case 3:
                    return ClientError::TypeUnsupported;
                case 4:
                    return ClientError::TypeInconsistent;
                case 5:
                    return ClientError::ObjectExists;
                case 6:
                    return ClientError::ObjectAttributeInconsistent;
                default:
                    return ClientError::Unknown;
            }
        case ErrorClass::Resource:
            return ClientError::TemporarilyUnavailable;
        case ErrorClass::File:
            switch (static_cast<mms::FileErrorCode>(error.code)) {
                case mms::FileErrorCode::FileNonExistent:
                    return ClientError::ObjectDoesNotExist;
                case mms::FileErrorCode::FileAccessDenied:
                    return ClientError::AccessDenied;
                case mms::FileErrorCode::FileBusy:
                    return ClientError::TemporarilyUnavailable;
                case mms::FileErrorCode::DuplicateFilename:
                    return ClientError::ObjectExists;
                default:
                    return ClientError::Unknown;
            }
        case ErrorClass::Service:
            return ClientError::ServiceNotSupported;
        default:
            return ClientError::Unknown;
    }
}

ClientError errorFromReject(const mms::Reject& reject) {
    if (reject.rejectClass == mms::RejectClass::ConfirmedRequest &&
        reject.reason == static_cast<int64_t>(mms::RequestRejectReason::UnrecognizedService)) {
        return ClientError::ServiceNotSupported;
    }
    if (reject.rejectClass == mms::RejectClass::ConfirmedRequest &&
        reject.reason == static_cast<int64_t>(mms::RequestRejectReason::MaxServicesOutstandingExceeded)) {
        return ClientError::OutstandingCallLimitReached;
    }
    return ClientError::ServiceNotSupported;
}

}  // namespace iecstack::client
