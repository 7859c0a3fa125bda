// The MMS PDU envelopes: confirmed, unconfirmed, errors, rejects, initiate and conclude.
#include <iterator>
#include <string>

#include "service_codec.h"

namespace iecstack::mms {

using ber::ctx;
using ber::ctxc;

namespace {

enum PduTag : uint32_t {
    kConfirmedRequest = 0,
    kConfirmedResponse = 1,
    kConfirmedError = 2,
    kUnconfirmed = 3,
    kReject = 4,
    kInitiateRequest = 8,
    kInitiateResponse = 9,
    kInitiateError = 10,
    kConcludeRequest = 11,
    kConcludeResponse = 12,
    kConcludeError = 13,
};
constexpr uint32_t kLastErrorClass = 12;
constexpr uint32_t kLastRejectClass = 11;

using detail::Decoder;
using detail::failure;

Decoded<ServiceError> serviceError(const ber::Element& element) {
    ServiceError error;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element classWrapper, reader.next(ctxc(0)));
    MMS_TRY(ber::Reader classReader, classWrapper.children());
    MMS_TRY(ber::Element errorClass, classReader.next());
    MMS_CHECK(classReader.expectEnd());
    if (errorClass.tag.cls != ber::TagClass::Context || errorClass.tag.number > kLastErrorClass) {
        return failure(Error::UnexpectedTag);
    }
    error.errorClass = static_cast<ErrorClass>(errorClass.tag.number);
    MMS_TRY(error.code, errorClass.toInteger());
    MMS_TRY(auto additionalCode, reader.optional(ctx(1)));
    if (additionalCode) {
        MMS_TRY(error.additionalCode, additionalCode->toInteger());
    }
    MMS_TRY(auto description, reader.optional(ctx(2)));
    if (description) {
        MMS_TRY(std::string_view text, description->toString());
        error.additionalDescription = std::string(text);
    }
    // Service-specific details are not kept.
    MMS_TRY(auto specific, reader.optional(ctxc(3)));
    (void)specific;
    MMS_CHECK(reader.expectEnd());
    return error;
}

void encodeServiceError(ber::Writer& w, ber::Tag tag, const ServiceError& error) {
    w.begin(tag);
    w.begin(ctxc(0));
    w.integer(ctx(static_cast<uint32_t>(error.errorClass)), error.code);
    w.end();
    if (error.additionalCode) {
        w.integer(ctx(1), *error.additionalCode);
    }
    if (error.additionalDescription) {
        w.string(ctx(2), *error.additionalDescription);
    }
    w.end();
}

Decoded<int32_t> boundedInteger(const Decoder& d, const ber::Element& element, int64_t low, int64_t high) {
    MMS_TRY(int32_t value, d.integer32(element));
    if (value < low || value > high) {
        return failure(Error::BadInteger);
    }
    return value;
}

Decoded<BitString> bitString(const ber::Element& element) {
    MMS_TRY(ber::BitString bits, element.toBitString());
    return BitString(bits.bitCount(), bits.octets.toBytes());
}

Decoded<InitiateParameters> initiate(const Decoder& d, const ber::Element& element) {
    InitiateParameters p;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(auto localDetail, reader.optional(ctx(0)));
    if (localDetail) {
        MMS_TRY(p.localDetail, d.integer32(*localDetail));
    }
    MMS_TRY(ber::Element calling, reader.next(ctx(1)));
    MMS_TRY(p.maxServOutstandingCalling, boundedInteger(d, calling, INT16_MIN, INT16_MAX));
    MMS_TRY(ber::Element called, reader.next(ctx(2)));
    MMS_TRY(p.maxServOutstandingCalled, boundedInteger(d, called, INT16_MIN, INT16_MAX));
    MMS_TRY(auto nesting, reader.optional(ctx(3)));
    if (nesting) {
        MMS_TRY(p.dataStructureNestingLevel, boundedInteger(d, *nesting, INT8_MIN, INT8_MAX));
    }
    MMS_TRY(ber::Element detail, reader.next(ctxc(4)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(ber::Reader fields, detail.children());
    MMS_TRY(ber::Element version, fields.next(ctx(0)));
    MMS_TRY(p.version, boundedInteger(d, version, INT16_MIN, INT16_MAX));
    MMS_TRY(ber::Element parameters, fields.next(ctx(1)));
    MMS_TRY(p.parameterSupport, bitString(parameters));
    MMS_TRY(ber::Element services, fields.next(ctx(2)));
    MMS_TRY(p.servicesSupported, bitString(services));
    // Anything after the services (companion-standard extensions) is not used here.
    return p;
}

void encodeInitiate(ber::Writer& w, ber::Tag tag, const InitiateParameters& p) {
    w.begin(tag);
    if (p.localDetail) {
        w.integer(ctx(0), *p.localDetail);
    }
    w.integer(ctx(1), p.maxServOutstandingCalling);
    w.integer(ctx(2), p.maxServOutstandingCalled);
    if (p.dataStructureNestingLevel) {
        w.integer(ctx(3), *p.dataStructureNestingLevel);
    }
    w.begin(ctxc(4));
    w.integer(ctx(0), p.version);
    w.bitString(ctx(1), ByteView(p.parameterSupport.octets()), p.parameterSupport.bitCount());
    w.bitString(ctx(2), ByteView(p.servicesSupported.octets()), p.servicesSupported.bitCount());
    w.end();
    w.end();
}

Decoded<Reject> reject(const Decoder& d, const ber::Element& element) {
    Reject r;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(auto invokeId, reader.optional(ctx(0)));
    if (invokeId) {
        MMS_TRY(r.originalInvokeId, d.unsigned32(*invokeId));
    }
    MMS_TRY(ber::Element reason, reader.next());
    MMS_CHECK(reader.expectEnd());
    if (reason.tag.cls != ber::TagClass::Context || reason.tag.constructed || reason.tag.number < 1 ||
        reason.tag.number > kLastRejectClass) {
        return failure(Error::UnexpectedTag);
    }
    r.rejectClass = static_cast<RejectClass>(reason.tag.number);
    MMS_TRY(r.reason, reason.toInteger());
    return r;
}

// Decoding of one PDU; remembers what it learnt so that a failure can still be rejected properly.
class PduDecoder {
public:
    explicit PduDecoder(const DecodeLimits& limits) : d_(limits) {}

    Decoded<Pdu> decode(ByteView bytes) {
        MMS_TRY(ber::Element pdu, ber::decodeSingle(bytes, d_.limits().maxNesting));
        if (pdu.tag.cls != ber::TagClass::Context) {
            return failure(Error::UnknownPduType);
        }
        const uint32_t type = pdu.tag.number;
        const bool constructed = pdu.tag.constructed;
        if (type == kConcludeRequest || type == kConcludeResponse) {
            if (constructed || !pdu.content.empty()) {
                pduType = type;
                return failure(Error::UnexpectedTag);
            }
            pduType = type;
            return type == kConcludeRequest ? Pdu(ConcludeRequest{}) : Pdu(ConcludeResponse{});
        }
        if (!constructed || type == 5 || type == 6 || type == 7 || type > kConcludeError) {
            return failure(Error::UnknownPduType);
        }
        pduType = type;
        MMS_TRY(ber::Reader reader, pdu.children());
        switch (type) {
            case kConfirmedRequest:
                return confirmed<ConfirmedRequest>(reader, detail::decodeRequestService);
            case kConfirmedResponse:
                return confirmed<ConfirmedResponse>(reader, detail::decodeResponseService);
            case kConfirmedError: {
                ConfirmedError error;
                MMS_TRY(ber::Element id, reader.next(ctx(0)));
                MMS_TRY(error.invokeId, d_.unsigned32(id));
                invokeId = error.invokeId;
                MMS_TRY(auto modifier, reader.optional(ctx(1)));
                if (modifier) {
                    MMS_TRY(error.modifierPosition, d_.unsigned32(*modifier));
                }
                MMS_TRY(ber::Element body, reader.next(ctxc(2)));
                MMS_CHECK(reader.expectEnd());
                MMS_TRY(error.error, serviceError(body));
                return Pdu(std::move(error));
            }
            case kUnconfirmed: {
                MMS_TRY(ber::Element service, reader.next());
                MMS_CHECK(reader.expectEnd());
                MMS_TRY(UnconfirmedService decoded, detail::decodeUnconfirmedService(d_, service));
                return Pdu(UnconfirmedPdu{std::move(decoded)});
            }
            case kReject: {
                MMS_TRY(Reject decoded, reject(d_, pdu));
                return Pdu(decoded);
            }
            case kInitiateRequest: {
                MMS_TRY(InitiateParameters parameters, initiate(d_, pdu));
                return Pdu(InitiateRequest{std::move(parameters)});
            }
            case kInitiateResponse: {
                MMS_TRY(InitiateParameters parameters, initiate(d_, pdu));
                return Pdu(InitiateResponse{std::move(parameters)});
            }
            case kInitiateError: {
                MMS_TRY(ServiceError error, serviceError(pdu));
                return Pdu(InitiateError{std::move(error)});
            }
            default: {
                MMS_TRY(ServiceError error, serviceError(pdu));
                return Pdu(ConcludeError{std::move(error)});
            }
        }
    }

    std::optional<uint32_t> pduType;
    std::optional<uint32_t> invokeId;

private:
    // Requests and responses share their frame: the invokeID, then one service element.
    template <typename Confirmed, typename DecodeService>
    Decoded<Pdu> confirmed(ber::Reader& reader, DecodeService decodeService) {
        Confirmed pdu;
        MMS_TRY(ber::Element id, reader.next(ber::tags::Integer));
        MMS_TRY(pdu.invokeId, d_.unsigned32(id));
        invokeId = pdu.invokeId;
        MMS_TRY(ber::Element service, reader.next());
        MMS_CHECK(reader.expectEnd());
        MMS_TRY(pdu.service, decodeService(d_, service));
        return Pdu(std::move(pdu));
    }

    Decoder d_;
};

struct PduEncoder {
    ber::Writer& w;

    void operator()(const ConfirmedRequest& p) {
        w.begin(ctxc(kConfirmedRequest));
        w.unsignedInteger(ber::tags::Integer, p.invokeId);
        detail::encodeRequestService(w, p.service);
        w.end();
    }
    void operator()(const ConfirmedResponse& p) {
        w.begin(ctxc(kConfirmedResponse));
        w.unsignedInteger(ber::tags::Integer, p.invokeId);
        detail::encodeResponseService(w, p.service);
        w.end();
    }
    void operator()(const ConfirmedError& p) {
        w.begin(ctxc(kConfirmedError));
        w.unsignedInteger(ctx(0), p.invokeId);
        if (p.modifierPosition) {
            w.unsignedInteger(ctx(1), *p.modifierPosition);
        }
        encodeServiceError(w, ctxc(2), p.error);
        w.end();
    }
    void operator()(const UnconfirmedPdu& p) {
        w.begin(ctxc(kUnconfirmed));
        detail::encodeUnconfirmedService(w, p.service);
        w.end();
    }
    void operator()(const Reject& p) {
        w.begin(ctxc(kReject));
        if (p.originalInvokeId) {
            w.unsignedInteger(ctx(0), *p.originalInvokeId);
        }
        w.integer(ctx(static_cast<uint32_t>(p.rejectClass)), p.reason);
        w.end();
    }
    void operator()(const InitiateRequest& p) { encodeInitiate(w, ctxc(kInitiateRequest), p.parameters); }
    void operator()(const InitiateResponse& p) { encodeInitiate(w, ctxc(kInitiateResponse), p.parameters); }
    void operator()(const InitiateError& p) { encodeServiceError(w, ctxc(kInitiateError), p.error); }
    void operator()(const ConcludeRequest&) { w.null(ctx(kConcludeRequest)); }
    void operator()(const ConcludeResponse&) { w.null(ctx(kConcludeResponse)); }
    void operator()(const ConcludeError& p) { encodeServiceError(w, ctxc(kConcludeError), p.error); }
};

}  // namespace

Result<Pdu, PduDecodeFailure> decodePdu(ByteView bytes, const DecodeLimits& limits) {
    PduDecoder decoder(limits);
    auto decoded = decoder.decode(bytes);
    if (!decoded) {
        return PduDecodeFailure{decoded.error(), decoder.pduType, decoder.invokeId};
    }
    return std::move(*decoded);
}

Bytes encodePdu(const Pdu& pdu) {
    ber::Writer writer;
    std::visit(PduEncoder{writer}, pdu);
    return writer.take();
}

std::string describe(const PduDecodeFailure& f) {
    std::string text = errorName(f.failure.error);
    if (f.failure.error == Error::Malformed) {
        text += std::string(" (") + ber::errorName(f.failure.berError) + ")";
    }
    static const char* const kPduNames[] = {"confirmed request",
                                            "confirmed response",
                                            "confirmed error",
                                            "unconfirmed PDU",
                                            "reject",
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            "initiate request",
                                            "initiate response",
                                            "initiate error",
                                            "conclude request",
                                            "conclude response",
                                            "conclude error"};
    if (f.pduType && *f.pduType < std::size(kPduNames) && kPduNames[*f.pduType] != nullptr) {
        text += std::string(" in ") + kPduNames[*f.pduType];
    }
    if (f.invokeId) {
        text += " (invokeID " + std::to_string(*f.invokeId) + ")";
    }
    return text;
}

Reject rejectFor(const PduDecodeFailure& f) {
    Reject r;
    r.originalInvokeId = f.invokeId;
    if (!f.pduType) {
        r.rejectClass = RejectClass::PduError;
        r.reason = static_cast<int64_t>(PduErrorReason::UnknownPduType);
        return r;
    }
    // Broken framing or a service that does not exist make the PDU itself invalid; only a well-framed
    // request with a bad argument is rejected as a request.
    if (f.failure.error == Error::InvalidServiceTag || f.failure.error == Error::Malformed || !f.invokeId) {
        r.rejectClass = RejectClass::PduError;
        r.reason = static_cast<int64_t>(PduErrorReason::InvalidPdu);
        return r;
    }
    switch (*f.pduType) {
        case kConfirmedRequest:
            r.rejectClass = RejectClass::ConfirmedRequest;
            r.reason = static_cast<int64_t>(f.failure.error == Error::NestingTooDeep
                                                ? RequestRejectReason::MaxRecursionExceeded
                                                : RequestRejectReason::InvalidArgument);
            return r;
        case kConfirmedResponse:
            r.rejectClass = RejectClass::ConfirmedResponse;
            r.reason = static_cast<int64_t>(f.failure.error == Error::NestingTooDeep
                                                ? ResponseRejectReason::MaxRecursionExceeded
                                                : ResponseRejectReason::InvalidResult);
            return r;
        default:
            r.rejectClass = RejectClass::PduError;
            r.reason = static_cast<int64_t>(PduErrorReason::InvalidPdu);
            return r;
    }
}

Reject rejectUnrecognizedService(uint32_t invokeId) {
    return Reject{invokeId, RejectClass::ConfirmedRequest,
                  static_cast<int64_t>(RequestRejectReason::UnrecognizedService)};
}

BitString servicesSupported(std::initializer_list<ServiceSupport> services) {
    BitString result(kServiceSupportBits);
    for (ServiceSupport service : services) {
        result.setBit(static_cast<size_t>(service), true);
    }
    return result;
}

BitString parameterSupport(std::initializer_list<ParameterSupport> parameters) {
    BitString result(kParameterSupportBits);
    for (ParameterSupport parameter : parameters) {
        result.setBit(static_cast<size_t>(parameter), true);
    }
    return result;
}

}  // namespace iecstack::mms
