#pragma once

#include <optional>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/iso_error.h"

namespace iecstack::iso {

constexpr size_t kTpktHeaderSize = 4;
constexpr size_t kMaxTpktSize = 65535;

// Prepends the 4-octet header; `tpdu` must leave room for it within kMaxTpktSize.
Bytes encodeTpkt(ByteView tpdu);
void appendTpkt(Bytes& out, ByteView tpdu);

// Cuts a TCP byte stream into TPKT payloads. Bytes may arrive in any split; a bad header is fatal
// for the stream, since nothing after it can be framed again.
class TpktFramer {
public:
    void feed(ByteView bytes);
    // The next complete payload, nothing while more bytes are needed, or the framing error.
    Result<std::optional<Bytes>, Error> next();
    size_t buffered() const { return buffer_.size() - consumed_; }

private:
    Bytes buffer_;
    size_t consumed_ = 0;
};

}  // namespace iecstack::iso
