#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "iec61850_client.h"
#include "mms/pdu.h"
#include "request_tracker.h"

namespace iecstack::client {

// Counters of what the client dropped from a peer, for a person reading a trace.
struct ReceiveCounters {
    std::atomic<uint64_t> malformedPdus{0};     // could not be decoded at all
    std::atomic<uint64_t> unexpectedPdus{0};    // decoded, but no PDU a client expects
    std::atomic<uint64_t> unmatchedAnswers{0};  // an answer nobody waits for (late after a time-out)
};

// One MMS association as a client: association set-up with the initiate exchange, confirmed requests
// from any number of threads matched to their answers by invoke ID, unconfirmed PDUs handed on, and
// one notice when the association ends without the owner asking.
class MmsClient {
public:
    struct Handlers {
        // On the receive thread, at most once, when the peer or the network ended the association.
        std::function<void()> ended;
        // On the receive thread, for every unconfirmed PDU (reports, command terminations).
        std::function<void(mms::UnconfirmedPdu&&)> unconfirmed;
    };

    explicit MmsClient(Handlers handlers);
    // Aborts an association that is still up and waits for the receive thread; no handler runs after
    // it returns. Must not run on the receive thread itself (see onReceiveThread()).
    ~MmsClient();
    MmsClient(const MmsClient&) = delete;
    MmsClient& operator=(const MmsClient&) = delete;

    // With a password, the association request carries it (ACSE password authentication).
    ClientError connect(const std::string& host, int port, std::chrono::milliseconds timeout,
                        const std::optional<std::string>& password = std::nullopt);
    // A request without an answer after `timeout` fails with ClientError::Timeout. When nothing at all
    // came from the peer meanwhile, the peer is taken for dead: the association ends as lost (the ended
    // handler has run when this returns) and every other waiting request fails.
    RequestOutcome request(mms::ConfirmedRequestService service, std::chrono::milliseconds timeout);
    // Sends a request without waiting for its answer: `done` gets the outcome once, on the receive
    // thread (answers, loss of the association) or on the client's timer thread (time-outs), possibly
    // before this returns. When this fails, nothing was sent and `done` never runs. It does not wait
    // for a free outstanding slot: ClientError::OutstandingCallLimitReached when all are taken.
    ClientError requestAsync(mms::ConfirmedRequestService service, std::chrono::milliseconds timeout,
                             RequestTracker::Completion done, uint32_t* invokeId = nullptr);
    // Conclude, then release, within `timeout` in all, or abort; the ended handler does not run for it.
    void release(std::chrono::milliseconds timeout);
    // Drops the association at once, without the ended handler; waiting requests fail.
    void abort();

    bool isConnected() const;
    bool onReceiveThread() const;
    // Largest MMS PDU the peer accepts, as negotiated.
    uint32_t negotiatedPduSize() const;
    // Requests we may have outstanding at once, as negotiated.
    uint32_t negotiatedOutstanding() const;
    const ReceiveCounters& counters() const { return counters_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    ReceiveCounters counters_;
};

}  // namespace iecstack::client
