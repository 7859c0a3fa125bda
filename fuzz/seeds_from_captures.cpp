// Writes the seed corpora of the fuzz targets from the reference captures: the ISO streams of each
// direction, every MMS PDU, the client's requests (for the server) and the server's answers with the
// call that asked for them (for the client). Run it again when captures are added:
//   fuzz_seeds_from_captures SOURCE_DIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <variant>

#include "capture.h"
#include "iso/tpkt.h"
#include "iso_unwrap.h"
#include "mms/codec.h"

namespace {

using namespace iecstack;
using korvan::test::Direction;

constexpr size_t kMaxStreamTpkts = 24;

class CorpusWriter {
public:
    CorpusWriter(std::filesystem::path folder, std::string prefix)
        : folder_(std::move(folder)), prefix_(std::move(prefix)) {
        std::filesystem::create_directories(folder_);
    }
    void add(const Bytes& seed) {
        if (seed.empty() || !seen_.insert(seed).second) {
            return;
        }
        char name[64];
        std::snprintf(name, sizeof name, "%s-%03zu.bin", prefix_.c_str(), seen_.size());
        std::ofstream out(folder_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
    }
    size_t count() const { return seen_.size(); }

private:
    std::filesystem::path folder_;
    std::string prefix_;
    std::set<Bytes> seen_;
};

// The octets after a PDU's tag and length and after its first element (the invoke ID).
Bytes afterInvokeId(const Bytes& pdu) {
    size_t at = 1;
    auto skipLength = [&]() -> bool {
        if (at >= pdu.size()) {
            return false;
        }
        const uint8_t first = pdu[at++];
        if (first & 0x80) {
            at += first & 0x7f;
        }
        return at <= pdu.size();
    };
    if (!skipLength() || at >= pdu.size()) {
        return {};
    }
    ++at;  // the invoke ID's tag
    const size_t lengthAt = at;
    if (!skipLength() || lengthAt >= pdu.size()) {
        return {};
    }
    at += pdu[lengthAt];
    return at <= pdu.size() ? Bytes(pdu.begin() + static_cast<std::ptrdiff_t>(at), pdu.end()) : Bytes{};
}

// Which call of the client fuzz target would have asked for this answer (see client_answer_fuzz.cpp).
int callFor(const mms::ConfirmedResponseService& service) {
    if (const auto* names = std::get_if<mms::GetNameListResponse>(&service)) {
        return names->identifiers.size() > 0 && names->identifiers.front().find('$') == std::string::npos ? 1
                                                                                                          : 2;
    }
    if (std::holds_alternative<mms::GetNamedVariableListAttributesResponse>(service)) {
        return 6;
    }
    if (std::holds_alternative<mms::ReadResponse>(service)) {
        return 7;
    }
    return 8;
}

// The octets after a PDU's tag and length.
Bytes content(const Bytes& pdu) {
    if (pdu.size() < 2) {
        return {};
    }
    const size_t at = 2 + ((pdu[1] & 0x80) ? (pdu[1] & 0x7f) : 0);
    return at <= pdu.size() ? Bytes(pdu.begin() + static_cast<std::ptrdiff_t>(at), pdu.end()) : Bytes{};
}

void appendAnswer(Bytes& seed, uint8_t kind, const Bytes& body) {
    const size_t length = body.size() + 1;
    seed.push_back(static_cast<uint8_t>(length >> 8));
    seed.push_back(static_cast<uint8_t>(length & 0xff));
    seed.push_back(kind);
    seed.insert(seed.end(), body.begin(), body.end());
}

// The object and command sequence of the control target (control_client_fuzz.cpp) that a control
// capture shows; -1 for the other captures.
int controlPick(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    auto is = [&name](const char* prefix) { return name.rfind(prefix, 0) == 0; };
    if (is("11-control")) {
        return 0;  // SPCSO1: operate
    }
    if (is("12-control")) {
        return 1 | 1 << 3;  // SPCSO2: select, operate, select, cancel
    }
    if (is("13-control")) {
        return 2 | 3 << 3;  // SPCSO3: two operates
    }
    if (is("14-control") || is("15-control")) {
        return 3 | 2 << 3;  // SPCSO4: select with value, operate, select with value, cancel
    }
    return -1;
}

Bytes clientSeed(int call, uint8_t kind, const Bytes& body) {
    Bytes seed{static_cast<uint8_t>(call)};
    const size_t length = body.size() + 1;
    seed.push_back(static_cast<uint8_t>(length >> 8));
    seed.push_back(static_cast<uint8_t>(length & 0xff));
    seed.push_back(kind);
    seed.insert(seed.end(), body.begin(), body.end());
    return seed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOURCE_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path fuzz = std::filesystem::path(argv[1]) / "fuzz" / "stack";
    CorpusWriter iso(fuzz / "iso" / "corpus", "capture");
    CorpusWriter mmsPdus(fuzz / "mms" / "corpus", "capture");
    CorpusWriter requests(fuzz / "server" / "corpus", "capture");
    CorpusWriter answers(fuzz / "client" / "corpus", "capture");
    CorpusWriter controls(fuzz / "client" / "control_corpus", "capture");

    for (const std::string& path : korvan::test::referenceCaptures()) {
        const korvan::test::Capture capture = korvan::test::readCapture(path);
        for (const auto& connection : capture.connections) {
            for (const Direction direction : {Direction::ToServer, Direction::ToClient}) {
                Bytes stream;
                size_t tpkts = 0;
                for (const auto& record : connection.from(direction)) {
                    if (tpkts++ == kMaxStreamTpkts) {
                        break;
                    }
                    const Bytes tpkt = iso::encodeTpkt(record.tpdu);
                    stream.insert(stream.end(), tpkt.begin(), tpkt.end());
                }
                iso.add(stream);
            }
            const korvan::test::Conversation conversation = korvan::test::unwrapConnection(connection);
            if (const int pick = controlPick(path); pick >= 0) {
                // Every answer of the device in order: those to the object's creation, to its commands,
                // and its reports between them.
                Bytes control{static_cast<uint8_t>(pick)};
                for (const auto& record : conversation.pdus) {
                    if (record.direction != Direction::ToClient) {
                        continue;
                    }
                    auto decoded = mms::decodePdu(record.pdu);
                    if (!decoded) {
                        continue;
                    }
                    if (std::holds_alternative<mms::ConfirmedResponse>(*decoded)) {
                        appendAnswer(control, 0, afterInvokeId(record.pdu));
                    } else if (std::holds_alternative<mms::ConfirmedError>(*decoded)) {
                        appendAnswer(control, 1, afterInvokeId(record.pdu));
                    } else if (std::holds_alternative<mms::UnconfirmedPdu>(*decoded)) {
                        appendAnswer(control, 3, content(record.pdu));
                    }
                }
                controls.add(control);
                control[0] = static_cast<uint8_t>(pick | 0x20);  // the same, sent without waiting
                controls.add(control);
            }
            for (const auto& record : conversation.pdus) {
                mmsPdus.add(record.pdu);
                if (record.direction == Direction::ToServer) {
                    Bytes request{0};  // the first octet picks the PDU size: 65000
                    request.insert(request.end(), record.pdu.begin(), record.pdu.end());
                    requests.add(request);
                    continue;
                }
                auto decoded = mms::decodePdu(record.pdu);
                if (!decoded) {
                    continue;
                }
                if (const auto* response = std::get_if<mms::ConfirmedResponse>(&*decoded)) {
                    answers.add(clientSeed(callFor(response->service), 0, afterInvokeId(record.pdu)));
                } else if (std::holds_alternative<mms::ConfirmedError>(*decoded)) {
                    answers.add(clientSeed(8, 1, afterInvokeId(record.pdu)));
                } else if (std::holds_alternative<mms::UnconfirmedPdu>(*decoded)) {
                    answers.add(clientSeed(8, 2, record.pdu));
                } else {
                    answers.add(clientSeed(0, 2, record.pdu));
                }
            }
        }
    }
    std::printf("seeds: iso %zu, mms %zu, server %zu, client %zu, control %zu\n", iso.count(),
                mmsPdus.count(), requests.count(), answers.count(), controls.count());
    return 0;
}
