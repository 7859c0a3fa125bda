#pragma once

#include <string>
#include <vector>

#include "ber/result.h"
#include "iec61850_client.h"
#include "mms/type_description.h"
#include "mms/value.h"
#include "server/data_model.h"

namespace korvan::scl {

// What a model is made of in the terms a device and a configuration file share: per logical node, the
// type and value of each functional-constraint part, and the data sets with their members. Comparing
// a device with its file, and writing a device's model as a file, both work on this.
struct NodeSnapshot {
    struct Part {
        std::string fc;  // "ST"
        iecstack::mms::TypeSpec type;
        MmsValue value;  // an access error where the part could not be read
    };
    std::string name;         // "LLN0"
    std::vector<Part> parts;  // in directory order of their constraints
};

struct DataSetSnapshot {
    std::string node, name;            // "LLN0", "Events"
    std::vector<std::string> members;  // "LD/LN.DO.DA[FC]"
};

struct DeviceSnapshot {
    std::string name;  // the logical device as the device names it ("IEDLD0")
    std::vector<NodeSnapshot> nodes;
    std::vector<DataSetSnapshot> dataSets;
};

struct ModelSnapshot {
    std::vector<DeviceSnapshot> devices;
};

// The snapshot of a model built from a configuration file: what a device serving it would give.
ModelSnapshot snapshotOf(const iecstack::server::DataModel& model);

// Reads the snapshot of the device at the other end of `connection` (associated). Fails with the
// reference it failed at and why.
struct SnapshotError {
    std::string message;
};
iecstack::Result<ModelSnapshot, SnapshotError> readSnapshot(IedConnection connection);

}  // namespace korvan::scl
