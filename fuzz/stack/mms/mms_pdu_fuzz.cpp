// Whatever a peer sends, decoding ends in a value or a named error; a decoded PDU encodes to bytes
// that decode again and encode to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mms/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace iecstack;
    auto decoded = mms::decodePdu(ByteView(data, size));
    if (!decoded) {
        // A responder must be able to answer anything it could not read.
        (void)mms::encodePdu(mms::rejectFor(decoded.error()));
        return 0;
    }
    const Bytes encoded = mms::encodePdu(*decoded);
    auto again = mms::decodePdu(encoded);
    if (!again || mms::encodePdu(*again) != encoded) {
        std::abort();
    }
    return 0;
}
