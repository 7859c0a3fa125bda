#include "tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace iecstack::iso {

namespace {

// Waits for `events`; false on time-out. Interrupted waits are resumed with the full time-out,
// which only lengthens the wait slightly under heavy signalling.
bool waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            return false;
        }
        if (errno != EINTR) {
            return true;  // let the following call report the error
        }
    }
}

}  // namespace

TcpSocket::~TcpSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Result<TcpSocket, Error> TcpSocket::connect(const std::string& host, uint16_t port,
                                            std::chrono::milliseconds timeout) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0) {
        return Error::ConnectFailed;
    }
    Error failure = Error::ConnectFailed;
    for (addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
        TcpSocket socket(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (!socket.valid()) {
            continue;
        }
        const int flags = ::fcntl(socket.fd_, F_GETFL);
        ::fcntl(socket.fd_, F_SETFL, flags | O_NONBLOCK);
        if (::connect(socket.fd_, a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                continue;
            }
            if (!waitFor(socket.fd_, POLLOUT, static_cast<int>(timeout.count()))) {
                failure = Error::Timeout;
                continue;
            }
            int error = 0;
            socklen_t length = sizeof(error);
            if (::getsockopt(socket.fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
                continue;
            }
        }
        ::fcntl(socket.fd_, F_SETFL, flags);
        const int one = 1;
        ::setsockopt(socket.fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        ::freeaddrinfo(addresses);
        return socket;
    }
    ::freeaddrinfo(addresses);
    return failure;
}

Result<size_t, Error> TcpSocket::receiveSome(uint8_t* buffer, size_t capacity, int timeoutMs) {
    if (!waitFor(fd_, POLLIN, timeoutMs)) {
        return Error::Timeout;
    }
    for (;;) {
        const ssize_t received = ::recv(fd_, buffer, capacity, 0);
        if (received > 0) {
            return static_cast<size_t>(received);
        }
        if (received == 0) {
            return Error::ConnectionClosed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // The descriptor may be non-blocking (a server's asynchronous sends share it): wait again.
            if (!waitFor(fd_, POLLIN, timeoutMs)) {
                return Error::Timeout;
            }
            continue;
        }
        return errno == ECONNRESET ? Error::ConnectionClosed : Error::IoError;
    }
}

Status<Error> TcpSocket::sendAll(ByteView bytes, int timeoutMs) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (!waitFor(fd_, POLLOUT, timeoutMs)) {
            return Error::Timeout;
        }
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        return errno == EPIPE || errno == ECONNRESET ? Error::ConnectionClosed : Error::IoError;
    }
    return {};
}

void TcpSocket::shutdownBoth() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

std::string TcpSocket::peerAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof(host), service,
                      sizeof(service), NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return {};
    }
    return std::string(host) + ":" + service;
}

}  // namespace iecstack::iso
