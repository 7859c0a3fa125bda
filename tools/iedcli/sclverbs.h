#pragma once

#include <string>
#include <vector>

#include "iec61850_client.h"

namespace iedcli {

// Whether `arguments` fit "compare FILE [--ied NAME]".
bool compareArgumentsFit(const std::vector<std::string>& arguments);
// Prints each difference of the device from the file's IED as one line; 0 when there are none, 1 when
// there are, 2 when the file or the device could not be read (said why on standard error).
int compareWithFile(IedConnection connection, const std::vector<std::string>& arguments);

}  // namespace iedcli
