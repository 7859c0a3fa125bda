#pragma once

#include <cstddef>
#include <string>

namespace iedsim {

// Writes a configuration file for a large device: `logicalNodes` logical nodes in a realistic mix of
// measurement units, switch controllers, breakers and generic I/O, spread over logical devices of at
// most 100 nodes, each device with data sets over its nodes and buffered and unbuffered report
// control blocks on them.
std::string generateModel(unsigned logicalNodes, const std::string& iedName = "BIGIED");

extern const char* const kGeneratedTemplates;

}  // namespace iedsim
