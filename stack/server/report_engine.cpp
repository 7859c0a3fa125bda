#include "report_engine.h"

#include <arpa/inet.h>

#include <algorithm>

#include "data_set_members.h"
#include "server/mms_mapping.h"

namespace iecstack::server {
namespace {

using Clock = std::chrono::steady_clock;
using mms::DataAccessError;

uint64_t nowMs() {
    return systemNowMs();
}

// A client is known across associations by its address; the port changes with every connection.
std::string addressOf(const Session& client) {
    const std::string& peer = client.peer();
    const size_t colon = peer.rfind(':');
    return colon == std::string::npos ? peer : peer.substr(0, colon);
}

}  // namespace

namespace {

// The client's address as Owner shows it: four octets for IPv4, sixteen for IPv6, none when unknown.
std::vector<uint8_t> ownerOctets(const std::string& peer) {
    const size_t colon = peer.rfind(':');
    const std::string host = peer.substr(0, colon);
    uint8_t octets[16] = {};
    if (::inet_pton(AF_INET, host.c_str(), octets) == 1) {
        return std::vector<uint8_t>(octets, octets + 4);
    }
    if (::inet_pton(AF_INET6, host.c_str(), octets) == 1) {
        return std::vector<uint8_t>(octets, octets + 16);
    }
    return {};
}

}  // namespace

struct ReportEngine::Block {
    ModelNode* node = nullptr;
    std::string domain;
    bool buffered = false;
    std::unordered_map<std::string, ModelNode*> attributes;

    // The data set as configured by DatSet.
    std::vector<ModelNode*> members;
    std::vector<std::string> memberRefs;

    // Who may use the block: the client that reserved or enabled it, or a client IED of the
    // configuration that never connects here.
    std::weak_ptr<Session> owner;
    uint64_t ownerId = 0;
    bool explicitlyReserved = false;
    // The owner's address, and when its reservation lapses once its association is lost.
    std::string ownerAddress;
    std::optional<Clock::time_point> heldUntil;
    bool byConfiguration = false;
    bool enabled = false;

    // Changes collected during the buffer time: reasons and the member's value at its latest change.
    std::vector<uint8_t> pending;
    std::vector<MmsValue> snapshots;
    bool anyPending = false;
    Clock::time_point bufDeadline;
    std::optional<Clock::time_point> nextIntegrity;
    uint32_t nextSqNum = 0;

    // Buffered blocks: entries kept for the client, the last one sent, and whether unsent ones were lost.
    std::deque<Entry> entries;
    uint64_t nextEntryId = 1;
    uint64_t lastSentId = 0;
    bool lost = false;

