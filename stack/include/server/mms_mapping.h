#pragma once

#include "mms/type_description.h"
#include "mms/value.h"
#include "server/data_model.h"
#include "server/model_node.h"

namespace iecstack::server {

// How model nodes appear on the wire. Callers of valueOf hold the model's value lock.
mms::TypeSpec typeOf(const ModelNode& node);
MmsValue valueOf(const ModelNode& node);

// Whether `value` has the shape and types of `node`, and fits its sizes.
enum class Conformance { Conforms, TypeMismatch, ValueInvalid };
Conformance checkConformance(const ModelNode& node, const MmsValue& value);

// Stores a conforming value into the node and the nodes below it through DataModel::assign (caller
// holds the value lock).
void storeValue(DataModel& model, ModelNode& node, const MmsValue& value);

}  // namespace iecstack::server
