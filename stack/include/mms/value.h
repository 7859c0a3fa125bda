#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "mms/bit_string.h"
#include "mms/data_access_error.h"
#include "mms_value.h"

// The value of one MMS Data element (or a failed access result) as the whole stack handles it. The C
// functions of mms_value.h are a facade over this class; the handle they pass around is a pointer to
// it, so structures and arrays own their elements by value and hand out pointers into themselves.
struct MmsValue {
public:
    // An empty structure.
    MmsValue() = default;

    static MmsValue boolean(bool value);
    static MmsValue integer(int64_t value);
    static MmsValue unsignedInteger(uint64_t value);
    // Single precision: sent with exponent width 8 and four octets.
    static MmsValue floatSingle(float value);
    // Double precision: sent with exponent width 11 and eight octets.
    static MmsValue floatDouble(double value);
    static MmsValue bitString(const iecstack::mms::BitString& bits);
    // The first bitCount bits of `octets` (bit 0 first); missing octets read as zero.
    static MmsValue bitString(size_t bitCount, iecstack::ByteView octets);
    static MmsValue octetString(std::vector<uint8_t> bytes);
    static MmsValue visibleString(std::string text);
    // UTF-8 text of the MMS string type.
    static MmsValue mmsString(std::string text);
    static MmsValue generalizedTime(std::string text);
    static MmsValue bcd(uint64_t value);
    // The content octets of an OBJECT IDENTIFIER, as received.
    static MmsValue objectId(std::vector<uint8_t> encodedArcs);
    // Seconds since 1970-01-01, 24-bit binary fraction of a second, time-quality byte.
    static MmsValue utcTime(uint32_t seconds, uint32_t fraction, uint8_t quality);
    static MmsValue utcTimeFromMs(uint64_t msSinceEpoch, uint8_t quality);
    static MmsValue binaryTime(uint32_t msOfDay, uint16_t daysSince1984);
    static MmsValue binaryTimeOfDay(uint32_t msOfDay);
    static MmsValue binaryTimeFromMs(uint64_t msSinceEpoch, bool withDate);
    static MmsValue structure(std::vector<MmsValue> elements);
    static MmsValue array(std::vector<MmsValue> elements);
    static MmsValue accessError(iecstack::mms::DataAccessError error);
    // A place holder for an element that did not arrive (a data set member a report left out): the
    // container keeps the positions of the data set, and the C interface hands out null for it. It is
    // never encoded.
    static MmsValue absent();
    bool isAbsent() const { return type_ == kAbsentType; }

    MmsType type() const { return static_cast<MmsType>(type_); }
    bool isContainer() const { return type() == MMS_STRUCTURE || type() == MMS_ARRAY; }

    bool boolValue() const { return type() == MMS_BOOLEAN && int_ != 0; }
    // Numeric views that convert between integer, unsigned, BCD and float; 0 for other types.
    int64_t toInt64() const;
    uint64_t toUint64() const;
    double toDouble() const;
    // Float only: true when it travels as double precision.
    bool isDoublePrecision() const { return type() == MMS_FLOAT && doublePrecision_; }

    // Bit string: bit 0 is the most significant bit of the first octet.
    size_t bitCount() const { return type() == MMS_BIT_STRING ? bitCount_ : 0; }
    bool bit(size_t i) const;
    void setBit(size_t i, bool value);
    // Bit i counts 2^i; bits past 31 are not taken.
    uint32_t bitsAsUint32() const;
    iecstack::mms::BitString bits() const;
    // Content octets of an octet string, bit string, object identifier, binary time (4 or 6 octets)
    // or UTC time (8 octets).
    iecstack::ByteView octets() const {
        return iecstack::ByteView(reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size());
    }
    uint8_t* octetData() { return reinterpret_cast<uint8_t*>(bytes_.data()); }
    // Visible string, MMS string, generalized time; always zero-terminated.
    const std::string& text() const { return bytes_; }

    const std::vector<MmsValue>& elements() const { return elements_; }
    std::vector<MmsValue>& elements() { return elements_; }

    iecstack::mms::DataAccessError accessError() const {
        return static_cast<iecstack::mms::DataAccessError>(int_);
    }

    uint64_t utcTimeMs() const;
    uint8_t utcTimeQuality() const;
    bool binaryTimeHasDate() const { return type() == MMS_BINARY_TIME && bytes_.size() == 6; }
    uint64_t binaryTimeMs() const;

    friend bool operator==(const MmsValue& a, const MmsValue& b);
    friend bool operator!=(const MmsValue& a, const MmsValue& b) { return !(a == b); }

private:
    explicit MmsValue(MmsType type) : type_(static_cast<uint8_t>(type)) {}
    static constexpr uint8_t kAbsentType = 0xff;

    // Kept small: a whole logical node read at once holds thousands of values. Octets, bits and text
    // share one string, whose inline buffer holds times and short bit strings without an allocation.
    uint8_t type_ = MMS_STRUCTURE;
    bool doublePrecision_ = false;
    uint32_t bitCount_ = 0;
    union {
        // Boolean, integer and DataAccessError code; unsigned and BCD as their bit pattern.
        int64_t int_ = 0;
        double float_;
    };
    std::string bytes_;
    std::vector<MmsValue> elements_;
};

namespace iecstack::mms {
using Value = ::MmsValue;
}  // namespace iecstack::mms
