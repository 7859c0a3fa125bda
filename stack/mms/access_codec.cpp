// Names, variable access and type descriptions.
#include "decoder.h"

namespace iecstack::mms::detail {

using ber::ctx;
using ber::ctxc;

namespace {

enum NameTag : uint32_t { kVmdSpecific = 0, kDomainSpecific = 1, kAaSpecific = 2 };

// Selections inside a select-alternate-access step are numbered one lower than the final step's.
enum SelectionTag : uint32_t {
    kNestedComponent = 0,
    kNestedIndex = 1,
    kNestedRange = 2,
    kNestedAll = 3,
    kComponent = 1,
    kIndex = 2,
    kRange = 3,
    kAll = 4,
};
constexpr uint32_t kSelectAlternateAccess = 0;
constexpr uint32_t kNamedAlternateAccess = 5;
constexpr uint32_t kAlternateAccess = 5;
constexpr uint32_t kVariableName = 0;

enum TypeTag : uint32_t {
    kTypeName = 0,
    kTypeArray = 1,
    kTypeStructure = 2,
    kTypeBoolean = 3,
    kTypeBitString = 4,
    kTypeInteger = 5,
    kTypeUnsigned = 6,
    kTypeFloat = 7,
    kTypeOctetString = 9,
    kTypeVisibleString = 10,
    kTypeGeneralizedTime = 11,
    kTypeBinaryTime = 12,
    kTypeBcd = 13,
    kTypeObjectId = 15,
    kTypeMmsString = 16,
    kTypeUtcTime = 17,
};

}  // namespace

Decoded<uint32_t> Decoder::unsigned32(const ber::Element& element) const {
    MMS_TRY(int64_t value, element.toInteger());
    if (value < 0 || value > int64_t{UINT32_MAX}) {
        return failure(Error::BadInteger);
    }
    return static_cast<uint32_t>(value);
}

Decoded<int32_t> Decoder::integer32(const ber::Element& element) const {
    MMS_TRY(int64_t value, element.toInteger());
    if (value < INT32_MIN || value > INT32_MAX) {
        return failure(Error::BadInteger);
    }
    return static_cast<int32_t>(value);
}

Decoded<std::string> Decoder::identifier(const ber::Element& element) const {
    MMS_TRY(std::string_view text, element.toString());
    if (text.size() > limits_.maxIdentifierLength) {
        return failure(Error::IdentifierTooLong);
    }
    return std::string(text);
}

Decoded<ObjectName> Decoder::objectName(const ber::Element& element) const {
    if (element.tag == ctx(kVmdSpecific) || element.tag == ctx(kAaSpecific)) {
        MMS_TRY(std::string item, identifier(element));
        return element.tag.number == kVmdSpecific ? ObjectName::vmd(std::move(item))
                                                  : ObjectName::association(std::move(item));
    }
    if (element.tag == ctxc(kDomainSpecific)) {
        MMS_TRY(ber::Reader reader, element.children());
        MMS_TRY(ber::Element domainElement, reader.next(ber::tags::VisibleString));
        MMS_TRY(ber::Element itemElement, reader.next(ber::tags::VisibleString));
        MMS_CHECK(reader.expectEnd());
        MMS_TRY(std::string domain, identifier(domainElement));
        MMS_TRY(std::string item, identifier(itemElement));
        return ObjectName::domain(std::move(domain), std::move(item));
    }
    if (element.tag == ctxc(kAaSpecific)) {
        // A responder echoing an association-specific name has been seen to wrap the identifier
        // in a constructed element.
        MMS_TRY(ber::Reader reader, element.children());
        MMS_TRY(ber::Element itemElement, reader.next(ber::tags::VisibleString));
        MMS_CHECK(reader.expectEnd());
        MMS_TRY(std::string item, identifier(itemElement));
        return ObjectName::association(std::move(item));
    }
    return failure(Error::BadObjectName);
}

Decoded<ObjectName> Decoder::wrappedObjectName(const ber::Element& element) const {
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element inner, reader.next());
    MMS_CHECK(reader.expectEnd());
    return objectName(inner);
}

Decoded<AccessSelection> Decoder::selection(const ber::Element& element, bool nested) const {
    const uint32_t base = nested ? 0 : 1;
    const uint32_t number = element.tag.number;
    if (element.tag.cls != ber::TagClass::Context || number < base || number > base + 3) {
        return failure(Error::UnsupportedAccess);
    }
    switch (number - base) {
        case kNestedComponent: {
            MMS_TRY(std::string name, identifier(element));
            return AccessSelection::named(std::move(name));
        }
        case kNestedIndex: {
            MMS_TRY(uint32_t index, unsigned32(element));
            return AccessSelection::at(index);
        }
        case kNestedRange: {
            MMS_TRY(ber::Reader reader, element.children());
            MMS_TRY(ber::Element low, reader.next(ctx(0)));
            MMS_TRY(ber::Element count, reader.next(ctx(1)));
            MMS_CHECK(reader.expectEnd());
            MMS_TRY(uint32_t first, unsigned32(low));
            MMS_TRY(uint32_t n, unsigned32(count));
            return AccessSelection::range(first, n);
        }
        default:
            return AccessSelection::all();
    }
}

