#include "server/session.h"

#include <atomic>

namespace iecstack::server {

Session::Session(uint64_t id, std::string peer, size_t maxPduSize, QueuedTransmit transmit)
    : id_(id), peer_(std::move(peer)), maxPduSize_(maxPduSize), transmit_(std::move(transmit)) {}

Session::Session(uint64_t id, std::string peer, size_t maxPduSize, Transmit transmit)
    : Session(id, std::move(peer), maxPduSize,
              transmit ? QueuedTransmit(
                             [transmit = std::move(transmit)](ByteView pdu, std::function<void()> leaving) {
                                 if (leaving) {
                                     leaving();
                                 }
                                 return transmit(pdu);
                             })
                       : QueuedTransmit()) {}

std::shared_ptr<Session> Session::detached(size_t maxPduSize) {
    // Apart from the associations' ids, so that a test's clients are told apart.
    static std::atomic<uint64_t> nextId{uint64_t(1) << 40};
    auto session = std::make_shared<Session>(nextId++, "detached", maxPduSize, QueuedTransmit{});
    session->detached_ = true;
    return session;
}

bool Session::transmitLocked(ByteView pdu, std::function<void()> leaving) {
    if (ended_) {
        return false;
    }
    if (detached_) {
        detachedLog_.push_back(pdu.toBytes());
        return true;
    }
    return transmit_ && transmit_(pdu, std::move(leaving));
}

bool Session::sendUnconfirmed(ByteView mmsPdu, std::function<void()> leaving) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) {
        return false;
    }
    if (answering_ && std::this_thread::get_id() != answeringThread_) {
        deferred_.push_back({mmsPdu.toBytes(), std::move(leaving)});
        return true;
    }
    return transmitLocked(mmsPdu, std::move(leaving));
}

std::vector<Bytes> Session::sent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return detachedLog_;
}

void Session::beginRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    answering_ = true;
    answeringThread_ = std::this_thread::get_id();
}

bool Session::finishRequest(ByteView response, std::function<void()> leaving) {
    std::lock_guard<std::mutex> lock(mutex_);
    answering_ = false;
    bool ok = response.empty() || transmitLocked(response, std::move(leaving));
    for (Deferred& deferred : deferred_) {
        ok = transmitLocked(deferred.pdu, std::move(deferred.leaving)) && ok;
    }
    deferred_.clear();
    return ok;
}

void Session::end() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    answering_ = false;
    deferred_.clear();
}

bool Session::ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

}  // namespace iecstack::server