    ModelNode* at(const char* name) const {
        const auto it = attributes.find(name);
        return it != attributes.end() ? it->second : nullptr;
    }
    uint64_t number(const char* name) const {
        const ModelNode* n = at(name);
        return n != nullptr ? n->value.toUint64() : 0;
    }
    bool option(const char* name, size_t bit) const {
        const ModelNode* n = at(name);
        return n != nullptr && n->value.bit(bit);
    }
    // TrgOps as ReportReason bits.
    uint8_t triggerMask() const {
        uint8_t mask = 0;
        for (size_t k = 0; k < 5; ++k) {
            mask |= option("TrgOps", k + 1) ? static_cast<uint8_t>(1u << k) : 0;
        }
        return mask;
    }
    bool ownerAlive() const {
        const auto session = owner.lock();
        return session && !session->ended();
    }
    bool usableBy(const Session& client) const {
        if (byConfiguration) {
            return false;
        }
        if (ownerAlive()) {
            return ownerId == client.id();
        }
        if (ownerId == 0) {
            return true;
        }
        // The owner's association is gone (associationEnded may not have run yet): a reservation
        // time keeps the block for the owner's address, and only for it.
        const bool held = heldUntil ? Clock::now() < *heldUntil : reservationSeconds() > 0;
        return !held || (!ownerAddress.empty() && addressOf(client) == ownerAddress);
    }
    int64_t reservationSeconds() const {
        const ModelNode* resvTms = at("ResvTms");
        return buffered && resvTms != nullptr ? resvTms->value.toInt64() : 0;
    }
    bool active() const { return buffered || enabled; }
    void takenBy(const std::shared_ptr<Session>& client) {
        owner = client;
        ownerId = client->id();
        ownerAddress = addressOf(*client);
        heldUntil.reset();
        if (ModelNode* shown = at("Owner")) {
            shown->value = MmsValue::octetString(ownerOctets(client->peer()));
        }
    }
    void release() {
        owner.reset();
        ownerId = 0;
        ownerAddress.clear();
        heldUntil.reset();
        explicitlyReserved = false;
        if (ModelNode* shown = at("Owner")) {
            shown->value = MmsValue::octetString({});
        }
    }
    // The owner's association is gone: with a reservation time the block stays its address's for that
    // long, otherwise it is free at once.
    void ownerLost() {
        const int64_t seconds = reservationSeconds();
        if (seconds > 0) {
            owner.reset();
            explicitlyReserved = false;
            heldUntil = Clock::now() + std::chrono::seconds(seconds);
        } else {
            release();
        }
    }
};

ReportEngine::ReportEngine(DataModel& model, iso::Scheduler& scheduler, ReportingLimits limits)
    : model_(model), limits_(limits), rounds_(scheduler) {
    std::lock_guard<std::mutex> valueLock(model_.valueLock());
    for (auto& domain : model_.domains) {
        for (auto& ln : domain->logicalNodes) {
            for (auto& fc : ln->children) {
                if (fc->name != "RP" && fc->name != "BR") {
                    continue;
                }
                for (auto& rcb : fc->children) {
                    auto block = std::make_unique<Block>();
                    block->node = rcb.get();
                    block->domain = domain->name;
                    block->buffered = fc->name == "BR";
                    for (auto& attribute : rcb->children) {
                        block->attributes[attribute->name] = attribute.get();
                    }
                    const ModelNode* resv = block->at("Resv");
                    const ModelNode* resvTms = block->at("ResvTms");
                    block->byConfiguration = (resv != nullptr && resv->value.boolValue()) ||
                                             (resvTms != nullptr && resvTms->value.toInt64() < 0);
                    blockOf_[rcb.get()] = block.get();
                    blocks_.push_back(std::move(block));
                }
            }
        }
    }
    indexMembers(nullptr);
    observerId_ = model_.addValueObserver(
        [this](const ModelNode& attribute, bool changed) { valueStored(attribute, changed); });
}

ReportEngine::~ReportEngine() {
    {
        std::lock_guard<std::mutex> valueLock(model_.valueLock());
        model_.removeValueObserver(observerId_);
    }
    rounds_.close();
}

bool ReportEngine::isBlockAttribute(const ModelNode& node) {
    return (node.fc == "RP" || node.fc == "BR") && node.kind == ModelNode::Kind::Basic &&
           node.parent != nullptr && node.parent->parent != nullptr && node.parent->parent->name == node.fc;
}

void ReportEngine::indexMembers(Block* changed) {
    membersOf_.clear();
    for (auto& block : blocks_) {
        const bool fresh = changed == nullptr || changed == block.get();
        block->members.clear();
        block->memberRefs.clear();
        const ModelNode* datSet = block->at("DatSet");
        const std::string name = datSet != nullptr ? datSet->value.text() : std::string();
        for (ResolvedMember& member : resolveDataSet(model_, name)) {
            for (ModelNode* leaf : member.leaves) {
                membersOf_[leaf].emplace_back(block.get(), block->members.size());
            }
            block->members.push_back(member.node);
            block->memberRefs.push_back(std::move(member.reference));
        }
        if (fresh) {
            block->pending.assign(block->members.size(), 0);
            block->snapshots.assign(block->members.size(), MmsValue());
            block->anyPending = false;
        }
    }
}

void ReportEngine::valueStored(const ModelNode& attribute, bool changed) {
    const auto found = membersOf_.find(&attribute);
    if (found == membersOf_.end()) {
        return;
    }
    const uint8_t reasons = triggerReasons(attribute, changed);
    bool wake = false;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [block, index] : found->second) {
        if (!block->active()) {
            continue;
        }
        const uint8_t wanted = reasons & block->triggerMask();
        if (wanted == 0) {
            // Another attribute of a member that waits in the buffer (its time stamp after its value).
            if (block->pending[index] != 0) {
                block->snapshots[index] = valueOf(*block->members[index]);
            }
            continue;
        }
        // A second change of a waiting member sends what was collected first, so that no value is lost.
        if (block->pending[index] != 0) {
            flushPending(*block);
        }
        block->pending[index] |= wanted;
        block->snapshots[index] = valueOf(*block->members[index]);
        if (!block->anyPending) {
            block->anyPending = true;
            block->bufDeadline = Clock::now() + std::chrono::milliseconds(block->number("BufTm"));
        }
        if (block->number("BufTm") == 0) {
            flushPending(*block);
        }
        wake = true;
    }
    if (wake) {
        wakeThread();
    }
}

