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

// Whether `arguments` fit "save-scl FILE [--ied NAME]".
bool saveArgumentsFit(const std::vector<std::string>& arguments);
// Writes the device's model to FILE as an ICD file a simulator can serve; says on standard output what
// was saved and on standard error what a file could not hold. 0 saved, 1 the device could not be read
// or its model not written as a file, 2 the file could not be written.
int saveModelAsScl(IedConnection connection, const std::string& host, int port,
                   const std::vector<std::string>& arguments);

}  // namespace iedcli
