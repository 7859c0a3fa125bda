#pragma once

#include <cstdint>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/iso_error.h"

namespace iecstack::iso::session {

enum class SpduKind : uint8_t {
    Data = 0x01,  // give-tokens + data transfer, or a bare data transfer
    Finish = 0x09,
    Disconnect = 0x0a,
    Refuse = 0x0c,
    Connect = 0x0d,
    Accept = 0x0e,
    Abort = 0x19,
    AbortAccept = 0x1a,
};

struct Spdu {
    SpduKind kind = SpduKind::Data;
    ByteView callingSelector;         // CONNECT
    ByteView calledSelector;          // CONNECT; responding selector in ACCEPT
    uint8_t transportDisconnect = 0;  // ABORT
    ByteView userData;
};

// The selectors peers use; both sides accept whatever the other sends.
struct SessionSelectors {
    Bytes calling{0x00, 0x01};
    Bytes called{0x00, 0x01};
};

Result<Spdu, Error> decodeSpdu(ByteView spdu);

Bytes encodeConnect(const SessionSelectors& selectors, ByteView userData);
Bytes encodeAccept(ByteView respondingSelector, ByteView userData);
Bytes encodeFinish(ByteView userData);
Bytes encodeDisconnect(ByteView userData);
// Transport-disconnect 0x0b: release the transport connection, user abort, no reason.
Bytes encodeAbort(ByteView userData);
// Give-tokens and data-transfer, both empty, followed by the user data unwrapped.
void appendDataTransfer(Bytes& out, ByteView userData);

}  // namespace iecstack::iso::session
