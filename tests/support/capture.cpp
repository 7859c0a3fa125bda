#include "capture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

namespace korvan::test {

namespace {

using iecstack::Bytes;

uint32_t read32(const uint8_t* p, bool swapped) {
    return swapped ? (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0])
                   : (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
}
uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const uint8_t* p) {
    return read32(p, false);
}

// Collects one direction of a TCP connection and cuts it into TPKTs as bytes arrive in order.
class StreamCutter {
public:
    void start(uint32_t initialSequence) {
        next_ = initialSequence;
        started_ = true;
    }

    void segment(uint32_t sequence, const uint8_t* data, size_t size, uint32_t frame, Direction direction,
                 std::vector<TpktRecord>& out) {
        if (!started_) {
            start(sequence);
        }
        pending_[sequence] = Bytes(data, data + size);
        // Apply every pending segment that now touches the stream end; older bytes are retransmissions.
        for (auto it = pending_.begin(); it != pending_.end();) {
            const int32_t offset = static_cast<int32_t>(next_ - it->first);
            if (offset < 0) {
                break;
            }
            if (static_cast<size_t>(offset) < it->second.size()) {
                stream_.insert(stream_.end(), it->second.begin() + offset, it->second.end());
                next_ += static_cast<uint32_t>(it->second.size() - offset);
            }
            it = pending_.erase(it);
        }
        cut(frame, direction, out);
    }

private:
    void cut(uint32_t frame, Direction direction, std::vector<TpktRecord>& out) {
        while (stream_.size() >= 4) {
            const size_t length = be16(&stream_[2]);
            if (length < 4 || stream_.size() < length) {
                break;
            }
            out.push_back(TpktRecord{direction, frame, Bytes(stream_.begin() + 4, stream_.begin() + length)});
            stream_.erase(stream_.begin(), stream_.begin() + length);
        }
    }

    bool started_ = false;
    uint32_t next_ = 0;
    std::map<uint32_t, Bytes> pending_;
    Bytes stream_;
};

struct ConnectionState {
    CapturedConnection connection;
    StreamCutter toServer;
    StreamCutter toClient;
};

}  // namespace

std::vector<TpktRecord> CapturedConnection::from(Direction direction) const {
    std::vector<TpktRecord> out;
    std::copy_if(records.begin(), records.end(), std::back_inserter(out),
                 [direction](const TpktRecord& r) { return r.direction == direction; });
    return out;
}

Capture readCapture(const std::string& path) {
    Capture capture;
    std::ifstream file(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 24) {
        capture.error = "not a pcap file: " + path;
        return capture;
    }
    const uint32_t magic = read32(bytes.data(), false);
    bool swapped;
    if (magic == 0xa1b2c3d4 || magic == 0xa1b23c4d) {
        swapped = false;
    } else if (magic == 0xd4c3b2a1 || magic == 0x4d3cb2a1) {
        swapped = true;
    } else {
        capture.error = "unknown pcap magic";
        return capture;
    }
    if (read32(&bytes[20], swapped) != 1) {
        capture.error = "link type is not Ethernet";
        return capture;
    }

    // Keyed by (client port, server port); every capture is loopback, so ports identify a connection.
    std::map<std::pair<uint16_t, uint16_t>, size_t> index;
    std::vector<ConnectionState> states;
    size_t pos = 24;
    uint32_t frame = 0;
    while (pos + 16 <= bytes.size()) {
        const uint32_t captured = read32(&bytes[pos + 8], swapped);
        pos += 16;
        if (captured > bytes.size() - pos) {
            capture.error = "truncated record";
            break;
        }
        ++frame;
        const uint8_t* p = &bytes[pos];
        const size_t size = captured;
        pos += captured;
        if (size < 14 + 20 || be16(p + 12) != 0x0800) {
            continue;
        }
        const uint8_t* ip = p + 14;
        const size_t ipHeader = (ip[0] & 0x0f) * 4u;
        const size_t ipTotal = be16(ip + 2);
        if ((ip[0] >> 4) != 4 || ip[9] != 6 || ipHeader < 20 || ipTotal > size - 14 ||
            ipTotal < ipHeader + 20) {
            continue;
        }
        const uint8_t* tcp = ip + ipHeader;
        const size_t tcpHeader = (tcp[12] >> 4) * 4u;
        if (tcpHeader < 20 || ipHeader + tcpHeader > ipTotal) {
            continue;
        }
        const uint16_t sourcePort = be16(tcp);
        const uint16_t destinationPort = be16(tcp + 2);
        const uint32_t sequence = be32(tcp + 4);
        const uint8_t flags = tcp[13];
        const bool syn = flags & 0x02, ack = flags & 0x10, fin = flags & 0x01;

        if (syn && !ack) {
            // A new connection; a port reused later in the same file starts a fresh entry.
            index[{sourcePort, destinationPort}] = states.size();
            states.emplace_back();
            states.back().connection.clientPort = sourcePort;
            states.back().connection.serverPort = destinationPort;
            states.back().toServer.start(sequence + 1);
            continue;
        }
        auto found = index.find({sourcePort, destinationPort});
        Direction direction = Direction::ToServer;
        if (found == index.end()) {
            found = index.find({destinationPort, sourcePort});
            direction = Direction::ToClient;
            if (found == index.end()) {
                continue;  // a connection whose start is not in the file
            }
        }
        ConnectionState& state = states[found->second];
        StreamCutter& cutter = direction == Direction::ToServer ? state.toServer : state.toClient;
        if (syn) {
            cutter.start(sequence + 1);
            continue;
        }
        const size_t payload = ipTotal - ipHeader - tcpHeader;
        if (payload > 0) {
            cutter.segment(sequence, tcp + tcpHeader, payload, frame, direction, state.connection.records);
        }
        if (fin) {
            (direction == Direction::ToServer ? state.connection.clientClosed
                                              : state.connection.serverClosed) = true;
        }
    }
    for (ConnectionState& state : states) {
        capture.connections.push_back(std::move(state.connection));
    }
    return capture;
}

std::vector<std::string> referenceCaptures() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KORVAN_TEST_DATA_DIR) + "/captures")) {
        if (entry.path().extension() == ".pcap") {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string referenceCapture(const std::string& name) {
    return std::string(KORVAN_TEST_DATA_DIR) + "/captures/" + name;
}

}  // namespace korvan::test
