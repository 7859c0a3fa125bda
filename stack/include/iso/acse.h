#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ber/byte_view.h"
#include "ber/reader.h"
#include "ber/result.h"
#include "iso/iso_error.h"

namespace iecstack::iso::acse {

const ber::Oid& mmsApplicationContext();  // 1.0.9506.2.3
const ber::Oid& passwordMechanism();      // 2.2.3.1

enum class AcseKind { Request, Response, ReleaseRequest, ReleaseResponse, Abort };

// Diagnostics of a negative association response (acse-service-user values).
enum class AssociateDiagnostic : int64_t {
    Null = 0,
    NoReasonGiven = 1,
    ApplicationContextNotSupported = 2,
    AuthenticationMechanismNotRecognized = 11,
    AuthenticationFailure = 13,
    AuthenticationRequired = 14,
};

struct ApTitle {
    ber::Oid apTitle;
    std::optional<int64_t> aeQualifier;
};

struct AssociateRequest {
    ber::Oid applicationContext = mmsApplicationContext();
    std::optional<ApTitle> called;
    std::optional<ApTitle> calling;
    std::optional<std::string> password;  // password mechanism, sent as a GraphicString
    std::optional<ber::Oid> mechanism;    // received only; sending names the password mechanism
    int64_t userDataContextId = 3;        // presentation context of the user information
    ByteView userData;                    // the MMS initiate request, as encoded by MMS
};

struct AssociateResponse {
    ber::Oid applicationContext = mmsApplicationContext();
    int64_t result = 0;  // 0 accepted, 1 rejected permanently, 2 rejected transiently
    bool diagnosticFromProvider = false;
    int64_t diagnostic = 0;
    int64_t userDataContextId = 3;
    ByteView userData;  // the MMS initiate response (absent when refused)
};

struct AcsePdu {
    AcseKind kind = AcseKind::Request;
    AssociateRequest request;
    AssociateResponse response;
    std::optional<int64_t> reason;  // release request/response reason
    int64_t abortSource = 0;        // 0 service user, 1 service provider
};

Result<AcsePdu, Error> decodeAcse(ByteView apdu);

Bytes encodeAssociateRequest(const AssociateRequest& request);
Bytes encodeAssociateResponse(const AssociateResponse& response);
Bytes encodeReleaseRequest(int64_t reason = 0);
// An empty release response, as peers send it.
Bytes encodeReleaseResponse();
Bytes encodeAbort(int64_t source = 0);

}  // namespace iecstack::iso::acse
