#include "data_set_service.h"

#include <algorithm>
#include <cctype>

#include "mapping/member_reference.h"
#include "server/mms_services.h"
#include "service_support.h"

namespace iecstack::server {
namespace {

using mms::ErrorClass;

// Codes of the definition class.
constexpr int64_t kObjectUndefined = 1;
constexpr int64_t kObjectExists = 5;
constexpr int64_t kObjectAttributeInconsistent = 6;
// Code of the resource class.
constexpr int64_t kCapabilityUnavailable = 4;

bool isPlainName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(),
                                        [](unsigned char c) { return std::isalnum(c) != 0 || c == '_'; });
}

std::vector<DataSetDefinition>::iterator byName(std::vector<DataSetDefinition>& sets,
                                                const std::string& name) {
    return std::find_if(sets.begin(), sets.end(), [&](const DataSetDefinition& d) { return d.name == name; });
}

}  // namespace

using namespace detail;

bool DataSetService::memberOf(const mms::VariableAccess& variable, DataSetDefinition::Member* member) const {
    if (variable.name.scope != mms::ObjectName::Scope::Domain) {
        return false;
    }
    member->domain = variable.name.domainId;
    member->item = variable.name.itemId;
    if (!variable.path.empty()) {
        // An array element and the path below it, as configured members name them.
        if (variable.path.front().kind != mms::AccessSelection::Kind::Index) {
            return false;
        }
        member->index = static_cast<int>(std::min<uint32_t>(variable.path.front().index, 1u << 30));
        for (size_t i = 1; i < variable.path.size(); ++i) {
            if (variable.path[i].kind != mms::AccessSelection::Kind::Component) {
                return false;
            }
            member->components.push_back(variable.path[i].component);
        }
    }
    // A member names data under one constraint: "LN$FC$..." at least, never a whole logical node.
    return mapping::itemNameParts(member->item).size() >= 3 && model_.resolve(*member) != nullptr;
}

mms::Pdu DataSetService::define(uint32_t invokeId, const mms::DefineNamedVariableListRequest& request,
                                const Session& client, std::string& summary) {
    const mms::ObjectName& name = request.name;
    summary = "define data set " + describe(name);
    if (name.itemId.empty() || name.itemId.size() > limits_.maxNameLength) {
        summary += ": bad name";
        return serviceError(invokeId, ErrorClass::Definition, kObjectUndefined);
    }
    if (request.variables.empty() || request.variables.size() > limits_.maxMembers) {
        summary += ": " + std::to_string(request.variables.size()) + " members";
        return serviceError(invokeId, ErrorClass::Definition, kObjectAttributeInconsistent);
    }
    DataSetDefinition set;
    set.name = name.itemId;
    set.deletable = true;
    for (const mms::VariableAccess& variable : request.variables) {
        DataSetDefinition::Member member;
        if (!memberOf(variable, &member)) {
            summary += ": member " + describe(variable.name) + " does not exist";
            return serviceError(invokeId, ErrorClass::Definition, kObjectUndefined);
        }
        set.members.push_back(std::move(member));
    }

    if (name.scope == mms::ObjectName::Scope::Association) {
        std::vector<DataSetDefinition>& own = temporary_[client.id()];
        if (byName(own, name.itemId) != own.end()) {
            summary += ": exists";
            return serviceError(invokeId, ErrorClass::Definition, kObjectExists);
        }
        if (own.size() >= limits_.maxTemporaryPerAssociation) {
            summary += ": too many";
            return serviceError(invokeId, ErrorClass::Resource, kCapabilityUnavailable);
        }
        own.push_back(std::move(set));
        summary += ": ok";
        return response(invokeId, mms::DefineNamedVariableListResponse{});
    }
    Domain* domain = name.scope == mms::ObjectName::Scope::Domain ? model_.domain(name.domainId) : nullptr;
    const std::vector<std::string_view> parts = mapping::itemNameParts(name.itemId);
    if (domain == nullptr || parts.size() != 2 || !domain->nodeByName.count(std::string(parts[0])) ||
        !isPlainName(std::string(parts[1]))) {
        summary += ": no such logical node, or not a data set name";
        return serviceError(invokeId, ErrorClass::Definition, kObjectUndefined);
    }
    if (byName(domain->dataSets, name.itemId) != domain->dataSets.end()) {
        summary += ": exists";
        return serviceError(invokeId, ErrorClass::Definition, kObjectExists);
    }
    const auto made = std::count_if(domain->dataSets.begin(), domain->dataSets.end(),
                                    [](const DataSetDefinition& d) { return d.deletable; });
    if (static_cast<size_t>(made) >= limits_.maxPersistentPerDomain) {
        summary += ": too many";
        return serviceError(invokeId, ErrorClass::Resource, kCapabilityUnavailable);
    }
    const auto at = std::upper_bound(
        domain->dataSets.begin(), domain->dataSets.end(), set.name,
        [](const std::string& n, const DataSetDefinition& d) { return directoryOrderLess(n, d.name); });
    domain->dataSets.insert(at, std::move(set));
    summary += ": ok";
    return response(invokeId, mms::DefineNamedVariableListResponse{});
}

