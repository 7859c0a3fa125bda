#include "sampled_value_service.h"

namespace iecstack::server {
namespace {

using mms::DataAccessError;

bool isSampledValueFc(const std::string& fc) {
    return fc == "MS" || fc == "US";
}

// The control block `node` belongs to: the element right below the constraint's node.
ModelNode* blockOf(ModelNode& node) {
    ModelNode* block = &node;
    while (block->parent != nullptr && block->parent->name != block->fc) {
        block = block->parent;
    }
    return block->parent != nullptr && block->parent->name == block->fc ? block : nullptr;
}

}  // namespace

bool SampledValueService::concerns(const ModelNode& node) {
    return isSampledValueFc(node.fc);
}

std::optional<DataAccessError> SampledValueService::write(ModelNode& node, const MmsValue& value,
                                                          const Session& client) {
    ModelNode* block = blockOf(node);
    if (block == nullptr || block == &node) {
        return DataAccessError::ObjectAccessDenied;  // whole blocks carry ConfRev, which is the device's
    }
    const bool unicast = block->fc == "US";
    const auto held = holders_.find(block);
    if (unicast && held != holders_.end() && held->second != client.id()) {
        return DataAccessError::TemporarilyUnavailable;
    }
    ModelNode* svEna = block->child("SvEna");
    ModelNode* resv = block->child("Resv");
    const bool enabled = svEna != nullptr && svEna->value.boolValue();
    auto reserve = [&](bool on) {
        if (!unicast) {
            return;
        }
        if (on) {
            holders_[block] = client.id();
        } else {
            holders_.erase(block);
        }
        if (resv != nullptr) {
            model_.assign(*resv, MmsValue::boolean(on));
        }
    };
    if (&node == svEna) {
        if (value.boolValue() && !enabled) {
            const ModelNode* datSet = block->child("DatSet");
            const std::string name = datSet != nullptr ? datSet->value.text() : std::string();
            const size_t slash = name.find('/');
            if (slash == std::string::npos ||
                model_.dataSet(name.substr(0, slash), name.substr(slash + 1)) == nullptr) {
                return DataAccessError::ObjectValueInvalid;  // nothing to sample
            }
            reserve(true);
        }
        model_.assign(node, value);
        return std::nullopt;
    }
    if (&node == resv) {
        if (!value.boolValue() && enabled) {
            return DataAccessError::TemporarilyUnavailable;
        }
        reserve(value.boolValue());
        return std::nullopt;
    }
    if (node.name == "ConfRev" && node.parent == block) {
        return DataAccessError::ObjectAccessDenied;
    }
    if (enabled) {
        return DataAccessError::TemporarilyUnavailable;
    }
    if (node.name == "DatSet" && node.parent == block) {
        const std::string& name = value.text();
        const size_t slash = name.find('/');
        if (!name.empty() && (slash == std::string::npos ||
                              model_.dataSet(name.substr(0, slash), name.substr(slash + 1)) == nullptr)) {
            return DataAccessError::ObjectValueInvalid;
        }
        if (name != node.value.text()) {
            if (ModelNode* confRev = block->child("ConfRev")) {
                model_.assign(*confRev, MmsValue::unsignedInteger(confRev->value.toUint64() + 1));
            }
        }
    }
    model_.assign(node, value);
    return std::nullopt;
}

void SampledValueService::associationEnded(const Session& client) {
    for (auto it = holders_.begin(); it != holders_.end();) {
        if (it->second != client.id()) {
            ++it;
            continue;
        }
        for (const char* name : {"SvEna", "Resv"}) {
            if (ModelNode* attribute = it->first->child(name)) {
                model_.assign(*attribute, MmsValue::boolean(false));
            }
        }
        it = holders_.erase(it);
    }
}

}  // namespace iecstack::server
