#pragma once

#include <cstdint>

namespace iecstack::ber {

enum class TagClass : uint8_t { Universal = 0x00, Application = 0x40, Context = 0x80, Private = 0xc0 };

struct Tag {
    TagClass cls = TagClass::Universal;
    bool constructed = false;
    uint32_t number = 0;

    friend constexpr bool operator==(Tag a, Tag b) {
        return a.cls == b.cls && a.constructed == b.constructed && a.number == b.number;
    }
    friend constexpr bool operator!=(Tag a, Tag b) { return !(a == b); }
};

constexpr Tag universal(uint32_t number, bool constructed = false) {
    return Tag{TagClass::Universal, constructed, number};
}
constexpr Tag application(uint32_t number, bool constructed = true) {
    return Tag{TagClass::Application, constructed, number};
}
// Context tags: primitive [n] is `ctx(n)`, constructed [n] is `ctxc(n)`.
constexpr Tag ctx(uint32_t number) {
    return Tag{TagClass::Context, false, number};
}
constexpr Tag ctxc(uint32_t number) {
    return Tag{TagClass::Context, true, number};
}

namespace tags {
constexpr Tag Boolean = universal(1);
constexpr Tag Integer = universal(2);
constexpr Tag BitString = universal(3);
constexpr Tag OctetString = universal(4);
constexpr Tag Null = universal(5);
constexpr Tag ObjectIdentifier = universal(6);
constexpr Tag External = universal(8, true);
constexpr Tag Enumerated = universal(10);
constexpr Tag VisibleString = universal(26);
constexpr Tag Sequence = universal(16, true);
constexpr Tag Set = universal(17, true);
}  // namespace tags

}  // namespace iecstack::ber
