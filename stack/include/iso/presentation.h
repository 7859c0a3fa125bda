#pragma once

#include <cstdint>
#include <vector>

#include "ber/byte_view.h"
#include "ber/reader.h"
#include "ber/result.h"
#include "ber/writer.h"
#include "iso/iso_error.h"

namespace iecstack::iso::presentation {

const ber::Oid& acseAbstractSyntax();  // 2.2.1.0.1
const ber::Oid& mmsAbstractSyntax();   // 1.0.9506.2.1
const ber::Oid& berTransferSyntax();   // 2.1.1

// Context identifiers our initiator proposes; a responder uses whatever the initiator chose.
constexpr uint8_t kAcseContextId = 1;
constexpr uint8_t kMmsContextId = 3;

struct PresentationContext {
    int64_t id = 0;
    ber::Oid abstractSyntax;
    std::vector<ber::Oid> transferSyntaxes;
};

// One presentation data value of fully encoded user data.
struct UserData {
    int64_t contextId = 0;
    ByteView pdu;  // the single-ASN1-type content, points into the decoded buffer
};

struct ConnectPpdu {
    ByteView callingSelector;
    ByteView calledSelector;
    std::vector<PresentationContext> contexts;
    UserData userData;
};

enum class ContextResult : int64_t { Acceptance = 0, UserRejection = 1, ProviderRejection = 2 };

struct ConnectAcceptPpdu {
    ByteView respondingSelector;
    std::vector<ContextResult> results;  // positional, in the order of the request's list
    UserData userData;
};

struct PresentationSelectors {
    Bytes calling{0x00, 0x00, 0x00, 0x01};
    Bytes called{0x00, 0x00, 0x00, 0x01};
};

Result<ConnectPpdu, Error> decodeConnect(ByteView ppdu);
Result<ConnectAcceptPpdu, Error> decodeConnectAccept(ByteView ppdu);
// Fully encoded user data as carried in the data phase, release and inside CP/CPA.
Result<UserData, Error> decodeUserData(ByteView ppdu);
// An abort PPDU; the user data (ACSE abort) is absent for a provider abort.
Result<std::optional<UserData>, Error> decodeAbort(ByteView ppdu);

// Proposes the ACSE and MMS contexts with BER, carrying `acsePdu` in the ACSE context.
Bytes encodeConnect(const PresentationSelectors& selectors, ByteView acsePdu);
Bytes encodeConnectAccept(ByteView respondingSelector, const std::vector<ContextResult>& results,
                          int64_t acseContextId, ByteView acsePdu);
Bytes encodeUserData(int64_t contextId, ByteView pdu);
void appendUserData(ber::Writer& writer, int64_t contextId, ByteView pdu);
Bytes encodeAbort(int64_t acseContextId, ByteView acsePdu);

}  // namespace iecstack::iso::presentation
