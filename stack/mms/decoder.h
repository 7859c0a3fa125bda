#pragma once
// Pieces of the MMS codec shared by its source files; not part of the public interface.

#include <string>
#include <vector>

#include "ber/reader.h"
#include "ber/writer.h"
#include "mms/codec.h"

namespace iecstack::mms::detail {

DecodeFailure fromBer(ber::Error error);
inline DecodeFailure fromBer(DecodeFailure failure) {
    return failure;
}
inline DecodeFailure failure(Error error) {
    return DecodeFailure{error, ber::Error::Truncated};
}

#define MMS_CONCAT_INNER(a, b) a##b
#define MMS_CONCAT(a, b) MMS_CONCAT_INNER(a, b)
// Evaluates a Result-returning expression; on failure returns its error (as a DecodeFailure) from
// the calling function, otherwise moves the value into `target`.
#define MMS_TRY(target, expression)                                                    \
    auto MMS_CONCAT(tried_, __LINE__) = (expression);                                  \
    if (!MMS_CONCAT(tried_, __LINE__)) {                                               \
        return ::iecstack::mms::detail::fromBer(MMS_CONCAT(tried_, __LINE__).error()); \
    }                                                                                  \
    target = std::move(*MMS_CONCAT(tried_, __LINE__))
#define MMS_CHECK(expression)                                         \
    do {                                                              \
        auto status_ = (expression);                                  \
        if (!status_) {                                               \
            return ::iecstack::mms::detail::fromBer(status_.error()); \
        }                                                             \
    } while (0)

class Decoder {
public:
    explicit Decoder(const DecodeLimits& limits) : limits_(limits) {}

    const DecodeLimits& limits() const { return limits_; }

    Decoded<MmsValue> data(const ber::Element& element) const;
    // A Data value or a failure [0] DataAccessError.
    Decoded<MmsValue> accessResult(const ber::Element& element) const;
    Decoded<std::vector<MmsValue>> accessResults(const ber::Element& list) const;
    Decoded<std::vector<MmsValue>> dataList(const ber::Element& list) const;

    Decoded<std::string> identifier(const ber::Element& element) const;
    Decoded<ObjectName> objectName(const ber::Element& element) const;
    // An element that wraps exactly one ObjectName (an explicit tag around the choice).
    Decoded<ObjectName> wrappedObjectName(const ber::Element& element) const;
    Decoded<std::vector<AccessSelection>> alternateAccess(const ber::Element& element) const;
    Decoded<VariableAccess> variableAccess(const ber::Element& element) const;
    Decoded<std::vector<VariableAccess>> variableList(const ber::Element& list) const;
    Decoded<VariableAccessSpec> accessSpec(const ber::Element& element) const;
    Decoded<TypeSpec> typeSpec(const ber::Element& element) const;
    Decoded<TypeComponent> typeComponent(const ber::Element& element) const;

    Decoded<uint32_t> unsigned32(const ber::Element& element) const;
    Decoded<int32_t> integer32(const ber::Element& element) const;

    // The elements of a constructed element, each decoded by `decodeOne`, at most maxListLength.
    template <typename T, typename DecodeOne>
    Decoded<std::vector<T>> listOf(const ber::Element& list, DecodeOne&& decodeOne) const {
        MMS_TRY(ber::Reader reader, list.children());
        std::vector<T> items;
        items.reserve(countElements(reader));
        while (!reader.atEnd()) {
            if (items.size() >= limits_.maxListLength) {
                return failure(Error::TooManyElements);
            }
            MMS_TRY(ber::Element element, reader.next());
            MMS_TRY(T item, decodeOne(element));
            items.push_back(std::move(item));
        }
        return items;
    }

private:
    size_t countElements(ber::Reader reader) const;
    Decoded<AccessSelection> selection(const ber::Element& element, bool nested) const;

    DecodeLimits limits_;
};

void encodeIdentifier(ber::Writer& writer, ber::Tag tag, const std::string& text);
void encodeObjectName(ber::Writer& writer, const ObjectName& name);
void encodeVariableList(ber::Writer& writer, ber::Tag tag, const std::vector<VariableAccess>& variables);
void encodeAccessSpec(ber::Writer& writer, const VariableAccessSpec& spec);
void encodeTypeSpec(ber::Writer& writer, const TypeSpec& type);
void encodeAccessResult(ber::Writer& writer, const MmsValue& value);

}  // namespace iecstack::mms::detail
