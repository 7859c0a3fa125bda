// MMS Data values and access results.
#include <cstring>

#include "decoder.h"

namespace iecstack::mms {

using ber::ctx;
using ber::ctxc;

namespace {

// Data choice numbers, which are also the context tags on the wire.
enum DataTag : uint32_t {
    kAccessFailure = 0,
    kArray = 1,
    kStructure = 2,
    kBoolean = 3,
    kBitString = 4,
    kInteger = 5,
    kUnsigned = 6,
    kFloat = 7,
    kReal = 8,
    kOctetString = 9,
    kVisibleString = 10,
    kGeneralizedTime = 11,
    kBinaryTime = 12,
    kBcd = 13,
    kBooleanArray = 14,
    kObjectId = 15,
    kMmsString = 16,
    kUtcTime = 17,
};

constexpr uint8_t kSingleExponentWidth = 8;
constexpr uint8_t kDoubleExponentWidth = 11;

// Unsigned content taken as a magnitude: some devices leave out the 00 octet in front of a value
// with the top bit set, and the tag already says the value is unsigned.
Decoded<uint64_t> magnitude(ByteView content) {
    if (content.empty()) {
        return detail::failure(Error::BadInteger);
    }
    size_t start = 0;
    while (content.size() - start > 1 && content[start] == 0) {
        ++start;
    }
    if (content.size() - start > 8) {
        return detail::failure(Error::BadInteger);
    }
    uint64_t value = 0;
    for (size_t i = start; i < content.size(); ++i) {
        value = (value << 8) | content[i];
    }
    return value;
}

uint64_t bigEndian(ByteView bytes) {
    uint64_t value = 0;
    for (uint8_t b : bytes) {
        value = (value << 8) | b;
    }
    return value;
}

Decoded<MmsValue> floatValue(ByteView content) {
    if (content.size() == 5 && content[0] == kSingleExponentWidth) {
        const uint32_t bits = static_cast<uint32_t>(bigEndian(content.subview(1)));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return MmsValue::floatSingle(value);
    }
    if (content.size() == 9 && content[0] == kDoubleExponentWidth) {
        const uint64_t bits = bigEndian(content.subview(1));
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return MmsValue::floatDouble(value);
    }
    return detail::failure(Error::BadFloat);
}

Decoded<MmsValue> primitiveData(const ber::Element& element) {
    const ByteView content = element.content;
    switch (element.tag.number) {
        case kBoolean: {
            if (content.size() != 1) {
                return detail::failure(Error::BadBoolean);
            }
            return MmsValue::boolean(content[0] != 0);
        }
        case kBitString: {
            MMS_TRY(auto bits, element.toBitString());
            return MmsValue::bitString(bits.bitCount(), bits.octets);
        }
        case kInteger: {
            MMS_TRY(int64_t value, element.toInteger());
            return MmsValue::integer(value);
        }
        case kUnsigned: {
            MMS_TRY(uint64_t value, magnitude(content));
            return MmsValue::unsignedInteger(value);
        }
        case kBcd: {
            MMS_TRY(uint64_t value, magnitude(content));
            return MmsValue::bcd(value);
        }
        case kFloat:
            return floatValue(content);
        case kOctetString:
            return MmsValue::octetString(content.toBytes());
        case kVisibleString:
            return MmsValue::visibleString(std::string(content.asString()));
        case kMmsString:
            return MmsValue::mmsString(std::string(content.asString()));
        case kGeneralizedTime:
            return MmsValue::generalizedTime(std::string(content.asString()));
        case kBinaryTime:
            if (content.size() == 6) {
                return MmsValue::binaryTime(static_cast<uint32_t>(bigEndian(content.subview(0, 4))),
                                            static_cast<uint16_t>(bigEndian(content.subview(4))));
            }
            if (content.size() == 4) {
                return MmsValue::binaryTimeOfDay(static_cast<uint32_t>(bigEndian(content)));
            }
            return detail::failure(Error::BadTime);
        case kUtcTime:
            if (content.size() != 8) {
                return detail::failure(Error::BadTime);
            }
            return MmsValue::utcTime(static_cast<uint32_t>(bigEndian(content.subview(0, 4))),
                                     static_cast<uint32_t>(bigEndian(content.subview(4, 3))), content[7]);
        case kObjectId: {
            MMS_CHECK(element.toOid());
            return MmsValue::objectId(content.toBytes());
        }
        case kReal:
        case kBooleanArray:
            return detail::failure(Error::UnsupportedData);
        default:
            return detail::failure(Error::UnexpectedTag);
    }
}

void appendBigEndian(uint8_t* out, uint64_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        out[count - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

namespace detail {

size_t Decoder::countElements(ber::Reader reader) const {
    // Sizing the list up front saves the repeated growth of large lists of values; the count stops
    // at the limit and at the first broken element, which the decoding loop then reports.
    size_t count = 0;
    while (!reader.atEnd() && count < limits_.maxListLength && reader.next().ok()) {
        ++count;
    }
    return count;
}

Decoded<MmsValue> Decoder::data(const ber::Element& element) const {
    if (element.tag.cls != ber::TagClass::Context) {
        return failure(Error::UnexpectedTag);
    }
    const uint32_t number = element.tag.number;
    if (number == kArray || number == kStructure) {
        if (!element.tag.constructed) {
            return failure(Error::UnexpectedTag);
        }
        MMS_TRY(auto elements, dataList(element));
        return number == kArray ? MmsValue::array(std::move(elements))
                                : MmsValue::structure(std::move(elements));
    }
    if (element.tag.constructed) {
        return failure(Error::UnexpectedTag);
    }
    return primitiveData(element);
}

Decoded<MmsValue> Decoder::accessResult(const ber::Element& element) const {
    if (element.tag == ctx(kAccessFailure)) {
        MMS_TRY(int64_t code, element.toInteger());
        if (code < 0 || code > 0xff) {
            return failure(Error::BadInteger);
        }
        return MmsValue::accessError(static_cast<DataAccessError>(code));
    }
    return data(element);
}

Decoded<std::vector<MmsValue>> Decoder::dataList(const ber::Element& list) const {
    return listOf<MmsValue>(list, [this](const ber::Element& element) { return data(element); });
}

Decoded<std::vector<MmsValue>> Decoder::accessResults(const ber::Element& list) const {
    return listOf<MmsValue>(list, [this](const ber::Element& element) { return accessResult(element); });
}

void encodeAccessResult(ber::Writer& writer, const MmsValue& value) {
    if (value.type() == MMS_DATA_ACCESS_ERROR) {
        writer.integer(ctx(kAccessFailure), static_cast<int64_t>(value.accessError()));
        return;
    }
    encodeData(writer, value);
}

}  // namespace detail

Decoded<MmsValue> decodeData(ByteView element, const DecodeLimits& limits) {
    MMS_TRY(ber::Element decoded, ber::decodeSingle(element, limits.maxNesting));
    return detail::Decoder(limits).data(decoded);
}

void encodeData(ber::Writer& writer, const MmsValue& value) {
    switch (value.type()) {
        case MMS_ARRAY:
        case MMS_STRUCTURE:
            writer.begin(ctxc(value.type() == MMS_ARRAY ? kArray : kStructure));
            for (const MmsValue& element : value.elements()) {
                encodeData(writer, element);
            }
            writer.end();
            return;
        case MMS_BOOLEAN:
            writer.boolean(ctx(kBoolean), value.boolValue());
            return;
        case MMS_BIT_STRING:
            writer.bitString(ctx(kBitString), value.octets(), value.bitCount());
            return;
        case MMS_INTEGER:
            writer.integer(ctx(kInteger), value.toInt64());
            return;
        case MMS_UNSIGNED:
            writer.unsignedInteger(ctx(kUnsigned), value.toUint64());
            return;
        case MMS_BCD:
            writer.unsignedInteger(ctx(kBcd), value.toUint64());
            return;
        case MMS_FLOAT: {
            uint8_t content[9];
            if (value.isDoublePrecision()) {
                const double d = value.toDouble();
                uint64_t bits;
                std::memcpy(&bits, &d, sizeof bits);
                content[0] = kDoubleExponentWidth;
                appendBigEndian(content + 1, bits, 8);
                writer.primitive(ctx(kFloat), ByteView(content, 9));
            } else {
                const float f = static_cast<float>(value.toDouble());
                uint32_t bits;
                std::memcpy(&bits, &f, sizeof bits);
                content[0] = kSingleExponentWidth;
                appendBigEndian(content + 1, bits, 4);
                writer.primitive(ctx(kFloat), ByteView(content, 5));
            }
            return;
        }
        case MMS_OCTET_STRING:
            writer.primitive(ctx(kOctetString), value.octets());
            return;
        case MMS_VISIBLE_STRING:
            writer.string(ctx(kVisibleString), value.text());
            return;
        case MMS_STRING:
            writer.string(ctx(kMmsString), value.text());
            return;
        case MMS_GENERALIZED_TIME:
            writer.string(ctx(kGeneralizedTime), value.text());
            return;
        case MMS_BINARY_TIME:
            writer.primitive(ctx(kBinaryTime), value.octets());
            return;
        case MMS_OBJ_ID:
            writer.primitive(ctx(kObjectId), value.octets());
            return;
        case MMS_UTC_TIME:
            writer.primitive(ctx(kUtcTime), value.octets());
            return;
        case MMS_DATA_ACCESS_ERROR:
            // Not Data: only an access result may carry it (see encodeAccessResult).
            writer.integer(ctx(kAccessFailure), static_cast<int64_t>(value.accessError()));
            return;
    }
}

}  // namespace iecstack::mms
