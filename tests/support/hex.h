#pragma once

#include <string>
#include <string_view>

#include "ber/byte_view.h"

namespace korvan::test {

// "03 00 00 16" or "03000016" to bytes; anything that is not a hex digit separates nothing and is
// skipped, so dumps can be pasted with their spacing.
iecstack::Bytes fromHex(std::string_view text);
// Lower-case, space-separated, as the wire notes write bytes.
std::string toHex(iecstack::ByteView bytes);

}  // namespace korvan::test
