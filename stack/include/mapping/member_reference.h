#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "mms/variable_access.h"

namespace iecstack::mapping {

// The object reference of a variable a server names in MMS terms: a data-set member, a report entry.
// "LD/LN$FC$DO$DA" becomes "LD/LN.DO.DA[FC]"; an alternate access narrowing the variable follows the
// path, array elements with their index in parentheses and components joined with '.':
// MHAI1$MX$HA$phsAHar with element 9, component cVal becomes "LD/MHAI1.HA.phsAHar(9).cVal[MX]". A range
// of elements reads "(1..3)", all elements "(*)". A name with fewer than two '$' has no functional
// constraint to move and keeps its path, with '$' turned into '.'.
std::string memberReference(std::string_view domain, std::string_view item,
                            const std::vector<mms::AccessSelection>& access = {});

// The same for a variable of a directory or report: a name without a domain of its own (VMD or
// association scope) is taken to live in `defaultDomain`.
std::string memberReference(const mms::VariableAccess& variable, std::string_view defaultDomain);

// A variable as a report names its members when it includes data references: the MMS name with the
// alternate access written into it, "LD/MHAI1$MX$HA$phsAHar(9)$cVal".
std::string variableReference(std::string_view domain, std::string_view item,
                              const std::vector<mms::AccessSelection>& access = {});

// An MMS item name from its parts: "LN", "FC", "DO" give "LN$FC$DO".
std::string joinItemName(std::initializer_list<std::string_view> parts);

// The parts of an MMS item name between its '$': "LN$FC$DO" gives "LN", "FC", "DO". Empty parts are
// kept, so that a malformed name stays visible to the caller. Inline, so that what builds on names
// alone needs no MMS library.
inline std::vector<std::string_view> itemNameParts(std::string_view item) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = item.find('$', start);
        if (end == std::string_view::npos) {
            parts.push_back(item.substr(start));
            return parts;
        }
        parts.push_back(item.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace iecstack::mapping
