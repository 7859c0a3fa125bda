#include "data_phase.h"

#include "iso/association_codec.h"

namespace iecstack::iso {

DataPhaseEnd runDataPhase(IsoTransport& transport, int64_t mmsContextId, int64_t acseContextId,
                          const DataPhaseHooks& hooks) {
    for (;;) {
        auto unit = transport.receiveUnit(hooks.idleTimeout.count() > 0 ? Deadline::after(hooks.idleTimeout)
                                                                        : Deadline::never());
        if (!unit && unit.error() == Error::Timeout) {
            return {CloseReason::LocalAbort, Error::Timeout};
        }
        if (!unit) {
            const bool lost = unit.error() == Error::ConnectionClosed || unit.error() == Error::IoError;
            return {lost ? CloseReason::ConnectionLost : CloseReason::ProtocolError, unit.error()};
        }
        auto incoming = decodeDataPhaseUnit(*unit, mmsContextId);
        if (!incoming) {
            return {CloseReason::ProtocolError, incoming.error()};
        }
        switch (incoming->kind) {
            case UnitKind::Data:
                if (incoming->mmsPdu.size() > hooks.maxPduSize()) {
                    return {CloseReason::ProtocolError, Error::PduTooLarge};
                }
                hooks.deliver(incoming->mmsPdu);
                break;
            case UnitKind::ReleaseRequest:
                hooks.stopSending();
                if (hooks.sendLast) {
                    hooks.sendLast(encodeReleaseResponseUnit(acseContextId));
                } else {
                    transport.sendUnit(encodeReleaseResponseUnit(acseContextId));
                }
                return {CloseReason::Released, Error::ConnectionClosed};
            case UnitKind::ReleaseResponse:
                return {CloseReason::Released, Error::ConnectionClosed};
            case UnitKind::Abort:
                return {CloseReason::PeerAborted, Error::PeerAborted};
            case UnitKind::Refuse:
                return {CloseReason::ProtocolError, Error::UnexpectedSpdu};
        }
    }
}

}  // namespace iecstack::iso
