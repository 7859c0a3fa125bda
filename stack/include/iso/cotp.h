#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/iso_error.h"

namespace iecstack::iso::cotp {

// TPDU size parameter: 2^code octets, 7 (128) to 13 (8192).
constexpr uint8_t kTpduSizeCode8192 = 0x0d;
constexpr uint8_t kDefaultTpduSizeCode = 0x07;  // what class 0 assumes when the parameter is absent
constexpr size_t kDtHeaderSize = 3;

constexpr size_t tpduSizeFromCode(uint8_t code) {
    return size_t{1} << code;
}

enum class TpduKind { ConnectionRequest, ConnectionConfirm, Data, DisconnectRequest, Error };

// CR and CC share one layout.
struct CotpConnect {
    uint16_t destinationRef = 0;
    uint16_t sourceRef = 0;
    uint8_t classOption = 0;  // class in the high nibble
    std::optional<uint8_t> tpduSizeCode;
    Bytes callingTsap;
    Bytes calledTsap;
};

struct Tpdu {
    TpduKind kind = TpduKind::Data;
    CotpConnect connect;          // CR, CC
    bool endOfTsdu = false;       // DT
    ByteView data;                // DT user data
    uint16_t destinationRef = 0;  // DR, ER
    uint16_t sourceRef = 0;       // DR
    uint8_t reason = 0;           // DR reason, ER cause
};

Result<Tpdu, Error> decodeTpdu(ByteView tpdu);

// Parameter order follows what peers send: TPDU size, called TSAP, calling TSAP.
Bytes encodeConnectionRequest(const CotpConnect& request);
Bytes encodeConnectionConfirm(const CotpConnect& confirm);
// The responder's confirm: class 0, our reference 1, the TSAPs echoed and the TPDU size lowered to
// `maxTpduSizeCode` where the request asked for more. UnsupportedClass for other classes, BadTpdu for
// a size below the smallest class 0 size.
Result<CotpConnect, Error> confirmFor(const CotpConnect& request, uint8_t maxTpduSizeCode);

Bytes encodeDisconnectRequest(uint16_t destinationRef, uint16_t sourceRef, uint8_t reason);

// Splits one data unit into DT TPDUs of at most `tpduSize` octets each (header included) and frames
// each in a TPKT. An empty unit still yields one TPDU.
Bytes encodeDataTpkts(ByteView tsdu, size_t tpduSize);

// Joins DT user data up to the end-of-TSDU mark.
class TsduReassembler {
public:
    explicit TsduReassembler(size_t maxTsduSize) : maxTsduSize_(maxTsduSize) {}
    // The complete unit once the TPDU with end-of-TSDU arrives.
    Result<std::optional<Bytes>, Error> add(const Tpdu& dt);
    void setMaxTsduSize(size_t size) { maxTsduSize_ = size; }
    size_t pending() const { return buffer_.size(); }

private:
    size_t maxTsduSize_;
    Bytes buffer_;
};

}  // namespace iecstack::iso::cotp
