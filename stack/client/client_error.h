#pragma once

#include "iec61850_client.h"
#include "mms/data_access_error.h"

namespace iecstack::client {

IedClientError errorFromDataAccessError(mms::DataAccessError error);

}  // namespace iecstack::client
