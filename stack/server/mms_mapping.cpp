#include "server/mms_mapping.h"

#include <algorithm>

namespace iecstack::server {

mms::TypeSpec typeOf(const ModelNode& node) {
    mms::TypeSpec t;
    switch (node.kind) {
        case ModelNode::Kind::Structure:
            t.type = MMS_STRUCTURE;
            t.components.reserve(node.children.size());
            for (const auto& c : node.children) {
                t.components.push_back({c->name, typeOf(*c)});
            }
            return t;
        case ModelNode::Kind::Array:
            t.type = MMS_ARRAY;
            t.size = static_cast<int32_t>(node.children.size());
            if (!node.children.empty()) {
                t.elementType.push_back(typeOf(*node.children.front()));
            }
            return t;
        case ModelNode::Kind::Basic:
            break;
    }
    t.size = node.size;
    switch (node.basic) {
        case BasicType::Boolean:
            t.type = MMS_BOOLEAN;
            t.size = 0;
            break;
        case BasicType::Integer:
            t.type = MMS_INTEGER;
            break;
        case BasicType::Unsigned:
            t.type = MMS_UNSIGNED;
            break;
        case BasicType::Float:
            t.type = MMS_FLOAT;
            t.size = 0;
            t.formatWidth = node.size == 64 ? 64 : 32;
            t.exponentWidth = node.size == 64 ? 11 : 8;
            break;
        case BasicType::BitString:
            t.type = MMS_BIT_STRING;
            break;
        case BasicType::OctetString:
            t.type = MMS_OCTET_STRING;
            break;
        case BasicType::VisibleString:
            t.type = MMS_VISIBLE_STRING;
            break;
        case BasicType::MmsString:
            t.type = MMS_STRING;
            break;
        case BasicType::UtcTime:
            t.type = MMS_UTC_TIME;
            t.size = 0;
            break;
        case BasicType::BinaryTime:
            t.type = MMS_BINARY_TIME;
            t.binaryTimeWithDate = node.size != 0;
            t.size = 0;
            break;
    }
    return t;
}

MmsValue valueOf(const ModelNode& node) {
    if (node.kind == ModelNode::Kind::Basic) {
        return node.value;
    }
    std::vector<MmsValue> elements;
    elements.reserve(node.children.size());
    for (const auto& c : node.children) {
        elements.push_back(valueOf(*c));
    }
    return node.kind == ModelNode::Kind::Array ? MmsValue::array(std::move(elements))
                                               : MmsValue::structure(std::move(elements));
}

namespace {

bool fitsSize(int size, size_t length) {
    return size < 0 ? length <= static_cast<size_t>(-size) : length == static_cast<size_t>(size);
}

bool fitsWidth(bool isSigned, int width, const MmsValue& value) {
    if (width <= 0 || width >= 64) {
        return true;
    }
    if (isSigned) {
        int64_t v = value.toInt64();
        int64_t limit = int64_t{1} << (width - 1);
        return v >= -limit && v < limit;
    }
    return value.toUint64() < (uint64_t{1} << width);
}

}  // namespace

Conformance checkConformance(const ModelNode& node, const MmsValue& value) {
    if (node.kind != ModelNode::Kind::Basic) {
        MmsType expected = node.kind == ModelNode::Kind::Array ? MMS_ARRAY : MMS_STRUCTURE;
        if (value.type() != expected || value.elements().size() != node.children.size()) {
            return Conformance::TypeMismatch;
        }
        Conformance worst = Conformance::Conforms;
        for (size_t i = 0; i < node.children.size(); ++i) {
            Conformance c = checkConformance(*node.children[i], value.elements()[i]);
            if (c == Conformance::TypeMismatch) {
                return c;
            }
            if (c != Conformance::Conforms) {
                worst = c;
            }
        }
        return worst;
    }
    switch (node.basic) {
        case BasicType::Boolean:
            return value.type() == MMS_BOOLEAN ? Conformance::Conforms : Conformance::TypeMismatch;
        case BasicType::Integer:
            if (value.type() != MMS_INTEGER) {
                return Conformance::TypeMismatch;
            }
            if (node.allowedValues && std::find(node.allowedValues->begin(), node.allowedValues->end(),
                                                value.toInt64()) == node.allowedValues->end()) {
                return Conformance::ValueInvalid;
            }
            return fitsWidth(true, node.size, value) ? Conformance::Conforms : Conformance::ValueInvalid;
        case BasicType::Unsigned:
            if (value.type() != MMS_UNSIGNED) {
                return Conformance::TypeMismatch;
            }
            return fitsWidth(false, node.size, value) ? Conformance::Conforms : Conformance::ValueInvalid;
        case BasicType::Float:
            return value.type() == MMS_FLOAT ? Conformance::Conforms : Conformance::TypeMismatch;
        case BasicType::BitString:
            if (value.type() != MMS_BIT_STRING) {
                return Conformance::TypeMismatch;
            }
            return fitsSize(node.size, value.bits().bitCount()) ? Conformance::Conforms
                                                                : Conformance::ValueInvalid;
        case BasicType::OctetString:
            if (value.type() != MMS_OCTET_STRING) {
                return Conformance::TypeMismatch;
            }
            return fitsSize(node.size, value.octets().size()) ? Conformance::Conforms
                                                              : Conformance::ValueInvalid;
        case BasicType::VisibleString:
        case BasicType::MmsString:
            if (value.type() != (node.basic == BasicType::MmsString ? MMS_STRING : MMS_VISIBLE_STRING)) {
                return Conformance::TypeMismatch;
            }
            return fitsSize(node.size, value.text().size()) ? Conformance::Conforms
                                                            : Conformance::ValueInvalid;
        case BasicType::UtcTime:
            return value.type() == MMS_UTC_TIME ? Conformance::Conforms : Conformance::TypeMismatch;
        case BasicType::BinaryTime:
            if (value.type() != MMS_BINARY_TIME) {
                return Conformance::TypeMismatch;
            }
            return value.binaryTimeHasDate() == (node.size != 0) ? Conformance::Conforms
                                                                 : Conformance::TypeMismatch;
    }
    return Conformance::TypeMismatch;
}

void storeValue(DataModel& model, ModelNode& node, const MmsValue& value) {
    if (node.kind == ModelNode::Kind::Basic) {
        if (node.basic == BasicType::Float && value.isDoublePrecision() != (node.size == 64)) {
            model.assign(node, node.size == 64 ? MmsValue::floatDouble(value.toDouble())
                                               : MmsValue::floatSingle(static_cast<float>(value.toDouble())));
        } else {
            model.assign(node, value);
        }
        return;
    }
    for (size_t i = 0; i < node.children.size() && i < value.elements().size(); ++i) {
        storeValue(model, *node.children[i], value.elements()[i]);
    }
}

}  // namespace iecstack::server