Decoded<std::vector<AccessSelection>> Decoder::alternateAccess(const ber::Element& element) const {
    std::vector<AccessSelection> path;
    ber::Element current = element;
    // Each select-alternate-access step holds its selection and a further alternate access; the
    // walk is iterative and the BER depth limit bounds it.
    for (;;) {
        MMS_TRY(ber::Reader reader, current.children());
        MMS_TRY(ber::Element step, reader.next());
        if (!reader.atEnd()) {
            // Several selections side by side: not a single path.
            return failure(Error::UnsupportedAccess);
        }
        if (step.tag == ctxc(kNamedAlternateAccess)) {
            return failure(Error::UnsupportedAccess);
        }
        if (path.size() >= limits().maxListLength) {
            return failure(Error::TooManyElements);
        }
        if (step.tag != ctxc(kSelectAlternateAccess)) {
            MMS_TRY(AccessSelection last, selection(step, false));
            path.push_back(std::move(last));
            return path;
        }
        MMS_TRY(ber::Reader inner, step.children());
        MMS_TRY(ber::Element selected, inner.next());
        MMS_TRY(AccessSelection first, selection(selected, true));
        path.push_back(std::move(first));
        MMS_TRY(ber::Element rest, inner.next(ber::tags::Sequence));
        MMS_CHECK(inner.expectEnd());
        current = rest;
    }
}

Decoded<VariableAccess> Decoder::variableAccess(const ber::Element& element) const {
    if (element.tag != ber::tags::Sequence) {
        return failure(Error::UnexpectedTag);
    }
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element spec, reader.next());
    if (spec.tag != ctxc(kVariableName)) {
        // Addresses, descriptions and scattered access are not used by this stack's peers.
        return failure(Error::UnsupportedAccess);
    }
    VariableAccess access;
    MMS_TRY(access.name, wrappedObjectName(spec));
    MMS_TRY(auto alternate, reader.optional(ctxc(kAlternateAccess)));
    if (alternate) {
        MMS_TRY(access.path, alternateAccess(*alternate));
    }
    MMS_CHECK(reader.expectEnd());
    return access;
}

Decoded<std::vector<VariableAccess>> Decoder::variableList(const ber::Element& list) const {
    return listOf<VariableAccess>(list,
                                  [this](const ber::Element& element) { return variableAccess(element); });
}

Decoded<VariableAccessSpec> Decoder::accessSpec(const ber::Element& element) const {
    if (element.tag == ctxc(0)) {
        MMS_TRY(auto variables, variableList(element));
        return VariableAccessSpec::list(std::move(variables));
    }
    if (element.tag == ctxc(1)) {
        MMS_TRY(ObjectName name, wrappedObjectName(element));
        return VariableAccessSpec::named(std::move(name));
    }
    return failure(Error::UnexpectedTag);
}

Decoded<TypeComponent> Decoder::typeComponent(const ber::Element& element) const {
    if (element.tag != ber::tags::Sequence) {
        return failure(Error::UnexpectedTag);
    }
    MMS_TRY(ber::Reader fields, element.children());
    TypeComponent component;
    MMS_TRY(auto name, fields.optional(ctx(0)));
    if (name) {
        MMS_TRY(component.name, identifier(*name));
    }
    MMS_TRY(ber::Element wrapper, fields.next(ctxc(1)));
    MMS_CHECK(fields.expectEnd());
    MMS_TRY(ber::Reader inner, wrapper.children());
    MMS_TRY(ber::Element componentType, inner.next());
    MMS_CHECK(inner.expectEnd());
    MMS_TRY(component.type, typeSpec(componentType));
    return component;
}

