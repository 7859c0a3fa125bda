#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mms/object_name.h"

namespace iecstack::mms {

// One step into a structured variable: a component by name, an array element, a range of elements,
// or all elements.
struct AccessSelection {
    enum class Kind : uint8_t { Component, Index, IndexRange, AllElements };

    Kind kind = Kind::Component;
    std::string component;
    uint32_t index = 0;  // Index, and the first index of IndexRange
    uint32_t count = 0;  // IndexRange only

    static AccessSelection named(std::string name) { return {Kind::Component, std::move(name), 0, 0}; }
    static AccessSelection at(uint32_t i) { return {Kind::Index, {}, i, 0}; }
    static AccessSelection range(uint32_t first, uint32_t n) { return {Kind::IndexRange, {}, first, n}; }
    static AccessSelection all() { return {Kind::AllElements, {}, 0, 0}; }

    friend bool operator==(const AccessSelection& a, const AccessSelection& b) {
        return a.kind == b.kind && a.component == b.component && a.index == b.index && a.count == b.count;
    }
    friend bool operator!=(const AccessSelection& a, const AccessSelection& b) { return !(a == b); }
};

// A variable by name, narrowed by a path of selections applied outermost first ("mag", then "f"
// reads mag.f). An empty path means the whole variable.
struct VariableAccess {
    ObjectName name;
    std::vector<AccessSelection> path;

    friend bool operator==(const VariableAccess& a, const VariableAccess& b) {
        return a.name == b.name && a.path == b.path;
    }
    friend bool operator!=(const VariableAccess& a, const VariableAccess& b) { return !(a == b); }
};

// Which variables a Read, Write or report is about: an explicit list, or a named variable list
// (a data set, or the report name).
struct VariableAccessSpec {
    enum class Kind : uint8_t { ListOfVariable, VariableListName };

    Kind kind = Kind::ListOfVariable;
    std::vector<VariableAccess> variables;  // ListOfVariable
    ObjectName listName;                    // VariableListName

    static VariableAccessSpec list(std::vector<VariableAccess> variables) {
        return {Kind::ListOfVariable, std::move(variables), {}};
    }
    static VariableAccessSpec named(ObjectName name) { return {Kind::VariableListName, {}, std::move(name)}; }

    friend bool operator==(const VariableAccessSpec& a, const VariableAccessSpec& b) {
        return a.kind == b.kind && a.variables == b.variables && a.listName == b.listName;
    }
    friend bool operator!=(const VariableAccessSpec& a, const VariableAccessSpec& b) { return !(a == b); }
};

}  // namespace iecstack::mms
