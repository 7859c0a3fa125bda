#pragma once

namespace iecstack::ber {

enum class Error {
    Truncated,         // the buffer ends inside a tag or length field
    LengthPastEnd,     // the content length reaches beyond the enclosing element or buffer
    IndefiniteLength,  // 0x80 length form; MMS peers never use it and we refuse it
    LengthTooLong,     // long-form length with more octets than we accept, or the reserved 0xff form
    TagTooLong,        // multi-octet tag number beyond 28 bits
    NestingTooDeep,    // constructed elements nested beyond the configured depth
    UnexpectedTag,     // a different element than the one the grammar requires
    NotConstructed,    // asked to descend into a primitive element
    NotPrimitive,      // asked for the value of a constructed element
    BadInteger,        // empty INTEGER content
    IntegerTooLarge,   // does not fit the requested C++ type
    NegativeUnsigned,  // an unsigned field with the sign bit set
    BadBoolean,        // BOOLEAN content not exactly one octet
    BadBitString,      // missing unused-bits octet, or more than 7 unused bits
    BadObjectIdentifier,
    TrailingBytes,   // bytes after the last element where none may follow
    MissingElement,  // the input ended before a required element
};

const char* errorName(Error error);

}  // namespace iecstack::ber
