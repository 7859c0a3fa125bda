// Feeds arbitrary bytes to the ISO layers both as a TCP stream (framing, reassembly, every unit
// decoded) and as one unit handed straight to the decoders.
#include <cstddef>
#include <cstdint>

#include "iso/association_codec.h"
#include "iso/tpkt.h"

using namespace iecstack;
using namespace iecstack::iso;

namespace {

void decodeUnit(ByteView unit) {
    (void)decodeConnectUnit(unit);
    (void)decodeAcceptUnit(unit);
    (void)decodeDataPhaseUnit(unit, presentation::kMmsContextId);
    (void)acse::decodeAcse(unit);
    (void)presentation::decodeAbort(unit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView input(data, size);
    TpktFramer framer;
    framer.feed(input);
    cotp::TsduReassembler reassembler(65536);
    for (;;) {
        auto payload = framer.next();
        if (!payload || !payload->has_value()) {
            break;
        }
        auto tpdu = cotp::decodeTpdu(**payload);
        if (!tpdu || tpdu->kind != cotp::TpduKind::Data) {
            continue;
        }
        auto unit = reassembler.add(*tpdu);
        if (unit && unit->has_value()) {
            decodeUnit(**unit);
        }
    }
    decodeUnit(input);
    return 0;
}