Decoded<TypeSpec> Decoder::typeSpec(const ber::Element& element) const {
    if (element.tag.cls != ber::TagClass::Context) {
        return failure(Error::UnexpectedTag);
    }
    TypeSpec type;
    switch (element.tag.number) {
        case kTypeArray: {
            type.type = MMS_ARRAY;
            MMS_TRY(ber::Reader reader, element.children());
            MMS_TRY(auto packed, reader.optional(ctx(0)));
            if (packed) {
                MMS_TRY(type.packed, packed->toBoolean());
            }
            MMS_TRY(ber::Element count, reader.next(ctx(1)));
            MMS_TRY(uint32_t elements, unsigned32(count));
            if (elements > uint32_t{INT32_MAX}) {
                return failure(Error::BadInteger);
            }
            type.size = static_cast<int32_t>(elements);
            MMS_TRY(ber::Element wrapper, reader.next(ctxc(2)));
            MMS_CHECK(reader.expectEnd());
            MMS_TRY(ber::Reader inner, wrapper.children());
            MMS_TRY(ber::Element elementType, inner.next());
            MMS_CHECK(inner.expectEnd());
            MMS_TRY(TypeSpec decoded, typeSpec(elementType));
            type.elementType.push_back(std::move(decoded));
            return type;
        }
        case kTypeStructure: {
            type.type = MMS_STRUCTURE;
            MMS_TRY(ber::Reader reader, element.children());
            MMS_TRY(auto packed, reader.optional(ctx(0)));
            if (packed) {
                MMS_TRY(type.packed, packed->toBoolean());
            }
            MMS_TRY(ber::Element list, reader.next(ctxc(1)));
            MMS_CHECK(reader.expectEnd());
            MMS_TRY(type.components, listOf<TypeComponent>(list, [this](const ber::Element& element) {
                        return typeComponent(element);
                    }));
            return type;
        }
        case kTypeFloat: {
            type.type = MMS_FLOAT;
            MMS_TRY(ber::Reader reader, element.children());
            MMS_TRY(int64_t format, reader.readInteger());
            MMS_TRY(int64_t exponent, reader.readInteger());
            MMS_CHECK(reader.expectEnd());
            if (format < 0 || format > 255 || exponent < 0 || exponent > 255) {
                return failure(Error::BadInteger);
            }
            type.formatWidth = static_cast<uint8_t>(format);
            type.exponentWidth = static_cast<uint8_t>(exponent);
            return type;
        }
        default:
            break;
    }
    if (element.tag.constructed) {
        return failure(Error::UnsupportedType);
    }
    switch (element.tag.number) {
        case kTypeBoolean:
            type.type = MMS_BOOLEAN;
            return type;
        case kTypeGeneralizedTime:
            type.type = MMS_GENERALIZED_TIME;
            return type;
        case kTypeObjectId:
            type.type = MMS_OBJ_ID;
            return type;
        case kTypeUtcTime:
            type.type = MMS_UTC_TIME;
            return type;
        case kTypeBinaryTime: {
            type.type = MMS_BINARY_TIME;
            MMS_TRY(type.binaryTimeWithDate, element.toBoolean());
            return type;
        }
        case kTypeBitString:
        case kTypeOctetString:
        case kTypeVisibleString:
        case kTypeMmsString:
        case kTypeInteger:
        case kTypeUnsigned:
        case kTypeBcd: {
            const uint32_t n = element.tag.number;
            type.type = n == kTypeBitString       ? MMS_BIT_STRING
                        : n == kTypeOctetString   ? MMS_OCTET_STRING
                        : n == kTypeVisibleString ? MMS_VISIBLE_STRING
                        : n == kTypeMmsString     ? MMS_STRING
                        : n == kTypeInteger       ? MMS_INTEGER
                        : n == kTypeUnsigned      ? MMS_UNSIGNED
                                                  : MMS_BCD;
            MMS_TRY(type.size, integer32(element));
            return type;
        }
        default:
            return failure(Error::UnsupportedType);
    }
}

void encodeIdentifier(ber::Writer& writer, ber::Tag tag, const std::string& text) {
    writer.string(tag, text);
}

void encodeObjectName(ber::Writer& writer, const ObjectName& name) {
    switch (name.scope) {
        case ObjectName::Scope::Vmd:
            writer.string(ctx(kVmdSpecific), name.itemId);
            return;
        case ObjectName::Scope::Domain:
            writer.begin(ctxc(kDomainSpecific));
            writer.string(ber::tags::VisibleString, name.domainId);
            writer.string(ber::tags::VisibleString, name.itemId);
            writer.end();
            return;
        case ObjectName::Scope::Association:
            writer.string(ctx(kAaSpecific), name.itemId);
            return;
    }
}

namespace {

void encodeSelection(ber::Writer& writer, const AccessSelection& selection, bool nested) {
    const uint32_t base = nested ? 0 : 1;
    switch (selection.kind) {
        case AccessSelection::Kind::Component:
            writer.string(ctx(base + kNestedComponent), selection.component);
            return;
        case AccessSelection::Kind::Index:
            writer.unsignedInteger(ctx(base + kNestedIndex), selection.index);
            return;
        case AccessSelection::Kind::IndexRange:
            writer.begin(ctxc(base + kNestedRange));
            writer.unsignedInteger(ctx(0), selection.index);
            writer.unsignedInteger(ctx(1), selection.count);
            writer.end();
            return;
        case AccessSelection::Kind::AllElements:
            writer.null(ctx(base + kNestedAll));
            return;
    }
}

void encodePath(ber::Writer& writer, const std::vector<AccessSelection>& path) {
    // Opened outermost first; every step but the last wraps the rest in a further alternate access.
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        writer.begin(ctxc(kSelectAlternateAccess));
        encodeSelection(writer, path[i], true);
        writer.begin(ber::tags::Sequence);
    }
    encodeSelection(writer, path.back(), false);
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        writer.end();
        writer.end();
    }
}

}  // namespace

