#pragma once

#include <asio/generic/stream_protocol.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/iso_error.h"
#include "iso/responder.h"
#include "iso/scheduler.h"

namespace iecstack::iso {

// The units waiting for one peer, written asynchronously on the scheduler, so that a peer that reads
// slowly or not at all holds up nobody else. A peer that lets the queue pass its bounds is declared
// stalled once: the owner aborts the association.
class SendQueue : public std::enable_shared_from_this<SendQueue> {
public:
    using Stalled = std::function<void()>;

    // Writes on a duplicate of `fd`; the caller keeps its own descriptor for receiving.
    static std::shared_ptr<SendQueue> create(Scheduler& scheduler, int fd, SendLimits limits,
                                             Stalled stalled);
    ~SendQueue();
    SendQueue(const SendQueue&) = delete;
    SendQueue& operator=(const SendQueue&) = delete;

    // Queues whole TPKTs. `leaving` runs (on the scheduler) just before their first octet is written.
    // NotConnected after close(); SendStalled when this unit passes the bound.
    Status<Error> push(Bytes framed, std::function<void()> leaving = {});
    // Waits until everything queued so far is written; false on time-out or when the queue closed first.
    bool drain(std::chrono::milliseconds timeout);
    // Nothing more is written and the unsent are dropped. `lastWords` (an abort) goes out only when no
    // unit is half written and the socket takes it at once.
    void close(ByteView lastWords = {});
    size_t unsent() const;

private:
    struct Unit {
        Bytes bytes;
        std::function<void()> leaving;
        Scheduler::Clock::time_point queued;
        uint64_t number = 0;
    };

    SendQueue(Scheduler& scheduler, int fd, SendLimits limits, Stalled stalled);
    void writeFront();
    void written(const std::error_code& error);
    void watchFront(uint64_t number, Scheduler::Clock::time_point deadline);
    void declareStalled();

    const SendLimits limits_;
    Stalled stalled_;
    asio::strand<asio::io_context::executor_type> strand_;
    // A socket rather than a plain descriptor: its writes never raise SIGPIPE when the peer has gone.
    asio::generic::stream_protocol::socket descriptor_;  // used on the strand only
    asio::steady_timer ageTimer_;                // likewise
    const int fd_;

    mutable std::mutex mutex_;
    std::condition_variable drained_;
    std::deque<Unit> units_;  // the front is being written while writing_
    uint64_t nextNumber_ = 0;
    bool writing_ = false;
    bool closed_ = false;
    bool stalledDeclared_ = false;
};

}  // namespace iecstack::iso
