#pragma once

#include <QString>

namespace iec61850 {

// Why an association ended without the user asking for it, as far as the client can tell.
enum class ConnectionLoss {
    PeerClosed,     // the device (or the network) closed it
    NoAnswer,       // a request went unanswered for the request time-out
    ProtocolError,  // the device sent what the client could not read
};

// The status text for a lost association, e.g. "connection lost: no answer within 5 s".
QString connectionLostText(ConnectionLoss loss, int requestTimeoutMs);

}  // namespace iec61850
