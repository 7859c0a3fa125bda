#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace iecstack::mms {

// A bit string as MMS carries it: bit 0 is the most significant bit of the first octet. Padding bits
// past bitCount are kept clear so that equal strings compare equal.
class BitString {
public:
    BitString() = default;
    explicit BitString(size_t bitCount) : bitCount_(bitCount), octets_((bitCount + 7) / 8, 0) {}
    // Takes the first bitCount bits of `octets`; missing octets read as zero.
    BitString(size_t bitCount, const std::vector<uint8_t>& octets);

    size_t bitCount() const { return bitCount_; }
    const std::vector<uint8_t>& octets() const { return octets_; }
    uint8_t unusedBits() const { return static_cast<uint8_t>(octets_.size() * 8 - bitCount_); }

    bool bit(size_t i) const { return i < bitCount_ && (octets_[i / 8] & (0x80u >> (i % 8))) != 0; }
    void setBit(size_t i, bool value);
    // Bit i counts 2^i; bits past 31 are not taken.
    uint32_t toUint32() const;

    friend bool operator==(const BitString& a, const BitString& b) {
        return a.bitCount_ == b.bitCount_ && a.octets_ == b.octets_;
    }
    friend bool operator!=(const BitString& a, const BitString& b) { return !(a == b); }

private:
    size_t bitCount_ = 0;
    std::vector<uint8_t> octets_;
};

}  // namespace iecstack::mms
