#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ber/byte_view.h"

namespace iecstack::server {

// One client association as the services see it: who asked, and a way to send that client PDUs of
// our own (information reports) from any thread. Services that keep per-client state (the holder of a
// selection, the owner of a report control block) keep the session, or a weak pointer to it, and are
// told by MmsServices::associationEnded when it goes.
//
// Order: a PDU sent from the thread that is answering a request goes out at once, so before that
// request's response (a refusal report precedes the negative write response). A PDU sent from another
// thread while a request is being answered waits until that response is out, so it never overtakes it.
class Session : public std::enable_shared_from_this<Session> {
public:
    // Puts one MMS PDU on the wire (or in the association's queue for it); false when the association
    // is gone.
    using Transmit = std::function<bool(ByteView mmsPdu)>;
    // The same, where `leaving` (may be empty) runs just before the PDU's first octet is written.
    using QueuedTransmit = std::function<bool(ByteView mmsPdu, std::function<void()> leaving)>;

    Session(uint64_t id, std::string peer, size_t maxPduSize, Transmit transmit);
    Session(uint64_t id, std::string peer, size_t maxPduSize, QueuedTransmit transmit);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A session without a peer for answering single requests (tests, benchmarks): sends are counted in
    // `sent()` and otherwise dropped.
    static std::shared_ptr<Session> detached(size_t maxPduSize = 65000);

    uint64_t id() const { return id_; }
    const std::string& peer() const { return peer_; }
    size_t maxPduSize() const { return maxPduSize_; }

    // Any thread. False when the association has ended (the PDU is dropped) or is queued behind a
    // response that fails later.
    bool sendUnconfirmed(ByteView mmsPdu, std::function<void()> leaving = {});
    // What a detached session was asked to send, in order.
    std::vector<Bytes> sent() const;

    // For the association's own thread, around the answer to one request.
    void beginRequest();
    // Sends the response (if any), then whatever other threads sent meanwhile. `leaving` as for
    // QueuedTransmit, for the response.
    bool finishRequest(ByteView response, std::function<void()> leaving = {});
    // After this every send fails; held sessions stay valid objects.
    void end();
    bool ended() const;

private:
    struct Deferred {
        Bytes pdu;
        std::function<void()> leaving;
    };

    bool transmitLocked(ByteView pdu, std::function<void()> leaving);

    const uint64_t id_;
    const std::string peer_;
    const size_t maxPduSize_;
    QueuedTransmit transmit_;
    mutable std::mutex mutex_;
    bool answering_ = false;
    std::thread::id answeringThread_;
    std::vector<Deferred> deferred_;
    std::vector<Bytes> detachedLog_;
    bool detached_ = false;
    bool ended_ = false;
};

}  // namespace iecstack::server
