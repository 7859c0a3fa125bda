#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "mms/value.h"
#include "server/data_model.h"

namespace korvan::scl {

// One line of a model as the discovery walk announces it.
struct ModelLine {
    std::string name;       // as shown: "stVal", or a data set member's "LD/LN.DO.DA"
    std::string reference;  // "LD/LN.DO.DA"
    std::string fc;         // "[ST]", empty for devices, nodes, data objects, data sets and control blocks
    int layer = 0;  // 1 logical device, 2 logical node, 3 data object, data set or block, 4 and deeper
    // Attributes the walk reads carry the value a read would return.
    bool hasValue = false;
    MmsValue value;
};

// The lines a discovery walk of a device serving `model` announces, in the same order: devices,
// their nodes, per node the data objects down to every attribute, the data sets with their members,
// then the unbuffered and buffered report control blocks. Names come from the model's own name lists,
// so the order is the one a device serving it gives. Settings of the edit buffer (SE) carry no value,
// since a device answers them only while someone edits.
std::vector<ModelLine> discoveryLines(const iecstack::server::DataModel& model);

// Told after each logical node how many of the model's nodes are done; false stops the walk, which then
// returns the lines so far.
using WalkStep = std::function<bool(size_t done, size_t total)>;
std::vector<ModelLine> discoveryLines(const iecstack::server::DataModel& model, const WalkStep& step);

}  // namespace korvan::scl
