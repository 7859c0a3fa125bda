#include "iso/tpkt.h"

#include <cassert>

namespace iecstack::iso {

namespace {

constexpr uint8_t kTpktVersion = 3;
// The shortest TPDU is a DT header; anything shorter cannot be a TPKT this stack would accept.
constexpr size_t kMinTpktSize = kTpktHeaderSize + 3;

}  // namespace

void appendTpkt(Bytes& out, ByteView tpdu) {
    const size_t length = tpdu.size() + kTpktHeaderSize;
    assert(length <= kMaxTpktSize);
    out.push_back(kTpktVersion);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), tpdu.begin(), tpdu.end());
}

Bytes encodeTpkt(ByteView tpdu) {
    Bytes out;
    out.reserve(tpdu.size() + kTpktHeaderSize);
    appendTpkt(out, tpdu);
    return out;
}

void TpktFramer::feed(ByteView bytes) {
    if (consumed_ > 0 && consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

Result<std::optional<Bytes>, Error> TpktFramer::next() {
    const size_t available = buffer_.size() - consumed_;
    if (available >= 1 && buffer_[consumed_] != kTpktVersion) {
        return Error::BadTpktVersion;
    }
    if (available < kTpktHeaderSize) {
        return std::optional<Bytes>();
    }
    const size_t length = size_t{buffer_[consumed_ + 2]} << 8 | buffer_[consumed_ + 3];
    if (length < kMinTpktSize) {
        return Error::BadTpktLength;
    }
    if (available < length) {
        return std::optional<Bytes>();
    }
    Bytes payload(buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_ + kTpktHeaderSize),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_ + length));
    consumed_ += length;
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    } else if (consumed_ > 65536) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
        consumed_ = 0;
    }
    return std::optional<Bytes>(std::move(payload));
}

}  // namespace iecstack::iso
