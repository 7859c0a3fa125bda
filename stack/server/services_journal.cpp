#include <algorithm>

#include "log_engine.h"
#include "mms/codec.h"
#include "report_encoding.h"
#include "server/mms_mapping.h"
#include "server/mms_services.h"
#include "service_support.h"

namespace iecstack::server {

namespace {

// Kept free below the agreed PDU size for the envelope around the entries.
constexpr size_t kEnvelopeReserve = 32;

size_t encodedSize(const mms::JournalEntry& entry) {
    mms::ReadJournalResponse one;
    one.entries.push_back(entry);
    return mms::encodePdu(mms::ConfirmedResponse{0, one}).size() -
           mms::encodePdu(mms::ConfirmedResponse{0, mms::ReadJournalResponse{}}).size();
}

uint64_t idOf(const mms::JournalEntry& entry) {
    return entryIdFrom(ByteView(entry.entryId));
}

}  // namespace

LogEngine::LogEngine(DataModel& model, iso::Scheduler& scheduler, LoggingLimits limits)
    : model_(model), limits_(limits), periods_(scheduler) {
    if (limits_.entriesPerLog == 0) {
        limits_.entriesPerLog = 1;
    }
    for (const auto& domain : model_.domains) {
        for (const std::string& journal : domain->journals) {
            journals_[domain->name + "/" + journal];
        }
    }
    std::lock_guard<std::mutex> valueLock(model_.valueLock());
    for (const auto& domain : model_.domains) {
        for (const auto& ln : domain->logicalNodes) {
            const ModelNode* lg = ln->child("LG");
            if (lg == nullptr) {
                continue;
            }
            for (const auto& lcb : lg->children) {
                const ModelNode* logRef = lcb->child("LogRef");
                const ModelNode* datSet = lcb->child("DatSet");
                auto journal = logRef != nullptr ? journals_.find(logRef->value.text()) : journals_.end();
                if (journal == journals_.end() || datSet == nullptr) {
                    continue;  // a block without a log to write to records nothing
                }
                blocks_.push_back(std::make_unique<Block>());
                Block& block = *blocks_.back();
                block.node = lcb.get();
                block.journal = &journal->second;
            }
        }
    }
    indexMembers();
    for (const auto& block : blocks_) {
        scheduleIntegrity(*block);
    }
    observerId_ = model_.addValueObserver(
        [this](const ModelNode& attribute, bool changed) { valueStored(attribute, changed); });
}

LogEngine::~LogEngine() {
    periods_.close();
    std::lock_guard<std::mutex> valueLock(model_.valueLock());
    model_.removeValueObserver(observerId_);
}

void LogEngine::indexMembers() {
    membersOf_.clear();
    for (const auto& block : blocks_) {
        const ModelNode* datSet = block->at("DatSet");
        block->members = resolveDataSet(model_, datSet != nullptr ? datSet->value.text() : std::string());
        for (size_t i = 0; i < block->members.size(); ++i) {
            for (const ModelNode* leaf : block->members[i].leaves) {
                membersOf_[leaf].emplace_back(block.get(), i);
            }
        }
    }
}

void LogEngine::scheduleIntegrity(Block& block) {
    const uint64_t round = ++block.integrityRound;
    const ModelNode* enabled = block.at("LogEna");
    const ModelNode* trgOps = block.at("TrgOps");
    const ModelNode* period = block.at("IntgPd");
    if (enabled == nullptr || !enabled->value.boolValue() || trgOps == nullptr || !trgOps->value.bit(4) ||
        period == nullptr || period->value.toUint64() == 0) {
        return;
    }
    const auto due = iso::TaskGroup::Clock::now() + std::chrono::milliseconds(period->value.toUint64());
    periods_.at(due, [this, &block, round, due] { integrityDue(block, round, due); });
}

void LogEngine::integrityDue(Block& block, uint64_t round, iso::TaskGroup::Clock::time_point due) {
    std::lock_guard<std::mutex> valueLock(model_.valueLock());
    const ModelNode* enabled = block.at("LogEna");
    const ModelNode* trgOps = block.at("TrgOps");
    const ModelNode* intgPd = block.at("IntgPd");
    // A newer round took over, or the block no longer asks for integrity entries.
    if (round != block.integrityRound || enabled == nullptr || !enabled->value.boolValue() ||
        trgOps == nullptr || !trgOps->value.bit(4) || intgPd == nullptr || intgPd->value.toUint64() == 0) {
        return;
    }
    std::vector<std::pair<size_t, uint8_t>> all;
    for (size_t i = 0; i < block.members.size(); ++i) {
        all.emplace_back(i, kReasonIntegrity);
    }
    if (!all.empty()) {
        record(block, all);
    }
    // The next one a period after this one was due, or a period from now for a late round.
    const auto period = std::chrono::milliseconds(intgPd->value.toUint64());
    auto next = due + period;
    if (next <= iso::TaskGroup::Clock::now()) {
        next = iso::TaskGroup::Clock::now() + period;
    }
    periods_.at(next, [this, &block, round, next] { integrityDue(block, round, next); });
}

bool LogEngine::isBlockAttribute(const ModelNode& node) {
    return node.fc == "LG" && node.kind == ModelNode::Kind::Basic && node.parent != nullptr &&
           node.parent->parent != nullptr && node.parent->parent->name == "LG";
}

std::optional<mms::DataAccessError> LogEngine::write(ModelNode& attribute, const MmsValue& value) {
    const std::string& name = attribute.name;
    if (name == "OldEntr" || name == "NewEntr" || name == "OldEntrTm" || name == "NewEntrTm" ||
        name == "OldEnt" || name == "NewEnt") {
        return mms::DataAccessError::ObjectAccessDenied;
    }
    auto found = std::find_if(blocks_.begin(), blocks_.end(),
                              [&](const auto& block) { return block->node == attribute.parent; });
    Block* block = found != blocks_.end() ? found->get() : nullptr;
    if (name == "DatSet") {
        const ModelNode* enabled = attribute.parent->child("LogEna");
        if (enabled != nullptr && enabled->value.boolValue()) {
            return mms::DataAccessError::TemporarilyUnavailable;
        }
        const std::string& text = value.text();
        const size_t slash = text.find('/');
        if (!text.empty() && (slash == std::string::npos ||
                              model_.dataSet(text.substr(0, slash), text.substr(slash + 1)) == nullptr)) {
            return mms::DataAccessError::ObjectValueInvalid;
        }
        attribute.value = value;
        indexMembers();
        return std::nullopt;
    }
    attribute.value = value;
    if (block != nullptr && (name == "LogEna" || name == "TrgOps" || name == "IntgPd")) {
        scheduleIntegrity(*block);
    }
    return std::nullopt;
}

void LogEngine::valueStored(const ModelNode& attribute, bool changed) {
    const auto found = membersOf_.find(&attribute);
    if (found == membersOf_.end()) {
        return;
    }
    const uint8_t reasons = triggerReasons(attribute, changed);
    for (const auto& [block, index] : found->second) {
        const ModelNode* enabled = block->at("LogEna");
        const ModelNode* trgOps = block->at("TrgOps");
        if (enabled == nullptr || !enabled->value.boolValue() || trgOps == nullptr) {
            continue;
        }
        uint8_t mask = 0;
        mask |= trgOps->value.bit(1) ? kReasonDataChange : 0;
        mask |= trgOps->value.bit(2) ? kReasonQualityChange : 0;
        mask |= trgOps->value.bit(3) ? kReasonDataUpdate : 0;
        if ((reasons & mask) != 0) {
            record(*block, {{index, static_cast<uint8_t>(reasons & mask)}});
        }
    }
}

void LogEngine::record(Block& block, const std::vector<std::pair<size_t, uint8_t>>& members) {
    mms::JournalEntry entry;
    entry.occurrenceTimeMs = systemNowMs();
    for (const auto& [index, reasons] : members) {
        const ResolvedMember& member = block.members[index];
        entry.variables.push_back({member.reference, valueOf(*member.node)});
        entry.variables.push_back({"ReasonCode", reasonString(reasons)});
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Journal& journal = *block.journal;
        entry.entryId = entryIdBytes(++journal.lastId);
        journal.entries.push_back(std::move(entry));
        while (journal.entries.size() > limits_.entriesPerLog) {
            journal.entries.pop_front();
        }
    }
    publishBounds(*block.journal);
}

void LogEngine::publishBounds(const Journal& journal) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (journal.entries.empty()) {
        return;
    }
    const mms::JournalEntry& oldest = journal.entries.front();
    const mms::JournalEntry& newest = journal.entries.back();
    for (const auto& block : blocks_) {
        if (block->journal != &journal) {
            continue;
        }
        auto set = [&](const char* name, MmsValue value) {
            if (ModelNode* node = block->at(name)) {
                node->value = std::move(value);
            }
        };
        set("OldEntr", MmsValue::octetString(oldest.entryId));
        set("OldEntrTm", MmsValue::binaryTimeFromMs(oldest.occurrenceTimeMs, true));
        set("NewEntr", MmsValue::octetString(newest.entryId));
        set("NewEntrTm", MmsValue::binaryTimeFromMs(newest.occurrenceTimeMs, true));
    }
}

