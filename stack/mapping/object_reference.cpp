#include "mapping/object_reference.h"

namespace iecstack::mapping {

std::optional<ObjectReference> ObjectReference::parse(std::string_view reference) {
    if (reference.size() > kMaxReferenceLength) {
        return std::nullopt;
    }
    const size_t slash = reference.find('/');
    if (slash == std::string_view::npos || slash == 0 ||
        reference.find('/', slash + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view path = reference.substr(slash + 1);
    if (path.empty() || path.front() == '.' || path.back() == '.' ||
        path.find("..") != std::string_view::npos || path.find('$') != std::string_view::npos) {
        return std::nullopt;
    }
    return ObjectReference{std::string(reference.substr(0, slash)), std::string(path)};
}

std::string_view ObjectReference::logicalNode() const {
    return std::string_view(path).substr(0, path.find('.'));
}

std::string ObjectReference::itemName(std::string_view fc) const {
    const std::string_view ln = logicalNode();
    std::string item;
    item.reserve(path.size() + fc.size() + 2);
    item.append(ln);
    item.push_back('$');
    item.append(fc);
    item.append(dollarJoined(std::string_view(path).substr(ln.size())));
    return item;
}

std::string ObjectReference::plainItemName() const {
    return dollarJoined(path);
}

std::string dollarJoined(std::string_view dotted) {
    std::string joined(dotted);
    for (char& c : joined) {
        if (c == '.') {
            c = '$';
        }
    }
    return joined;
}

}  // namespace iecstack::mapping
