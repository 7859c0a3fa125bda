#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "iso/responder.h"
#include "server/mms_services.h"

namespace iecstack::server {

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 102;  // 0 picks a free port; port() tells which
    size_t maxPduSize = 65000;
    size_t minPduSize = 512;  // smaller proposals are raised to this
    // Every answer leaves this long after its request arrived; requests keep being taken meanwhile, so
    // a client with several requests outstanding sees them answered side by side, as on a device.
    std::chrono::milliseconds responseDelay{0};
    // Requests a client may have outstanding: agreed at initiate and enforced (more are rejected).
    int maxOutstanding = 5;
    // A client that leaves this much unread is aborted, so that it holds up nobody else; what it held
    // (buffered report blocks' entries among it) waits for its return.
    iso::SendLimits sendLimits;
    // An association that sends nothing for this long is aborted, as many devices do; 0 never.
    std::chrono::milliseconds idleTimeout{0};
    size_t maxConnections = 32;
    // A peer that has not completed its association by then is dropped.
    std::chrono::milliseconds setupTimeout{10000};
    // Receives one line per association event and per request, with whatever came from a peer
    // escaped; called from connection threads.
    std::function<void(const std::string&)> log;
    // Rehearsing a frozen device: after this many PDUs (over all associations) nothing is answered
    // any more, while every connection stays open.
    std::optional<uint64_t> silentAfterRequests;
    // When set, only clients that give this password (ACSE password authentication) are associated.
    std::optional<std::string> password;
};

// `line` with backslashes doubled and every byte outside printable ASCII written as \xHH.
std::string printableLine(const std::string& line);

// Serves MMS on a TCP port: the transport and association layers are the ISO responder's, every
// association receives on its own thread and asks MmsServices for its answers; sends and timed work
// run on the services' scheduler.
class MmsServer {
public:
    MmsServer(MmsServices& services, ServerOptions options);
    ~MmsServer();
    MmsServer(const MmsServer&) = delete;
    MmsServer& operator=(const MmsServer&) = delete;

    // Binds and starts accepting. False (and `error` set) when the address cannot be used.
    bool start(std::string* error = nullptr);
    // Ends every association and joins every thread; idempotent.
    void stop();
    uint16_t port() const;
    iso::ListenerCounters counters() const;
    size_t openConnections() const;

private:
    class Association;

    MmsServices& services_;
    ServerOptions options_;
    std::atomic<uint64_t> requestsSeen_{0};
    std::unique_ptr<iso::ResponderListener> listener_;
};

}  // namespace iecstack::server
