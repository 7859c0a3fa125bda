#include "server/mms_services.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

#include "ber/writer.h"
#include "mms/codec.h"
#include "server/mms_mapping.h"

namespace iecstack::server {
namespace {

using mms::DataAccessError;

// Kept free below the negotiated size when cutting name lists, as devices do, so that a peer that
// counts its buffer a little differently still takes the response.
constexpr size_t kNameListReserve = 16;
// Resource error code for answers that do not fit the agreed PDU size.
constexpr int64_t kCapabilityUnavailable = 4;

mms::Pdu serviceError(uint32_t invokeId, mms::ErrorClass errorClass, int64_t code) {
    mms::ConfirmedError e;
    e.invokeId = invokeId;
    e.error.errorClass = errorClass;
    e.error.code = code;
    return e;
}

mms::Pdu nonExistent(uint32_t invokeId) {
    return serviceError(invokeId, mms::ErrorClass::Access,
                        static_cast<int64_t>(mms::AccessErrorCode::ObjectNonExistent));
}

mms::Pdu response(uint32_t invokeId, mms::ConfirmedResponseService service) {
    return mms::ConfirmedResponse{invokeId, std::move(service)};
}

size_t tlvSize(size_t content) {
    return 1 + ber::lengthFieldSize(content) + content;
}

size_t integerSize(uint32_t v) {
    size_t n = 1;
    // Two's complement: a set top bit needs a leading zero octet.
    while (n < 5 && (v >> (8 * n - 1)) != 0) {
        ++n;
    }
    return n;
}

// Encoded size of a GetNameList response with `listContent` octets of identifiers.
size_t nameListResponseSize(uint32_t invokeId, size_t listContent, bool withFinalMarker) {
    size_t service = tlvSize(listContent) + (withFinalMarker ? 3 : 0);
    return tlvSize(tlvSize(integerSize(invokeId)) + tlvSize(service));
}

// The names after `continueAfter` that fit into one response of at most `maxPduSize` octets (at
// least one, so that a client always makes progress). `sorted` is in directory order.
mms::GetNameListResponse nameWindow(const std::vector<std::string>& sorted,
                                    const std::optional<std::string>& continueAfter, uint32_t invokeId,
                                    size_t maxPduSize) {
    auto begin = sorted.begin();
    if (continueAfter) {
        begin = std::upper_bound(sorted.begin(), sorted.end(), *continueAfter, directoryOrderLess);
    }
    mms::GetNameListResponse r;
    size_t content = 0;
    auto it = begin;
    for (; it != sorted.end(); ++it) {
        size_t next = content + tlvSize(it->size());
        if (it != begin && nameListResponseSize(invokeId, next, true) + kNameListReserve > maxPduSize) {
            break;
        }
        content = next;
        r.identifiers.push_back(*it);
    }
    r.moreFollows = it != sorted.end();
    return r;
}

// A log line names the first few variables of a request; a list of thousands would drown the log.
constexpr size_t kNamesPerLogLine = 8;

void appendToSummary(std::string& summary, size_t index, size_t total, const std::string& item) {
    if (index < kNamesPerLogLine) {
        summary += " " + item;
    } else if (index == kNamesPerLogLine) {
        summary += " and " + std::to_string(total - kNamesPerLogLine) + " more";
    }
}

bool isReadOnlyFc(const std::string& fc) {
    return fc == "ST" || fc == "MX";
}

// Control block attributes the device maintains itself. A whole block (or all blocks of a node) would
// carry them too, so such writes are refused as a whole.
bool isReadOnlyControlBlockAttribute(const ModelNode& node) {
    if (node.fc != "RP" && node.fc != "BR") {
        return false;
    }
    if (node.kind == ModelNode::Kind::Structure) {
        return true;
    }
    return node.name == "ConfRev" || node.name == "SqNum" || node.name == "TimeofEntry" ||
           node.name == "Owner";
}

}  // namespace

std::string describe(const mms::ObjectName& name) {
    switch (name.scope) {
        case mms::ObjectName::Scope::Domain:
            return name.domainId + "/" + name.itemId;
        case mms::ObjectName::Scope::Association:
            return "@" + name.itemId;
        case mms::ObjectName::Scope::Vmd:
            break;
    }
    return name.itemId;
}

MmsServices::MmsServices(DataModel& model, ServerIdentity identity)
    : model_(model), identity_(std::move(identity)) {
    auto fill = [](std::string& field, const std::string& configured, const char* fallback) {
        if (field.empty()) {
            field = configured.empty() ? fallback : configured;
        }
    };
    fill(identity_.vendor, model_.manufacturer, "Korvan");
    fill(identity_.model, model_.deviceType, "iedsim");
    fill(identity_.revision, "", "0.1");
}

mms::BitString MmsServices::supportedServices() {
    using S = mms::ServiceSupport;
    return mms::servicesSupported({S::Status, S::GetNameList, S::Identify, S::Read, S::Write,
                                   S::GetVariableAccessAttributes, S::GetNamedVariableListAttributes,
                                   S::InformationReport, S::Conclude});
}

mms::InitiateResponse MmsServices::negotiate(const mms::InitiateParameters& proposed, size_t maxPduSize,
                                             size_t minPduSize) {
    constexpr int kMaxOutstanding = 5;
    constexpr int kNestingLevel = 10;
    size_t pdu = maxPduSize;
    if (proposed.localDetail && *proposed.localDetail > 0) {
        pdu = std::min(pdu, static_cast<size_t>(*proposed.localDetail));
    }
    pdu = std::max(pdu, minPduSize);
    mms::InitiateResponse response;
    mms::InitiateParameters& p = response.parameters;
    p.localDetail = static_cast<int32_t>(std::min<size_t>(pdu, INT32_MAX));
    p.maxServOutstandingCalling = std::clamp(proposed.maxServOutstandingCalling, 1, kMaxOutstanding);
    p.maxServOutstandingCalled = std::clamp(proposed.maxServOutstandingCalled, 1, kMaxOutstanding);
    p.dataStructureNestingLevel =
        std::min(proposed.dataStructureNestingLevel.value_or(kNestingLevel), kNestingLevel);
    p.version = 1;
    using P = mms::ParameterSupport;
    p.parameterSupport = mms::parameterSupport({P::Str1, P::Str2, P::Vnam, P::Valt, P::Vlis});
    p.servicesSupported = supportedServices();
    return response;
}

ServiceOutcome MmsServices::handle(ByteView pdu, size_t maxPduSize) {
    ServiceOutcome out;
    auto decoded = mms::decodePdu(pdu);
    if (!decoded) {
        mms::Reject reject = mms::rejectFor(decoded.error());
        out.response = mms::encodePdu(reject);
        out.summary = std::string("malformed PDU rejected: ") + mms::errorName(decoded.error().failure.error);
        return out;
    }
    mms::Pdu& p = *decoded;
    if (auto* request = std::get_if<mms::ConfirmedRequest>(&p)) {
        out.response = mms::encodePdu(answer(*request, maxPduSize, &out.summary));
        if (out.response.size() > maxPduSize) {
            // Whole logical nodes, their types or long data sets can outgrow a small agreed size; the
            // client gets an error instead of an answer that would never be sent.
            out.response = mms::encodePdu(
                serviceError(request->invokeId, mms::ErrorClass::Resource, kCapabilityUnavailable));
            out.summary += " (answer larger than the PDU size " + std::to_string(maxPduSize) + ", refused)";
        }
    } else if (std::holds_alternative<mms::ConcludeRequest>(p)) {
        out.response = mms::encodePdu(mms::ConcludeResponse{});
        out.concluded = true;
        out.summary = "conclude";
    } else {
        // Responses, reports or a second initiate have no place in a server's data phase.
        mms::Reject reject;
        reject.rejectClass = mms::RejectClass::PduError;
        reject.reason = static_cast<int64_t>(mms::PduErrorReason::InvalidPdu);
        out.response = mms::encodePdu(reject);
        out.summary = "unexpected PDU type rejected";
    }
    return out;
}

mms::Pdu MmsServices::answer(const mms::ConfirmedRequest& request, size_t maxPduSize, std::string* summary) {
    std::string local;
    std::string& s = summary ? *summary : local;
    const uint32_t id = request.invokeId;
    return std::visit(
        [&](const auto& service) -> mms::Pdu {
            using T = std::decay_t<decltype(service)>;
            if constexpr (std::is_same_v<T, mms::GetNameListRequest>) {
                return getNameList(id, service, maxPduSize, s);
            } else if constexpr (std::is_same_v<T, mms::ReadRequest>) {
                return read(id, service, s);
            } else if constexpr (std::is_same_v<T, mms::WriteRequest>) {
                return write(id, service, s);
            } else if constexpr (std::is_same_v<T, mms::GetVariableAccessAttributesRequest>) {
                return accessAttributes(id, service, s);
            } else if constexpr (std::is_same_v<T, mms::GetNamedVariableListAttributesRequest>) {
                return listAttributes(id, service, s);
            } else if constexpr (std::is_same_v<T, mms::IdentifyRequest>) {
                s = "identify";
                return response(id,
                                mms::IdentifyResponse{identity_.vendor, identity_.model, identity_.revision});
            } else if constexpr (std::is_same_v<T, mms::StatusRequest>) {
                s = "status";
                return response(id, mms::StatusResponse{0, 0});
            } else {
                s = "unsupported service rejected";
                return mms::rejectUnrecognizedService(id);
            }
        },
        request.service);
}

mms::Pdu MmsServices::getNameList(uint32_t invokeId, const mms::GetNameListRequest& request,
                                  size_t maxPduSize, std::string& summary) {
    using Class = mms::ObjectClass;
    using Scope = mms::ObjectName::Scope;
    summary = "get-name-list class " + std::to_string(static_cast<int>(request.objectClass));
    std::vector<std::string> shortList;  // domains or data sets; variable names are kept sorted
    const std::vector<std::string>* names = &shortList;
    if (request.objectClass == Class::Domain) {
        for (const auto& d : model_.domains) {
            shortList.push_back(d->name);
        }
    } else if (request.scope == Scope::Domain && (request.objectClass == Class::NamedVariable ||
                                                  request.objectClass == Class::NamedVariableList)) {
        summary += " of " + request.domainId;
        const Domain* d = model_.domain(request.domainId);
        if (!d) {
            summary += ": no such domain";
            return nonExistent(invokeId);
        }
        if (request.objectClass == Class::NamedVariable) {
            names = &d->variableNames;
        } else {
            for (const auto& ds : d->dataSets) {
                shortList.push_back(ds.name);
            }
        }
    }
    mms::GetNameListResponse r = nameWindow(*names, request.continueAfter, invokeId, maxPduSize);
    summary +=
        ": " + std::to_string(r.identifiers.size()) + " names" + (r.moreFollows ? ", more follow" : "");
    return response(invokeId, std::move(r));
}

MmsValue MmsServices::readOne(const mms::VariableAccess& access) const {
    if (access.name.scope != mms::ObjectName::Scope::Domain) {
        return MmsValue::accessError(DataAccessError::ObjectNonExistent);
    }
    const ModelNode* node = model_.find(access.name.domainId, access.name.itemId);
    if (!node) {
        return MmsValue::accessError(DataAccessError::ObjectNonExistent);
    }
    for (size_t i = 0; i < access.path.size(); ++i) {
        const mms::AccessSelection& step = access.path[i];
        switch (step.kind) {
            case mms::AccessSelection::Kind::Component:
                node = node->kind == ModelNode::Kind::Structure ? node->child(step.component) : nullptr;
                break;
            case mms::AccessSelection::Kind::Index:
                node = node->kind == ModelNode::Kind::Array && step.index < node->children.size()
                           ? node->children[step.index].get()
                           : nullptr;
                break;
            case mms::AccessSelection::Kind::IndexRange: {
                if (node->kind != ModelNode::Kind::Array || i + 1 != access.path.size() ||
                    step.index >= node->children.size() || step.count > node->children.size() - step.index) {
                    return MmsValue::accessError(DataAccessError::ObjectNonExistent);
                }
                std::vector<MmsValue> elements;
                for (uint32_t k = 0; k < step.count; ++k) {
                    elements.push_back(valueOf(*node->children[step.index + k]));
                }
                return MmsValue::array(std::move(elements));
            }
            case mms::AccessSelection::Kind::AllElements:
                if (node->kind != ModelNode::Kind::Array) {
                    node = nullptr;
                }
                break;
        }
        if (!node) {
            return MmsValue::accessError(DataAccessError::ObjectNonExistent);
        }
    }
    return valueOf(*node);
}

mms::Pdu MmsServices::read(uint32_t invokeId, const mms::ReadRequest& request, std::string& summary) {
    mms::ReadResponse r;
    if (request.specWithResult.value_or(false)) {
        r.spec = request.spec;
    }
    const auto& spec = request.spec;
    size_t failures = 0;
    {
        std::lock_guard<std::mutex> lock(model_.valueLock());
        if (spec.kind == mms::VariableAccessSpec::Kind::VariableListName) {
            summary = "read data set " + describe(spec.listName);
            const DataSetDefinition* ds = spec.listName.scope == mms::ObjectName::Scope::Domain
                                              ? model_.dataSet(spec.listName.domainId, spec.listName.itemId)
                                              : nullptr;
            if (!ds) {
                summary += ": no such data set";
                return nonExistent(invokeId);
            }
            for (const auto& member : ds->members) {
                const ModelNode* node = model_.resolve(member);
                r.results.push_back(node ? valueOf(*node)
                                         : MmsValue::accessError(DataAccessError::ObjectNonExistent));
            }
        } else {
            summary = "read";
            for (size_t i = 0; i < spec.variables.size(); ++i) {
                appendToSummary(summary, i, spec.variables.size(), describe(spec.variables[i].name));
                r.results.push_back(readOne(spec.variables[i]));
            }
        }
    }
    for (const auto& v : r.results) {
        failures += v.type() == MMS_DATA_ACCESS_ERROR;
    }
    summary += failures ? ": " + std::to_string(failures) + " failed" : ": ok";
    return response(invokeId, std::move(r));
}

std::optional<DataAccessError> MmsServices::writeOne(const mms::VariableAccess& access,
                                                     const MmsValue& value) {
    if (access.name.scope != mms::ObjectName::Scope::Domain) {
        return DataAccessError::ObjectNonExistent;
    }
    ModelNode* node = model_.find(access.name.domainId, access.name.itemId);
    for (const auto& step : access.path) {
        if (!node) {
            break;
        }
        if (step.kind == mms::AccessSelection::Kind::Component && node->kind == ModelNode::Kind::Structure) {
            node = node->child(step.component);
        } else if (step.kind == mms::AccessSelection::Kind::Index && node->kind == ModelNode::Kind::Array &&
                   step.index < node->children.size()) {
            node = node->children[step.index].get();
        } else {
            node = nullptr;
        }
    }
    if (!node || node->fc.empty()) {
        // The logical node as a whole spans read-only constraints; it cannot be written.
        return node ? DataAccessError::ObjectAccessDenied : DataAccessError::ObjectNonExistent;
    }
    if (isReadOnlyFc(node->fc) || isReadOnlyControlBlockAttribute(*node)) {
        return DataAccessError::ObjectAccessDenied;
    }
    switch (checkConformance(*node, value)) {
        case Conformance::TypeMismatch:
            return DataAccessError::TypeInconsistent;
        case Conformance::ValueInvalid:
            return DataAccessError::ObjectValueInvalid;
        case Conformance::Conforms:
            break;
    }
    if (node->fc == "CO" && (node->name == "Oper" || node->name == "SBOw" || node->name == "Cancel")) {
        const ModelNode* dataObject = node->parent;
        const ModelNode* ln = dataObject && dataObject->parent ? dataObject->parent->parent : nullptr;
        const ModelNode* cf = ln ? ln->child("CF") : nullptr;
        const ModelNode* cfObject = cf ? cf->child(dataObject->name) : nullptr;
        const ModelNode* ctlModel = cfObject ? cfObject->child("ctlModel") : nullptr;
        if (ctlModel && ctlModel->kind == ModelNode::Kind::Basic && ctlModel->value.toInt64() == 0) {
            return DataAccessError::ObjectAccessDenied;  // status-only objects take no commands
        }
    }
    storeValue(*node, value);
    if (node->fc == "CO" && node->name == "Oper") {
        applyOperate(*node);
    }
    return std::nullopt;
}

void MmsServices::applyOperate(ModelNode& oper) {
    const ModelNode* ctlVal = oper.child("ctlVal");
    ModelNode* dataObject = oper.parent;
    ModelNode* ln = dataObject && dataObject->parent ? dataObject->parent->parent : nullptr;
    ModelNode* st = ln ? ln->child("ST") : nullptr;
    ModelNode* status = st ? st->child(dataObject->name) : nullptr;
    if (!ctlVal || !status) {
        return;
    }
    ModelNode* stVal = status->child("stVal");
    if (stVal && stVal->kind == ModelNode::Kind::Basic) {
        if (stVal->basic == BasicType::BitString && ctlVal->value.type() == MMS_BOOLEAN) {
            // A double point answers a boolean command with on (10) or off (01).
            mms::BitString pos(2);
            pos.setBit(0, ctlVal->value.boolValue());
            pos.setBit(1, !ctlVal->value.boolValue());
            stVal->value = MmsValue::bitString(pos);
        } else if (checkConformance(*stVal, ctlVal->value) == Conformance::Conforms) {
            stVal->value = ctlVal->value;
        }
    }
    if (ModelNode* t = status->child("t");
        t && t->kind == ModelNode::Kind::Basic && t->basic == BasicType::UtcTime) {
        auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        t->value = MmsValue::utcTimeFromMs(static_cast<uint64_t>(now.count()), 0x0a);
    }
}

mms::Pdu MmsServices::write(uint32_t invokeId, const mms::WriteRequest& request, std::string& summary) {
    mms::WriteResponse r;
    summary = "write";
    if (request.spec.kind != mms::VariableAccessSpec::Kind::ListOfVariable ||
        request.spec.variables.size() != request.data.size()) {
        summary += ": variables and values do not pair up";
        mms::Reject reject;
        reject.originalInvokeId = invokeId;
        reject.rejectClass = mms::RejectClass::ConfirmedRequest;
        reject.reason = static_cast<int64_t>(mms::RequestRejectReason::InvalidArgument);
        return reject;
    }
    std::lock_guard<std::mutex> lock(model_.valueLock());
    for (size_t i = 0; i < request.data.size(); ++i) {
        const auto& access = request.spec.variables[i];
        auto result = writeOne(access, request.data[i]);
        appendToSummary(
            summary, i, request.data.size(),
            describe(access.name) + (result ? std::string(" -> ") + mms::dataAccessErrorName(*result) : ""));
        r.results.push_back(result);
    }
    return response(invokeId, std::move(r));
}

mms::Pdu MmsServices::accessAttributes(uint32_t invokeId,
                                       const mms::GetVariableAccessAttributesRequest& request,
                                       std::string& summary) {
    summary = "get-variable-access-attributes " + describe(request.name);
    const ModelNode* node = request.name.scope == mms::ObjectName::Scope::Domain
                                ? model_.find(request.name.domainId, request.name.itemId)
                                : nullptr;
    if (!node) {
        summary += ": no such variable";
        return nonExistent(invokeId);
    }
    return response(invokeId, mms::GetVariableAccessAttributesResponse{false, typeOf(*node)});
}

mms::Pdu MmsServices::listAttributes(uint32_t invokeId,
                                     const mms::GetNamedVariableListAttributesRequest& request,
                                     std::string& summary) {
    summary = "get-named-variable-list-attributes " + describe(request.name);
    const DataSetDefinition* ds = request.name.scope == mms::ObjectName::Scope::Domain
                                      ? model_.dataSet(request.name.domainId, request.name.itemId)
                                      : nullptr;
    if (!ds) {
        summary += ": no such data set";
        return nonExistent(invokeId);
    }
    mms::GetNamedVariableListAttributesResponse r;
    for (const auto& m : ds->members) {
        mms::VariableAccess access{mms::ObjectName::domain(m.domain, m.item), {}};
        if (m.index >= 0) {
            access.path.push_back(mms::AccessSelection::at(static_cast<uint32_t>(m.index)));
            for (const auto& c : m.components) {
                access.path.push_back(mms::AccessSelection::named(c));
            }
        }
        r.variables.push_back(std::move(access));
    }
    return response(invokeId, std::move(r));
}

}  // namespace iecstack::server
