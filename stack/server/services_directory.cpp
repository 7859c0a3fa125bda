#include "server/mms_services.h"

#include <algorithm>
#include <optional>

#include "ber/writer.h"
#include "data_set_service.h"
#include "mms/codec.h"
#include "server/mms_mapping.h"
#include "service_support.h"

namespace iecstack::server {
namespace {

using mms::DataAccessError;

// Kept free below the negotiated size when cutting name lists, as devices do, so that a peer that
// counts its buffer a little differently still takes the response.
constexpr size_t kNameListReserve = 16;

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

}  // namespace

using namespace detail;

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
    } else if (request.scope == Scope::Domain && request.objectClass == Class::Journal) {
        summary += " of " + request.domainId;
        const Domain* d = model_.domain(request.domainId);
        if (!d) {
            summary += ": no such domain";
            return nonExistent(invokeId);
        }
        names = &d->journals;
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
            std::lock_guard<std::mutex> lock(model_.valueLock());  // clients define and delete them
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
                                     const Session& session, std::string& summary) {
    summary = "get-named-variable-list-attributes " + describe(request.name);
    std::lock_guard<std::mutex> lock(model_.valueLock());
    const DataSetDefinition* ds = dataSets_->find(request.name, session);
    if (!ds) {
        summary += ": no such data set";
        return nonExistent(invokeId);
    }
    mms::GetNamedVariableListAttributesResponse r;
    r.mmsDeletable = ds->deletable;
    for (const auto& m : ds->members) {
        r.variables.push_back(m.variable());
    }
    return response(invokeId, std::move(r));
}

}  // namespace iecstack::server
