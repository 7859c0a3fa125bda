#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mms/data_access_error.h"
#include "server/data_model.h"
#include "server/session.h"

namespace iecstack::server {

// The setting groups of each logical device with a setting group control block (LLN0$SP$SGCB): which
// group is active (its values are served under SG), and which group one client edits (served to that
// client alone under SE until it confirms or gives the edit up). Every call expects the value lock held.
class SettingGroupService {
public:
    explicit SettingGroupService(DataModel& model);

    // An attribute of a setting group control block.
    static bool isControlBlockAttribute(const ModelNode& node);
    // A client's write of one control block attribute (type already checked).
    std::optional<mms::DataAccessError> write(const std::string& domain, ModelNode& attribute,
                                              const MmsValue& value, const Session& client);
    // Whether `client` may read or write `node` of `domain`: values under SE only for the client that
    // edits a group there.
    bool mayAccess(const std::string& domain, const ModelNode& node, const Session& client) const;
    // Edits held longer than the block's ResvTms lapse; run before a request is answered.
    void expireEdits();
    // The client's edit lapses with its association.
    void associationEnded(const Session& client);

private:
    struct Block {
        std::string domain;
        ModelNode* sgcb = nullptr;
        unsigned groups = 0;
        // Every setting under SG, with its twin under SE when the setting can be edited.
        std::vector<std::pair<ModelNode*, ModelNode*>> settings;
        uint64_t editor = 0;  // session id, 0 while nobody edits
        std::optional<std::chrono::steady_clock::time_point> editLapses;
    };

    Block* blockOf(const std::string& domain);
    const Block* blockOf(const std::string& domain) const;
    void activate(Block& block, unsigned group);
    void beginEdit(Block& block, unsigned group, const Session& client);
    void endEdit(Block& block);
    void set(Block& block, const char* attribute, MmsValue value);

    DataModel& model_;
    std::vector<Block> blocks_;
};

}  // namespace iecstack::server
