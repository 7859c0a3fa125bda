#pragma once

#include <string>
#include <vector>

#include "modelsnapshot.h"

namespace korvan::scl {

// One way a device differs from its configuration file.
struct Difference {
    enum class Kind {
        OnlyInDevice,   // a logical device, node, data object, attribute, data set or block the file lacks
        OnlyInFile,     // one the device lacks
        Type,           // the device's type of an attribute is not the file's
        DataSet,        // a data set's members
        ReportControl,  // a report control block's configuration
        Value,          // a configuration (CF) or description (DC) value
    };
    Kind kind;
    std::string reference;  // "LD/LN.DO.DA[FC]", "LD/LN.DataSet", "LD/LN.RCB"
    std::string detail;     // "device INT32, file INT8"; empty for one-sided elements
};

// Every difference of `device` from `file`, logical device by logical device in the device's order,
// then what only the file has.
std::vector<Difference> compareModels(const ModelSnapshot& device, const ModelSnapshot& file);

// "only in the device", "type", ...
const char* kindName(Difference::Kind kind);
// One line of text: "type: LD/LN.DO.DA[MX]: device FLOAT32, file INT32".
std::string differenceLine(const Difference& difference);

// The text a comparison shows for a value; also what a saved file writes for it.
std::string valueText(const MmsValue& value);
// "INT32", "FLOAT32", "BIT STRING(13)", "VISIBLE STRING(255)", "STRUCTURE", "ARRAY(4)".
std::string typeText(const iecstack::mms::TypeSpec& type);

}  // namespace korvan::scl
