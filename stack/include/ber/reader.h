#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "ber/ber_error.h"
#include "ber/byte_view.h"
#include "ber/result.h"
#include "ber/tag.h"

namespace iecstack::ber {

template <typename T>
using Expected = Result<T, Error>;

// Constructed elements a hostile peer may nest before decoding stops with NestingTooDeep. MMS data
// of a whole logical node read in one go stays well below this.
constexpr unsigned kDefaultMaxDepth = 48;

using Oid = std::vector<uint32_t>;

struct BitString {
    uint8_t unusedBits = 0;
    ByteView octets;  // the octets after the unused-bits octet

    size_t bitCount() const { return octets.size() * 8 - unusedBits; }
    // Bit 0 is the most significant bit of the first octet.
    bool bit(size_t i) const { return i < bitCount() && (octets[i / 8] & (0x80u >> (i % 8))) != 0; }
};

// Content decoders for primitive values; they see only the content octets.
Expected<int64_t> decodeInteger(ByteView content);
Expected<uint64_t> decodeUnsigned(ByteView content);
Expected<bool> decodeBoolean(ByteView content);
Expected<BitString> decodeBitString(ByteView content);
Expected<Oid> decodeOid(ByteView content);

class Reader;

// One decoded TLV. Its content lies inside the buffer given to the Reader that produced it.
struct Element {
    Tag tag;
    ByteView content;
    ByteView encoded;  // tag, length and content as received, for passing elements on untouched
    unsigned depthLeft = kDefaultMaxDepth;

    // The elements inside a constructed element, one nesting level deeper.
    Expected<Reader> children() const;

    Expected<int64_t> toInteger() const;
    Expected<uint64_t> toUnsigned() const;
    Expected<bool> toBoolean() const;
    Expected<BitString> toBitString() const;
    Expected<Oid> toOid() const;
    // Raw content of a primitive element (octet strings, visible strings, MMS floats and times).
    Expected<ByteView> toOctets() const;
    Expected<std::string_view> toString() const;
};

// Walks a sequence of sibling TLVs. A failed call does not advance, so the caller may report the
// error and stop.
class Reader {
public:
    explicit Reader(ByteView input, unsigned maxDepth = kDefaultMaxDepth)
        : rest_(input), depthLeft_(maxDepth) {}

    bool atEnd() const { return rest_.empty(); }
    size_t remaining() const { return rest_.size(); }
    unsigned depthLeft() const { return depthLeft_; }

    Expected<Tag> peekTag() const;
    bool nextIs(Tag tag) const;

    Expected<Element> next();
    // The next element, which must carry `tag`: MissingElement at the end, UnexpectedTag otherwise.
    Expected<Element> next(Tag tag);
    // The next element if it carries `tag`, otherwise nothing and no advance.
    Expected<std::optional<Element>> optional(Tag tag);

    // Fails with TrailingBytes when anything is left.
    Status<Error> expectEnd() const;

    // Shorthands for next(tag) followed by the matching content decoder.
    Expected<int64_t> readInteger(Tag tag = tags::Integer);
    Expected<uint64_t> readUnsigned(Tag tag);
    Expected<bool> readBoolean(Tag tag = tags::Boolean);
    Expected<ByteView> readOctets(Tag tag);
    Expected<std::string_view> readString(Tag tag);
    Expected<Oid> readOid(Tag tag = tags::ObjectIdentifier);
    Expected<Reader> enter(Tag tag);

private:
    struct Header {
        Tag tag;
        size_t headerSize = 0;
        size_t contentSize = 0;
    };
    Expected<Header> parseHeader() const;

    ByteView rest_;
    unsigned depthLeft_;
};

// Decodes exactly one element filling all of `input`.
Expected<Element> decodeSingle(ByteView input, unsigned maxDepth = kDefaultMaxDepth);

}  // namespace iecstack::ber
