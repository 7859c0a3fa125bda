#pragma once

namespace iecstack::iso {

// Why an association ended; reported once per association.
enum class CloseReason {
    Released,        // orderly release completed
    PeerAborted,     // the peer sent an abort
    ConnectionLost,  // TCP ended or failed without an ISO goodbye
    ProtocolError,   // the peer sent something we could not accept; we closed
    LocalAbort,      // we aborted
    LocalClose,      // we closed without a goodbye (shutdown, destruction)
};

const char* closeReasonName(CloseReason reason);

}  // namespace iecstack::iso
