#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ber/byte_view.h"

namespace korvan::test {

enum class Direction { ToServer, ToClient };

// One TPKT as it completed in the TCP stream: the bytes after the 4-byte TPKT header (one COTP TPDU)
// and the number of the frame that delivered its last byte, counted from 1 as tshark counts.
struct TpktRecord {
    Direction direction = Direction::ToServer;
    uint32_t frame = 0;
    iecstack::Bytes tpdu;
};

// One TCP connection of a capture. The client is the side that sent the SYN.
struct CapturedConnection {
    uint16_t clientPort = 0;
    uint16_t serverPort = 0;
    std::vector<TpktRecord> records;  // both directions, in the order they completed
    bool clientClosed = false;        // a FIN was seen from the client
    bool serverClosed = false;

    std::vector<TpktRecord> from(Direction direction) const;
};

struct Capture {
    std::vector<CapturedConnection> connections;  // in the order of their first frame
    std::string error;                            // empty when the whole file was read
};

// Reads a classic pcap file (Ethernet link type, IPv4, TCP), reassembles each direction of each
// connection from sequence numbers and cuts the streams into TPKTs.
Capture readCapture(const std::string& path);

// The reference capture files of the test data, sorted by name.
std::vector<std::string> referenceCaptures();
std::string referenceCapture(const std::string& name);

}  // namespace korvan::test
