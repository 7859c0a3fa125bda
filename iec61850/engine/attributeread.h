#pragma once

#include "iec61850_client.h"

namespace iec61850 {

// Reads one attribute for the engine's own use; null when there is no value to use. A device's
// refusal reaches callers either as an error code or, as libiec61850 gives it, as a data-access-error
// value without an error: both are no value here.
MmsValue* readAttribute(IedConnection connection, const char* reference, FunctionalConstraint fc);

}  // namespace iec61850
