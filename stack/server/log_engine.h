#pragma once
// The simulated device's logs: every log control block of the model records its data set's changes
// into its log while LogEna is on, with the triggers of its TrgOps (the whole data set every IntgPd
// where it asks for integrity); each log keeps a bounded number of
// entries (the oldest go, OldEntr and OldEntrTm advance) and answers journal queries. Not part of the
// public interface.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <optional>

#include "data_set_members.h"
#include "iso/scheduler.h"
#include "mms/pdu.h"
#include "server/data_model.h"

namespace iecstack::server {

struct LoggingLimits {
    size_t entriesPerLog = 1000;
};

class LogEngine {
public:
    LogEngine(DataModel& model, iso::Scheduler& scheduler, LoggingLimits limits = {});
    ~LogEngine();
    LogEngine(const LogEngine&) = delete;
    LogEngine& operator=(const LogEngine&) = delete;

    // The entries a ReadJournal asks for, as many as fit into `maxPduSize` octets (at least one), with
    // moreFollows when more of the range remain; object-non-existent for an unknown log.
    mms::Pdu query(uint32_t invokeId, const mms::ReadJournalRequest& request, size_t maxPduSize,
                   std::string& summary) const;

    // An attribute of a log control block (under LG).
    static bool isBlockAttribute(const ModelNode& node);
    // A client's write of one, under the model's value lock: the entry bounds are the device's; the
    // data set changes only while the block is off, and to one that exists.
    std::optional<mms::DataAccessError> write(ModelNode& attribute, const MmsValue& value);

private:
    struct Journal {
        std::deque<mms::JournalEntry> entries;
        uint64_t lastId = 0;
    };
    struct Block {
        ModelNode* node = nullptr;
        Journal* journal = nullptr;
        std::vector<ResolvedMember> members;
        uint64_t integrityRound = 0;  // a scheduled integrity entry of an older round does nothing
        ModelNode* at(const char* name) const { return node->child(name); }
    };

    // Under the model's value lock.
    void valueStored(const ModelNode& attribute, bool changed);
    // Rebuilds which block records which attribute, after a block's data set changed.
    void indexMembers();
    // Starts the block's integrity period afresh, or ends it when the block no longer asks for one.
    void scheduleIntegrity(Block& block);
    void integrityDue(Block& block, uint64_t round, iso::TaskGroup::Clock::time_point due);
    void record(Block& block, const std::vector<std::pair<size_t, uint8_t>>& members);
    void publishBounds(const Journal& journal);

    DataModel& model_;
    LoggingLimits limits_;
    std::map<std::string, Journal> journals_;  // by "LD/LLN0$EventLog"
    std::vector<std::unique_ptr<Block>> blocks_;
    std::map<const ModelNode*, std::vector<std::pair<Block*, size_t>>> membersOf_;
    int observerId_ = 0;
    mutable std::mutex mutex_;  // guards the journals' entries; taken inside the value lock
    iso::TaskGroup periods_;    // last: closed before anything a period uses goes
};

}  // namespace iecstack::server
