#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/acse.h"
#include "iso/close_reason.h"
#include "iso/iso_error.h"
#include "iso/scheduler.h"

namespace iecstack::iso {

class IsoTransport;
class SendQueue;

// What an initiator asked for, handed to the server before anything is answered.
struct AssociateIndication {
    std::string peer;  // "address:port"
    std::optional<acse::ApTitle> calling;
    std::optional<acse::ApTitle> called;
    std::optional<std::string> password;  // present when the password mechanism was used
    std::optional<ber::Oid> mechanism;    // the authentication mechanism named, if any
    Bytes initiateRequest;                // the encoded MMS initiate request
};

struct AssociateDecision {
    bool accept = true;
    Bytes initiateResponse;  // the encoded MMS initiate response, when accepted
    size_t maxPduSize = 0;   // agreed in the initiate exchange; 0 keeps ListenerSettings::maxPduSize
    acse::AssociateDiagnostic diagnostic = acse::AssociateDiagnostic::NoReasonGiven;  // when refused
};

// How much one association may leave unsent before it counts as stalled and is aborted.
struct SendLimits {
    size_t maxUnsentPdus = 1000;                    // 0: no bound
    std::chrono::milliseconds stallTimeout{10000};  // the oldest unsent PDU's wait; 0: no bound
};

// The server side of one association. send() may be called from any thread (responses from the
// handler, reports from elsewhere) and never blocks: PDUs wait in the association's own queue, in the
// order sent. After the association ended it fails with NotConnected.
class ResponderAssociation {
public:
    explicit ResponderAssociation(std::unique_ptr<IsoTransport> transport);
    ~ResponderAssociation();
    ResponderAssociation(const ResponderAssociation&) = delete;
    ResponderAssociation& operator=(const ResponderAssociation&) = delete;

    // `leaving` runs just before the PDU's first octet goes to the socket.
    Status<Error> send(ByteView mmsPdu, std::function<void()> leaving = {});
    void setMaxPduSize(size_t size);
    size_t maxPduSize() const;
    // Sends an abort and ends the association; its handler then sees LocalAbort.
    void abort();
    // Ends the association without a goodbye.
    void close();
    bool isOpen() const;
    const std::string& peer() const { return peer_; }

private:
    friend class ResponderListener;

    // The queue stalled: the association was aborted because the peer stopped reading.
    void stalled();
    // The first local end's reason counts; an abort is said only where it can follow what was sent.
    void endLocally(CloseReason reason, bool sayAbort, bool stalled);

    std::unique_ptr<IsoTransport> transport_;
    std::shared_ptr<SendQueue> queue_;  // from acceptance on
    std::string peer_;
    int64_t acseContextId_ = 1;
    int64_t mmsContextId_ = 3;
    mutable std::mutex mutex_;
    bool open_ = false;  // set once the association is accepted
    bool localEnd_ = false;
    bool stalled_ = false;
    CloseReason localReason_ = CloseReason::LocalClose;
    size_t maxPduSize_ = 0;
};

// The server's view of one association. Every call runs on that association's own thread.
class ResponderHandler {
public:
    virtual ~ResponderHandler() = default;
    virtual AssociateDecision onAssociate(const AssociateIndication& indication) = 0;
    virtual void onPdu(ResponderAssociation& association, ByteView mmsPdu) = 0;
    // Exactly once, after onAssociate, whatever ended the association.
    virtual void onClosed(CloseReason reason, Error detail) {
        (void)reason;
        (void)detail;
    }
};

struct ListenerSettings {
    std::string bindAddress = "0.0.0.0";
    uint16_t port = 102;  // 0 picks a free port; see ResponderListener::port()
    size_t maxConnections = 16;
    // A client that connects and stays silent, or stalls during set-up, is dropped after this.
    std::chrono::milliseconds setupTimeout{10000};
    // An association that receives nothing for this long is aborted; 0 keeps it forever.
    std::chrono::milliseconds idleTimeout{0};
    size_t maxPduSize = 65000;  // received units beyond this (plus envelope) end the association
    uint8_t maxTpduSizeCode = 0x0d;
    SendLimits sendLimits;
    // Runs the associations' sends; the listener keeps a scheduler of its own when none is given.
    Scheduler* scheduler = nullptr;
    // One line per rejected peer, with the reason; called from connection threads.
    std::function<void(const std::string& line)> log;
};

// Figures a person can read when peers misbehave.
struct ListenerCounters {
    uint64_t connectionsAccepted = 0;
    uint64_t connectionsOverLimit = 0;  // closed at once: too many connections
    uint64_t associationsAccepted = 0;
    uint64_t associationsRefused = 0;  // refused by the handler
    uint64_t setupFailures = 0;        // garbage, wrong PDUs or silence before the association
    uint64_t protocolErrors = 0;       // garbage after the association
    uint64_t stalledPeers = 0;         // aborted: stopped reading what was sent
};

// Accepts TCP connections and runs each association on a thread of its own.
class ResponderListener {
public:
    // Called once the peer's association request has been understood; the handler may keep the
    // association to send from other threads.
    using HandlerFactory = std::function<std::unique_ptr<ResponderHandler>(
        const std::shared_ptr<ResponderAssociation>& association)>;

    ResponderListener(ListenerSettings settings, HandlerFactory factory);
    ~ResponderListener();
    ResponderListener(const ResponderListener&) = delete;
    ResponderListener& operator=(const ResponderListener&) = delete;

    Status<Error> start();
    // Why start() failed, in words ("the port is already in use"); empty after a successful start.
    const std::string& startFailure() const { return startFailure_; }
    uint16_t port() const { return port_; }
    // Ends every association and joins every thread; no handler runs after it returns.
    void stop();
    ListenerCounters counters() const;
    size_t activeConnections() const;

private:
    struct Connection {
        std::shared_ptr<ResponderAssociation> association;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void acceptLoop();
    void serve(Connection& connection);
    void reapFinished();
    void report(const std::string& line) const;

    ListenerSettings settings_;
    std::unique_ptr<Scheduler> ownScheduler_;
    std::string startFailure_;
    HandlerFactory factory_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::list<Connection> connections_;
    bool stopping_ = false;

    std::atomic<uint64_t> connectionsAccepted_{0};
    std::atomic<uint64_t> connectionsOverLimit_{0};
    std::atomic<uint64_t> associationsAccepted_{0};
    std::atomic<uint64_t> associationsRefused_{0};
    std::atomic<uint64_t> setupFailures_{0};
    std::atomic<uint64_t> protocolErrors_{0};
    std::atomic<uint64_t> stalledPeers_{0};
};

}  // namespace iecstack::iso
