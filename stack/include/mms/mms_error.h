#pragma once

#include "ber/ber_error.h"

namespace iecstack::mms {

// Why an MMS PDU could not be decoded.
enum class Error {
    // The BER framing was broken; the BER error says how.
    Malformed,
    NestingTooDeep,     // constructed elements nested beyond DecodeLimits::maxNesting
    TooManyElements,    // a list longer than DecodeLimits::maxListLength
    IdentifierTooLong,  // an identifier longer than DecodeLimits::maxIdentifierLength
    UnknownPduType,     // top-level tag that is no MMS PDU
    InvalidServiceTag,  // a service tag that no MMS service carries
    UnexpectedTag,      // an element other than the one the grammar asks for
    MissingElement,     // a required element is absent
    TrailingBytes,      // elements after the last one the grammar allows
    BadInteger,         // empty, too wide for its field, or out of the field's range
    BadBoolean,
    BadBitString,
    BadFloat,  // exponent width other than 8 or 11, or content size not matching it
    BadTime,   // UTC time not 8 octets, binary time not 4 or 6
    BadObjectName,
    UnsupportedData,    // a Data choice this stack does not handle (real, boolean array)
    UnsupportedAccess,  // variable addresses, descriptions, scattered or named alternate access
    UnsupportedType,    // type references by name, real, or unknown type choices
};

const char* errorName(Error error);

// An error and, when it came from the BER layer, the BER error beneath it.
struct DecodeFailure {
    Error error = Error::Malformed;
    ber::Error berError = ber::Error::Truncated;
};

}  // namespace iecstack::mms
