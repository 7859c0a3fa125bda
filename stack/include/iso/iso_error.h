#pragma once

namespace iecstack::iso {

enum class Error {
    // framing and transport
    BadTpktVersion,    // first TPKT octet not 3
    BadTpktLength,     // TPKT length below the smallest TPDU
    BadTpdu,           // COTP header does not fit or does not parse
    UnexpectedTpdu,    // a TPDU kind that is not valid at this point
    UnsupportedClass,  // a transport class other than 0 was requested
    TsduTooLarge,      // reassembled data unit beyond the configured limit
    // session
    BadSpdu,
    UnexpectedSpdu,
    // presentation
    BadPpdu,
    UnknownContext,   // data for a presentation context that was not negotiated
    ContextRejected,  // the peer did not accept the MMS or ACSE context
    // association control
    BadApdu,
    UnexpectedApdu,
    AssociationRejected,  // negative association response
    AuthenticationFailed,
    // running association
    ConnectFailed,
    Timeout,
    ConnectionClosed,  // TCP ended (orderly or not) outside a release
    PeerAborted,       // the peer sent an abort
    PduTooLarge,       // an outgoing PDU exceeds the negotiated size
    NotConnected,
    IoError,
    SendStalled,  // the peer left what we sent unread past the bound; we aborted
};

const char* errorName(Error error);

}  // namespace iecstack::iso
