#include "mms/bit_string.h"

namespace iecstack::mms {

BitString::BitString(size_t bitCount, const std::vector<uint8_t>& octets)
    : bitCount_(bitCount), octets_((bitCount + 7) / 8, 0) {
    for (size_t i = 0; i < octets_.size() && i < octets.size(); ++i) {
        octets_[i] = octets[i];
    }
    if (bitCount_ % 8 != 0) {
        octets_.back() &= static_cast<uint8_t>(0xff00u >> (bitCount_ % 8));
    }
}

void BitString::setBit(size_t i, bool value) {
    if (i >= bitCount_) {
        return;
    }
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (i % 8));
    if (value) {
        octets_[i / 8] |= mask;
    } else {
        octets_[i / 8] &= static_cast<uint8_t>(~mask);
    }
}

uint32_t BitString::toUint32() const {
    uint32_t result = 0;
    for (size_t i = 0; i < bitCount_ && i < 32; ++i) {
        if (bit(i)) {
            result |= 1u << i;
        }
    }
    return result;
}

}  // namespace iecstack::mms
