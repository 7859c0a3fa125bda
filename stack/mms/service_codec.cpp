// Bodies of the confirmed and unconfirmed services.
#include "service_codec.h"

#include "file_codec.h"

namespace iecstack::mms::detail {

using ber::ctx;
using ber::ctxc;

namespace {

enum ServiceTag : uint32_t {
    kStatus = 0,
    kGetNameList = 1,
    kIdentify = 2,
    kRead = 4,
    kWrite = 5,
    kGetVariableAccessAttributes = 6,
    kDefineNamedVariableList = 11,
    kGetNamedVariableListAttributes = 12,
    kDeleteNamedVariableList = 13,
};
// Every confirmed service MMS defines has a tag up to this number; anything above is no service.
constexpr uint32_t kLastServiceTag = 89;
constexpr uint32_t kInformationReport = 0;
constexpr uint32_t kLastUnconfirmedTag = 2;

Decoded<UnsupportedService> unsupported(const ber::Element& element, uint32_t lastKnown) {
    if (element.tag.cls != ber::TagClass::Context || element.tag.number > lastKnown) {
        return failure(Error::InvalidServiceTag);
    }
    return UnsupportedService{element.tag.number, element.encoded.toBytes()};
}

bool shaped(const ber::Element& element, bool constructed) {
    return element.tag.constructed == constructed;
}

Decoded<GetNameListRequest> getNameListRequest(const Decoder& d, const ber::Element& element) {
    GetNameListRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element classWrapper, reader.next(ctxc(0)));
    MMS_TRY(ber::Reader classReader, classWrapper.children());
    MMS_TRY(ber::Element basicClass, classReader.next(ctx(0)));
    MMS_CHECK(classReader.expectEnd());
    MMS_TRY(uint32_t objectClass, d.unsigned32(basicClass));
    if (objectClass > 0xff) {
        return failure(Error::BadInteger);
    }
    request.objectClass = static_cast<ObjectClass>(objectClass);
    MMS_TRY(ber::Element scopeWrapper, reader.next(ctxc(1)));
    MMS_TRY(ber::Reader scopeReader, scopeWrapper.children());
    MMS_TRY(ber::Element scope, scopeReader.next());
    MMS_CHECK(scopeReader.expectEnd());
    if (scope.tag == ctx(0)) {
        request.scope = ObjectName::Scope::Vmd;
    } else if (scope.tag == ctx(1)) {
        request.scope = ObjectName::Scope::Domain;
        MMS_TRY(request.domainId, d.identifier(scope));
    } else if (scope.tag == ctx(2)) {
        request.scope = ObjectName::Scope::Association;
    } else {
        return failure(Error::UnexpectedTag);
    }
    MMS_TRY(auto continueAfter, reader.optional(ctx(2)));
    if (continueAfter) {
        MMS_TRY(request.continueAfter, d.identifier(*continueAfter));
    }
    MMS_CHECK(reader.expectEnd());
    return request;
}

Decoded<GetNameListResponse> getNameListResponse(const Decoder& d, const ber::Element& element) {
    GetNameListResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element list, reader.next(ctxc(0)));
    MMS_TRY(response.identifiers,
            d.listOf<std::string>(list, [&d](const ber::Element& name) -> Decoded<std::string> {
                if (name.tag != ber::tags::VisibleString) {
                    return failure(Error::UnexpectedTag);
                }
                return d.identifier(name);
            }));
    MMS_TRY(auto moreFollows, reader.optional(ctx(1)));
    if (moreFollows) {
        MMS_TRY(response.moreFollows, moreFollows->toBoolean());
    }
    MMS_CHECK(reader.expectEnd());
    return response;
}

// An element whose only content is the single element that follows its explicit tag.
Decoded<ber::Element> onlyChild(const ber::Element& element) {
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element child, reader.next());
    MMS_CHECK(reader.expectEnd());
    return child;
}

