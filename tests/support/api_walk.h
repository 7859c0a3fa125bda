#pragma once

#include <cstddef>
#include <string>

#include "iec61850_client.h"

namespace korvan::test {

// What a discovery walk through the client API met.
struct WalkResult {
    size_t logicalDevices = 0;
    size_t logicalNodes = 0;
    size_t directoryCalls = 0;
    size_t reads = 0;
    size_t failedReads = 0;
    size_t dataSets = 0;
    size_t dataSetMembers = 0;
    size_t reportControlBlocks = 0;
    IedClientError error = IED_ERROR_OK;  // the first failed directory call
    std::string failedReference;          // where it failed
};

// Walks the whole model in the order the engine does: devices, their logical nodes, per node the data
// objects down to every attribute (one read per attribute), the data sets with their members and the
// unbuffered and buffered report control blocks down to their attributes.
WalkResult walkModel(IedConnection connection);

}  // namespace korvan::test
