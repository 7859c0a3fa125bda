#include "server/mms_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace iecstack::server {

namespace {
// How often blocked threads look at the stop flag.
constexpr int kPollSliceMs = 100;
}  // namespace

struct MmsServer::Connection {
    uint64_t id = 0;
    int fd = -1;
    std::string peer;
    std::atomic<bool> done{false};
    std::thread thread;
};

MmsServer::MmsServer(MmsServices& services, ServerOptions options)
    : services_(services), options_(std::move(options)) {}

MmsServer::~MmsServer() {
    stop();
}

void MmsServer::log(const std::string& line) const {
    if (options_.log) {
        options_.log(line);
    }
}

bool MmsServer::start(std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) {
            *error = what + ": " + std::strerror(errno);
        }
        if (listenFd_ >= 0) {
            ::close(listenFd_);
            listenFd_ = -1;
        }
        return false;
    };
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.bindAddress.c_str(), &addr.sin_addr) != 1) {
        errno = EINVAL;
        return fail("bad bind address \"" + options_.bindAddress + "\"");
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return fail("socket");
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        return fail("cannot bind " + options_.bindAddress + ":" + std::to_string(options_.port));
    }
    if (::listen(listenFd_, 16) != 0) {
        return fail("listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    stopping_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void MmsServer::stop() {
    if (!acceptThread_.joinable()) {
        return;
    }
    stopping_ = true;
    acceptThread_.join();
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard<std::mutex> lock(connectionsLock_);
        all.swap(connections_);
    }
    for (auto& c : all) {
        ::shutdown(c->fd, SHUT_RDWR);  // wakes a thread blocked in send
    }
    for (auto& c : all) {
        c->thread.join();
        ::close(c->fd);
    }
    ::close(listenFd_);
    listenFd_ = -1;
}

size_t MmsServer::openConnections() const {
    std::lock_guard<std::mutex> lock(connectionsLock_);
    size_t n = 0;
    for (const auto& c : connections_) {
        n += !c->done;
    }
    return n;
}

void MmsServer::reapFinished() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(connectionsLock_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) {
        c->thread.join();
        ::close(c->fd);
    }
}

void MmsServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        int ready = ::poll(&p, 1, kPollSliceMs);
        reapFinished();
        if (ready <= 0) {
            continue;
        }
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::string peerName = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        if (openConnections() >= options_.maxConnections) {
            ++refused_;
            log(peerName + " refused: " + std::to_string(options_.maxConnections) + " connections open");
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval sendTimeout{};
        sendTimeout.tv_sec = static_cast<time_t>(options_.sendTimeout.count() / 1000);
        sendTimeout.tv_usec = static_cast<suseconds_t>((options_.sendTimeout.count() % 1000) * 1000);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        ++accepted_;
        auto c = std::make_unique<Connection>();
        c->id = ++nextId_;
        c->fd = fd;
        c->peer = peerName;
        Connection* raw = c.get();
        {
            std::lock_guard<std::mutex> lock(connectionsLock_);
            connections_.push_back(std::move(c));
        }
        raw->thread = std::thread([this, raw] { serve(*raw); });
    }
}

void MmsServer::serve(Connection& c) {
    const std::string tag = "[" + std::to_string(c.id) + " " + c.peer + "] ";
    log(tag + "connected");
    IsoResponder::Settings settings;
    settings.maxPduSize = options_.maxPduSize;
    IsoResponder responder(services_, settings);
    const auto deadline = std::chrono::steady_clock::now() + options_.associateTimeout;
    std::vector<uint8_t> buffer(16384);
    std::string endReason = "peer closed the connection";
    while (!stopping_) {
        if (!responder.associated() && std::chrono::steady_clock::now() > deadline) {
            endReason = "no association within " + std::to_string(options_.associateTimeout.count()) + " ms";
            break;
        }
        pollfd p{c.fd, POLLIN, 0};
        int ready = ::poll(&p, 1, kPollSliceMs);
        if (ready == 0 || (ready < 0 && errno == EINTR)) {
            continue;
        }
        if (ready < 0) {
            endReason = std::string("poll: ") + std::strerror(errno);
            break;
        }
        ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            if (n < 0) {
                endReason = std::string("receive: ") + std::strerror(errno);
            }
            break;
        }
        Bytes out = responder.receive(ByteView(buffer.data(), static_cast<size_t>(n)));
        for (const std::string& line : responder.takeLog()) {
            log(tag + line);
        }
        if (!out.empty() && responder.answeredRequest() && options_.responseDelay.count() > 0) {
            std::this_thread::sleep_for(options_.responseDelay);
        }
        size_t sent = 0;
        while (sent < out.size()) {
            ssize_t k = ::send(c.fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (k <= 0) {
                if (k < 0 && errno == EINTR) {
                    continue;
                }
                endReason = "send failed";
                break;
            }
            sent += static_cast<size_t>(k);
        }
        if (sent < out.size()) {
            break;
        }
        if (responder.finished()) {
            endReason = "closed";
            break;
        }
    }
    if (stopping_) {
        endReason = "server stopping";
    }
    // A bare TCP close, as devices do on shutdown; shutdown() here lets the peer see it at once even
    // though the descriptor is closed only when the thread is reaped.
    ::shutdown(c.fd, SHUT_RDWR);
    log(tag + "disconnected: " + endReason);
    c.done = true;
}

}  // namespace iecstack::server
