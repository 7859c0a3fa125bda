#pragma once

#include <memory>
#include <string>

#include "ber/result.h"
#include "scl/scl_document.h"
#include "server/data_model.h"

namespace iecstack::server {

struct BuildError {
    std::string message;  // "file:line: problem"
};

// Builds the served model of one IED of a configuration document. `iedName` may be empty when the
// document holds exactly one IED with a server.
Result<std::unique_ptr<DataModel>, BuildError> buildDataModel(const scl::Document& document,
                                                              const std::string& iedName);

// Loads a configuration file and builds the model of one of its IEDs in one step.
Result<std::unique_ptr<DataModel>, BuildError> loadDataModel(const std::string& sclPath,
                                                             const std::string& iedName);

}  // namespace iecstack::server
