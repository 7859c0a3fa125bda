#pragma once
// The server's reporting: every report control block of the model with its state, the triggers from
// value changes, buffer time, integrity period and general interrogation, and the sending of reports to
// the client that enabled a block. Not part of the public interface.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ber/byte_view.h"
#include "iso/scheduler.h"
#include "mms/data_access_error.h"
#include "report_encoding.h"
#include "server/data_model.h"
#include "server/session.h"

namespace iecstack::server {

struct ReportingLimits {
    // Entries a buffered block keeps for a client that is away; older ones are dropped (BufOvfl).
    size_t bufferedEntries = 1000;
    // Unbuffered reports waiting to be sent; when clients cannot keep up, the oldest are lost, as
    // unbuffered reporting allows, instead of memory growing without end.
    size_t waitingReports = 1000;
};

class ReportEngine {
public:
    ReportEngine(DataModel& model, iso::Scheduler& scheduler, ReportingLimits limits = {});
    // No report is sent after it returns.
    ~ReportEngine();
    ReportEngine(const ReportEngine&) = delete;
    ReportEngine& operator=(const ReportEngine&) = delete;

    // Whether `node` is one attribute of a report control block.
    static bool isBlockAttribute(const ModelNode& node);
    // A client's write of one attribute (type already checked; caller holds the value lock). Stores the
    // value when the rules allow it and acts on it; otherwise says why not.
    std::optional<mms::DataAccessError> write(ModelNode& attribute, const MmsValue& value,
                                              const std::shared_ptr<Session>& client);
    // The client's blocks are disabled and its reservations released, except that a buffered block
    // with ResvTms above zero stays reserved for the client's address for that many seconds (caller
    // must not hold the value lock).
    void associationEnded(const Session& client);

    size_t blockCount() const { return blocks_.size(); }

private:
    struct Entry {
        uint64_t id = 0;
        uint64_t timeMs = 0;
        bool overflow = false;
        std::vector<ReportContent::Member> members;
    };
    struct Outgoing {
        std::weak_ptr<Session> client;
        ReportContent content;
    };
    struct Block;

    // Data set members of every block and the attributes they consist of; the collected changes of
    // `changed` (every block when null) start afresh.
    void indexMembers(Block* changed);
    void valueStored(const ModelNode& attribute, bool changed);
    // The members collected so far become a report (caller holds the value lock and mutex_).
    void flushPending(Block& block);
    void interrogate(Block& block, uint8_t reason);
    void addReport(Block& block, std::vector<ReportContent::Member> members);
    void collectDue(std::vector<Outgoing>& out);
    // A round is due at once. Caller holds mutex_.
    void wakeThread();
    std::optional<mms::DataAccessError> writeLocked(Block& block, ModelNode& attribute, const MmsValue& value,
                                                    const std::shared_ptr<Session>& client);
    // One round on the scheduler: due reports are collected and sent, and the next round is timed.
    void run();

    DataModel& model_;
    ReportingLimits limits_;
    std::vector<std::unique_ptr<Block>> blocks_;
    // Basic attribute -> the blocks and member indexes it belongs to.
    std::unordered_map<const ModelNode*, std::vector<std::pair<Block*, size_t>>> membersOf_;
    std::unordered_map<const ModelNode*, Block*> blockOf_;
    int observerId_ = 0;

    std::mutex mutex_;  // taken inside the value lock, never around it
    std::deque<Outgoing> outbox_;  // unbuffered reports waiting for the next round
    bool roundPosted_ = false;
    std::optional<std::chrono::steady_clock::time_point> roundTimed_;  // the earliest timed round
    iso::TaskGroup rounds_;  // last: closed before anything a round uses goes
};

}  // namespace iecstack::server
