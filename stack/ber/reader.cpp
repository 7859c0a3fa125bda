#include "ber/reader.h"

namespace iecstack::ber {

namespace {

// Long-form lengths of more octets than this describe more than 4 GiB and are refused outright.
constexpr size_t kMaxLengthOctets = 4;
// Tag numbers above 2^28 are refused; MMS uses numbers below 100.
constexpr size_t kMaxTagNumberOctets = 4;

}  // namespace

Expected<int64_t> decodeInteger(ByteView content) {
    if (content.empty()) {
        return Error::BadInteger;
    }
    size_t start = 0;
    // Redundant sign octets are tolerated as long as the value itself fits.
    while (content.size() - start > 1 && ((content[start] == 0x00 && (content[start + 1] & 0x80) == 0) ||
                                          (content[start] == 0xff && (content[start + 1] & 0x80) != 0))) {
        ++start;
    }
    if (content.size() - start > 8) {
        return Error::IntegerTooLarge;
    }
    uint64_t value = (content[start] & 0x80) ? ~uint64_t{0} : 0;
    for (size_t i = start; i < content.size(); ++i) {
        value = (value << 8) | content[i];
    }
    return static_cast<int64_t>(value);
}

Expected<uint64_t> decodeUnsigned(ByteView content) {
    if (content.empty()) {
        return Error::BadInteger;
    }
    if (content[0] & 0x80) {
        return Error::NegativeUnsigned;
    }
    size_t start = 0;
    while (content.size() - start > 1 && content[start] == 0x00) {
        ++start;
    }
    if (content.size() - start > 8) {
        return Error::IntegerTooLarge;
    }
    uint64_t value = 0;
    for (size_t i = start; i < content.size(); ++i) {
        value = (value << 8) | content[i];
    }
    return value;
}

Expected<bool> decodeBoolean(ByteView content) {
    if (content.size() != 1) {
        return Error::BadBoolean;
    }
    return content[0] != 0;
}

Expected<BitString> decodeBitString(ByteView content) {
    if (content.empty() || content[0] > 7 || (content.size() == 1 && content[0] != 0)) {
        return Error::BadBitString;
    }
    return BitString{content[0], content.subview(1)};
}

Expected<Oid> decodeOid(ByteView content) {
    if (content.empty() || (content[content.size() - 1] & 0x80) != 0) {
        return Error::BadObjectIdentifier;
    }
    Oid arcs;
    uint64_t value = 0;
    size_t octets = 0;
    for (uint8_t byte : content) {
        value = (value << 7) | (byte & 0x7f);
        if (++octets > 5 || value > UINT32_MAX + uint64_t{80}) {
            return Error::BadObjectIdentifier;
        }
        if (byte & 0x80) {
            continue;
        }
        if (arcs.empty()) {
            uint32_t first = value < 40 ? 0 : value < 80 ? 1 : 2;
            arcs.push_back(first);
            arcs.push_back(static_cast<uint32_t>(value - first * 40));
        } else {
            arcs.push_back(static_cast<uint32_t>(value));
        }
        value = 0;
        octets = 0;
    }
    return arcs;
}

Expected<Reader> Element::children() const {
    if (!tag.constructed) {
        return Error::NotConstructed;
    }
    if (depthLeft == 0) {
        return Error::NestingTooDeep;
    }
    return Reader(content, depthLeft - 1);
}

Expected<int64_t> Element::toInteger() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return decodeInteger(content);
}

Expected<uint64_t> Element::toUnsigned() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return decodeUnsigned(content);
}

Expected<bool> Element::toBoolean() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return decodeBoolean(content);
}

Expected<BitString> Element::toBitString() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return decodeBitString(content);
}

Expected<Oid> Element::toOid() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return decodeOid(content);
}

Expected<ByteView> Element::toOctets() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return content;
}

Expected<std::string_view> Element::toString() const {
    if (tag.constructed) {
        return Error::NotPrimitive;
    }
    return content.asString();
}

