#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "iso/close_reason.h"
#include "iso_transport.h"

namespace iecstack::iso {

struct DataPhaseEnd {
    CloseReason reason = CloseReason::ConnectionLost;
    Error detail = Error::ConnectionClosed;
};

struct DataPhaseHooks {
    std::function<size_t()> maxPduSize;
    std::function<void(ByteView mmsPdu)> deliver;
    // Called when the peer asks for release, before our response goes out: nothing may follow it.
    std::function<void()> stopSending;
    // Sends the release response after everything sent before it; the transport's own send when unset.
    std::function<void(ByteView unit)> sendLast;
    // Nothing received for this long ends the data phase with Error::Timeout; 0 waits forever.
    std::chrono::milliseconds idleTimeout{0};
};

// Receives units until the association ends, delivering MMS PDUs and answering a release request.
// Both roles run their receive thread on this.
DataPhaseEnd runDataPhase(IsoTransport& transport, int64_t mmsContextId, int64_t acseContextId,
                          const DataPhaseHooks& hooks);

}  // namespace iecstack::iso
