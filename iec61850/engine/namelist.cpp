#include "namelist.h"

#include <cstring>

namespace iec61850 {

namespace {

// Lengths in seven-bit groups, low group first: one octet for any name shorter than 128.
size_t lengthOctets(size_t length) {
    size_t octets = 1;
    while (length >= 0x80) {
        length >>= 7;
        ++octets;
    }
    return octets;
}

}  // namespace

char* NameList::room(size_t octets) {
    if (blocks_.empty() || blocks_.back().used + octets > blocks_.back().size) {
        // A name longer than a block gets a block of its own size.
        const size_t size = octets > kBlockSize ? octets : kBlockSize;
        blocks_.push_back(Block{std::make_unique<char[]>(size), size, 0});
    }
    Block& block = blocks_.back();
    char* at = block.data.get() + block.used;
    block.used += octets;
    return at;
}

void NameList::append(std::string_view name) {
    char* at = room(lengthOctets(name.size()) + name.size());
    size_t length = name.size();
    while (length >= 0x80) {
        *at++ = static_cast<char>(0x80 | (length & 0x7f));
        length >>= 7;
    }
    *at++ = static_cast<char>(length);
    if (!name.empty()) {
        std::memcpy(at, name.data(), name.size());
    }
    last_ = std::string_view(at, name.size());
    ++count_;
}

std::vector<std::string_view> NameList::names() const {
    std::vector<std::string_view> views;
    views.reserve(count_);
    for (const Block& block : blocks_) {
        const char* at = block.data.get();
        const char* const end = at + block.used;
        while (at < end) {
            size_t length = 0;
            int shift = 0;
            unsigned char octet = 0;
            do {
                octet = static_cast<unsigned char>(*at++);
                length |= size_t(octet & 0x7f) << shift;
                shift += 7;
            } while (octet & 0x80);
            views.emplace_back(at, length);
            at += length;
        }
    }
    return views;
}

void NameList::release() {
    blocks_ = std::vector<Block>();
    count_ = 0;
    last_ = std::string_view();
}

}  // namespace iec61850
