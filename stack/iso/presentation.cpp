#include "iso/presentation.h"

namespace iecstack::iso::presentation {

using ber::ctx;
using ber::ctxc;
using ber::Reader;
namespace tags = ber::tags;

namespace {

constexpr ber::Tag kCpType = tags::Set;
constexpr ber::Tag kModeSelector = ctxc(0);
constexpr ber::Tag kModeValue = ctx(0);
constexpr ber::Tag kNormalModeParameters = ctxc(2);
constexpr ber::Tag kCallingSelector = ctx(1);
constexpr ber::Tag kCalledSelector = ctx(2);
constexpr ber::Tag kRespondingSelector = ctx(3);
constexpr ber::Tag kContextDefinitionList = ctxc(4);
constexpr ber::Tag kContextResultList = ctxc(5);
constexpr ber::Tag kFullyEncodedData = ber::application(1);
constexpr ber::Tag kSingleAsn1Type = ctxc(0);
constexpr ber::Tag kOctetAligned = ctx(1);
constexpr ber::Tag kResult = ctx(0);
constexpr ber::Tag kTransferSyntaxName = ctx(1);
constexpr ber::Tag kAruNormalMode = ctxc(0);
constexpr int64_t kNormalMode = 1;
// Presentation PDUs nest a handful of levels before the ACSE/MMS content, which is not descended here.
constexpr unsigned kMaxDepth = 8;

template <typename T>
bool failed(const ber::Expected<T>& result) {
    return !result.ok();
}

Result<UserData, Error> decodeFullyEncoded(const ber::Element& element) {
    auto list = element.children();
    if (!list) {
        return Error::BadPpdu;
    }
    // Only the first presentation data value is used; peers never send more than one.
    auto pdv = list->enter(tags::Sequence);
    if (!pdv) {
        return Error::BadPpdu;
    }
    auto id = pdv->readInteger();
    if (!id) {
        return Error::BadPpdu;
    }
    if (pdv->nextIs(tags::ObjectIdentifier) && failed(pdv->next())) {
        return Error::BadPpdu;
    }
    auto value = pdv->next();
    if (!value || (value->tag != kSingleAsn1Type && value->tag != kOctetAligned)) {
        return Error::BadPpdu;
    }
    return UserData{*id, value->content};
}

Result<int64_t, Error> decodeMode(Reader& set) {
    auto mode = set.enter(kModeSelector);
    if (!mode) {
        return Error::BadPpdu;
    }
    auto value = mode->readInteger(kModeValue);
    if (!value) {
        return Error::BadPpdu;
    }
    return *value;
}

void appendMode(ber::Writer& w) {
    w.constructed(kModeSelector, [&] { w.integer(kModeValue, kNormalMode); });
}

}  // namespace

const ber::Oid& acseAbstractSyntax() {
    static const ber::Oid oid{2, 2, 1, 0, 1};
    return oid;
}
const ber::Oid& mmsAbstractSyntax() {
    static const ber::Oid oid{1, 0, 9506, 2, 1};
    return oid;
}
const ber::Oid& berTransferSyntax() {
    static const ber::Oid oid{2, 1, 1};
    return oid;
}

namespace {

// CP and CPA share their frame: a SET with the mode selector and the normal-mode parameters, whose
// elements go to `parameter` one by one. The mode must be normal where present.
template <typename Parameter>
Status<Error> walkNormalMode(ByteView ppdu, bool& sawNormalMode, Parameter&& parameter) {
    auto element = ber::decodeSingle(ppdu, kMaxDepth);
    if (!element || element->tag != kCpType) {
        return Error::BadPpdu;
    }
    auto set = element->children();
    if (!set) {
        return Error::BadPpdu;
    }
    while (!set->atEnd()) {
        if (set->nextIs(kModeSelector)) {
            auto mode = decodeMode(*set);
            if (!mode || *mode != kNormalMode) {
                return Error::BadPpdu;
            }
            sawNormalMode = true;
            continue;
        }
        auto item = set->next();
        if (!item) {
            return Error::BadPpdu;
        }
        if (item->tag != kNormalModeParameters) {
            continue;
        }
        auto params = item->children();
        if (!params) {
            return Error::BadPpdu;
        }
        while (!params->atEnd()) {
            auto param = params->next();
            if (!param) {
                return Error::BadPpdu;
            }
            auto handled = parameter(*param);
            if (!handled) {
                return handled;
            }
        }
    }
    return {};
}

Result<PresentationContext, Error> decodeContextDefinition(Reader& list) {
    auto item = list.enter(tags::Sequence);
    if (!item) {
        return Error::BadPpdu;
    }
    auto id = item->readInteger();
    auto abstract = item->readOid();
    auto transfers = item->enter(tags::Sequence);
    if (!id || !abstract || !transfers) {
        return Error::BadPpdu;
    }
    PresentationContext context;
    context.id = *id;
    context.abstractSyntax = std::move(*abstract);
    while (!transfers->atEnd()) {
        auto transfer = transfers->readOid();
        if (!transfer) {
            return Error::BadPpdu;
        }
        context.transferSyntaxes.push_back(std::move(*transfer));
    }
    return context;
}

}  // namespace

Result<ConnectPpdu, Error> decodeConnect(ByteView ppdu) {
    ConnectPpdu result;
    bool normalMode = false;
    bool haveUserData = false;
    auto walked = walkNormalMode(ppdu, normalMode, [&](const ber::Element& param) -> Status<Error> {
        if (param.tag == kCallingSelector) {
            result.callingSelector = param.content;
        } else if (param.tag == kCalledSelector) {
            result.calledSelector = param.content;
        } else if (param.tag == kContextDefinitionList) {
            auto list = param.children();
            if (!list) {
                return Error::BadPpdu;
            }
            while (!list->atEnd()) {
                auto context = decodeContextDefinition(*list);
                if (!context) {
                    return context.error();
                }
                result.contexts.push_back(std::move(*context));
            }
        } else if (param.tag == kFullyEncodedData) {
            auto data = decodeFullyEncoded(param);
            if (!data) {
                return data.error();
            }
            result.userData = *data;
            haveUserData = true;
        }
        return {};
    });
    if (!walked) {
        return walked.error();
    }
    if (!normalMode || !haveUserData) {
        return Error::BadPpdu;
    }
    return result;
}

Result<ConnectAcceptPpdu, Error> decodeConnectAccept(ByteView ppdu) {
    ConnectAcceptPpdu result;
    bool normalMode = false;
    bool haveUserData = false;
    auto walked = walkNormalMode(ppdu, normalMode, [&](const ber::Element& param) -> Status<Error> {
        if (param.tag == kRespondingSelector) {
            result.respondingSelector = param.content;
        } else if (param.tag == kContextResultList) {
            auto list = param.children();
            if (!list) {
                return Error::BadPpdu;
            }
            while (!list->atEnd()) {
                auto item = list->enter(tags::Sequence);
                auto value = item ? item->readInteger(kResult) : ber::Expected<int64_t>(item.error());
                if (!value || *value < 0 || *value > 2) {
                    return Error::BadPpdu;
                }
                result.results.push_back(static_cast<ContextResult>(*value));
            }
        } else if (param.tag == kFullyEncodedData) {
            auto data = decodeFullyEncoded(param);
            if (!data) {
                return data.error();
            }
            result.userData = *data;
            haveUserData = true;
        }
        return {};
    });
    if (!walked) {
        return walked.error();
    }
    if (!haveUserData) {
        return Error::BadPpdu;
    }
    return result;
}

Result<UserData, Error> decodeUserData(ByteView ppdu) {
    auto element = ber::decodeSingle(ppdu, kMaxDepth);
    if (!element || element->tag != kFullyEncodedData) {
        return Error::BadPpdu;
    }
    return decodeFullyEncoded(*element);
}

Result<std::optional<UserData>, Error> decodeAbort(ByteView ppdu) {
    auto element = ber::decodeSingle(ppdu, kMaxDepth);
    if (!element) {
        return Error::BadPpdu;
    }
    if (element->tag == tags::Sequence) {
        return std::optional<UserData>();  // provider abort: reason and event only
    }
    if (element->tag != kAruNormalMode) {
        return Error::BadPpdu;
    }
    auto content = element->children();
    if (!content) {
        return Error::BadPpdu;
    }
    while (!content->atEnd()) {
        auto item = content->next();
        if (!item) {
            return Error::BadPpdu;
        }
        if (item->tag == kFullyEncodedData) {
            auto data = decodeFullyEncoded(*item);
            if (!data) {
                return data.error();
            }
            return std::optional<UserData>(*data);
        }
    }
    return std::optional<UserData>();
}

void appendUserData(ber::Writer& w, int64_t contextId, ByteView pdu) {
    w.constructed(kFullyEncodedData, [&] {
        w.constructed(tags::Sequence, [&] {
            w.integer(tags::Integer, contextId);
            w.constructed(kSingleAsn1Type, [&] { w.raw(pdu); });
        });
    });
}

Bytes encodeUserData(int64_t contextId, ByteView pdu) {
    ber::Writer w;
    appendUserData(w, contextId, pdu);
    return w.take();
}

Bytes encodeConnect(const PresentationSelectors& selectors, ByteView acsePdu) {
    ber::Writer w;
    w.constructed(kCpType, [&] {
        appendMode(w);
        w.constructed(kNormalModeParameters, [&] {
            w.octets(kCallingSelector, selectors.calling);
            w.octets(kCalledSelector, selectors.called);
            w.constructed(kContextDefinitionList, [&] {
                auto context = [&](int64_t id, const ber::Oid& abstract) {
                    w.constructed(tags::Sequence, [&] {
                        w.integer(tags::Integer, id);
                        w.oid(tags::ObjectIdentifier, abstract);
                        w.constructed(tags::Sequence,
                                      [&] { w.oid(tags::ObjectIdentifier, berTransferSyntax()); });
                    });
                };
                context(kAcseContextId, acseAbstractSyntax());
                context(kMmsContextId, mmsAbstractSyntax());
            });
            appendUserData(w, kAcseContextId, acsePdu);
        });
    });
    return w.take();
}

Bytes encodeConnectAccept(ByteView respondingSelector, const std::vector<ContextResult>& results,
                          int64_t acseContextId, ByteView acsePdu) {
    ber::Writer w;
    w.constructed(kCpType, [&] {
        appendMode(w);
        w.constructed(kNormalModeParameters, [&] {
            w.octets(kRespondingSelector, respondingSelector);
            w.constructed(kContextResultList, [&] {
                for (ContextResult result : results) {
                    w.constructed(tags::Sequence, [&] {
                        w.integer(kResult, static_cast<int64_t>(result));
                        if (result == ContextResult::Acceptance) {
                            w.oid(kTransferSyntaxName, berTransferSyntax());
                        }
                    });
                }
            });
            appendUserData(w, acseContextId, acsePdu);
        });
    });
    return w.take();
}

Bytes encodeAbort(int64_t acseContextId, ByteView acsePdu) {
    ber::Writer w;
    w.constructed(kAruNormalMode, [&] { appendUserData(w, acseContextId, acsePdu); });
    return w.take();
}

}  // namespace iecstack::iso::presentation
