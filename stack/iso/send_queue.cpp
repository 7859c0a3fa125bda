#include "send_queue.h"

#include <sys/socket.h>
#include <unistd.h>

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include "scheduler_context.h"

namespace iecstack::iso {

std::shared_ptr<SendQueue> SendQueue::create(Scheduler& scheduler, int fd, SendLimits limits,
                                             Stalled stalled) {
    return std::shared_ptr<SendQueue>(new SendQueue(scheduler, fd, limits, std::move(stalled)));
}

SendQueue::SendQueue(Scheduler& scheduler, int fd, SendLimits limits, Stalled stalled)
    : limits_(limits),
      stalled_(std::move(stalled)),
      strand_(asio::make_strand(scheduler.context().io)),
      descriptor_(strand_),
      ageTimer_(strand_),
      fd_(::dup(fd)) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (fd_ >= 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        std::error_code ignored;
        descriptor_.assign(asio::generic::stream_protocol(local.ss_family, SOCK_STREAM), fd_, ignored);
    }
}

SendQueue::~SendQueue() = default;

Status<Error> SendQueue::push(Bytes framed, std::function<void()> leaving) {
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || fd_ < 0) {
            return Error::NotConnected;
        }
        if (limits_.maxUnsentPdus > 0 && units_.size() >= limits_.maxUnsentPdus) {
            closed_ = true;
            asio::post(strand_, [self = shared_from_this()] { self->declareStalled(); });
            return Error::SendStalled;
        }
        units_.push_back({std::move(framed), std::move(leaving), Scheduler::Clock::now(), nextNumber_++});
        start = !writing_;
        writing_ = true;
    }
    if (start) {
        asio::post(strand_, [self = shared_from_this()] { self->writeFront(); });
    }
    return {};
}

void SendQueue::writeFront() {
    const Unit* front = nullptr;
    std::function<void()> leaving;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || units_.empty()) {
            writing_ = false;
            drained_.notify_all();
            return;
        }
        front = &units_.front();  // stays put: only written() removes the front
        leaving = std::move(units_.front().leaving);
        watchFront(front->number, front->queued + limits_.stallTimeout);
    }
    if (leaving) {
        leaving();
    }
    asio::async_write(
        descriptor_, asio::buffer(front->bytes.data(), front->bytes.size()),
        asio::bind_executor(strand_, [self = shared_from_this()](const std::error_code& error, size_t) {
            self->written(error);
        }));
}

void SendQueue::written(const std::error_code& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!units_.empty()) {
            units_.pop_front();
        }
        if (error) {
            // The peer went or the queue was closed: nothing after a partial unit could be framed.
            closed_ = true;
            units_.clear();
        }
        if (closed_ || units_.empty()) {
            writing_ = false;
            drained_.notify_all();
            ageTimer_.cancel();
            return;
        }
    }
    writeFront();
}

// Caller holds mutex_ and runs on the strand. The front stands for the oldest unit: all later ones
// wait behind it.
void SendQueue::watchFront(uint64_t number, Scheduler::Clock::time_point deadline) {
    if (limits_.stallTimeout.count() <= 0) {
        return;
    }
    ageTimer_.expires_at(deadline);
    ageTimer_.async_wait(
        asio::bind_executor(strand_, [self = shared_from_this(), number](const std::error_code& e) {
            if (e) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(self->mutex_);
                if (self->closed_ || self->units_.empty() || self->units_.front().number != number) {
                    return;
                }
                self->closed_ = true;
            }
            self->declareStalled();
        }));
}

// On the strand, after closed_ was set for a stall.
void SendQueue::declareStalled() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stalledDeclared_) {
            return;
        }
        stalledDeclared_ = true;
        drained_.notify_all();
    }
    if (stalled_) {
        stalled_();
    }
}

bool SendQueue::drain(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return drained_.wait_for(lock, timeout, [this] { return closed_ || (units_.empty() && !writing_); }) &&
           !closed_;
}

void SendQueue::close(ByteView lastWords) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool halfWritten = writing_ && !units_.empty();
        if (!closed_ && !halfWritten && fd_ >= 0 && !lastWords.empty()) {
            // Best effort and never blocking: a peer that does not read does not hear it.
            (void)::send(fd_, lastWords.data(), lastWords.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        closed_ = true;
        if (halfWritten) {
            units_.erase(units_.begin() + 1, units_.end());
        } else {
            units_.clear();
        }
        drained_.notify_all();
    }
    asio::post(strand_, [self = shared_from_this()] {
        std::error_code ignored;
        self->ageTimer_.cancel();
        self->descriptor_.close(ignored);  // a write still under way ends with an error
    });
}

size_t SendQueue::unsent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return units_.size();
}

}  // namespace iecstack::iso
