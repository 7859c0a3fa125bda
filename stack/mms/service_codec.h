#pragma once
// Service bodies of the MMS codec; not part of the public interface.

#include "decoder.h"

namespace iecstack::mms::detail {

// Lifts a decoded service body into the variant that holds it.
template <typename Variant, typename T>
Decoded<Variant> wrapped(Decoded<T>&& decoded) {
    if (!decoded) {
        return decoded.error();
    }
    return Variant(std::move(*decoded));
}

Decoded<ConfirmedRequestService> decodeRequestService(const Decoder& d, const ber::Element& element);
Decoded<ConfirmedResponseService> decodeResponseService(const Decoder& d, const ber::Element& element);
Decoded<UnconfirmedService> decodeUnconfirmedService(const Decoder& d, const ber::Element& element);

void encodeRequestService(ber::Writer& writer, const ConfirmedRequestService& service);
void encodeResponseService(ber::Writer& writer, const ConfirmedResponseService& service);
void encodeUnconfirmedService(ber::Writer& writer, const UnconfirmedService& service);

}  // namespace iecstack::mms::detail
