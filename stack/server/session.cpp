#include "server/session.h"

#include <atomic>

namespace iecstack::server {

Session::Session(uint64_t id, std::string peer, size_t maxPduSize, Transmit transmit)
    : id_(id), peer_(std::move(peer)), maxPduSize_(maxPduSize), transmit_(std::move(transmit)) {}

std::shared_ptr<Session> Session::detached(size_t maxPduSize) {
    // Apart from the associations' ids, so that a test's clients are told apart.
    static std::atomic<uint64_t> nextId{uint64_t(1) << 40};
    auto session = std::make_shared<Session>(nextId++, "detached", maxPduSize, Transmit{});
    session->detached_ = true;
    return session;
}

bool Session::transmitLocked(ByteView pdu) {
    if (ended_) {
        return false;
    }
    if (detached_) {
        detachedLog_.push_back(pdu.toBytes());
        return true;
    }
    return transmit_ && transmit_(pdu);
}

bool Session::sendUnconfirmed(ByteView mmsPdu) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) {
        return false;
    }
    if (answering_ && std::this_thread::get_id() != answeringThread_) {
        deferred_.push_back(mmsPdu.toBytes());
        return true;
    }
    return transmitLocked(mmsPdu);
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

bool Session::finishRequest(ByteView response) {
    std::lock_guard<std::mutex> lock(mutex_);
    answering_ = false;
    bool ok = response.empty() || transmitLocked(response);
    for (const Bytes& pdu : deferred_) {
        ok = transmitLocked(pdu) && ok;
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