Decoded<ReadRequest> readRequest(const Decoder& d, const ber::Element& element) {
    ReadRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(auto withResult, reader.optional(ctx(0)));
    if (withResult) {
        MMS_TRY(request.specWithResult, withResult->toBoolean());
    }
    MMS_TRY(ber::Element wrapper, reader.next(ctxc(1)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(ber::Element spec, onlyChild(wrapper));
    MMS_TRY(request.spec, d.accessSpec(spec));
    return request;
}

Decoded<ReadResponse> readResponse(const Decoder& d, const ber::Element& element) {
    ReadResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(auto echoed, reader.optional(ctxc(0)));
    if (echoed) {
        MMS_TRY(ber::Element spec, onlyChild(*echoed));
        MMS_TRY(response.spec, d.accessSpec(spec));
    }
    MMS_TRY(ber::Element results, reader.next(ctxc(1)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(response.results, d.accessResults(results));
    return response;
}

Decoded<WriteRequest> writeRequest(const Decoder& d, const ber::Element& element) {
    WriteRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    // Both parts may carry [0]; only their position tells them apart.
    MMS_TRY(ber::Element spec, reader.next());
    MMS_TRY(request.spec, d.accessSpec(spec));
    MMS_TRY(ber::Element data, reader.next(ctxc(0)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(request.data, d.dataList(data));
    return request;
}

Decoded<std::optional<DataAccessError>> writeResult(const Decoder& d, const ber::Element& result) {
    if (result.tag == ctx(1) && result.content.empty()) {
        return std::optional<DataAccessError>();
    }
    if (result.tag != ctx(0)) {
        return failure(Error::UnexpectedTag);
    }
    MMS_TRY(uint32_t code, d.unsigned32(result));
    if (code > 0xff) {
        return failure(Error::BadInteger);
    }
    return std::optional<DataAccessError>(static_cast<DataAccessError>(code));
}

Decoded<WriteResponse> writeResponse(const Decoder& d, const ber::Element& element) {
    WriteResponse response;
    MMS_TRY(response.results,
            d.listOf<std::optional<DataAccessError>>(
                element, [&d](const ber::Element& result) { return writeResult(d, result); }));
    return response;
}

Decoded<GetVariableAccessAttributesRequest> gvaaRequest(const Decoder& d, const ber::Element& element) {
    MMS_TRY(ber::Element choice, onlyChild(element));
    if (choice.tag != ctxc(0)) {
        return failure(Error::UnsupportedAccess);
    }
    GetVariableAccessAttributesRequest request;
    MMS_TRY(request.name, d.wrappedObjectName(choice));
    return request;
}

Decoded<GetVariableAccessAttributesResponse> gvaaResponse(const Decoder& d, const ber::Element& element) {
    GetVariableAccessAttributesResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element deletable, reader.next(ctx(0)));
    MMS_TRY(response.mmsDeletable, deletable.toBoolean());
    // The address of the variable, when a server sends one, is of no use to this stack.
    MMS_TRY(auto address, reader.optional(ctxc(1)));
    if (!address) {
        MMS_TRY(auto primitiveAddress, reader.optional(ctx(1)));
        (void)primitiveAddress;
    }
    MMS_TRY(ber::Element wrapper, reader.next(ctxc(2)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(ber::Element type, onlyChild(wrapper));
    MMS_TRY(response.type, d.typeSpec(type));
    return response;
}

Decoded<GetNamedVariableListAttributesResponse> gnvlaResponse(const Decoder& d, const ber::Element& element) {
    GetNamedVariableListAttributesResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element deletable, reader.next(ctx(0)));
    MMS_TRY(response.mmsDeletable, deletable.toBoolean());
    MMS_TRY(ber::Element list, reader.next(ctxc(1)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(response.variables, d.variableList(list));
    return response;
}

Decoded<DefineNamedVariableListRequest> defineRequest(const Decoder& d, const ber::Element& element) {
    DefineNamedVariableListRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element name, reader.next());
    MMS_TRY(request.name, d.objectName(name));
    MMS_TRY(ber::Element list, reader.next(ctxc(0)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(request.variables, d.variableList(list));
    return request;
}

Decoded<DeleteNamedVariableListRequest> deleteRequest(const Decoder& d, const ber::Element& element) {
    DeleteNamedVariableListRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(auto scope, reader.optional(ctx(0)));
    if (scope) {
        MMS_TRY(uint32_t value, d.unsigned32(*scope));
        if (value > 3) {
            return failure(Error::BadInteger);
        }
        request.scope = static_cast<DeleteNamedVariableListRequest::Scope>(value);
    }
    MMS_TRY(auto names, reader.optional(ctxc(1)));
    if (names) {
        MMS_TRY(request.names,
                d.listOf<ObjectName>(*names, [&d](const ber::Element& name) { return d.objectName(name); }));
    }
    MMS_TRY(auto domain, reader.optional(ctx(2)));
    if (domain) {
        MMS_TRY(request.domainName, d.identifier(*domain));
    }
    MMS_CHECK(reader.expectEnd());
    return request;
}

Decoded<DeleteNamedVariableListResponse> deleteResponse(const Decoder& d, const ber::Element& element) {
    DeleteNamedVariableListResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element matched, reader.next(ctx(0)));
    MMS_TRY(response.numberMatched, d.unsigned32(matched));
    MMS_TRY(ber::Element deleted, reader.next(ctx(1)));
    MMS_TRY(response.numberDeleted, d.unsigned32(deleted));
    MMS_CHECK(reader.expectEnd());
    return response;
}

Decoded<IdentifyResponse> identifyResponse(const Decoder& d, const ber::Element& element) {
    IdentifyResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element vendor, reader.next(ctx(0)));
    MMS_TRY(response.vendorName, d.identifier(vendor));
    MMS_TRY(ber::Element model, reader.next(ctx(1)));
    MMS_TRY(response.modelName, d.identifier(model));
    MMS_TRY(ber::Element revision, reader.next(ctx(2)));
    MMS_TRY(response.revision, d.identifier(revision));
    // The list of abstract syntaxes that may follow is not kept.
    MMS_TRY(auto syntaxes, reader.optional(ctxc(3)));
    (void)syntaxes;
    MMS_CHECK(reader.expectEnd());
    return response;
}

Decoded<StatusResponse> statusResponse(const ber::Element& element) {
    StatusResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(response.vmdLogicalStatus, reader.readInteger(ctx(0)));
    MMS_TRY(response.vmdPhysicalStatus, reader.readInteger(ctx(1)));
    // The optional local detail bit string is not kept.
    MMS_TRY(auto detail, reader.optional(ctx(2)));
    (void)detail;
    MMS_CHECK(reader.expectEnd());
    return response;
}

}  // namespace

Decoded<ConfirmedRequestService> decodeRequestService(const Decoder& d, const ber::Element& element) {
    const bool context = element.tag.cls == ber::TagClass::Context;
    const uint32_t number = element.tag.number;
    if (context && number == kGetNameList && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(getNameListRequest(d, element));
    }
    if (context && number == kRead && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(readRequest(d, element));
    }
    if (context && number == kWrite && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(writeRequest(d, element));
    }
    if (context && number == kGetVariableAccessAttributes && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(gvaaRequest(d, element));
    }
    if (context && number == kGetNamedVariableListAttributes && shaped(element, true)) {
        MMS_TRY(ObjectName name, d.wrappedObjectName(element));
        return ConfirmedRequestService(GetNamedVariableListAttributesRequest{std::move(name)});
    }
    if (context && number == kDefineNamedVariableList && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(defineRequest(d, element));
    }
    if (context && number == kDeleteNamedVariableList && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(deleteRequest(d, element));
    }
    if (context && number == kIdentify && shaped(element, false)) {
        return ConfirmedRequestService(IdentifyRequest{});
    }
    if (context && number == kStatus && shaped(element, false)) {
        MMS_TRY(bool extended, element.toBoolean());
        return ConfirmedRequestService(StatusRequest{extended});
    }
    if (context && number == kReadJournal && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(readJournalRequest(d, element));
    }
    if (context && number == kFileDirectory && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(fileDirectoryRequest(d, element));
    }
    if (context && number == kFileOpen && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(fileOpenRequest(d, element));
    }
    if (context && number == kFileRead && shaped(element, false)) {
        MMS_TRY(int32_t handle, frsmHandle(d, element));
        return ConfirmedRequestService(FileReadRequest{handle});
    }
    if (context && number == kFileClose && shaped(element, false)) {
        MMS_TRY(int32_t handle, frsmHandle(d, element));
        return ConfirmedRequestService(FileCloseRequest{handle});
    }
    if (context && number == kFileDelete && shaped(element, true)) {
        return wrapped<ConfirmedRequestService>(fileDeleteRequest(d, element));
    }
    MMS_TRY(UnsupportedService other, unsupported(element, kLastServiceTag));
    return ConfirmedRequestService(std::move(other));
}

Decoded<ConfirmedResponseService> decodeResponseService(const Decoder& d, const ber::Element& element) {
    const bool context = element.tag.cls == ber::TagClass::Context;
    const uint32_t number = element.tag.number;
    if (context && number == kGetNameList && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(getNameListResponse(d, element));
    }
    if (context && number == kRead && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(readResponse(d, element));
    }
    if (context && number == kWrite && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(writeResponse(d, element));
    }
    if (context && number == kGetVariableAccessAttributes && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(gvaaResponse(d, element));
    }
    if (context && number == kGetNamedVariableListAttributes && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(gnvlaResponse(d, element));
    }
    if (context && number == kDefineNamedVariableList && shaped(element, false)) {
        return ConfirmedResponseService(DefineNamedVariableListResponse{});
    }
    if (context && number == kDeleteNamedVariableList && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(deleteResponse(d, element));
    }
    if (context && number == kIdentify && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(identifyResponse(d, element));
    }
    if (context && number == kStatus && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(statusResponse(element));
    }
    if (context && number == kReadJournal && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(readJournalResponse(d, element));
    }
    if (context && number == kFileDirectory && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(fileDirectoryResponse(d, element));
    }
    if (context && number == kFileOpen && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(fileOpenResponse(d, element));
    }
    if (context && number == kFileRead && shaped(element, true)) {
        return wrapped<ConfirmedResponseService>(fileReadResponse(d, element));
    }
    if (context && number == kFileClose && shaped(element, false)) {
        return ConfirmedResponseService(FileCloseResponse{});
    }
    if (context && number == kFileDelete && shaped(element, false)) {
        return ConfirmedResponseService(FileDeleteResponse{});
    }
    MMS_TRY(UnsupportedService other, unsupported(element, kLastServiceTag));
    return ConfirmedResponseService(std::move(other));
}

Decoded<UnconfirmedService> decodeUnconfirmedService(const Decoder& d, const ber::Element& element) {
    if (element.tag == ctxc(kInformationReport)) {
        InformationReport report;
        MMS_TRY(ber::Reader reader, element.children());
        MMS_TRY(ber::Element spec, reader.next());
        MMS_TRY(report.spec, d.accessSpec(spec));
        MMS_TRY(ber::Element results, reader.next(ctxc(0)));
        MMS_CHECK(reader.expectEnd());
        MMS_TRY(report.results, d.accessResults(results));
        return UnconfirmedService(std::move(report));
    }
    MMS_TRY(UnsupportedService other, unsupported(element, kLastUnconfirmedTag));
    return UnconfirmedService(std::move(other));
}

namespace {

struct RequestEncoder {
    ber::Writer& w;

    void operator()(const GetNameListRequest& r) {
        w.begin(ctxc(kGetNameList));
        w.begin(ctxc(0));
        w.integer(ctx(0), static_cast<int64_t>(r.objectClass));
        w.end();
        w.begin(ctxc(1));
        switch (r.scope) {
            case ObjectName::Scope::Vmd:
                w.null(ctx(0));
                break;
            case ObjectName::Scope::Domain:
                w.string(ctx(1), r.domainId);
                break;
            case ObjectName::Scope::Association:
                w.null(ctx(2));
                break;
        }
        w.end();
        if (r.continueAfter) {
            w.string(ctx(2), *r.continueAfter);
        }
        w.end();
    }
    void operator()(const ReadRequest& r) {
        w.begin(ctxc(kRead));
        if (r.specWithResult) {
            w.boolean(ctx(0), *r.specWithResult);
        }
        w.begin(ctxc(1));
        encodeAccessSpec(w, r.spec);
        w.end();
        w.end();
    }
    void operator()(const WriteRequest& r) {
        w.begin(ctxc(kWrite));
        encodeAccessSpec(w, r.spec);
        w.begin(ctxc(0));
        for (const MmsValue& value : r.data) {
            encodeData(w, value);
        }
        w.end();
        w.end();
    }
    void operator()(const GetVariableAccessAttributesRequest& r) {
        w.begin(ctxc(kGetVariableAccessAttributes));
        w.begin(ctxc(0));
        encodeObjectName(w, r.name);
        w.end();
        w.end();
    }
    void operator()(const GetNamedVariableListAttributesRequest& r) {
        w.begin(ctxc(kGetNamedVariableListAttributes));
        encodeObjectName(w, r.name);
        w.end();
    }
    void operator()(const DefineNamedVariableListRequest& r) {
        w.begin(ctxc(kDefineNamedVariableList));
        encodeObjectName(w, r.name);
        encodeVariableList(w, ctxc(0), r.variables);
        w.end();
    }
    void operator()(const DeleteNamedVariableListRequest& r) {
        w.begin(ctxc(kDeleteNamedVariableList));
        if (r.scope) {
            w.integer(ctx(0), static_cast<int64_t>(*r.scope));
        }
        if (!r.names.empty()) {
            w.begin(ctxc(1));
            for (const ObjectName& name : r.names) {
                encodeObjectName(w, name);
            }
            w.end();
        }
        if (r.domainName) {
            w.string(ctx(2), *r.domainName);
        }
        w.end();
    }
    void operator()(const IdentifyRequest&) { w.null(ctx(kIdentify)); }
    void operator()(const StatusRequest& r) { w.boolean(ctx(kStatus), r.extendedDerivation); }
    void operator()(const ReadJournalRequest& r) { encodeBody(w, r); }
    void operator()(const FileOpenRequest& r) { encodeBody(w, r); }
    void operator()(const FileReadRequest& r) { encodeBody(w, r); }
    void operator()(const FileCloseRequest& r) { encodeBody(w, r); }
    void operator()(const FileDeleteRequest& r) { encodeBody(w, r); }
    void operator()(const FileDirectoryRequest& r) { encodeBody(w, r); }
    void operator()(const UnsupportedService& r) { w.raw(ByteView(r.encoded)); }
};

struct ResponseEncoder {
    ber::Writer& w;

    void operator()(const GetNameListResponse& r) {
        w.begin(ctxc(kGetNameList));
        w.begin(ctxc(0));
        for (const std::string& name : r.identifiers) {
            w.string(ber::tags::VisibleString, name);
        }
        w.end();
        // Left out while names remain, as the responders we talk to do.
        if (!r.moreFollows) {
            w.boolean(ctx(1), false);
        }
        w.end();
    }
    void operator()(const ReadResponse& r) {
        w.begin(ctxc(kRead));
        if (r.spec) {
            w.begin(ctxc(0));
            encodeAccessSpec(w, *r.spec);
            w.end();
        }
        w.begin(ctxc(1));
        for (const MmsValue& value : r.results) {
            encodeAccessResult(w, value);
        }
        w.end();
        w.end();
    }
    void operator()(const WriteResponse& r) {
        w.begin(ctxc(kWrite));
        for (const auto& result : r.results) {
            if (result) {
                w.integer(ctx(0), static_cast<int64_t>(*result));
            } else {
                w.null(ctx(1));
            }
        }
        w.end();
    }
    void operator()(const GetVariableAccessAttributesResponse& r) {
        w.begin(ctxc(kGetVariableAccessAttributes));
        w.boolean(ctx(0), r.mmsDeletable);
        w.begin(ctxc(2));
        encodeTypeSpec(w, r.type);
        w.end();
        w.end();
    }
    void operator()(const GetNamedVariableListAttributesResponse& r) {
        w.begin(ctxc(kGetNamedVariableListAttributes));
        w.boolean(ctx(0), r.mmsDeletable);
        encodeVariableList(w, ctxc(1), r.variables);
        w.end();
    }
    void operator()(const DefineNamedVariableListResponse&) { w.null(ctx(kDefineNamedVariableList)); }
    void operator()(const DeleteNamedVariableListResponse& r) {
        w.begin(ctxc(kDeleteNamedVariableList));
        w.unsignedInteger(ctx(0), r.numberMatched);
        w.unsignedInteger(ctx(1), r.numberDeleted);
        w.end();
    }
    void operator()(const IdentifyResponse& r) {
        w.begin(ctxc(kIdentify));
        w.string(ctx(0), r.vendorName);
        w.string(ctx(1), r.modelName);
        w.string(ctx(2), r.revision);
        w.end();
    }
    void operator()(const StatusResponse& r) {
        w.begin(ctxc(kStatus));
        w.integer(ctx(0), r.vmdLogicalStatus);
        w.integer(ctx(1), r.vmdPhysicalStatus);
        w.end();
    }
    void operator()(const ReadJournalResponse& r) { encodeBody(w, r); }
    void operator()(const FileOpenResponse& r) { encodeBody(w, r); }
    void operator()(const FileReadResponse& r) { encodeBody(w, r); }
    void operator()(const FileCloseResponse& r) { encodeBody(w, r); }
    void operator()(const FileDeleteResponse& r) { encodeBody(w, r); }
    void operator()(const FileDirectoryResponse& r) { encodeBody(w, r); }
    void operator()(const UnsupportedService& r) { w.raw(ByteView(r.encoded)); }
};

struct UnconfirmedEncoder {
    ber::Writer& w;

    void operator()(const InformationReport& r) {
        w.begin(ctxc(kInformationReport));
        encodeAccessSpec(w, r.spec);
        w.begin(ctxc(0));
        for (const MmsValue& value : r.results) {
            encodeAccessResult(w, value);
        }
        w.end();
        w.end();
    }
    void operator()(const UnsupportedService& r) { w.raw(ByteView(r.encoded)); }
};

}  // namespace

void encodeRequestService(ber::Writer& writer, const ConfirmedRequestService& service) {
    std::visit(RequestEncoder{writer}, service);
}

void encodeResponseService(ber::Writer& writer, const ConfirmedResponseService& service) {
    std::visit(ResponseEncoder{writer}, service);
}

void encodeUnconfirmedService(ber::Writer& writer, const UnconfirmedService& service) {
    std::visit(UnconfirmedEncoder{writer}, service);
}

}  // namespace iecstack::mms::detail
