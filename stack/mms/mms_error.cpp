#include "mms/mms_error.h"

#include "decoder.h"

namespace iecstack::mms {

const char* errorName(Error error) {
    switch (error) {
        case Error::Malformed:
            return "Malformed";
        case Error::NestingTooDeep:
            return "NestingTooDeep";
        case Error::TooManyElements:
            return "TooManyElements";
        case Error::IdentifierTooLong:
            return "IdentifierTooLong";
        case Error::UnknownPduType:
            return "UnknownPduType";
        case Error::InvalidServiceTag:
            return "InvalidServiceTag";
        case Error::UnexpectedTag:
            return "UnexpectedTag";
        case Error::MissingElement:
            return "MissingElement";
        case Error::TrailingBytes:
            return "TrailingBytes";
        case Error::BadInteger:
            return "BadInteger";
        case Error::BadBoolean:
            return "BadBoolean";
        case Error::BadBitString:
            return "BadBitString";
        case Error::BadFloat:
            return "BadFloat";
        case Error::BadTime:
            return "BadTime";
        case Error::BadObjectName:
            return "BadObjectName";
        case Error::UnsupportedData:
            return "UnsupportedData";
        case Error::UnsupportedAccess:
            return "UnsupportedAccess";
        case Error::UnsupportedType:
            return "UnsupportedType";
    }
    return "Unknown";
}

namespace detail {

DecodeFailure fromBer(ber::Error error) {
    switch (error) {
        case ber::Error::NestingTooDeep:
            return failure(Error::NestingTooDeep);
        case ber::Error::UnexpectedTag:
            return failure(Error::UnexpectedTag);
        case ber::Error::MissingElement:
            return failure(Error::MissingElement);
        case ber::Error::TrailingBytes:
            return failure(Error::TrailingBytes);
        case ber::Error::BadInteger:
        case ber::Error::IntegerTooLarge:
        case ber::Error::NegativeUnsigned:
            return failure(Error::BadInteger);
        case ber::Error::BadBoolean:
            return failure(Error::BadBoolean);
        case ber::Error::BadBitString:
            return failure(Error::BadBitString);
        default:
            return DecodeFailure{Error::Malformed, error};
    }
}

}  // namespace detail

}  // namespace iecstack::mms
