#include "listedchildren.h"

#include <algorithm>
#include <unordered_set>

namespace iec61850 {

namespace {

bool constrainedBy(const std::string& child, std::string_view fc) {
    return child.size() >= fc.size() && std::string_view(child).substr(child.size() - fc.size()) == fc;
}

// Up to this many children a scan of the few names before is cheaper than a set.
constexpr size_t kScanned = 32;

}  // namespace

std::vector<size_t> childrenToShow(const std::vector<std::string>& children,
                                   const std::vector<std::string_view>& shown) {
    std::vector<size_t> picked;
    picked.reserve(children.size());
    const bool small = children.size() <= kScanned;
    std::unordered_set<std::string_view> settings;
    std::unordered_set<std::string_view> handled;
    if (!small) {
        for (size_t i = 0; i < children.size(); ++i) {
            if (constrainedBy(children[i], "[SG]")) {
                settings.insert(shown[i]);
            }
        }
    }
    const auto isSetting = [&](std::string_view name) {
        if (!small) {
            return settings.count(name) != 0;
        }
        for (size_t k = 0; k < children.size(); ++k) {
            if (shown[k] == name && constrainedBy(children[k], "[SG]")) {
                return true;
            }
        }
        return false;
    };
    for (size_t i = 0; i < children.size(); ++i) {
        const std::string_view name = shown[i];
        if (constrainedBy(children[i], "[SE]") && isSetting(name)) {
            continue;
        }
        const bool seen =
            small ? std::any_of(picked.begin(), picked.end(), [&](size_t j) { return shown[j] == name; })
                  : !handled.insert(name).second;
        if (!seen) {
            picked.push_back(i);
        }
    }
    return picked;
}

namespace {

std::string_view nodeOf(std::string_view name) {
    return name.substr(0, name.find('$'));
}

bool runsOf(const std::vector<std::string_view>& names,
            std::unordered_map<std::string_view, std::pair<size_t, size_t>>* runs) {
    runs->clear();
    for (size_t i = 0; i < names.size();) {
        const std::string_view node = nodeOf(names[i]);
        const size_t first = i;
        while (i < names.size() && nodeOf(names[i]) == node) {
            ++i;
        }
        if (!runs->emplace(node, std::make_pair(first, i)).second) {
            return false;
        }
    }
    return true;
}

}  // namespace

void groupByNode(std::vector<std::string_view>* names,
                 std::unordered_map<std::string_view, std::pair<size_t, size_t>>* runs) {
    if (!runsOf(*names, runs)) {
        std::stable_sort(names->begin(), names->end(),
                         [](std::string_view a, std::string_view b) { return nodeOf(a) < nodeOf(b); });
        runsOf(*names, runs);
    }
}

}  // namespace iec61850
