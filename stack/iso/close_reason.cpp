#include "iso/close_reason.h"

namespace iecstack::iso {

const char* closeReasonName(CloseReason reason) {
    switch (reason) {
        case CloseReason::Released:
            return "Released";
        case CloseReason::PeerAborted:
            return "PeerAborted";
        case CloseReason::ConnectionLost:
            return "ConnectionLost";
        case CloseReason::ProtocolError:
            return "ProtocolError";
        case CloseReason::LocalAbort:
            return "LocalAbort";
        case CloseReason::LocalClose:
            return "LocalClose";
    }
    return "Unknown";
}

}  // namespace iecstack::iso
