#pragma once
// What reporting and logging both need of a data set: its members as model nodes with the references
// they are sent under, what a store triggers, and the entry IDs both number their entries with. Not
// part of the public interface.

#include <cstdint>
#include <string>
#include <vector>

#include "server/data_model.h"

namespace iecstack::server {

struct ResolvedMember {
    ModelNode* node = nullptr;
    std::string reference;           // "LD/GGIO1$ST$Ind1", with "(n)" for an array element
    std::vector<ModelNode*> leaves;  // the basic attributes whose stores concern the member
};

// The members of `dataSetName` ("LD/LLN0$Events") that the model has, in data set order; empty when the
// data set does not exist. Members left out when the model was built are skipped.
std::vector<ResolvedMember> resolveDataSet(const DataModel& model, const std::string& dataSetName);

// What a store into `attribute` triggers, as ReportReason bits, from the triggers of its type.
uint8_t triggerReasons(const ModelNode& attribute, bool changed);

// Entry IDs are eight octets, big-endian counters.
std::vector<uint8_t> entryIdBytes(uint64_t id);
uint64_t entryIdFrom(ByteView octets);

uint64_t systemNowMs();

}  // namespace iecstack::server
