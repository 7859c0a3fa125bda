#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace iecstack::client {

// The model of one logical device as its flattened MMS variable names describe it ("LN", "LN$FC",
// "LN$FC$DO", "LN$FC$DO$DA", ...). Built in one pass when the names arrive so that every directory
// question afterwards is a hash lookup: a discovery walk that asks once per element then costs time
// linear in the size of the model instead of rescanning the whole name list on every call.
class DirectoryIndex {
public:
    DirectoryIndex() = default;
    // `names` in server order; that order is kept in every answer.
    explicit DirectoryIndex(const std::vector<std::string>& names);
    // The same from names kept elsewhere.
    explicit DirectoryIndex(const std::vector<std::string_view>& names);

    // Names without '$'.
    const std::vector<std::string>& logicalNodes() const { return logicalNodes_; }
    // The same from the names alone, each once in server order, without building an index.
    static std::vector<std::string> logicalNodesIn(const std::vector<std::string>& names);
    static std::vector<std::string> logicalNodesIn(const std::vector<std::string_view>& names);

    // Null when the logical node does not occur in the names at all.
    const std::vector<std::string>* dataObjects(std::string_view logicalNode) const;
    // Names of the elements listed directly under the constraint ("RP" for unbuffered report control
    // blocks, "BR" buffered, "GO", "LG", ...); empty when there are none, null for an unknown node.
    const std::vector<std::string>* elementsUnder(std::string_view logicalNode, std::string_view fc) const;

    // Direct children of the element at the dotted path ("LN.DO.DA" or "LN.RCB"), each as "name[FC]",
    // one per distinct name and FC. Empty for a leaf, null for an element that does not exist.
    const std::vector<std::string>* children(const std::string& dottedPath) const;

private:
    struct LogicalNode {
        std::vector<std::string> dataObjects;
        std::unordered_map<std::string, std::vector<std::string>> elementsByFc;
    };

    const LogicalNode* findLogicalNode(std::string_view name) const;
    template <typename Names>
    void build(const Names& names);

    std::vector<std::string> logicalNodes_;
    std::unordered_map<std::string, LogicalNode> nodesByName_;
    std::unordered_map<std::string, std::vector<std::string>> childrenByPath_;
};

}  // namespace iecstack::client
