#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mms_value.h"

namespace iecstack::mms {

struct TypeComponent;

// The type of a variable as GetVariableAccessAttributes describes it.
struct TypeSpec {
    MmsType type = MMS_BOOLEAN;
    // Bit, octet, visible and MMS strings: the length, negative when variable ("up to |size|").
    // Integer, unsigned and BCD: the width in bits. Array: the number of elements.
    int32_t size = 0;
    uint8_t formatWidth = 0;    // float: total bits (32, 64)
    uint8_t exponentWidth = 0;  // float: exponent bits (8, 11)
    bool binaryTimeWithDate = false;
    bool packed = false;                    // array and structure
    std::vector<TypeComponent> components;  // structure
    std::vector<TypeSpec> elementType;      // array: exactly one

    bool variableLength() const { return size < 0; }
    // Largest length a string may have: |size|.
    uint32_t maxLength() const {
        return size < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(size)) : static_cast<uint32_t>(size);
    }

    friend bool operator==(const TypeSpec& a, const TypeSpec& b);
    friend bool operator!=(const TypeSpec& a, const TypeSpec& b) { return !(a == b); }
};

struct TypeComponent {
    std::string name;
    TypeSpec type;

    friend bool operator==(const TypeComponent& a, const TypeComponent& b) {
        return a.name == b.name && a.type == b.type;
    }
};

}  // namespace iecstack::mms