void encodeVariableList(ber::Writer& writer, ber::Tag tag, const std::vector<VariableAccess>& variables) {
    writer.begin(tag);
    for (const VariableAccess& variable : variables) {
        writer.begin(ber::tags::Sequence);
        writer.begin(ctxc(kVariableName));
        encodeObjectName(writer, variable.name);
        writer.end();
        if (!variable.path.empty()) {
            writer.begin(ctxc(kAlternateAccess));
            encodePath(writer, variable.path);
            writer.end();
        }
        writer.end();
    }
    writer.end();
}

void encodeAccessSpec(ber::Writer& writer, const VariableAccessSpec& spec) {
    if (spec.kind == VariableAccessSpec::Kind::ListOfVariable) {
        encodeVariableList(writer, ctxc(0), spec.variables);
        return;
    }
    writer.begin(ctxc(1));
    encodeObjectName(writer, spec.listName);
    writer.end();
}

void encodeTypeSpec(ber::Writer& writer, const TypeSpec& type) {
    switch (type.type) {
        case MMS_ARRAY:
            writer.begin(ctxc(kTypeArray));
            if (type.packed) {
                writer.boolean(ctx(0), true);
            }
            writer.unsignedInteger(ctx(1), type.maxLength());
            writer.begin(ctxc(2));
            if (!type.elementType.empty()) {
                encodeTypeSpec(writer, type.elementType.front());
            }
            writer.end();
            writer.end();
            return;
        case MMS_STRUCTURE:
            writer.begin(ctxc(kTypeStructure));
            if (type.packed) {
                writer.boolean(ctx(0), true);
            }
            writer.begin(ctxc(1));
            for (const TypeComponent& component : type.components) {
                writer.begin(ber::tags::Sequence);
                if (!component.name.empty()) {
                    writer.string(ctx(0), component.name);
                }
                writer.begin(ctxc(1));
                encodeTypeSpec(writer, component.type);
                writer.end();
                writer.end();
            }
            writer.end();
            writer.end();
            return;
        case MMS_BOOLEAN:
            writer.null(ctx(kTypeBoolean));
            return;
        case MMS_BIT_STRING:
            writer.integer(ctx(kTypeBitString), type.size);
            return;
        case MMS_INTEGER:
            writer.integer(ctx(kTypeInteger), type.size);
            return;
        case MMS_UNSIGNED:
            writer.integer(ctx(kTypeUnsigned), type.size);
            return;
        case MMS_FLOAT:
            writer.begin(ctxc(kTypeFloat));
            writer.integer(ber::tags::Integer, type.formatWidth);
            writer.integer(ber::tags::Integer, type.exponentWidth);
            writer.end();
            return;
        case MMS_OCTET_STRING:
            writer.integer(ctx(kTypeOctetString), type.size);
            return;
        case MMS_VISIBLE_STRING:
            writer.integer(ctx(kTypeVisibleString), type.size);
            return;
        case MMS_GENERALIZED_TIME:
            writer.null(ctx(kTypeGeneralizedTime));
            return;
        case MMS_BINARY_TIME:
            writer.boolean(ctx(kTypeBinaryTime), type.binaryTimeWithDate);
            return;
        case MMS_BCD:
            writer.integer(ctx(kTypeBcd), type.size);
            return;
        case MMS_OBJ_ID:
            writer.null(ctx(kTypeObjectId));
            return;
        case MMS_STRING:
            writer.integer(ctx(kTypeMmsString), type.size);
            return;
        case MMS_UTC_TIME:
            writer.null(ctx(kTypeUtcTime));
            return;
        case MMS_DATA_ACCESS_ERROR:
            return;
    }
}

}  // namespace iecstack::mms::detail

namespace iecstack::mms {

bool operator==(const TypeSpec& a, const TypeSpec& b) {
    return a.type == b.type && a.size == b.size && a.formatWidth == b.formatWidth &&
           a.exponentWidth == b.exponentWidth && a.binaryTimeWithDate == b.binaryTimeWithDate &&
           a.packed == b.packed && a.components == b.components && a.elementType == b.elementType;
}

}  // namespace iecstack::mms