void ReportEngine::flushPending(Block& block) {
    std::vector<ReportContent::Member> members;
    for (size_t i = 0; i < block.pending.size(); ++i) {
        if (block.pending[i] != 0) {
            members.push_back({i, block.memberRefs[i], std::move(block.snapshots[i]), block.pending[i]});
            block.pending[i] = 0;
        }
    }
    block.anyPending = false;
    if (!members.empty()) {
        addReport(block, std::move(members));
    }
}

void ReportEngine::interrogate(Block& block, uint8_t reason) {
    flushPending(block);
    std::vector<ReportContent::Member> members;
    for (size_t i = 0; i < block.members.size(); ++i) {
        members.push_back({i, block.memberRefs[i], valueOf(*block.members[i]), reason});
    }
    addReport(block, std::move(members));
}

namespace {

ReportContent contentOf(const std::unordered_map<std::string, ModelNode*>& attributes, bool buffered,
                        size_t memberCount) {
    auto text = [&](const char* name) {
        const auto it = attributes.find(name);
        return it != attributes.end() ? it->second->value.text() : std::string();
    };
    auto number = [&](const char* name) {
        const auto it = attributes.find(name);
        return it != attributes.end() ? static_cast<uint32_t>(it->second->value.toUint64()) : 0u;
    };
    ReportContent content;
    content.rptId = text("RptID");
    if (const auto it = attributes.find("OptFlds"); it != attributes.end()) {
        content.optFlds = mms::BitString(10, it->second->value.bits().octets());
    }
    // Overflow and entry identifiers belong to buffered blocks only.
    if (!buffered) {
        content.optFlds.setBit(6, false);
        content.optFlds.setBit(7, false);
    }
    content.optFlds.setBit(0, false);
    content.dataSetName = text("DatSet");
    content.confRev = number("ConfRev");
    content.memberCount = memberCount;
    return content;
}

}  // namespace

void ReportEngine::addReport(Block& block, std::vector<ReportContent::Member> members) {
    const uint64_t time = nowMs();
    if (block.buffered) {
        Entry entry{block.nextEntryId++, time, false, std::move(members)};
        block.entries.push_back(std::move(entry));
        while (block.entries.size() > limits_.bufferedEntries) {
            if (block.entries.front().id > block.lastSentId) {
                block.lost = true;
            }
            block.entries.pop_front();
        }
        if (ModelNode* entryId = block.at("EntryID")) {
            entryId->value = MmsValue::octetString(entryIdBytes(block.entries.back().id));
        }
        if (ModelNode* timeOfEntry = block.at("TimeofEntry")) {
            timeOfEntry->value = MmsValue::binaryTimeFromMs(time, true);
        }
    } else {
        ReportContent content = contentOf(block.attributes, false, block.members.size());
        content.seqNum = block.nextSqNum;
        block.nextSqNum = (block.nextSqNum + 1) % 256;
        if (ModelNode* sqNum = block.at("SqNum")) {
            sqNum->value = MmsValue::unsignedInteger(block.nextSqNum);
        }
        content.timeOfEntryMs = time;
        content.members = std::move(members);
        outbox_.push_back({block.owner, std::move(content)});
        if (outbox_.size() > limits_.waitingReports) {
            outbox_.pop_front();
        }
    }
    wakeThread();
}

void ReportEngine::wakeThread() {
    if (!roundPosted_) {
        roundPosted_ = true;
        rounds_.post([this] { run(); });
    }
}

