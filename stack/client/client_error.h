#pragma once

#include <cstdint>

#include "mms/data_access_error.h"
#include "mms/pdu.h"

namespace iecstack::client {

// How a call of the client failed, or Ok.
enum class ClientError : uint8_t {
    Ok,
    // The association
    NotConnected,
    AlreadyConnected,
    ConnectionLost,
    ConnectionRejected,
    Timeout,
    OutstandingCallLimitReached,
    // The caller's input
    InvalidArgument,
    ObjectReferenceInvalid,
    // The server's answer
    ServiceNotSupported,
    UnexpectedValueReceived,
    MalformedMessage,
    AccessDenied,
    ObjectDoesNotExist,
    ObjectExists,
    ObjectAccessUnsupported,
    TypeInconsistent,
    TemporarilyUnavailable,
    ObjectUndefined,
    InvalidAddress,
    HardwareFault,
    TypeUnsupported,
    ObjectAttributeInconsistent,
    ObjectValueInvalid,
    ObjectInvalidated,
    Unknown,
};

ClientError errorFromDataAccessError(mms::DataAccessError error);
// A confirmed-error answer to a request.
ClientError errorFromServiceError(const mms::ServiceError& error);
// A reject of one of our requests.
ClientError errorFromReject(const mms::Reject& reject);

}  // namespace iecstack::client