mms::Pdu LogEngine::query(uint32_t invokeId, const mms::ReadJournalRequest& request, size_t maxPduSize,
                          std::string& summary) const {
    const mms::ObjectName& name = request.journalName;
    summary = "read-journal " + describe(name);
    const auto found = name.scope == mms::ObjectName::Scope::Domain
                           ? journals_.find(name.domainId + "/" + name.itemId)
                           : journals_.end();
    if (found == journals_.end()) {
        summary += ": no such log";
        return detail::nonExistent(invokeId);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& entries = found->second.entries;
    auto begin = entries.begin();
    if (request.entryToStartAfter) {
        const auto& after = *request.entryToStartAfter;
        // Our IDs count up, so the entries after one are found even when it has been dropped.
        if (after.entryId.size() == 8) {
            const uint64_t id = entryIdFrom(ByteView(after.entryId));
            begin =
                std::find_if(entries.begin(), entries.end(), [id](const auto& e) { return idOf(e) > id; });
        } else {
            begin = std::find_if(entries.begin(), entries.end(),
                                 [&](const auto& e) { return e.occurrenceTimeMs > after.timeMs; });
        }
    } else if (request.startingEntry) {
        const uint64_t id = entryIdFrom(ByteView(*request.startingEntry));
        begin = std::find_if(entries.begin(), entries.end(), [id](const auto& e) { return idOf(e) >= id; });
    } else if (request.startingTimeMs) {
        begin = std::find_if(entries.begin(), entries.end(),
                             [&](const auto& e) { return e.occurrenceTimeMs >= *request.startingTimeMs; });
    }
    mms::ReadJournalResponse answer;
    size_t used = kEnvelopeReserve;
    int32_t taken = 0;
    for (auto it = begin; it != entries.end(); ++it) {
        if ((request.endingTimeMs && it->occurrenceTimeMs > *request.endingTimeMs) ||
            (request.numberOfEntries && taken >= *request.numberOfEntries)) {
            break;
        }
        const size_t size = encodedSize(*it);
        if (!answer.entries.empty() && used + size > maxPduSize) {
            answer.moreFollows = true;
            break;
        }
        used += size;
        answer.entries.push_back(*it);
        ++taken;
    }
    summary += ": " + std::to_string(answer.entries.size()) + " entries" +
               (answer.moreFollows ? ", more follow" : "");
    return detail::response(invokeId, std::move(answer));
}

}  // namespace iecstack::server
