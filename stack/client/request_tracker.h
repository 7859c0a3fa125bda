#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "client_error.h"
#include "mms/pdu.h"

namespace iecstack::client {

// How one confirmed request ended: a response, or why there is none.
struct RequestOutcome {
    ClientError error = ClientError::Unknown;
    std::optional<mms::ConfirmedResponseService> response;  // set when error is ClientError::Ok

    static RequestOutcome failed(ClientError error) { return RequestOutcome{error, std::nullopt}; }
};

// The confirmed requests of one association that wait for their answers, keyed by invoke ID. Threads
// that send requests wait here; the receive thread hands in what arrives. Once closed, every waiting
// request returns at once and every later one fails without waiting.
class RequestTracker {
public:
    using Clock = std::chrono::steady_clock;
    // How an asynchronous request learns its outcome; runs without the tracker's lock held, on the
    // thread that completed, expired or closed it.
    using Completion = std::function<void(uint32_t invokeId, RequestOutcome)>;

    explicit RequestTracker(size_t maxOutstanding = 5)
        : maxOutstanding_(maxOutstanding == 0 ? 1 : maxOutstanding) {}
    RequestTracker(const RequestTracker&) = delete;
    RequestTracker& operator=(const RequestTracker&) = delete;

    // The number of requests the peer agreed to have outstanding at once.
    void setMaxOutstanding(size_t maxOutstanding);

    // Reserves a fresh invoke ID, waiting until `deadline` for one of the outstanding slots. Fails with
    // ClientError::NotConnected once closed, or ClientError::OutstandingCallLimitReached when no slot frees.
    std::optional<uint32_t> begin(Clock::time_point deadline, ClientError* error);
    // Reserves an invoke ID for a request whose outcome goes to `done` (exactly once, unless the request
    // is abandoned). Never waits: ClientError::OutstandingCallLimitReached when every slot is taken.
    std::optional<uint32_t> beginAsync(Clock::time_point deadline, Completion done, ClientError* error);
    // Fails the asynchronous requests whose deadline has passed with ClientError::Timeout.
    void expire(Clock::time_point now);
    // The earliest deadline of an asynchronous request still waiting, if any.
    std::optional<Clock::time_point> nextDeadline() const;

    // Waits for the answer to `invokeId` and releases its slot; ClientError::Timeout after `deadline`.
    RequestOutcome wait(uint32_t invokeId, Clock::time_point deadline);
    // Releases a slot whose request never left (the send failed). False when the request had already
    // ended (closed or expired meanwhile), so that its completion has run or is running.
    bool abandon(uint32_t invokeId);

    // Hands in the answer to `invokeId`; false when no request waits for it (late after a time-out,
    // or an ID we never used).
    bool complete(uint32_t invokeId, RequestOutcome outcome);
    // Fails every waiting request with `reason` and every later begin(). Only the first call counts.
    void close(ClientError reason);
    bool isClosed() const;

private:
    struct Slot {
        bool done = false;
        RequestOutcome outcome;
        Completion completion;  // set for asynchronous requests
        Clock::time_point deadline;
    };

    std::optional<uint32_t> reserve(std::unique_lock<std::mutex>& lock, ClientError* error);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unordered_map<uint32_t, Slot> slots_;
    size_t maxOutstanding_;
    uint32_t nextInvokeId_ = 1;
    std::optional<ClientError> closedReason_;
};

}  // namespace iecstack::client
