#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "server/iso_responder.h"
#include "server/mms_services.h"

namespace iecstack::server {

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 102;  // 0 picks a free port; port() tells which
    size_t maxPduSize = 65000;
    std::chrono::milliseconds responseDelay{0};
    size_t maxConnections = 32;
    // A peer that has not completed its association by then is dropped, so silent connections
    // cannot hold the slots of real clients forever.
    std::chrono::milliseconds associateTimeout{10000};
    // A blocked peer that does not read its answers is dropped after this long.
    std::chrono::milliseconds sendTimeout{10000};
    // Receives one line per association event and per request; called from connection threads.
    std::function<void(const std::string&)> log;
};

// Listens on a TCP port and runs one thread per connection, each with its own IsoResponder. stop()
// (or the destructor) closes every connection and joins every thread.
class MmsServer {
public:
    MmsServer(MmsServices& services, ServerOptions options);
    ~MmsServer();
    MmsServer(const MmsServer&) = delete;
    MmsServer& operator=(const MmsServer&) = delete;

    // Binds and starts accepting. False (and `error` set) when the address cannot be used.
    bool start(std::string* error = nullptr);
    void stop();
    uint16_t port() const { return port_; }
    std::string address() const { return options_.bindAddress; }

    size_t openConnections() const;
    uint64_t acceptedConnections() const { return accepted_; }
    uint64_t refusedConnections() const { return refused_; }

private:
    struct Connection;

    void acceptLoop();
    void serve(Connection& connection);
    void reapFinished();
    void log(const std::string& line) const;

    MmsServices& services_;
    ServerOptions options_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    mutable std::mutex connectionsLock_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::atomic<uint64_t> accepted_{0}, refused_{0};
    uint64_t nextId_ = 0;
};

}  // namespace iecstack::server
