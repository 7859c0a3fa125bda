#include "directory_index.h"

#include <unordered_set>

namespace iecstack::client {

namespace {

// Lists up to this long are searched for a name before it is added; longer ones keep their names in
// the set shared by all lists, under "list key\nname", which costs a string per name.
constexpr size_t kScannedList = 16;

// Appends `entry` unless `list` (named by the key `keyStart` + `keyEnd`) already holds it.
void appendOnce(std::unordered_set<std::string>& seen, std::string_view keyStart, std::string_view keyEnd,
                std::vector<std::string>& list, std::string_view entry) {
    const auto keyOf = [&](std::string_view name) {
        std::string key;
        key.reserve(keyStart.size() + keyEnd.size() + 1 + name.size());
        key.append(keyStart).append(keyEnd).push_back('\n');
        key.append(name);
        return key;
    };
    if (list.size() < kScannedList) {
        for (const std::string& listed : list) {
            if (listed == entry) {
                return;
            }
        }
        list.emplace_back(entry);
        if (list.size() == kScannedList) {
            for (const std::string& listed : list) {
                seen.insert(keyOf(listed));
            }
        }
        return;
    }
    if (seen.insert(keyOf(entry)).second) {
        list.emplace_back(entry);
    }
}

// itemNameParts into a vector kept from name to name.
void splitItemName(std::string_view item, std::vector<std::string_view>& parts) {
    parts.clear();
    size_t start = 0;
    for (;;) {
        const size_t end = item.find('$', start);
        if (end == std::string_view::npos) {
            parts.push_back(item.substr(start));
            return;
        }
        parts.push_back(item.substr(start, end - start));
        start = end + 1;
    }
}

template <typename Names>
std::vector<std::string> logicalNodesOf(const Names& names) {
    std::vector<std::string> nodes;
    std::unordered_set<std::string_view> seen;
    for (const std::string_view name : names) {
        if (!name.empty() && name.find('$') == std::string_view::npos && seen.insert(name).second) {
            nodes.emplace_back(name);
        }
    }
    return nodes;
}

}  // namespace

std::vector<std::string> DirectoryIndex::logicalNodesIn(const std::vector<std::string>& names) {
    return logicalNodesOf(names);
}

std::vector<std::string> DirectoryIndex::logicalNodesIn(const std::vector<std::string_view>& names) {
    return logicalNodesOf(names);
}

DirectoryIndex::DirectoryIndex(const std::vector<std::string>& names) : logicalNodes_(logicalNodesIn(names)) {
    build(names);
}

DirectoryIndex::DirectoryIndex(const std::vector<std::string_view>& names)
    : logicalNodes_(logicalNodesIn(names)) {
    build(names);
}

template <typename Names>
void DirectoryIndex::build(const Names& names) {
    std::unordered_set<std::string> seen;
    std::vector<std::string_view> parts;
    std::string parentPath;
    std::string path;
    std::string child;
    // Names come grouped by logical node: the last one found is asked first.
    std::string_view lastNodeName;
    LogicalNode* lastNode = nullptr;
    for (const std::string_view name : names) {
        splitItemName(name, parts);
        const std::string_view logicalNodeName = parts.front();
        if (logicalNodeName.empty()) {
            continue;
        }
        if (lastNode == nullptr || logicalNodeName != lastNodeName) {
            lastNode = &nodesByName_[std::string(logicalNodeName)];
            lastNodeName = logicalNodeName;
        }
        LogicalNode& logicalNode = *lastNode;
        if (parts.size() <= 2) {
            continue;  // "LN$FC" only groups by constraint; it is no element of the object tree
        }
        const std::string_view fc = parts[1];
        if (parts.size() == 3) {
            const std::string_view top = parts[2];
            const auto byFc = logicalNode.elementsByFc.find(std::string(fc));
            std::vector<std::string>& underFc = byFc != logicalNode.elementsByFc.end()
                                                    ? byFc->second
                                                    : logicalNode.elementsByFc[std::string(fc)];
            child.assign(logicalNodeName).push_back('$');
            appendOnce(seen, child, fc, underFc, top);
            // Control blocks of reports and GOOSE are no data objects.
            if (fc != "RP" && fc != "BR" && fc != "GO") {
                appendOnce(seen, logicalNodeName, "$$", logicalNode.dataObjects, top);
            }
        }
        // Paths leave the FC out, so one data object seen under several constraints is one element.
        parentPath.assign(logicalNodeName);
        for (size_t i = 2; i + 1 < parts.size(); ++i) {
            parentPath.push_back('.');
            parentPath.append(parts[i]);
        }
        path.assign(parentPath).push_back('.');
        path.append(parts.back());
        childrenByPath_.try_emplace(path);
        child.assign(parts.back()).push_back('[');
        child.append(fc).push_back(']');
        const auto parent = childrenByPath_.find(parentPath);
        appendOnce(seen, parentPath, std::string_view(),
                   parent != childrenByPath_.end() ? parent->second : childrenByPath_[parentPath], child);
    }
}

const DirectoryIndex::LogicalNode* DirectoryIndex::findLogicalNode(std::string_view name) const {
    const auto it = nodesByName_.find(std::string(name));
    return it == nodesByName_.end() ? nullptr : &it->second;
}

const std::vector<std::string>* DirectoryIndex::dataObjects(std::string_view logicalNode) const {
    const LogicalNode* node = findLogicalNode(logicalNode);
    return node == nullptr ? nullptr : &node->dataObjects;
}

const std::vector<std::string>* DirectoryIndex::elementsUnder(std::string_view logicalNode,
                                                              std::string_view fc) const {
    static const std::vector<std::string> kNone;
    const LogicalNode* node = findLogicalNode(logicalNode);
    if (node == nullptr) {
        return nullptr;
    }
    const auto it = node->elementsByFc.find(std::string(fc));
    return it == node->elementsByFc.end() ? &kNone : &it->second;
}

const std::vector<std::string>* DirectoryIndex::children(const std::string& dottedPath) const {
    const auto it = childrenByPath_.find(dottedPath);
    return it == childrenByPath_.end() ? nullptr : &it->second;
}

}  // namespace iecstack::client
