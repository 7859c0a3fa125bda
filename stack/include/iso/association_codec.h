#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/acse.h"
#include "iso/cotp.h"
#include "iso/iso_error.h"
#include "iso/presentation.h"
#include "iso/session.h"

namespace iecstack::iso {

// Addressing and options of an association from the initiator's side. The defaults are what
// deployed clients send and what servers expect without configuration.
struct AssociationParameters {
    Bytes callingTsap{0x00, 0x01};
    Bytes calledTsap{0x00, 0x01};
    session::SessionSelectors sessionSelectors;
    presentation::PresentationSelectors presentationSelectors;
    std::optional<acse::ApTitle> called = acse::ApTitle{{1, 1, 1, 999, 1}, 12};
    std::optional<acse::ApTitle> calling = acse::ApTitle{{1, 1, 1, 999}, 12};
    std::optional<std::string> password;
    uint8_t tpduSizeCode = cotp::kTpduSizeCode8192;
};

// The unit an initiator sends after the transport connection: session CONNECT carrying the
// presentation CP carrying the AARQ carrying the MMS initiate request.
Bytes encodeConnectUnit(const AssociationParameters& parameters, ByteView initiateRequest);

// What a responder learnt from a CONNECT unit.
struct ConnectIndication {
    int64_t acseContextId = presentation::kAcseContextId;
    int64_t mmsContextId = presentation::kMmsContextId;
    std::vector<presentation::ContextResult> contextResults;  // what the responder will answer
    Bytes callingSessionSelector;
    acse::AssociateRequest request;  // its user data points into the decoded unit
};
// Fails with ContextRejected when the MMS or ACSE context is missing or not in BER.
Result<ConnectIndication, Error> decodeConnectUnit(ByteView unit);

// The responder's answer; `result` 0 carries the initiate response, otherwise a refusal.
Bytes encodeAcceptUnit(const ConnectIndication& indication, const acse::AssociateResponse& response);

struct AcceptConfirmation {
    acse::AssociateResponse response;  // its user data points into the decoded unit
};
Result<AcceptConfirmation, Error> decodeAcceptUnit(ByteView unit);

// Data phase: an MMS PDU in presentation context `mmsContextId`.
Bytes encodeDataUnit(int64_t mmsContextId, ByteView mmsPdu);

Bytes encodeReleaseRequestUnit(int64_t acseContextId);
Bytes encodeReleaseResponseUnit(int64_t acseContextId);
Bytes encodeAbortUnit(int64_t acseContextId);

enum class UnitKind { Data, ReleaseRequest, ReleaseResponse, Abort, Refuse };

// A session unit after the association is up.
struct IncomingUnit {
    UnitKind kind = UnitKind::Data;
    ByteView mmsPdu;  // Data only; points into the decoded unit
};
// Data for any context but `mmsContextId` is UnknownContext.
Result<IncomingUnit, Error> decodeDataPhaseUnit(ByteView unit, int64_t mmsContextId);

}  // namespace iecstack::iso
