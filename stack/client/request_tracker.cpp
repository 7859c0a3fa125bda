#include "request_tracker.h"

namespace iecstack::client {

void RequestTracker::setMaxOutstanding(size_t maxOutstanding) {
    std::lock_guard<std::mutex> lock(mutex_);
    maxOutstanding_ = maxOutstanding == 0 ? 1 : maxOutstanding;
    changed_.notify_all();
}

std::optional<uint32_t> RequestTracker::begin(Clock::time_point deadline, IedClientError* error) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool gotSlot = changed_.wait_until(
        lock, deadline, [this] { return closedReason_.has_value() || slots_.size() < maxOutstanding_; });
    if (closedReason_) {
        *error = IED_ERROR_NOT_CONNECTED;
        return std::nullopt;
    }
    if (!gotSlot) {
        *error = IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED;
        return std::nullopt;
    }
    // Invoke IDs stay positive INTEGERs of at most four octets; an ID still waiting is never reused.
    uint32_t id = nextInvokeId_;
    while (slots_.count(id) != 0) {
        id = id >= 0x7fffffffu ? 1 : id + 1;
    }
    nextInvokeId_ = id >= 0x7fffffffu ? 1 : id + 1;
    slots_.emplace(id, Slot{});
    return id;
}

RequestOutcome RequestTracker::wait(uint32_t invokeId, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = slots_.find(invokeId);
    if (it == slots_.end()) {
        return RequestOutcome::failed(IED_ERROR_UNKNOWN);
    }
    changed_.wait_until(lock, deadline, [&] { return it->second.done; });
    RequestOutcome outcome =
        it->second.done ? std::move(it->second.outcome) : RequestOutcome::failed(IED_ERROR_TIMEOUT);
    slots_.erase(it);
    changed_.notify_all();  // a slot is free again
    return outcome;
}

void RequestTracker::abandon(uint32_t invokeId) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.erase(invokeId);
    changed_.notify_all();
}

bool RequestTracker::complete(uint32_t invokeId, RequestOutcome outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = slots_.find(invokeId);
    if (it == slots_.end() || it->second.done) {
        return false;
    }
    it->second.done = true;
    it->second.outcome = std::move(outcome);
    changed_.notify_all();
    return true;
}

void RequestTracker::close(IedClientError reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closedReason_) {
        return;
    }
    closedReason_ = reason;
    for (auto& [id, slot] : slots_) {
        if (!slot.done) {
            slot.done = true;
            slot.outcome = RequestOutcome::failed(reason);
        }
    }
    changed_.notify_all();
}

bool RequestTracker::isClosed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closedReason_.has_value();
}

}  // namespace iecstack::client