Expected<Reader::Header> Reader::parseHeader() const {
    const ByteView in = rest_;
    if (in.empty()) {
        return Error::MissingElement;
    }
    Header header;
    size_t pos = 0;
    const uint8_t first = in[pos++];
    header.tag.cls = static_cast<TagClass>(first & 0xc0);
    header.tag.constructed = (first & 0x20) != 0;
    header.tag.number = first & 0x1f;
    if (header.tag.number == 0x1f) {
        uint32_t number = 0;
        size_t octets = 0;
        for (;;) {
            if (pos >= in.size()) {
                return Error::Truncated;
            }
            if (++octets > kMaxTagNumberOctets) {
                return Error::TagTooLong;
            }
            const uint8_t byte = in[pos++];
            number = (number << 7) | (byte & 0x7f);
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        header.tag.number = number;
    }
    if (pos >= in.size()) {
        return Error::Truncated;
    }
    const uint8_t lengthByte = in[pos++];
    size_t length = lengthByte;
    if (lengthByte == 0x80) {
        return Error::IndefiniteLength;
    }
    if (lengthByte & 0x80) {
        const size_t octets = lengthByte & 0x7f;
        if (octets > kMaxLengthOctets) {
            return Error::LengthTooLong;
        }
        if (in.size() - pos < octets) {
            return Error::Truncated;
        }
        length = 0;
        for (size_t i = 0; i < octets; ++i) {
            length = (length << 8) | in[pos++];
        }
    }
    if (length > in.size() - pos) {
        return Error::LengthPastEnd;
    }
    header.headerSize = pos;
    header.contentSize = length;
    return header;
}

Expected<Tag> Reader::peekTag() const {
    auto header = parseHeader();
    if (!header) {
        return header.error();
    }
    return header->tag;
}

bool Reader::nextIs(Tag tag) const {
    auto peeked = peekTag();
    return peeked && *peeked == tag;
}

Expected<Element> Reader::next() {
    auto header = parseHeader();
    if (!header) {
        return header.error();
    }
    Element element;
    element.tag = header->tag;
    element.content = rest_.subview(header->headerSize, header->contentSize);
    element.encoded = rest_.subview(0, header->headerSize + header->contentSize);
    element.depthLeft = depthLeft_;
    rest_ = rest_.subview(element.encoded.size());
    return element;
}

Expected<Element> Reader::next(Tag tag) {
    auto header = parseHeader();
    if (!header) {
        return header.error();
    }
    if (header->tag != tag) {
        return Error::UnexpectedTag;
    }
    return next();
}

Expected<std::optional<Element>> Reader::optional(Tag tag) {
    if (atEnd()) {
        return std::optional<Element>();
    }
    auto header = parseHeader();
    if (!header) {
        return header.error();
    }
    if (header->tag != tag) {
        return std::optional<Element>();
    }
    auto element = next();
    if (!element) {
        return element.error();
    }
    return std::optional<Element>(*element);
}

Status<Error> Reader::expectEnd() const {
    if (!atEnd()) {
        return Error::TrailingBytes;
    }
    return {};
}

Expected<int64_t> Reader::readInteger(Tag tag) {
    auto element = next(tag);
    return element ? element->toInteger() : Expected<int64_t>(element.error());
}

Expected<uint64_t> Reader::readUnsigned(Tag tag) {
    auto element = next(tag);
    return element ? element->toUnsigned() : Expected<uint64_t>(element.error());
}

Expected<bool> Reader::readBoolean(Tag tag) {
    auto element = next(tag);
    return element ? element->toBoolean() : Expected<bool>(element.error());
}

Expected<ByteView> Reader::readOctets(Tag tag) {
    auto element = next(tag);
    return element ? element->toOctets() : Expected<ByteView>(element.error());
}

Expected<std::string_view> Reader::readString(Tag tag) {
    auto element = next(tag);
    return element ? element->toString() : Expected<std::string_view>(element.error());
}

Expected<Oid> Reader::readOid(Tag tag) {
    auto element = next(tag);
    return element ? element->toOid() : Expected<Oid>(element.error());
}

Expected<Reader> Reader::enter(Tag tag) {
    auto element = next(tag);
    return element ? element->children() : Expected<Reader>(element.error());
}

Expected<Element> decodeSingle(ByteView input, unsigned maxDepth) {
    Reader reader(input, maxDepth);
    auto element = reader.next();
    if (!element) {
        return element;
    }
    if (!reader.atEnd()) {
        return Error::TrailingBytes;
    }
    return element;
}

}  // namespace iecstack::ber
