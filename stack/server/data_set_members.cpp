#include "data_set_members.h"

#include <chrono>

#include "mapping/member_reference.h"
#include "report_encoding.h"

namespace iecstack::server {

namespace {

void collectLeaves(ModelNode& node, std::vector<ModelNode*>& leaves) {
    if (node.kind == ModelNode::Kind::Basic) {
        leaves.push_back(&node);
        return;
    }
    for (auto& child : node.children) {
        collectLeaves(*child, leaves);
    }
}

}  // namespace

std::vector<ResolvedMember> resolveDataSet(const DataModel& model, const std::string& dataSetName) {
    std::vector<ResolvedMember> resolved;
    const size_t slash = dataSetName.find('/');
    const DataSetDefinition* dataSet =
        slash == std::string::npos
            ? nullptr
            : model.dataSet(dataSetName.substr(0, slash), dataSetName.substr(slash + 1));
    if (dataSet == nullptr) {
        return resolved;
    }
    for (const auto& member : dataSet->members) {
        ModelNode* node = model.resolve(member);
        if (node == nullptr) {
            continue;
        }
        ResolvedMember m;
        m.node = node;
        const mms::VariableAccess variable = member.variable();
        m.reference = mapping::variableReference(variable.name.domainId, variable.name.itemId, variable.path);
        collectLeaves(*node, m.leaves);
        resolved.push_back(std::move(m));
    }
    return resolved;
}

uint8_t triggerReasons(const ModelNode& attribute, bool changed) {
    uint8_t reasons = 0;
    if (changed && (attribute.triggers & ModelNode::kDataChange) != 0) {
        reasons |= kReasonDataChange;
    }
    if (changed && (attribute.triggers & ModelNode::kQualityChange) != 0) {
        reasons |= kReasonQualityChange;
    }
    if ((attribute.triggers & ModelNode::kDataUpdate) != 0) {
        reasons |= kReasonDataUpdate;
    }
    return reasons;
}

std::vector<uint8_t> entryIdBytes(uint64_t id) {
    std::vector<uint8_t> bytes(8);
    for (int i = 7; i >= 0; --i) {
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(id & 0xff);
        id >>= 8;
    }
    return bytes;
}

uint64_t entryIdFrom(ByteView octets) {
    uint64_t id = 0;
    for (uint8_t octet : octets) {
        id = (id << 8) | octet;
    }
    return id;
}

uint64_t systemNowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace iecstack::server
