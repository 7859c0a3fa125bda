#include "ber/writer.h"

#include <cassert>

namespace iecstack::ber {

void appendTag(Bytes& out, Tag tag) {
    const uint8_t lead = static_cast<uint8_t>(tag.cls) | (tag.constructed ? 0x20 : 0x00);
    if (tag.number < 31) {
        out.push_back(static_cast<uint8_t>(lead | tag.number));
        return;
    }
    out.push_back(lead | 0x1f);
    int shift = 28;
    while (shift > 0 && (tag.number >> shift) == 0) {
        shift -= 7;
    }
    for (; shift > 0; shift -= 7) {
        out.push_back(static_cast<uint8_t>(0x80 | ((tag.number >> shift) & 0x7f)));
    }
    out.push_back(static_cast<uint8_t>(tag.number & 0x7f));
}

size_t lengthFieldSize(size_t length) {
    if (length < 0x80) {
        return 1;
    }
    size_t octets = 0;
    for (size_t rest = length; rest != 0; rest >>= 8) {
        ++octets;
    }
    return 1 + octets;
}

void appendLength(Bytes& out, size_t length) {
    const size_t size = lengthFieldSize(length);
    if (size == 1) {
        out.push_back(static_cast<uint8_t>(length));
        return;
    }
    out.push_back(static_cast<uint8_t>(0x80 | (size - 1)));
    for (size_t i = size - 1; i > 0; --i) {
        out.push_back(static_cast<uint8_t>(length >> (8 * (i - 1))));
    }
}

void Writer::begin(Tag tag) {
    appendTag(out_, Tag{tag.cls, true, tag.number});
    open_.push_back(out_.size());
    out_.push_back(0);  // short-form placeholder, widened in end() when needed
}

void Writer::end() {
    assert(!open_.empty());
    const size_t lengthAt = open_.back();
    open_.pop_back();
    const size_t contentSize = out_.size() - lengthAt - 1;
    const size_t fieldSize = lengthFieldSize(contentSize);
    if (fieldSize == 1) {
        out_[lengthAt] = static_cast<uint8_t>(contentSize);
        return;
    }
    uint8_t field[sizeof(size_t) + 1];
    field[0] = static_cast<uint8_t>(0x80 | (fieldSize - 1));
    for (size_t i = 1; i < fieldSize; ++i) {
        field[i] = static_cast<uint8_t>(contentSize >> (8 * (fieldSize - 1 - i)));
    }
    out_[lengthAt] = field[0];
    out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(lengthAt) + 1, field + 1, field + fieldSize);
}

void Writer::primitive(Tag tag, ByteView content) {
    appendTag(out_, tag);
    appendLength(out_, content.size());
    out_.insert(out_.end(), content.begin(), content.end());
}

void Writer::integer(Tag tag, int64_t value) {
    uint8_t content[8];
    size_t size = 8;
    for (size_t i = 0; i < 8; ++i) {
        content[7 - i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    }
    size_t start = 0;
    while (start < 7 && ((content[start] == 0x00 && (content[start + 1] & 0x80) == 0) ||
                         (content[start] == 0xff && (content[start + 1] & 0x80) != 0))) {
        ++start;
    }
    primitive(tag, ByteView(content + start, size - start));
}

void Writer::unsignedInteger(Tag tag, uint64_t value) {
    uint8_t content[9];
    content[0] = 0;
    for (size_t i = 0; i < 8; ++i) {
        content[8 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
    size_t start = 0;
    while (start < 8 && content[start] == 0x00 && (content[start + 1] & 0x80) == 0) {
        ++start;
    }
    primitive(tag, ByteView(content + start, 9 - start));
}

void Writer::boolean(Tag tag, bool value) {
    const uint8_t content = value ? 0x01 : 0x00;
    primitive(tag, ByteView(&content, 1));
}

void Writer::null(Tag tag) {
    primitive(tag, ByteView());
}

void Writer::string(Tag tag, std::string_view text) {
    primitive(tag, ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void Writer::bitString(Tag tag, ByteView bits, size_t bitCount) {
    const size_t octets = (bitCount + 7) / 8;
    appendTag(out_, tag);
    appendLength(out_, octets + 1);
    out_.push_back(static_cast<uint8_t>(octets * 8 - bitCount));
    for (size_t i = 0; i < octets; ++i) {
        out_.push_back(i < bits.size() ? bits[i] : 0);
    }
    if (bitCount % 8 != 0) {
        out_.back() &= static_cast<uint8_t>(0xff << (8 - bitCount % 8));
    }
}

void Writer::oid(Tag tag, const Oid& arcs) {
    Bytes content;
    auto appendArc = [&content](uint64_t arc) {
        int shift = 63;
        while (shift > 0 && (arc >> shift) == 0) {
            shift -= 7;
        }
        for (; shift > 0; shift -= 7) {
            content.push_back(static_cast<uint8_t>(0x80 | ((arc >> shift) & 0x7f)));
        }
        content.push_back(static_cast<uint8_t>(arc & 0x7f));
    };
    if (arcs.size() >= 2) {
        appendArc(uint64_t{arcs[0]} * 40 + arcs[1]);
        for (size_t i = 2; i < arcs.size(); ++i) {
            appendArc(arcs[i]);
        }
    }
    primitive(tag, content);
}

void Writer::raw(ByteView encoded) {
    out_.insert(out_.end(), encoded.begin(), encoded.end());
}

Bytes Writer::take() {
    assert(balanced());
    Bytes result = std::move(out_);
    out_.clear();
    open_.clear();
    return result;
}

}  // namespace iecstack::ber
