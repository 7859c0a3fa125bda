#include "directory_index.h"

#include <unordered_set>

#include "mapping/member_reference.h"

namespace iecstack::client {

namespace {

// Appends `entry` unless `list` (named by `listKey`) already holds it. The keys of every list share one
// set that lives only while the index is built.
void appendOnce(std::unordered_set<std::string>& seen, const std::string& listKey,
                std::vector<std::string>& list, std::string entry) {
    if (seen.insert(listKey + '\n' + entry).second) {
        list.push_back(std::move(entry));
    }
}

}  // namespace

std::vector<std::string> DirectoryIndex::logicalNodesIn(const std::vector<std::string>& names) {
    std::vector<std::string> nodes;
    std::unordered_set<std::string_view> seen;
    for (const std::string& name : names) {
        if (!name.empty() && name.find('$') == std::string::npos && seen.insert(name).second) {
            nodes.push_back(name);
        }
    }
    return nodes;
}

DirectoryIndex::DirectoryIndex(const std::vector<std::string>& names) : logicalNodes_(logicalNodesIn(names)) {
    std::unordered_set<std::string> seen;
    std::string parentPath;
    for (const std::string& name : names) {
        const std::vector<std::string_view> parts = mapping::itemNameParts(name);
        if (parts.front().empty()) {
            continue;
        }
        const std::string logicalNodeName(parts.front());
        LogicalNode& logicalNode = nodesByName_[logicalNodeName];
        if (parts.size() == 1) {
            continue;
        }
        if (parts.size() == 2) {
            continue;  // "LN$FC" only groups by constraint; it is no element of the object tree
        }
        const std::string_view fc = parts[1];
        if (parts.size() == 3) {
            const std::string top(parts[2]);
            const std::string fcName(fc);
            appendOnce(seen, logicalNodeName + '$' + fcName, logicalNode.elementsByFc[fcName], top);
            // Control blocks of reports and GOOSE are no data objects.
            if (fc != "RP" && fc != "BR" && fc != "GO") {
                appendOnce(seen, logicalNodeName + "$$", logicalNode.dataObjects, top);
            }
        }
        // Paths leave the FC out, so one data object seen under several constraints is one element.
        parentPath = logicalNodeName;
        for (size_t i = 2; i + 1 < parts.size(); ++i) {
            parentPath.push_back('.');
            parentPath.append(parts[i]);
        }
        childrenByPath_.try_emplace(parentPath + '.' + std::string(parts.back()));
        std::string child(parts.back());
        child.push_back('[');
        child.append(fc);
        child.push_back(']');
        appendOnce(seen, parentPath, childrenByPath_[parentPath], std::move(child));
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

const std::vector<std::string>* DirectoryIndex::children(std::string_view dottedPath) const {
    const auto it = childrenByPath_.find(std::string(dottedPath));
    return it == childrenByPath_.end() ? nullptr : &it->second;
}

}  // namespace iecstack::client
