#include "mms/value.h"

#include <cmath>
#include <cstring>
#include <utility>

using iecstack::ByteView;
using iecstack::mms::BitString;
using iecstack::mms::DataAccessError;

namespace {

// 1984-01-01 00:00 UTC, the day count origin of binary time, in ms since 1970-01-01.
constexpr uint64_t kBinaryTimeEpochMs = 441763200000ull;
constexpr uint64_t kMsPerDay = 86400000ull;

uint32_t readBigEndian(const std::string& bytes, size_t offset, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
    }
    return value;
}

void appendBigEndian(std::string& bytes, uint32_t value, size_t count) {
    for (size_t i = count; i > 0; --i) {
        bytes.push_back(static_cast<char>(static_cast<uint8_t>(value >> (8 * (i - 1)))));
    }
}

}  // namespace

MmsValue MmsValue::boolean(bool value) {
    MmsValue v(MMS_BOOLEAN);
    v.int_ = value ? 1 : 0;
    return v;
}

MmsValue MmsValue::integer(int64_t value) {
    MmsValue v(MMS_INTEGER);
    v.int_ = value;
    return v;
}

MmsValue MmsValue::unsignedInteger(uint64_t value) {
    MmsValue v(MMS_UNSIGNED);
    v.int_ = static_cast<int64_t>(value);
    return v;
}

MmsValue MmsValue::floatSingle(float value) {
    MmsValue v(MMS_FLOAT);
    v.float_ = value;
    return v;
}

MmsValue MmsValue::floatDouble(double value) {
    MmsValue v(MMS_FLOAT);
    v.float_ = value;
    v.doublePrecision_ = true;
    return v;
}

MmsValue MmsValue::bitString(const BitString& bits) {
    return bitString(bits.bitCount(), ByteView(bits.octets()));
}

MmsValue MmsValue::bitString(size_t bitCount, ByteView octets) {
    MmsValue v(MMS_BIT_STRING);
    v.bitCount_ = static_cast<uint32_t>(bitCount);
    v.bytes_.assign((bitCount + 7) / 8, '\0');
    for (size_t i = 0; i < v.bytes_.size() && i < octets.size(); ++i) {
        v.bytes_[i] = static_cast<char>(octets[i]);
    }
    // Padding bits are cleared so that equal strings compare equal.
    if (bitCount % 8 != 0) {
        v.bytes_.back() =
            static_cast<char>(static_cast<uint8_t>(v.bytes_.back()) & (0xff00u >> (bitCount % 8)));
    }
    return v;
}

MmsValue MmsValue::octetString(std::vector<uint8_t> bytes) {
    MmsValue v(MMS_OCTET_STRING);
    v.bytes_.assign(bytes.begin(), bytes.end());
    return v;
}

MmsValue MmsValue::visibleString(std::string text) {
    MmsValue v(MMS_VISIBLE_STRING);
    v.bytes_ = std::move(text);
    return v;
}

MmsValue MmsValue::mmsString(std::string text) {
    MmsValue v(MMS_STRING);
    v.bytes_ = std::move(text);
    return v;
}

MmsValue MmsValue::generalizedTime(std::string text) {
    MmsValue v(MMS_GENERALIZED_TIME);
    v.bytes_ = std::move(text);
    return v;
}

MmsValue MmsValue::bcd(uint64_t value) {
    MmsValue v(MMS_BCD);
    v.int_ = static_cast<int64_t>(value);
    return v;
}

MmsValue MmsValue::objectId(std::vector<uint8_t> encodedArcs) {
    MmsValue v(MMS_OBJ_ID);
    v.bytes_.assign(encodedArcs.begin(), encodedArcs.end());
    return v;
}

MmsValue MmsValue::utcTime(uint32_t seconds, uint32_t fraction, uint8_t quality) {
    MmsValue v(MMS_UTC_TIME);
    appendBigEndian(v.bytes_, seconds, 4);
    appendBigEndian(v.bytes_, fraction & 0xffffffu, 3);
    v.bytes_.push_back(static_cast<char>(quality));
    return v;
}

MmsValue MmsValue::utcTimeFromMs(uint64_t msSinceEpoch, uint8_t quality) {
    // Rounded up so that reading the fraction back in whole milliseconds gives the same value.
    const uint64_t ms = msSinceEpoch % 1000;
    const uint64_t fraction = ((ms << 24) + 999) / 1000;
    return utcTime(static_cast<uint32_t>(msSinceEpoch / 1000), static_cast<uint32_t>(fraction), quality);
}

MmsValue MmsValue::binaryTime(uint32_t msOfDay, uint16_t daysSince1984) {
    MmsValue v(MMS_BINARY_TIME);
    appendBigEndian(v.bytes_, msOfDay, 4);
    appendBigEndian(v.bytes_, daysSince1984, 2);
    return v;
}

MmsValue MmsValue::binaryTimeOfDay(uint32_t msOfDay) {
    MmsValue v(MMS_BINARY_TIME);
    appendBigEndian(v.bytes_, msOfDay, 4);
    return v;
}

MmsValue MmsValue::binaryTimeFromMs(uint64_t msSinceEpoch, bool withDate) {
    const uint32_t msOfDay = static_cast<uint32_t>(msSinceEpoch % kMsPerDay);
    if (!withDate) {
        return binaryTimeOfDay(msOfDay);
    }
    uint64_t days = msSinceEpoch >= kBinaryTimeEpochMs ? (msSinceEpoch - kBinaryTimeEpochMs) / kMsPerDay : 0;
    if (days > 0xffff) {
        days = 0xffff;
    }
    return binaryTime(msOfDay, static_cast<uint16_t>(days));
}

