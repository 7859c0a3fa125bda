#include "readplanner.h"

#include <algorithm>
#include <iterator>

namespace iec61850 {

namespace {

// Room for the envelope of a Read request and for the encoding around one variable name, in octets.
constexpr int kRequestOverhead = 32;
constexpr int kPerVariableOverhead = 12;
// Reads' names are kept in blocks of this many octets.
constexpr size_t kItemBlockSize = 4096;

}  // namespace

ReadPlanner::ReadPlanner(int maxPduSize, int maxOutstanding)
    : budget_((maxPduSize > 0 ? maxPduSize : 65000) - kRequestOverhead),
      agreedOutstanding_(std::max(1, maxOutstanding)),
      limit_(agreedOutstanding_) {}

ReadPlanner::ReadId ReadPlanner::addRead(std::string_view item, bool finished) {
    const ReadId id = windowStart_ + window_.size();
    if (itemBlocks_.empty() || itemBlocks_.back().capacity() - itemBlocks_.back().size() < item.size()) {
        itemBlocks_.emplace_back();
        itemBlocks_.back().reserve(std::max(kItemBlockSize, item.size()));
    }
    std::string& block = itemBlocks_.back();
    window_.push_back(Read{firstItemBlock_ + static_cast<std::uint32_t>(itemBlocks_.size() - 1),
                           static_cast<std::uint32_t>(block.size()), static_cast<std::uint32_t>(item.size()),
                           finished});
    block.append(item);
    return id;
}

ReadPlanner::ReadId ReadPlanner::add(const std::string& domain, const std::string& item) {
    const ReadId id = addRead(item, false);
    if (domains_.empty() || domains_.back().second != domain) {
        domains_.emplace_back(id, domain);
    }
    queue_.push_back(id);
    return id;
}

ReadPlanner::ReadId ReadPlanner::addFinished() {
    return addRead(std::string_view(), true);
}

const std::string& ReadPlanner::domainOf(ReadId id) const {
    // The last run starting at or before the read (every read given a domain is in one).
    const auto after = std::upper_bound(
        domains_.begin(), domains_.end(), id,
        [](ReadId read, const std::pair<ReadId, std::string>& run) { return read < run.first; });
    return std::prev(after)->second;
}

std::optional<ReadPlanner::Request> ReadPlanner::next() {
    if (queue_.empty() || inFlight_ >= limit_) {
        return std::nullopt;
    }
    // Spread what waits over the requests that may still go out, so that the device works on them
    // side by side and each answer stays small.
    const int freeSlots = limit_ - inFlight_;
    const int share = static_cast<int>((queue_.size() + freeSlots - 1) / freeSlots);
    const int wanted = std::min(batchLimit_, std::max(kMinVariablesPerShare, share));

    Request request;
    request.id = nextRequest_++;
    request.domain = domainOf(queue_.front());
    int bytes = static_cast<int>(request.domain.size());
    while (!queue_.empty() && static_cast<int>(request.reads.size()) < wanted) {
        const std::string_view item = itemOf(readOf(queue_.front()));
        const std::string& domain = domainOf(queue_.front());
        const int size = static_cast<int>(item.size() + domain.size()) + kPerVariableOverhead;
        if (domain != request.domain || (!request.reads.empty() && bytes + size > budget_)) {
            break;
        }
        bytes += size;
        request.reads.push_back(queue_.front());
        request.items.emplace_back(item);
        queue_.pop_front();
    }
    requests_.emplace(request.id, request.reads);
    ++inFlight_;
    return request;
}

std::vector<ReadPlanner::ReadId> ReadPlanner::takeRequest(int requestId) {
    const auto found = requests_.find(requestId);
    if (found == requests_.end()) {
        return {};
    }
    std::vector<ReadId> reads = std::move(found->second);
    requests_.erase(found);
    --inFlight_;
    return reads;
}

void ReadPlanner::requeue(const std::vector<ReadId>& reads) {
    for (auto it = reads.rbegin(); it != reads.rend(); ++it) {
        queue_.push_front(*it);
    }
}

std::vector<ReadPlanner::ReadId> ReadPlanner::finish(const std::vector<ReadId>& reads) {
    for (const ReadId id : reads) {
        readOf(id).finished = true;
    }
    return reads;
}

std::vector<ReadPlanner::ReadId> ReadPlanner::answered(int requestId) {
    if (requests_.count(requestId) == 0) {
        return {};
    }
    noteSuccess();
    return finish(takeRequest(requestId));
}

std::vector<ReadPlanner::ReadId> ReadPlanner::refused(int requestId) {
    const std::vector<ReadId> reads = takeRequest(requestId);
    if (reads.size() > 1) {
        batchLimit_ = std::max(1, static_cast<int>(reads.size()) / 2);
        requeue(reads);
        return {};
    }
    return finish(reads);
}

void ReadPlanner::busy(int requestId) {
    if (requests_.count(requestId) == 0) {
        return;
    }
    requeue(takeRequest(requestId));
    noteBusy();
}

void ReadPlanner::putBack(int requestId) {
    requeue(takeRequest(requestId));
}

std::vector<ReadPlanner::ReadId> ReadPlanner::failed(int requestId) {
    return finish(takeRequest(requestId));
}

bool ReadPlanner::takeSlot() {
    if (inFlight_ >= limit_) {
        return false;
    }
    ++inFlight_;
    return true;
}

void ReadPlanner::slotAnswered() {
    --inFlight_;
    noteSuccess();
}

void ReadPlanner::slotBusy() {
    --inFlight_;
    noteBusy();
}

void ReadPlanner::slotReleased() {
    --inFlight_;
}

void ReadPlanner::noteSuccess() {
    // One more request in flight after as many answers in a row as are in flight now: a device that
    // refused during a burst gets back to the agreed number once it keeps up.
    if (limit_ < agreedOutstanding_ && ++successesSinceBusy_ >= limit_) {
        ++limit_;
        successesSinceBusy_ = 0;
    }
}

void ReadPlanner::noteBusy() {
    limit_ = std::max(1, std::min(limit_ - 1, inFlight_));
    successesSinceBusy_ = 0;
}

std::vector<ReadPlanner::ReadId> ReadPlanner::finishedInOrder() {
    std::vector<ReadId> ready;
    while (!window_.empty() && window_.front().finished) {
        ready.push_back(windowStart_++);
        window_.pop_front();
    }
    while (domains_.size() > 1 && domains_[1].first <= windowStart_) {
        domains_.pop_front();
    }
    // Blocks before the one naming the first read still in the window are no longer read.
    const std::uint32_t inUse = window_.empty()
                                    ? firstItemBlock_ + static_cast<std::uint32_t>(itemBlocks_.size()) - 1
                                    : window_.front().itemBlock;
    while (firstItemBlock_ < inUse && !itemBlocks_.empty()) {
        itemBlocks_.pop_front();
        ++firstItemBlock_;
    }
    return ready;
}

}  // namespace iec61850
