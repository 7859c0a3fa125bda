#pragma once

#include <atomic>
#include <chrono>
#include <mutex>

#include "deadline.h"
#include "iso/cotp.h"
#include "iso/tpkt.h"
#include "tcp_socket.h"

namespace iecstack::iso {

// TPKT and COTP class 0 over one TCP connection: whole data units in, whole data units out. One
// thread receives; any number of threads may send, each unit going out in one piece.
class IsoTransport {
public:
    // A peer that stops reading must not block a sender forever.
    static constexpr int kSendTimeoutMs = 10000;

    explicit IsoTransport(TcpSocket socket) : socket_(std::move(socket)) {}

    // One TPKT payload (a TPDU); used while the transport connection is set up.
    Result<Bytes, Error> receiveTpdu(const Deadline& deadline);
    // DT TPDUs joined up to end-of-TSDU. A disconnect request ends the stream with ConnectionClosed.
    Result<Bytes, Error> receiveUnit(const Deadline& deadline);

    Status<Error> sendTpdu(ByteView tpdu);
    Status<Error> sendUnit(ByteView unit);
    // Sends only if the unit can go out at once: no waiting for another sender or for the peer to
    // read. For last words (an abort) to a peer that may have stopped reading.
    Status<Error> sendUnitNow(ByteView unit);

    // A unit as sendUnit() frames it, for a sender of its own.
    Bytes frameUnit(ByteView unit) const { return cotp::encodeDataTpkts(unit, tpduSize_); }
    int nativeHandle() const { return socket_.nativeHandle(); }

    // Set while the transport connection is set up, before other threads may send.
    void setTpduSize(size_t size) { tpduSize_ = size; }
    size_t tpduSize() const { return tpduSize_; }
    // The largest unit accepted from the peer; may change while another thread receives.
    void setMaxUnitSize(size_t size) { maxUnitSize_ = size; }

    void shutdown() { socket_.shutdownBoth(); }
    std::string peerAddress() const { return socket_.peerAddress(); }

private:
    Status<Error> sendLocked(ByteView bytes, int timeoutMs);

    TcpSocket socket_;
    TpktFramer framer_;
    cotp::TsduReassembler reassembler_{65536};
    size_t tpduSize_ = cotp::tpduSizeFromCode(cotp::kDefaultTpduSizeCode);
    std::atomic<size_t> maxUnitSize_{65536};
    std::mutex sendMutex_;
};

}  // namespace iecstack::iso
