#include "hex.h"

#include <cassert>

namespace korvan::test {

namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

iecstack::Bytes fromHex(std::string_view text) {
    iecstack::Bytes out;
    int high = -1;
    for (char c : text) {
        const int value = nibble(c);
        if (value < 0) {
            continue;
        }
        if (high < 0) {
            high = value;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    assert(high < 0 && "odd number of hex digits");
    return out;
}

std::string toHex(iecstack::ByteView bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            out += ' ';
        }
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0f];
    }
    return out;
}

}  // namespace korvan::test