bool DataSetService::namedByControlBlock(const std::string& reference) const {
    for (const auto& domain : model_.domains) {
        for (const auto& node : domain->logicalNodes) {
            for (const auto& fc : node->children) {
                for (const auto& block : fc->children) {
                    const ModelNode* datSet =
                        block->kind == ModelNode::Kind::Structure ? block->child("DatSet") : nullptr;
                    if (datSet != nullptr && datSet->kind == ModelNode::Kind::Basic &&
                        datSet->value.type() == MMS_VISIBLE_STRING && datSet->value.text() == reference) {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

mms::Pdu DataSetService::remove(uint32_t invokeId, const mms::DeleteNamedVariableListRequest& request,
                                const Session& client, std::string& summary) {
    using Scope = mms::DeleteNamedVariableListRequest::Scope;
    summary = "delete data sets";
    mms::DeleteNamedVariableListResponse r;
    if (request.scope.value_or(Scope::Specific) != Scope::Specific) {
        summary += ": only named sets are deleted";  // never a whole domain's or association's at once
        return response(invokeId, r);
    }
    for (const mms::ObjectName& name : request.names) {
        summary += " " + describe(name);
        if (name.scope == mms::ObjectName::Scope::Association) {
            std::vector<DataSetDefinition>& own = temporary_[client.id()];
            const auto it = byName(own, name.itemId);
            if (it != own.end()) {
                ++r.numberMatched;
                ++r.numberDeleted;
                own.erase(it);
            }
            continue;
        }
        Domain* domain =
            name.scope == mms::ObjectName::Scope::Domain ? model_.domain(name.domainId) : nullptr;
        if (domain == nullptr) {
            continue;
        }
        const auto it = byName(domain->dataSets, name.itemId);
        if (it == domain->dataSets.end()) {
            continue;
        }
        ++r.numberMatched;
        if (!it->deletable) {
            summary += " (configured, kept)";
        } else if (namedByControlBlock(mapping::variableReference(domain->name, name.itemId))) {
            summary += " (a control block names it, kept)";
        } else {
            domain->dataSets.erase(it);
            ++r.numberDeleted;
        }
    }
    summary += ": " + std::to_string(r.numberDeleted) + " of " + std::to_string(r.numberMatched) + " deleted";
    return response(invokeId, r);
}

const DataSetDefinition* DataSetService::find(const mms::ObjectName& name, const Session& client) const {
    if (name.scope == mms::ObjectName::Scope::Domain) {
        return model_.dataSet(name.domainId, name.itemId);
    }
    if (name.scope != mms::ObjectName::Scope::Association) {
        return nullptr;
    }
    const auto own = temporary_.find(client.id());
    if (own == temporary_.end()) {
        return nullptr;
    }
    for (const DataSetDefinition& set : own->second) {
        if (set.name == name.itemId) {
            return &set;
        }
    }
    return nullptr;
}

void DataSetService::associationEnded(const Session& client) {
    temporary_.erase(client.id());
}

}  // namespace iecstack::server
