#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "ber/byte_view.h"
#include "ber/reader.h"
#include "ber/tag.h"

namespace iecstack::ber {

void appendTag(Bytes& out, Tag tag);
void appendLength(Bytes& out, size_t length);
size_t lengthFieldSize(size_t length);

// Builds a BER encoding front to back. Constructed elements are opened and closed around their
// content; the length is filled in when the element is closed, using the shortest definite form.
class Writer {
public:
    void begin(Tag tag);
    void end();
    template <typename Body>
    void constructed(Tag tag, Body&& body) {
        begin(tag);
        std::forward<Body>(body)();
        end();
    }

    void primitive(Tag tag, ByteView content);
    void integer(Tag tag, int64_t value);
    // Non-negative INTEGER content; gains a leading 00 octet when the top bit would read as a sign.
    void unsignedInteger(Tag tag, uint64_t value);
    // TRUE is written as 01, which is what MMS peers send.
    void boolean(Tag tag, bool value);
    void null(Tag tag);
    void octets(Tag tag, ByteView content) { primitive(tag, content); }
    void string(Tag tag, std::string_view text);
    // `bits` holds bit 0 in the most significant bit of its first octet; padding bits are cleared.
    void bitString(Tag tag, ByteView bits, size_t bitCount);
    void oid(Tag tag, const Oid& arcs);
    // Already encoded TLVs, copied as they are.
    void raw(ByteView encoded);

    bool balanced() const { return open_.empty(); }
    size_t size() const { return out_.size(); }
    const Bytes& bytes() const { return out_; }
    Bytes take();

private:
    Bytes out_;
    std::vector<size_t> open_;  // offsets of the length octet reserved for each open element
};

}  // namespace iecstack::ber
