#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pugi {
class xml_node;
}

namespace korvan::scl {

// The type templates of a file being written. A type is described by its element name, its own
// attributes and its children; its id is derived from that description alone (a hint, then a hash of
// the description), so one structure always gets one id and types that differ in anything get
// different ids, whatever device or order they came from.
class TemplateSet {
public:
    struct Child {
        std::string element;                                          // "DA", "BDA", "DO", "SDO", "EnumVal"
        std::vector<std::pair<std::string, std::string>> attributes;  // in the order written
        std::string text;                                             // EnumVal literal
    };

    // The id of the type, added when it is new. `kind` is the element ("LNodeType", "DOType",
    // "DAType", "EnumType"), `hint` starts the id ("MMXU", "SPS", "DA").
    std::string add(const std::string& kind, const std::string& hint,
                    const std::vector<std::pair<std::string, std::string>>& attributes,
                    const std::vector<Child>& children);

    size_t size() const { return types_.size(); }
    // Appends the types as elements of DataTypeTemplates, kinds in the order files keep them.
    void write(pugi::xml_node templates) const;

private:
    struct Type {
        std::string kind, id;
        std::vector<std::pair<std::string, std::string>> attributes;
        std::vector<Child> children;
    };
    std::map<std::string, size_t> byDescription_;  // description -> index in types_
    std::map<std::string, size_t> idsTaken_;
    std::vector<Type> types_;
};

}  // namespace korvan::scl