std::optional<DataAccessError> ReportEngine::write(ModelNode& attribute, const MmsValue& value,
                                                   const std::shared_ptr<Session>& client) {
    const auto found = blockOf_.find(attribute.parent);
    if (found == blockOf_.end() || !client) {
        return DataAccessError::ObjectAccessDenied;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto refusal = writeLocked(*found->second, attribute, value, client);
    wakeThread();
    return refusal;
}

std::optional<DataAccessError> ReportEngine::writeLocked(Block& block, ModelNode& attribute,
                                                         const MmsValue& value,
                                                         const std::shared_ptr<Session>& client) {
    const std::string& name = attribute.name;
    // Attributes only the device maintains.
    if (name == "ConfRev" || name == "SqNum" || name == "TimeofEntry" || name == "Owner") {
        return DataAccessError::ObjectAccessDenied;
    }
    // A block another client holds (or a client IED of the configuration) is not ours to touch.
    if (!block.usableBy(*client)) {
        return DataAccessError::TemporarilyUnavailable;
    }
    auto takeOwnership = [&] {
        if (block.ownerId != client->id() || !block.ownerAlive()) {
            block.takenBy(client);
        }
    };
    // Configuring a free unbuffered block reserves it for the writing client.
    auto reserveImplicitly = [&] {
        if (!block.buffered && !block.ownerAlive()) {
            takeOwnership();
            if (ModelNode* resv = block.at("Resv")) {
                resv->value = MmsValue::boolean(true);
            }
        }
    };
    if (name == "RptEna") {
        const bool on = value.boolValue();
        if (on && !block.enabled) {
            if (block.members.empty()) {
                return DataAccessError::ObjectValueInvalid;  // no data set to report
            }
            takeOwnership();
            block.enabled = true;
            block.nextIntegrity.reset();
            if (ModelNode* resv = block.at("Resv")) {
                resv->value = MmsValue::boolean(true);
            }
        } else if (!on && block.enabled) {
            block.enabled = false;
            if (!block.buffered) {
                std::fill(block.pending.begin(), block.pending.end(), 0);
                block.anyPending = false;
            }
            const ModelNode* resvTms = block.at("ResvTms");
            const bool stillReserved =
                block.explicitlyReserved || (resvTms != nullptr && resvTms->value.toInt64() > 0);
            if (!stillReserved) {
                block.release();
                if (ModelNode* resv = block.at("Resv")) {
                    resv->value = MmsValue::boolean(false);
                }
            }
        }
        attribute.value = MmsValue::boolean(on);
        return std::nullopt;
    }
    if (name == "GI") {
        // Answered with a report while enabled; otherwise nothing happens. GI itself reads FALSE again.
        if (value.boolValue() && block.enabled && (block.triggerMask() & kReasonGeneralInterrogation) != 0) {
            interrogate(block, kReasonGeneralInterrogation);
        }
        return std::nullopt;
    }
    if (name == "Resv") {
        if (value.boolValue()) {
            takeOwnership();
            block.explicitlyReserved = true;
        } else {
            if (block.enabled) {
                return DataAccessError::TemporarilyUnavailable;
            }
            block.release();
        }
        attribute.value = value;
        return std::nullopt;
    }
    // Everything else configures the block, which cannot change under an enabled block.
    if (block.enabled) {
        return DataAccessError::TemporarilyUnavailable;
    }
    if (name == "ResvTms") {
        if (value.toInt64() < 0) {
            return DataAccessError::ObjectValueInvalid;
        }
        if (value.toInt64() > 0) {
            takeOwnership();
        } else {
            block.release();
        }
        attribute.value = value;
        return std::nullopt;
    }
    if (name == "PurgeBuf") {
        if (value.boolValue()) {
            block.entries.clear();
            block.lastSentId = block.nextEntryId - 1;
            block.lost = false;
        }
        return std::nullopt;
    }
    if (name == "EntryID") {
        // Resynchronisation: the client names the last entry it has; zero asks for everything kept.
        const uint64_t id = entryIdFrom(value.octets());
        const bool known = id == 0 || std::any_of(block.entries.begin(), block.entries.end(),
                                                  [id](const Entry& entry) { return entry.id == id; });
        if (!known) {
            return DataAccessError::ObjectValueInvalid;
        }
        block.lastSentId = id;
        return std::nullopt;
    }
    if (name == "DatSet") {
        const std::string& text = value.text();
        const size_t slash = text.find('/');
        if (!text.empty() && (slash == std::string::npos ||
                              model_.dataSet(text.substr(0, slash), text.substr(slash + 1)) == nullptr)) {
            return DataAccessError::ObjectValueInvalid;
        }
        if (text != attribute.value.text()) {
            attribute.value = value;
            if (ModelNode* confRev = block.at("ConfRev")) {
                confRev->value = MmsValue::unsignedInteger(confRev->value.toUint64() + 1);
            }
            // Entries of the former data set mean nothing with the new one.
            block.entries.clear();
            block.lastSentId = block.nextEntryId - 1;
            indexMembers(&block);
        }
        reserveImplicitly();
        return std::nullopt;
    }
    if (name == "RptID" || name == "OptFlds" || name == "BufTm" || name == "TrgOps" || name == "IntgPd") {
        attribute.value = value;
        reserveImplicitly();
        return std::nullopt;
    }
    return DataAccessError::ObjectAccessDenied;
}

void ReportEngine::associationEnded(const Session& client) {
    std::lock_guard<std::mutex> valueLock(model_.valueLock());
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& block : blocks_) {
        if (block->ownerId != client.id() || block->byConfiguration) {
            continue;
        }
        block->enabled = false;
        block->ownerLost();
        if (ModelNode* rptEna = block->at("RptEna")) {
            rptEna->value = MmsValue::boolean(false);
        }
        if (ModelNode* resv = block->at("Resv")) {
            resv->value = MmsValue::boolean(false);
        }
        if (!block->buffered) {
            std::fill(block->pending.begin(), block->pending.end(), 0);
            block->anyPending = false;
        }
    }
}

