#include "iso/iso_error.h"

namespace iecstack::iso {

const char* errorName(Error error) {
    switch (error) {
        case Error::BadTpktVersion:
            return "BadTpktVersion";
        case Error::BadTpktLength:
            return "BadTpktLength";
        case Error::BadTpdu:
            return "BadTpdu";
        case Error::UnexpectedTpdu:
            return "UnexpectedTpdu";
        case Error::UnsupportedClass:
            return "UnsupportedClass";
        case Error::TsduTooLarge:
            return "TsduTooLarge";
        case Error::BadSpdu:
            return "BadSpdu";
        case Error::UnexpectedSpdu:
            return "UnexpectedSpdu";
        case Error::BadPpdu:
            return "BadPpdu";
        case Error::UnknownContext:
            return "UnknownContext";
        case Error::ContextRejected:
            return "ContextRejected";
        case Error::BadApdu:
            return "BadApdu";
        case Error::UnexpectedApdu:
            return "UnexpectedApdu";
        case Error::AssociationRejected:
            return "AssociationRejected";
        case Error::AuthenticationFailed:
            return "AuthenticationFailed";
        case Error::ConnectFailed:
            return "ConnectFailed";
        case Error::Timeout:
            return "Timeout";
        case Error::ConnectionClosed:
            return "ConnectionClosed";
        case Error::PeerAborted:
            return "PeerAborted";
        case Error::PduTooLarge:
            return "PduTooLarge";
        case Error::NotConnected:
            return "NotConnected";
        case Error::IoError:
            return "IoError";
        case Error::SendStalled:
            return "SendStalled";
    }
    return "Unknown";
}

}  // namespace iecstack::iso
