#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mms/type_description.h"
#include "mms_type_spec.h"

// The C handle over a type description: the description itself and one node per component, so that
// the accessors can hand out child pointers that live as long as the root.
struct sMmsVariableSpecification {
    std::string name;
    iecstack::mms::TypeSpec type;  // without its components; they are the children below
    std::vector<std::unique_ptr<sMmsVariableSpecification>> children;
};

namespace iecstack::mms {

// A tree of handles for `type`, its top level named `name`; the caller destroys it.
std::unique_ptr<sMmsVariableSpecification> makeVariableSpecification(const TypeSpec& type, std::string name);

}  // namespace iecstack::mms