void ReportEngine::collectDue(std::vector<Outgoing>& out) {
    const Clock::time_point now = Clock::now();
    for (auto& blockPtr : blocks_) {
        Block& block = *blockPtr;
        if (!block.active()) {
            continue;
        }
        if (block.anyPending && now >= block.bufDeadline) {
            flushPending(block);
        }
        const uint64_t period = block.number("IntgPd");
        if ((block.triggerMask() & kReasonIntegrity) != 0 && period > 0) {
            if (!block.nextIntegrity) {
                block.nextIntegrity = now + std::chrono::milliseconds(period);
            } else if (now >= *block.nextIntegrity) {
                interrogate(block, kReasonIntegrity);
                *block.nextIntegrity += std::chrono::milliseconds(period);
                if (*block.nextIntegrity <= now) {
                    block.nextIntegrity = now + std::chrono::milliseconds(period);
                }
            }
        } else {
            block.nextIntegrity.reset();
        }
        if (block.buffered && block.enabled && block.ownerAlive()) {
            for (Entry& entry : block.entries) {
                if (entry.id <= block.lastSentId) {
                    continue;
                }
                ReportContent content = contentOf(block.attributes, true, block.members.size());
                content.seqNum = block.nextSqNum;
                block.nextSqNum = (block.nextSqNum + 1) % 65536;
                content.timeOfEntryMs = entry.timeMs;
                content.entryId = entryIdBytes(entry.id);
                content.bufOvfl = block.lost;
                block.lost = false;
                content.members = entry.members;
                out.push_back({block.owner, std::move(content)});
                block.lastSentId = entry.id;
            }
            if (ModelNode* sqNum = block.at("SqNum")) {
                sqNum->value = MmsValue::unsignedInteger(block.nextSqNum);
            }
        }
    }
    for (Outgoing& outgoing : outbox_) {
        out.push_back(std::move(outgoing));
    }
    outbox_.clear();
}

void ReportEngine::run() {
    std::vector<Outgoing> out;
    {
        std::lock_guard<std::mutex> valueLock(model_.valueLock());
        std::lock_guard<std::mutex> lock(mutex_);
        roundPosted_ = false;
        collectDue(out);
    }
    // Sends only queue: a client that reads slowly holds up nobody here.
    for (const Outgoing& outgoing : out) {
        const auto client = outgoing.client.lock();
        if (!client || client->ended()) {
            continue;
        }
        for (const Bytes& pdu : encodeReport(outgoing.content, client->maxPduSize())) {
            client->sendUnconfirmed(pdu);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!outbox_.empty()) {
        wakeThread();
        return;
    }
    std::optional<Clock::time_point> next;
    bool again = false;
    for (const auto& block : blocks_) {
        if (!block->active()) {
            continue;
        }
        if (block->anyPending && (!next || block->bufDeadline < *next)) {
            next = block->bufDeadline;
        }
        if (block->nextIntegrity && (!next || *block->nextIntegrity < *next)) {
            next = block->nextIntegrity;
        }
        if (block->buffered && block->enabled && block->ownerAlive() && !block->entries.empty() &&
            block->entries.back().id > block->lastSentId) {
            again = true;
        }
        if ((block->triggerMask() & kReasonIntegrity) != 0 && block->number("IntgPd") > 0 &&
            !block->nextIntegrity) {
            again = true;  // its period starts on the next round
        }
    }
    if (again) {
        wakeThread();
        return;
    }
    const Clock::time_point now = Clock::now();
    if (roundTimed_ && *roundTimed_ <= now) {
        roundTimed_.reset();  // that round is this one, or has passed
    }
    if (next && (!roundTimed_ || *next < *roundTimed_)) {
        roundTimed_ = next;
        rounds_.at(*next, [this] { run(); });
    }
}

}  // namespace iecstack::server
