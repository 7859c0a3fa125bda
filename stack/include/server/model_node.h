#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mms/value.h"

namespace iecstack::server {

// Leaf types of the served model, as they appear in type descriptions.
enum class BasicType : uint8_t {
    Boolean,
    Integer,
    Unsigned,
    Float,
    BitString,
    OctetString,
    VisibleString,
    MmsString,
    UtcTime,
    BinaryTime,
};

// One element of a logical node's variable: the node itself, a functional-constraint component, a data
// object, an attribute, an array or an array element. The tree is built once at start-up; afterwards only
// the values of basic nodes change (under DataModel's value lock).
struct ModelNode {
    enum class Kind : uint8_t { Structure, Array, Basic };

    std::string name;  // empty for array elements
    Kind kind = Kind::Structure;
    BasicType basic = BasicType::Boolean;
    // Integer and unsigned: width in bits. Float: 32 or 64. Bit, octet and character strings: the size,
    // negative when it is an upper bound. Binary time: 1 when the date is included.
    int size = 0;
    // Two-letter functional constraint; empty on the logical node itself.
    std::string fc;
    ModelNode* parent = nullptr;
    std::vector<std::unique_ptr<ModelNode>> children;  // components, or array elements
    MmsValue value;                                    // basic nodes only
    // What a change of the value triggers in reports, as the type says (kDataChange, ...).
    static constexpr uint8_t kDataChange = 1, kQualityChange = 2, kDataUpdate = 4;
    uint8_t triggers = 0;
    // Enumerations: the ordinals their type defines; a value outside them is invalid. Null otherwise.
    std::shared_ptr<const std::vector<int>> allowedValues;
    // Settings under SG: the value of each setting group, group 1 first; empty for everything else.
    std::vector<MmsValue> groupValues;
    // While a substitution holds the attribute: the value the process last gave it (DataModel::hold).
    std::unique_ptr<MmsValue> processValue;

    ModelNode* child(const std::string& childName) const;
    ModelNode* addChild(std::unique_ptr<ModelNode> node);
    // Item identifier inside the domain: "GGIO1$MX$AnIn1$mag$f". Array elements have no name of their
    // own and appear with their index as in configuration files ("MHAI1$MX$HA$phsAHar(7)$cVal"); such
    // texts are for messages, since on the wire elements are reached by alternate access.
    std::string itemId() const;
    // Number of basic attributes below this node (the node itself when it is basic).
    size_t attributeCount() const;
};

}  // namespace iecstack::server
