#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/iso_error.h"

namespace iecstack::iso {

// A connected TCP socket. The descriptor stays open until destruction, so a thread that still sends
// after another thread shut the connection down gets an error, never a recycled descriptor.
class TcpSocket {
public:
    TcpSocket() = default;
    explicit TcpSocket(int fd) : fd_(fd) {}
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    static Result<TcpSocket, Error> connect(const std::string& host, uint16_t port,
                                            std::chrono::milliseconds timeout);

    bool valid() const { return fd_ >= 0; }
    int nativeHandle() const { return fd_; }
    // Some bytes, Timeout, or ConnectionClosed at the end of the stream; -1 waits forever.
    Result<size_t, Error> receiveSome(uint8_t* buffer, size_t capacity, int timeoutMs);
    Status<Error> sendAll(ByteView bytes, int timeoutMs);
    // Ends both directions; a receive blocked in another thread returns. Safe from any thread.
    void shutdownBoth();
    std::string peerAddress() const;

private:
    int fd_ = -1;
};

}  // namespace iecstack::iso
