#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace iecstack::mapping {

// Longest reference accepted from a caller. Far above what any device names, it only keeps a caller's
// garbage from turning into an oversized request; longer references are refused, never cut.
constexpr size_t kMaxReferenceLength = 1024;

// An object reference "LD/LN.DO.DA" split into the MMS domain (the logical device) and the dotted path
// below it ("LN.DO.DA").
struct ObjectReference {
    std::string domain;
    std::string path;

    // Null for an empty domain or path, a missing or second '/', empty path elements, a '$' inside the
    // path or a reference longer than kMaxReferenceLength.
    static std::optional<ObjectReference> parse(std::string_view reference);

    // The logical node: the path up to the first '.'.
    std::string_view logicalNode() const;
    // The MMS item name under a functional constraint: "LN$FC$DO$DA".
    std::string itemName(std::string_view fc) const;
    // The MMS item name of a path that names its constraint itself or has none: data sets ("LN.DS" to
    // "LN$DS") and control blocks ("LN.RP.name" to "LN$RP$name").
    std::string plainItemName() const;
};

// `dotted` with every '.' turned into '$'.
std::string dollarJoined(std::string_view dotted);

}  // namespace iecstack::mapping
