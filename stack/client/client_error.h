#pragma once

#include "iec61850_client.h"
#include "mms/data_access_error.h"
#include "mms/pdu.h"

namespace iecstack::client {

IedClientError errorFromDataAccessError(mms::DataAccessError error);
// A confirmed-error answer to a request.
IedClientError errorFromServiceError(const mms::ServiceError& error);
// A reject of one of our requests.
IedClientError errorFromReject(const mms::Reject& reject);

}  // namespace iecstack::client
