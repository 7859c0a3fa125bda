#include "namelist.h"

#include <algorithm>
#include <cstring>

namespace iec61850 {

namespace {

// Lengths in seven-bit groups, low group first: one octet for any length below 128.
size_t lengthOctets(size_t length) {
    size_t octets = 1;
    while (length >= 0x80) {
        length >>= 7;
        ++octets;
    }
    return octets;
}

char* putLength(char* at, size_t length) {
    while (length >= 0x80) {
        *at++ = static_cast<char>(0x80 | (length & 0x7f));
        length >>= 7;
    }
    *at++ = static_cast<char>(length);
    return at;
}

const char* getLength(const char* at, size_t* length) {
    *length = 0;
    int shift = 0;
    unsigned char octet = 0;
    do {
        octet = static_cast<unsigned char>(*at++);
        *length |= size_t(octet & 0x7f) << shift;
        shift += 7;
    } while (octet & 0x80);
    return at;
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
    size_t shared = 0;
    const size_t most = std::min(name.size(), last_.size());
    while (shared < most && name[shared] == last_[shared]) {
        ++shared;
    }
    const std::string_view rest = name.substr(shared);
    char* at = room(lengthOctets(shared) + lengthOctets(rest.size()) + rest.size());
    at = putLength(at, shared);
    at = putLength(at, rest.size());
    if (!rest.empty()) {
        std::memcpy(at, rest.data(), rest.size());
    }
    last_.assign(name.data(), name.size());
    octets_ += name.size();
    ++count_;
}

std::vector<std::string_view> NameList::names(std::string* storage) const {
    // Sized once: the views point into it.
    storage->clear();
    storage->reserve(octets_);
    std::vector<std::string_view> views;
    views.reserve(count_);
    size_t previous = 0;  // where the name before starts in storage
    for (const Block& block : blocks_) {
        const char* at = block.data.get();
        const char* const end = at + block.used;
        while (at < end) {
            size_t shared = 0;
            size_t rest = 0;
            at = getLength(at, &shared);
            at = getLength(at, &rest);
            const size_t start = storage->size();
            storage->append(*storage, previous, shared);
            storage->append(at, rest);
            at += rest;
            views.emplace_back(storage->data() + start, shared + rest);
            previous = start;
        }
    }
    return views;
}

void NameList::release() {
    blocks_ = std::vector<Block>();
    count_ = 0;
    octets_ = 0;
    last_ = std::string();
}

}  // namespace iec61850
