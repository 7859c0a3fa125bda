#pragma once

#include "iec61850_client.h"

namespace iecstack::client {

// The two-letter name of a functional constraint; null for IEC61850_FC_ALL, IEC61850_FC_NONE and
// values outside the enumeration.
const char* functionalConstraintName(FunctionalConstraint fc);

}  // namespace iecstack::client
