#include "iso_transport.h"

namespace iecstack::iso {

Result<Bytes, Error> IsoTransport::receiveTpdu(const Deadline& deadline) {
    for (;;) {
        auto framed = framer_.next();
        if (!framed) {
            return framed.error();
        }
        if (framed->has_value()) {
            return std::move(**framed);
        }
        uint8_t buffer[16384];
        auto received = socket_.receiveSome(buffer, sizeof(buffer), deadline.remainingMs());
        if (!received) {
            return received.error();
        }
        framer_.feed(ByteView(buffer, *received));
    }
}

Result<Bytes, Error> IsoTransport::receiveUnit(const Deadline& deadline) {
    for (;;) {
        auto payload = receiveTpdu(deadline);
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

Status<Error> IsoTransport::sendLocked(ByteView bytes, int timeoutMs) {
    std::unique_lock<std::mutex> lock(sendMutex_, std::defer_lock);
    if (timeoutMs > 0) {
        lock.lock();
    } else if (!lock.try_lock()) {
        return Error::Timeout;
    }
    auto sent = socket_.sendAll(bytes, timeoutMs);
    if (!sent) {
        // Part of a TPKT may be out; nothing sent after it could be framed by the peer.
        socket_.shutdownBoth();
    }
    return sent;
}

Status<Error> IsoTransport::sendTpdu(ByteView tpdu) {
    return sendLocked(encodeTpkt(tpdu), kSendTimeoutMs);
}

Status<Error> IsoTransport::sendUnit(ByteView unit) {
    return sendLocked(cotp::encodeDataTpkts(unit, tpduSize_), kSendTimeoutMs);
}

Status<Error> IsoTransport::sendUnitNow(ByteView unit) {
    return sendLocked(cotp::encodeDataTpkts(unit, tpduSize_), 0);
}

}  // namespace iecstack::iso
