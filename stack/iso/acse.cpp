#include "iso/acse.h"

#include "ber/writer.h"

namespace iecstack::iso::acse {

using ber::ctx;
using ber::ctxc;
namespace tags = ber::tags;

namespace {

constexpr ber::Tag kAarq = ber::application(0);
constexpr ber::Tag kAare = ber::application(1);
constexpr ber::Tag kRlrq = ber::application(2);
constexpr ber::Tag kRlre = ber::application(3);
constexpr ber::Tag kAbrt = ber::application(4);

constexpr ber::Tag kApplicationContext = ctxc(1);
constexpr ber::Tag kCalledApTitle = ctxc(2);
constexpr ber::Tag kCalledAeQualifier = ctxc(3);
constexpr ber::Tag kCallingApTitle = ctxc(6);
constexpr ber::Tag kCallingAeQualifier = ctxc(7);
constexpr ber::Tag kSenderRequirements = ctx(10);
constexpr ber::Tag kMechanismName = ctx(11);
constexpr ber::Tag kCallingAuthentication = ctxc(12);
constexpr ber::Tag kPasswordCharstring = ctx(0);
constexpr ber::Tag kUserInformation = ctxc(30);

constexpr ber::Tag kResult = ctxc(2);
constexpr ber::Tag kResultDiagnostic = ctxc(3);
constexpr ber::Tag kServiceUser = ctxc(1);
constexpr ber::Tag kServiceProvider = ctxc(2);

constexpr ber::Tag kReason = ctx(0);
constexpr ber::Tag kAbortSource = ctx(0);

constexpr ber::Tag kSingleAsn1Type = ctxc(0);
constexpr ber::Tag kOctetAligned = ctx(1);

constexpr unsigned kMaxDepth = 8;

struct UserInformation {
    int64_t contextId = 0;
    ByteView data;
};

// One EXTERNAL carrying the MMS PDU by indirect reference to its presentation context.
Result<UserInformation, Error> decodeUserInformation(const ber::Element& element) {
    auto list = element.children();
    if (!list) {
        return Error::BadApdu;
    }
    auto external = list->enter(tags::External);
    if (!external) {
        return Error::BadApdu;
    }
    UserInformation info;
    while (!external->atEnd()) {
        auto item = external->next();
        if (!item) {
            return Error::BadApdu;
        }
        if (item->tag == tags::Integer) {
            auto id = item->toInteger();
            if (!id) {
                return Error::BadApdu;
            }
            info.contextId = *id;
        } else if (item->tag == kSingleAsn1Type || item->tag == kOctetAligned) {
            info.data = item->content;
        }
    }
    if (info.data.empty()) {
        return Error::BadApdu;
    }
    return info;
}

void appendUserInformation(ber::Writer& w, int64_t contextId, ByteView data) {
    w.constructed(kUserInformation, [&] {
        w.constructed(tags::External, [&] {
            w.integer(tags::Integer, contextId);
            w.constructed(kSingleAsn1Type, [&] { w.raw(data); });
        });
    });
}

// AP titles travel in their object-identifier form, AE qualifiers as integers.
bool decodeApTitle(const ber::Element& element, ApTitle& title) {
    auto inner = element.children();
    if (!inner) {
        return false;
    }
    if (!inner->nextIs(tags::ObjectIdentifier)) {
        return true;  // the directory-name form is accepted and ignored
    }
    auto oid = inner->readOid();
    if (!oid) {
        return false;
    }
    title.apTitle = std::move(*oid);
    return true;
}

bool decodeAeQualifier(const ber::Element& element, ApTitle& title) {
    auto inner = element.children();
    if (!inner) {
        return false;
    }
    if (!inner->nextIs(tags::Integer)) {
        return true;
    }
    auto value = inner->readInteger();
    if (!value) {
        return false;
    }
    title.aeQualifier = *value;
    return true;
}

Result<AcsePdu, Error> decodeRequest(ber::Reader& fields) {
    AcsePdu pdu;
    pdu.kind = AcseKind::Request;
    AssociateRequest& request = pdu.request;
    bool haveContext = false;
    bool usesPassword = false;
    std::optional<std::string> password;
    while (!fields.atEnd()) {
        auto field = fields.next();
        if (!field) {
            return Error::BadApdu;
        }
        const ber::Tag tag = field->tag;
        bool ok = true;
        if (tag == kApplicationContext) {
            auto inner = field->children();
            auto oid = inner ? inner->readOid() : ber::Expected<ber::Oid>(inner.error());
            ok = oid.ok();
            if (ok) {
                request.applicationContext = std::move(*oid);
                haveContext = true;
            }
        } else if (tag == kCalledApTitle || tag == kCalledAeQualifier) {
            if (!request.called) {
                request.called = ApTitle{};
            }
            ok = tag == kCalledApTitle ? decodeApTitle(*field, *request.called)
                                       : decodeAeQualifier(*field, *request.called);
        } else if (tag == kCallingApTitle || tag == kCallingAeQualifier) {
            if (!request.calling) {
                request.calling = ApTitle{};
            }
            ok = tag == kCallingApTitle ? decodeApTitle(*field, *request.calling)
                                        : decodeAeQualifier(*field, *request.calling);
        } else if (tag == kMechanismName) {
            auto oid = field->toOid();
            ok = oid.ok();
            usesPassword = ok && *oid == passwordMechanism();
            if (ok) {
                request.mechanism = std::move(*oid);
            }
        } else if (tag == kCallingAuthentication) {
            auto inner = field->children();
            if (inner && inner->nextIs(kPasswordCharstring)) {
                auto text = inner->readString(kPasswordCharstring);
                ok = text.ok();
                if (ok) {
                    password = std::string(*text);
                }
            }
        } else if (tag == kUserInformation) {
            auto info = decodeUserInformation(*field);
            if (!info) {
                return info.error();
            }
            request.userDataContextId = info->contextId;
            request.userData = info->data;
        }
        if (!ok) {
            return Error::BadApdu;
        }
    }
    if (!haveContext) {
        return Error::BadApdu;
    }
    // A value under another mechanism is not a password and must not be checked as one.
    if (usesPassword) {
        request.password = std::move(password);
    }
    return pdu;
}

Result<AcsePdu, Error> decodeResponse(ber::Reader& fields) {
    AcsePdu pdu;
    pdu.kind = AcseKind::Response;
    AssociateResponse& response = pdu.response;
    bool haveResult = false;
    while (!fields.atEnd()) {
        auto field = fields.next();
        if (!field) {
            return Error::BadApdu;
        }
        if (field->tag == kApplicationContext) {
            auto inner = field->children();
            auto oid = inner ? inner->readOid() : ber::Expected<ber::Oid>(inner.error());
            if (!oid) {
                return Error::BadApdu;
            }
            response.applicationContext = std::move(*oid);
        } else if (field->tag == kResult) {
            auto inner = field->children();
            auto value = inner ? inner->readInteger() : ber::Expected<int64_t>(inner.error());
            if (!value) {
                return Error::BadApdu;
            }
            response.result = *value;
            haveResult = true;
        } else if (field->tag == kResultDiagnostic) {
            auto inner = field->children();
            auto choice = inner ? inner->next() : ber::Expected<ber::Element>(inner.error());
            if (!choice || (choice->tag != kServiceUser && choice->tag != kServiceProvider)) {
                return Error::BadApdu;
            }
            auto value = choice->children();
            auto diagnostic = value ? value->readInteger() : ber::Expected<int64_t>(value.error());
            if (!diagnostic) {
                return Error::BadApdu;
            }
            response.diagnosticFromProvider = choice->tag == kServiceProvider;
            response.diagnostic = *diagnostic;
        } else if (field->tag == kUserInformation) {
            auto info = decodeUserInformation(*field);
            if (!info) {
                return info.error();
            }
            response.userDataContextId = info->contextId;
            response.userData = info->data;
        }
    }
    if (!haveResult) {
        return Error::BadApdu;
    }
    return pdu;
}

}  // namespace

const ber::Oid& mmsApplicationContext() {
    static const ber::Oid oid{1, 0, 9506, 2, 3};
    return oid;
}
const ber::Oid& passwordMechanism() {
    static const ber::Oid oid{2, 2, 3, 1};
    return oid;
}

Result<AcsePdu, Error> decodeAcse(ByteView apdu) {
    auto element = ber::decodeSingle(apdu, kMaxDepth);
    if (!element || !element->tag.constructed) {
        return Error::BadApdu;
    }
    auto fields = element->children();
    if (!fields) {
        return Error::BadApdu;
    }
    const ber::Tag tag = element->tag;
    if (tag == kAarq) {
        return decodeRequest(*fields);
    }
    if (tag == kAare) {
        return decodeResponse(*fields);
    }
    AcsePdu pdu;
    if (tag == kRlrq || tag == kRlre) {
        pdu.kind = tag == kRlrq ? AcseKind::ReleaseRequest : AcseKind::ReleaseResponse;
        if (fields->nextIs(kReason)) {
            auto reason = fields->readInteger(kReason);
            if (!reason) {
                return Error::BadApdu;
            }
            pdu.reason = *reason;
        }
        return pdu;
    }
    if (tag == kAbrt) {
        pdu.kind = AcseKind::Abort;
        auto source = fields->readInteger(kAbortSource);
        if (!source) {
            return Error::BadApdu;
        }
        pdu.abortSource = *source;
        return pdu;
    }
    return Error::UnexpectedApdu;
}

Bytes encodeAssociateRequest(const AssociateRequest& request) {
    ber::Writer w;
    w.constructed(kAarq, [&] {
        w.constructed(kApplicationContext,
                      [&] { w.oid(tags::ObjectIdentifier, request.applicationContext); });
        auto title = [&](const std::optional<ApTitle>& t, ber::Tag apTag, ber::Tag aeTag) {
            if (!t) {
                return;
            }
            w.constructed(apTag, [&] { w.oid(tags::ObjectIdentifier, t->apTitle); });
            if (t->aeQualifier) {
                w.constructed(aeTag, [&] { w.integer(tags::Integer, *t->aeQualifier); });
            }
        };
        title(request.called, kCalledApTitle, kCalledAeQualifier);
        title(request.calling, kCallingApTitle, kCallingAeQualifier);
        if (request.password) {
            const uint8_t authentication = 0x80;
            w.bitString(kSenderRequirements, ByteView(&authentication, 1), 4);
            w.oid(kMechanismName, passwordMechanism());
            w.constructed(kCallingAuthentication, [&] { w.string(kPasswordCharstring, *request.password); });
        }
        appendUserInformation(w, request.userDataContextId, request.userData);
    });
    return w.take();
}

Bytes encodeAssociateResponse(const AssociateResponse& response) {
    ber::Writer w;
    w.constructed(kAare, [&] {
        w.constructed(kApplicationContext,
                      [&] { w.oid(tags::ObjectIdentifier, response.applicationContext); });
        w.constructed(kResult, [&] { w.integer(tags::Integer, response.result); });
        w.constructed(kResultDiagnostic, [&] {
            w.constructed(response.diagnosticFromProvider ? kServiceProvider : kServiceUser,
                          [&] { w.integer(tags::Integer, response.diagnostic); });
        });
        if (!response.userData.empty()) {
            appendUserInformation(w, response.userDataContextId, response.userData);
        }
    });
    return w.take();
}

Bytes encodeReleaseRequest(int64_t reason) {
    ber::Writer w;
    w.constructed(kRlrq, [&] { w.integer(kReason, reason); });
    return w.take();
}

Bytes encodeReleaseResponse() {
    ber::Writer w;
    w.constructed(kRlre, [] {});
    return w.take();
}

Bytes encodeAbort(int64_t source) {
    ber::Writer w;
    w.constructed(kAbrt, [&] { w.integer(kAbortSource, source); });
    return w.take();
}

}  // namespace iecstack::iso::acse
