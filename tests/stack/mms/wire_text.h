#pragma once

#include <string_view>

#include "ber/byte_view.h"
#include "hex.h"

namespace korvan::test {

// Hex bytes as the wire notes write them, with "quoted" runs of ASCII in between:
// R"(1a 11 "simpleIOGenericIO")".
inline iecstack::Bytes wire(std::string_view text) {
    iecstack::Bytes out;
    while (!text.empty()) {
        const size_t quote = text.find('"');
        const iecstack::Bytes hex = fromHex(text.substr(0, quote));
        out.insert(out.end(), hex.begin(), hex.end());
        if (quote == std::string_view::npos) {
            break;
        }
        const size_t close = text.find('"', quote + 1);
        const std::string_view ascii = text.substr(quote + 1, close - quote - 1);
        out.insert(out.end(), ascii.begin(), ascii.end());
        text = close == std::string_view::npos ? std::string_view() : text.substr(close + 1);
    }
    return out;
}

}  // namespace korvan::test