MmsValue MmsValue::structure(std::vector<MmsValue> elements) {
    MmsValue v(MMS_STRUCTURE);
    v.elements_ = std::move(elements);
    return v;
}

MmsValue MmsValue::array(std::vector<MmsValue> elements) {
    MmsValue v(MMS_ARRAY);
    v.elements_ = std::move(elements);
    return v;
}

MmsValue MmsValue::accessError(DataAccessError error) {
    MmsValue v(MMS_DATA_ACCESS_ERROR);
    v.int_ = static_cast<int64_t>(error);
    return v;
}

bool MmsValue::bit(size_t i) const {
    return type() == MMS_BIT_STRING && i < bitCount_ &&
           (static_cast<uint8_t>(bytes_[i / 8]) & (0x80u >> (i % 8))) != 0;
}

void MmsValue::setBit(size_t i, bool value) {
    if (type() != MMS_BIT_STRING || i >= bitCount_) {
        return;
    }
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (i % 8));
    uint8_t octet = static_cast<uint8_t>(bytes_[i / 8]);
    octet = value ? static_cast<uint8_t>(octet | mask) : static_cast<uint8_t>(octet & ~mask);
    bytes_[i / 8] = static_cast<char>(octet);
}

uint32_t MmsValue::bitsAsUint32() const {
    uint32_t result = 0;
    for (size_t i = 0; i < bitCount() && i < 32; ++i) {
        if (bit(i)) {
            result |= 1u << i;
        }
    }
    return result;
}

BitString MmsValue::bits() const {
    if (type() != MMS_BIT_STRING) {
        return BitString();
    }
    const ByteView content = octets();
    return BitString(bitCount_, std::vector<uint8_t>(content.begin(), content.end()));
}

int64_t MmsValue::toInt64() const {
    switch (type()) {
        case MMS_INTEGER:
        case MMS_UNSIGNED:
        case MMS_BCD:
            return int_;
        case MMS_FLOAT:
            return std::isfinite(float_) ? static_cast<int64_t>(float_) : 0;
        default:
            return 0;
    }
}

uint64_t MmsValue::toUint64() const {
    switch (type()) {
        case MMS_INTEGER:
        case MMS_UNSIGNED:
        case MMS_BCD:
            return static_cast<uint64_t>(int_);
        case MMS_FLOAT:
            return std::isfinite(float_) && float_ >= 0 ? static_cast<uint64_t>(float_) : 0;
        default:
            return 0;
    }
}

double MmsValue::toDouble() const {
    switch (type()) {
        case MMS_FLOAT:
            return float_;
        case MMS_INTEGER:
            return static_cast<double>(int_);
        case MMS_UNSIGNED:
        case MMS_BCD:
            return static_cast<double>(static_cast<uint64_t>(int_));
        default:
            return 0;
    }
}

uint64_t MmsValue::utcTimeMs() const {
    if (type() != MMS_UTC_TIME || bytes_.size() != 8) {
        return 0;
    }
    const uint64_t seconds = readBigEndian(bytes_, 0, 4);
    const uint64_t fraction = readBigEndian(bytes_, 4, 3);
    // Rounded to the nearest millisecond: a fraction of 0.45099 s is 451 ms, not 450.
    return seconds * 1000 + ((fraction * 1000 + (1u << 23)) >> 24);
}

uint8_t MmsValue::utcTimeQuality() const {
    return type() == MMS_UTC_TIME && bytes_.size() == 8 ? static_cast<uint8_t>(bytes_[7]) : 0;
}

uint64_t MmsValue::binaryTimeMs() const {
    if (type() != MMS_BINARY_TIME || (bytes_.size() != 4 && bytes_.size() != 6)) {
        return 0;
    }
    const uint64_t msOfDay = readBigEndian(bytes_, 0, 4);
    if (bytes_.size() == 4) {
        return msOfDay;
    }
    return kBinaryTimeEpochMs + readBigEndian(bytes_, 4, 2) * kMsPerDay + msOfDay;
}

MmsValue MmsValue::absent() {
    MmsValue value;
    value.type_ = kAbsentType;
    return value;
}

bool operator==(const MmsValue& a, const MmsValue& b) {
    if (a.type_ != b.type_) {
        return false;
    }
    if (a.isAbsent()) {
        return true;
    }
    switch (a.type()) {
        case MMS_ARRAY:
        case MMS_STRUCTURE:
            return a.elements_ == b.elements_;
        case MMS_BOOLEAN:
        case MMS_INTEGER:
        case MMS_UNSIGNED:
        case MMS_BCD:
        case MMS_DATA_ACCESS_ERROR:
            return a.int_ == b.int_;
        case MMS_FLOAT:
            // Compared by bit pattern so that a NaN read back equals itself.
            return a.doublePrecision_ == b.doublePrecision_ &&
                   std::memcmp(&a.float_, &b.float_, sizeof a.float_) == 0;
        case MMS_BIT_STRING:
            return a.bitCount_ == b.bitCount_ && a.bytes_ == b.bytes_;
        case MMS_OCTET_STRING:
        case MMS_OBJ_ID:
        case MMS_BINARY_TIME:
        case MMS_UTC_TIME:
        case MMS_VISIBLE_STRING:
        case MMS_STRING:
        case MMS_GENERALIZED_TIME:
            return a.bytes_ == b.bytes_;
    }
    return false;
}
