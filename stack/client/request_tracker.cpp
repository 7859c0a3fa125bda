#include "request_tracker.h"

#include <vector>

namespace iecstack::client {

void RequestTracker::setMaxOutstanding(size_t maxOutstanding) {
    std::lock_guard<std::mutex> lock(mutex_);
    maxOutstanding_ = maxOutstanding == 0 ? 1 : maxOutstanding;
    changed_.notify_all();
}

std::optional<uint32_t> RequestTracker::begin(Clock::time_point deadline, ClientError* error) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool gotSlot = changed_.wait_until(
        lock, deadline, [this] { return closedReason_.has_value() || slots_.size() < maxOutstanding_; });
    if (closedReason_) {
        *error = ClientError::NotConnected;
        return std::nullopt;
    }
    if (!gotSlot) {
        *error = ClientError::OutstandingCallLimitReached;
        return std::nullopt;
    }
    return reserve(lock, error);
}

std::optional<uint32_t> RequestTracker::beginAsync(Clock::time_point deadline, Completion done,
                                                   ClientError* error) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closedReason_) {
        *error = ClientError::NotConnected;
        return std::nullopt;
    }
    if (slots_.size() >= maxOutstanding_) {
        *error = ClientError::OutstandingCallLimitReached;
        return std::nullopt;
    }
    auto id = reserve(lock, error);
    Slot& slot = slots_.at(*id);
    slot.completion = std::move(done);
    slot.deadline = deadline;
    return id;
}

void RequestTracker::expire(Clock::time_point now) {
    std::vector<std::pair<uint32_t, Completion>> expired;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = slots_.begin(); it != slots_.end();) {
            if (it->second.completion && it->second.deadline <= now) {
                expired.emplace_back(it->first, std::move(it->second.completion));
                it = slots_.erase(it);
            } else {
                ++it;
            }
        }
        if (!expired.empty()) {
            changed_.notify_all();
        }
    }
    for (auto& [id, done] : expired) {
        done(id, RequestOutcome::failed(ClientError::Timeout));
    }
}

std::optional<RequestTracker::Clock::time_point> RequestTracker::nextDeadline() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<Clock::time_point> earliest;
    for (const auto& [id, slot] : slots_) {
        if (slot.completion && (!earliest || slot.deadline < *earliest)) {
            earliest = slot.deadline;
        }
    }
    return earliest;
}

std::optional<uint32_t> RequestTracker::reserve(std::unique_lock<std::mutex>&, ClientError*) {
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
        return RequestOutcome::failed(ClientError::Unknown);
    }
    changed_.wait_until(lock, deadline, [&] { return it->second.done; });
    RequestOutcome outcome =
        it->second.done ? std::move(it->second.outcome) : RequestOutcome::failed(ClientError::Timeout);
    slots_.erase(it);
    changed_.notify_all();  // a slot is free again
    return outcome;
}

bool RequestTracker::abandon(uint32_t invokeId) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool removed = slots_.erase(invokeId) != 0;
    changed_.notify_all();
    return removed;
}

bool RequestTracker::complete(uint32_t invokeId, RequestOutcome outcome) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = slots_.find(invokeId);
    if (it == slots_.end() || it->second.done) {
        return false;
    }
    if (it->second.completion) {
        Completion done = std::move(it->second.completion);
        slots_.erase(it);
        changed_.notify_all();
        lock.unlock();
        done(invokeId, std::move(outcome));
        return true;
    }
    it->second.done = true;
    it->second.outcome = std::move(outcome);
    changed_.notify_all();
    return true;
}

void RequestTracker::close(ClientError reason) {
    std::vector<std::pair<uint32_t, Completion>> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closedReason_) {
            return;
        }
        closedReason_ = reason;
        for (auto it = slots_.begin(); it != slots_.end();) {
            if (it->second.completion) {
                waiting.emplace_back(it->first, std::move(it->second.completion));
                it = slots_.erase(it);
                continue;
            }
            if (!it->second.done) {
                it->second.done = true;
                it->second.outcome = RequestOutcome::failed(reason);
            }
            ++it;
        }
        changed_.notify_all();
    }
    for (auto& [id, done] : waiting) {
        done(id, RequestOutcome::failed(reason));
    }
}

bool RequestTracker::isClosed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closedReason_.has_value();
}

}  // namespace iecstack::client
