#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"

namespace korvan::test {

// One MMS PDU of the data phase with the frame that completed it (the last DT of a segmented unit).
struct MmsRecord {
    Direction direction = Direction::ToServer;
    uint32_t frame = 0;
    iecstack::Bytes pdu;
};

// What one captured connection carried above the ISO layers.
struct Conversation {
    iecstack::Bytes initiateRequest;   // MMS initiate request from the association request
    iecstack::Bytes initiateResponse;  // MMS initiate response from the association response
    uint32_t requestFrame = 0;
    uint32_t responseFrame = 0;
    std::vector<MmsRecord> pdus;  // data-phase MMS PDUs of both directions, in capture order
    // The ISO-level events in order: "CR", "CC", "CONNECT", "ACCEPT", "DATA", "FINISH", "DISCONNECT",
    // "ABORT", "DR".
    std::vector<std::string> events;
    std::string error;  // empty when every TPDU was understood

    std::vector<MmsRecord> from(Direction direction) const;
    // The MMS PDU completed in `frame`; fails the calling test when there is none.
    const MmsRecord* atFrame(uint32_t frame) const;
};

// Unwraps every TPDU of the connection with our ISO decoders.
Conversation unwrapConnection(const CapturedConnection& connection);
// All connections of a reference capture, e.g. "05-read-types.pcap".
std::vector<Conversation> readConversations(const std::string& captureName);

}  // namespace korvan::test
