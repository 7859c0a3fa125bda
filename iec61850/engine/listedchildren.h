#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace iec61850 {

// Which children of an element the walk shows, as positions in `children` (each "name[FC]" as the
// device's names list them), in their order. `shown` holds each child's name without its constraint.
// A name listed under a second constraint is shown once, under the constraint listed first; a setting
// (listed under SG, the active group's value, and under SE, the group being edited, which only its
// editor may read) is shown under SG, whichever the device lists first.
std::vector<size_t> childrenToShow(const std::vector<std::string>& children,
                                   const std::vector<std::string_view>& shown);

// A device's listed names by logical node (the part before the first "$"): `runs` gets where each
// node's run of names starts and ends in `names`. Lists come sorted, so each node's names are one run
// already; those of a list that is not are brought together first, each node's in their order.
void groupByNode(std::vector<std::string_view>* names,
                 std::unordered_map<std::string_view, std::pair<size_t, size_t>>* runs);

}  // namespace iec61850
