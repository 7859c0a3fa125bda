#pragma once

#include <string>

#include "ber/result.h"
#include "scl/scl_document.h"

namespace iecstack::scl {

// Why a file was refused, already phrased for a person: "file:line: problem".
struct LoadError {
    std::string message;
};

// Reads a configuration file (ICD, CID or SCD). Only the structure is checked here (required attributes,
// numbers, duplicate type ids); whether references between types resolve is checked when a model is
// built, for the IED being built, because real multi-IED files often carry unused broken types.
Result<Document, LoadError> loadSclFile(const std::string& path);

// Same for text already in memory; `fileName` is only used in messages.
Result<Document, LoadError> loadSclText(const std::string& text, const std::string& fileName);

}  // namespace iecstack::scl
