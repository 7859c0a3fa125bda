#include "ber/ber_error.h"

namespace iecstack::ber {

const char* errorName(Error error) {
    switch (error) {
        case Error::Truncated:
            return "Truncated";
        case Error::LengthPastEnd:
            return "LengthPastEnd";
        case Error::IndefiniteLength:
            return "IndefiniteLength";
        case Error::LengthTooLong:
            return "LengthTooLong";
        case Error::TagTooLong:
            return "TagTooLong";
        case Error::NestingTooDeep:
            return "NestingTooDeep";
        case Error::UnexpectedTag:
            return "UnexpectedTag";
        case Error::NotConstructed:
            return "NotConstructed";
        case Error::NotPrimitive:
            return "NotPrimitive";
        case Error::BadInteger:
            return "BadInteger";
        case Error::IntegerTooLarge:
            return "IntegerTooLarge";
        case Error::NegativeUnsigned:
            return "NegativeUnsigned";
        case Error::BadBoolean:
            return "BadBoolean";
        case Error::BadBitString:
            return "BadBitString";
        case Error::BadObjectIdentifier:
            return "BadObjectIdentifier";
        case Error::TrailingBytes:
            return "TrailingBytes";
        case Error::MissingElement:
            return "MissingElement";
    }
    return "Unknown";
}

}  // namespace iecstack::ber
