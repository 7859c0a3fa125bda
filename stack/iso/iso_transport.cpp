#include "iso_transport.h"

namespace iecstack::iso {

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline, int timeoutMs) {
    if (timeoutMs < 0) {
        return TcpSocket::kWaitForever;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Result<Bytes, Error> IsoTransport::receiveTpdu(int timeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        auto framed = framer_.next();
        if (!framed) {
            return framed.error();
        }
        if (framed->has_value()) {
            return std::move(**framed);
        }
        uint8_t buffer[16384];
        auto received = socket_.receiveSome(buffer, sizeof(buffer), remainingMs(deadline, timeoutMs));
        if (!received) {
            return received.error();
        }
        framer_.feed(ByteView(buffer, *received));
    }
}

Result<Bytes, Error> IsoTransport::receiveUnit(int timeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        auto payload = receiveTpdu(remainingMs(deadline, timeoutMs));
        if (!payload) {
            return payload.error();
        }
        auto tpdu = cotp::decodeTpdu(*payload);
        if (!tpdu) {
            return tpdu.error();
        }
        if (tpdu->kind == cotp::TpduKind::DisconnectRequest) {
            return Error::ConnectionClosed;
        }
        if (tpdu->kind != cotp::TpduKind::Data) {
            return Error::UnexpectedTpdu;
        }
        reassembler_.setMaxTsduSize(maxUnitSize_);
        auto unit = reassembler_.add(*tpdu);
        if (!unit) {
            return unit.error();
        }
        if (unit->has_value()) {
            return std::move(**unit);
        }
    }
}

Status<Error> IsoTransport::sendLocked(ByteView bytes) {
    std::lock_guard<std::mutex> lock(sendMutex_);
    auto sent = socket_.sendAll(bytes, kSendTimeoutMs);
    if (!sent) {
        // Part of a TPKT may be out; nothing sent after it could be framed by the peer.
        socket_.shutdownBoth();
    }
    return sent;
}

Status<Error> IsoTransport::sendTpdu(ByteView tpdu) {
    return sendLocked(encodeTpkt(tpdu));
}

Status<Error> IsoTransport::sendUnit(ByteView unit) {
    return sendLocked(cotp::encodeDataTpkts(unit, tpduSize_));
}

}  // namespace iecstack::iso
