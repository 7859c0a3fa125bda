// The C accessors of mms_type_spec.h.

#include "mms/variable_specification.h"

#include <cstring>

#include "mms/value.h"

namespace iecstack::mms {

std::unique_ptr<sMmsVariableSpecification> makeVariableSpecification(const TypeSpec& type, std::string name) {
    auto node = std::make_unique<sMmsVariableSpecification>();
    node->name = std::move(name);
    node->type = type;
    node->type.components.clear();
    node->type.elementType.clear();
    for (const TypeComponent& c : type.components) {
        node->children.push_back(makeVariableSpecification(c.type, c.name));
    }
    if (type.type == MMS_ARRAY && !type.elementType.empty()) {
        node->children.push_back(makeVariableSpecification(type.elementType.front(), std::string()));
    }
    return node;
}

}  // namespace iecstack::mms

namespace {

bool fitsLength(const iecstack::mms::TypeSpec& t, size_t length) {
    return t.variableLength() ? length <= t.maxLength() : length == t.maxLength();
}

bool fitsWidth(const sMmsVariableSpecification& s, const MmsValue& value) {
    const int width = s.type.size;
    if (width <= 0 || width >= 64) {
        return true;
    }
    if (s.type.type == MMS_INTEGER) {
        const int64_t limit = int64_t{1} << (width - 1);
        return value.toInt64() >= -limit && value.toInt64() < limit;
    }
    return value.toUint64() < (uint64_t{1} << width);
}

bool conforms(const sMmsVariableSpecification& s, const MmsValue& value) {
    if (value.type() != s.type.type) {
        return false;
    }
    switch (s.type.type) {
        case MMS_STRUCTURE:
            if (value.elements().size() != s.children.size()) {
                return false;
            }
            for (size_t i = 0; i < s.children.size(); ++i) {
                if (!conforms(*s.children[i], value.elements()[i])) {
                    return false;
                }
            }
            return true;
        case MMS_ARRAY:
            if (s.children.empty() || value.elements().size() != s.type.maxLength()) {
                return false;
            }
            for (const MmsValue& element : value.elements()) {
                if (!conforms(*s.children.front(), element)) {
                    return false;
                }
            }
            return true;
        case MMS_INTEGER:
        case MMS_UNSIGNED:
            return fitsWidth(s, value);
        case MMS_FLOAT:
            return value.isDoublePrecision() == (s.type.formatWidth == 64);
        case MMS_BIT_STRING:
            return fitsLength(s.type, value.bitCount());
        case MMS_OCTET_STRING:
            return fitsLength(s.type, value.octets().size());
        case MMS_VISIBLE_STRING:
        case MMS_STRING:
            return fitsLength(s.type, value.text().size());
        case MMS_BINARY_TIME:
            return value.binaryTimeHasDate() == s.type.binaryTimeWithDate;
        default:
            return true;
    }
}

}  // namespace

extern "C" {

void MmsVariableSpecification_destroy(MmsVariableSpecification* self) {
    delete self;
}

MmsType MmsVariableSpecification_getType(MmsVariableSpecification* self) {
    return self != nullptr ? self->type.type : MMS_DATA_ACCESS_ERROR;
}

const char* MmsVariableSpecification_getName(MmsVariableSpecification* self) {
    return self != nullptr ? self->name.c_str() : nullptr;
}

int MmsVariableSpecification_getSize(MmsVariableSpecification* self) {
    if (self == nullptr) {
        return 0;
    }
    switch (self->type.type) {
        case MMS_STRUCTURE:
            return static_cast<int>(self->children.size());
        case MMS_FLOAT:
            return self->type.formatWidth;
        case MMS_BINARY_TIME:
            return self->type.binaryTimeWithDate ? 6 : 4;
        default:
            return self->type.size;
    }
}

int MmsVariableSpecification_getExponentWidth(MmsVariableSpecification* self) {
    return self != nullptr && self->type.type == MMS_FLOAT ? self->type.exponentWidth : 0;
}

MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByIndex(
    MmsVariableSpecification* self, int index) {
    if (self == nullptr || self->type.type != MMS_STRUCTURE || index < 0 ||
        static_cast<size_t>(index) >= self->children.size()) {
        return nullptr;
    }
    return self->children[static_cast<size_t>(index)].get();
}

MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByName(MmsVariableSpecification* self,
                                                                               const char* name, int* index) {
    if (self == nullptr || name == nullptr || self->type.type != MMS_STRUCTURE) {
        return nullptr;
    }
    for (size_t i = 0; i < self->children.size(); ++i) {
        if (self->children[i]->name == name) {
            if (index != nullptr) {
                *index = static_cast<int>(i);
            }
            return self->children[i].get();
        }
    }
    return nullptr;
}

MmsVariableSpecification* MmsVariableSpecification_getArrayElementSpecification(
    MmsVariableSpecification* self) {
    return self != nullptr && self->type.type == MMS_ARRAY && !self->children.empty()
               ? self->children.front().get()
               : nullptr;
}

bool MmsVariableSpecification_isValueOfType(MmsVariableSpecification* self, const MmsValue* value) {
    return self != nullptr && value != nullptr && conforms(*self, *value);
}

}  // extern "C"
