#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace iec61850 {

// Which children of an element the walk shows, as positions in `children` (each "name[FC]" as the
// device's names list them), in their order. `shown` holds each child's name without its constraint.
// A name listed under a second constraint is shown once, under the constraint listed first; a setting
// (listed under SG, the active group's value, and under SE, the group being edited, which only its
// editor may read) is shown under SG, whichever the device lists first.
std::vector<size_t> childrenToShow(const std::vector<std::string>& children,
                                   const std::vector<std::string_view>& shown);

}  // namespace iec61850
