#include "setting_group_service.h"

namespace iecstack::server {
namespace {

using mms::DataAccessError;
using Clock = std::chrono::steady_clock;

// Pairs every basic setting below `sg` with the attribute of the same path below `se` (null if none).
void collectSettings(ModelNode& sg, ModelNode* se, std::vector<std::pair<ModelNode*, ModelNode*>>& out) {
    if (sg.kind == ModelNode::Kind::Basic) {
        out.emplace_back(&sg, se != nullptr && se->kind == ModelNode::Kind::Basic ? se : nullptr);
        return;
    }
    for (size_t i = 0; i < sg.children.size(); ++i) {
        ModelNode& child = *sg.children[i];
        ModelNode* twin = nullptr;
        if (se != nullptr) {
            twin = sg.kind == ModelNode::Kind::Array
                       ? (i < se->children.size() ? se->children[i].get() : nullptr)
                       : se->child(child.name);
        }
        collectSettings(child, twin, out);
    }
}

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

SettingGroupService::SettingGroupService(DataModel& model) : model_(model) {
    for (auto& domain : model_.domains) {
        ModelNode* sgcb = model_.find(domain->name, "LLN0$SP$SGCB");
        const ModelNode* numOfSG = sgcb != nullptr ? sgcb->child("NumOfSG") : nullptr;
        if (numOfSG == nullptr || numOfSG->value.toUint64() == 0) {
            continue;
        }
        Block block;
        block.domain = domain->name;
        block.sgcb = sgcb;
        block.groups = static_cast<unsigned>(numOfSG->value.toUint64());
        for (auto& ln : domain->logicalNodes) {
            if (ModelNode* sg = ln->child("SG")) {
                collectSettings(*sg, ln->child("SE"), block.settings);
            }
        }
        for (auto& setting : block.settings) {
            // Groups the file gives no value for start with the value it gives without a group.
            setting.first->groupValues.resize(block.groups, setting.first->value);
        }
        const ModelNode* actSG = sgcb->child("ActSG");
        activate(block, actSG != nullptr ? static_cast<unsigned>(actSG->value.toUint64()) : 1);
        blocks_.push_back(std::move(block));
    }
}

bool SettingGroupService::isControlBlockAttribute(const ModelNode& node) {
    return node.fc == "SP" && node.parent != nullptr && node.parent->name == "SGCB" &&
           node.parent->parent != nullptr && node.parent->parent->parent != nullptr &&
           node.parent->parent->parent->name == "LLN0";
}

SettingGroupService::Block* SettingGroupService::blockOf(const std::string& domain) {
    for (Block& block : blocks_) {
        if (block.domain == domain) {
            return &block;
        }
    }
    return nullptr;
}

const SettingGroupService::Block* SettingGroupService::blockOf(const std::string& domain) const {
    return const_cast<SettingGroupService*>(this)->blockOf(domain);
}

std::optional<DataAccessError> SettingGroupService::write(const std::string& domain, ModelNode& attribute,
                                                          const MmsValue& value, const Session& client) {
    Block* block = blockOf(domain);
    if (block == nullptr) {
        return DataAccessError::ObjectAccessDenied;
    }
    const std::string& name = attribute.name;
    const bool editingElsewhere = block->editor != 0 && block->editor != client.id();
    if (name == "ActSG") {
        const uint64_t group = value.toUint64();
        if (group == 0 || group > block->groups) {
            return DataAccessError::ObjectValueInvalid;
        }
        activate(*block, static_cast<unsigned>(group));
        return std::nullopt;
    }
    if (name == "EditSG") {
        const uint64_t group = value.toUint64();
        if (group > block->groups) {
            return DataAccessError::ObjectValueInvalid;
        }
        if (editingElsewhere) {
            return DataAccessError::TemporarilyUnavailable;
        }
        if (group == 0) {
            endEdit(*block);
        } else {
            beginEdit(*block, static_cast<unsigned>(group), client);
        }
        return std::nullopt;
    }
    if (name == "CnfEdit") {
        if (!value.boolValue()) {
            return std::nullopt;
        }
        if (block->editor == 0) {
            return DataAccessError::ObjectAccessDenied;  // nothing to confirm
        }
        if (editingElsewhere) {
            return DataAccessError::TemporarilyUnavailable;
        }
        const unsigned group = static_cast<unsigned>(block->sgcb->child("EditSG")->value.toUint64());
        for (auto& [sg, se] : block->settings) {
            if (se != nullptr) {
                sg->groupValues[group - 1] = se->value;
            }
        }
        const ModelNode* actSG = block->sgcb->child("ActSG");
        if (actSG != nullptr && actSG->value.toUint64() == group) {
            activate(*block, group);
        }
        return std::nullopt;
    }
    // NumOfSG, LActTm and ResvTms are the device's.
    return DataAccessError::ObjectAccessDenied;
}

bool SettingGroupService::mayAccess(const std::string& domain, const ModelNode& node,
                                    const Session& client) const {
    if (node.fc != "SE") {
        return true;
    }
    const Block* block = blockOf(domain);
    return block == nullptr || block->editor == client.id();
}

void SettingGroupService::expireEdits() {
    const auto now = Clock::now();
    for (Block& block : blocks_) {
        if (block.editor != 0 && block.editLapses && now >= *block.editLapses) {
            endEdit(block);
        }
    }
}

void SettingGroupService::associationEnded(const Session& client) {
    for (Block& block : blocks_) {
        if (block.editor == client.id()) {
            endEdit(block);
        }
    }
}

void SettingGroupService::activate(Block& block, unsigned group) {
    if (group == 0 || group > block.groups) {
        group = 1;
    }
    for (auto& setting : block.settings) {
        model_.assign(*setting.first, setting.first->groupValues[group - 1]);
    }
    set(block, "ActSG", MmsValue::unsignedInteger(group));
    set(block, "LActTm", MmsValue::utcTimeFromMs(nowMs(), 0x0a));
}

void SettingGroupService::beginEdit(Block& block, unsigned group, const Session& client) {
    for (auto& [sg, se] : block.settings) {
        if (se != nullptr) {
            model_.assign(*se, sg->groupValues[group - 1]);
        }
    }
    block.editor = client.id();
    const ModelNode* resvTms = block.sgcb->child("ResvTms");
    const uint64_t seconds = resvTms != nullptr ? resvTms->value.toUint64() : 0;
    block.editLapses.reset();
    if (seconds > 0) {
        block.editLapses = Clock::now() + std::chrono::seconds(seconds);
    }
    set(block, "EditSG", MmsValue::unsignedInteger(group));
}

void SettingGroupService::endEdit(Block& block) {
    block.editor = 0;
    block.editLapses.reset();
    set(block, "EditSG", MmsValue::unsignedInteger(0));
}

void SettingGroupService::set(Block& block, const char* attribute, MmsValue value) {
    if (ModelNode* node = block.sgcb->child(attribute)) {
        model_.assign(*node, std::move(value));
    }
}

}  // namespace iecstack::server
