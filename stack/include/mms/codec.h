#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "ber/byte_view.h"
#include "ber/reader.h"
#include "ber/result.h"
#include "ber/writer.h"
#include "mms/mms_error.h"
#include "mms/pdu.h"
#include "mms/value.h"

namespace iecstack::mms {

// Bounds on what a peer may make the decoder build. The transport already bounds the PDU size;
// these keep a hostile PDU inside that size from exhausting the stack or the heap.
struct DecodeLimits {
    // BER nesting of the whole PDU, envelope included (about five levels above the data).
    unsigned maxNesting = ber::kDefaultMaxDepth;
    // Elements of any one list: names, results, variables, structure components.
    size_t maxListLength = 65535;
    // Identifiers: domain and item names, components, continueAfter.
    size_t maxIdentifierLength = 255;
};

template <typename T>
using Decoded = Result<T, DecodeFailure>;

// What went wrong with a PDU, and what was learnt before it went wrong, so that a responder can
// answer with the right reject.
struct PduDecodeFailure {
    DecodeFailure failure;
    // The top-level tag number when it named a known PDU type.
    std::optional<uint32_t> pduType;
    std::optional<uint32_t> invokeId;
};

// Decodes one complete MMS PDU (the presentation user data, nothing before or after it).
Result<Pdu, PduDecodeFailure> decodePdu(ByteView bytes, const DecodeLimits& limits = {});
Bytes encodePdu(const Pdu& pdu);

// One line for a log or a status text: what was wrong and where, e.g.
// "UnexpectedTag in confirmed request (invokeID 7)".
std::string describe(const PduDecodeFailure& failure);

// The reject a responder sends for a PDU it could not decode.
Reject rejectFor(const PduDecodeFailure& failure);
// The reject for a well-formed request of a service this stack does not provide.
Reject rejectUnrecognizedService(uint32_t invokeId);

// One Data element on its own (used by tests, benchmarks and the fuzz target).
Decoded<MmsValue> decodeData(ByteView element, const DecodeLimits& limits = {});
void encodeData(ber::Writer& writer, const MmsValue& value);

// The services-supported and parameter-support strings with the given bits set.
BitString servicesSupported(std::initializer_list<ServiceSupport> services);
BitString parameterSupport(std::initializer_list<ParameterSupport> parameters);

}  // namespace iecstack::mms
