#pragma once
// The simulated device's logs: every log control block of the model records its data set's changes
// into its log while LogEna is on, with the triggers of its TrgOps; each log keeps a bounded number of
// entries (the oldest go, OldEntr and OldEntrTm advance) and answers journal queries. Not part of the
// public interface.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data_set_members.h"
#include "mms/pdu.h"
#include "server/data_model.h"

namespace iecstack::server {

struct LoggingLimits {
    size_t entriesPerLog = 1000;
};

class LogEngine {
public:
    explicit LogEngine(DataModel& model, LoggingLimits limits = {});
    ~LogEngine();
    LogEngine(const LogEngine&) = delete;
    LogEngine& operator=(const LogEngine&) = delete;

    // The entries a ReadJournal asks for, as many as fit into `maxPduSize` octets (at least one), with
    // moreFollows when more of the range remain; object-non-existent for an unknown log.
    mms::Pdu query(uint32_t invokeId, const mms::ReadJournalRequest& request, size_t maxPduSize,
                   std::string& summary) const;

private:
    struct Journal {
        std::deque<mms::JournalEntry> entries;
        uint64_t lastId = 0;
    };
    struct Block {
        ModelNode* node = nullptr;
        Journal* journal = nullptr;
        std::vector<ResolvedMember> members;
        ModelNode* at(const char* name) const { return node->child(name); }
    };

    // Under the model's value lock.
    void valueStored(const ModelNode& attribute, bool changed);
    void record(Block& block, const std::vector<std::pair<size_t, uint8_t>>& members);
    void publishBounds(const Journal& journal);

    DataModel& model_;
    LoggingLimits limits_;
    std::map<std::string, Journal> journals_;  // by "LD/LLN0$EventLog"
    std::vector<std::unique_ptr<Block>> blocks_;
    std::map<const ModelNode*, std::vector<std::pair<Block*, size_t>>> membersOf_;
    int observerId_ = 0;
    mutable std::mutex mutex_;  // guards the journals' entries; taken inside the value lock
};

}  // namespace iecstack::server
