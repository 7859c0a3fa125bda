#include "server/mms_services.h"

#include <algorithm>
#include <optional>

#include "ber/writer.h"
#include "control_service.h"
#include "data_set_service.h"
#include "log_engine.h"
#include "mms/codec.h"
#include "report_engine.h"
#include "sampled_value_service.h"
#include "server/mms_mapping.h"
#include "service_support.h"
#include "setting_group_service.h"
#include "substitution_service.h"

namespace iecstack::server {
namespace {

using mms::DataAccessError;

bool isReadOnlyFc(const std::string& fc) {
    return fc == "ST" || fc == "MX" || fc == "SG";
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

using namespace detail;

MmsValue MmsServices::readOne(const mms::VariableAccess& access, Session& session) {
    if (access.name.scope != mms::ObjectName::Scope::Domain) {
        return MmsValue::accessError(DataAccessError::ObjectNonExistent);
    }
    ModelNode* node = model_.find(access.name.domainId, access.name.itemId);
    if (!node) {
        return MmsValue::accessError(DataAccessError::ObjectNonExistent);
    }
    if (access.path.empty() && ControlService::isSelectAttribute(*node)) {
        // Reading SBO is the select service.
        return controls_->select(access.name.domainId, *node, session);
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
    if (!settingGroups_->mayAccess(access.name.domainId, *node, session)) {
        return MmsValue::accessError(DataAccessError::TemporarilyUnavailable);
    }
    return valueOf(*node);
}

mms::Pdu MmsServices::read(uint32_t invokeId, const mms::ReadRequest& request, Session& session,
                           std::string& summary) {
    mms::ReadResponse r;
    if (request.specWithResult.value_or(false)) {
        r.spec = request.spec;
    }
    const auto& spec = request.spec;
    if (maxReadVariables_ > 0 && spec.variables.size() > maxReadVariables_) {
        summary = "read of " + std::to_string(spec.variables.size()) + " variables rejected (at most " +
                  std::to_string(maxReadVariables_) + ")";
        mms::Reject reject;
        reject.originalInvokeId = invokeId;
        reject.rejectClass = mms::RejectClass::ConfirmedRequest;
        reject.reason = static_cast<int64_t>(mms::RequestRejectReason::Other);
        return reject;
    }
    size_t failures = 0;
    {
        std::lock_guard<std::mutex> lock(model_.valueLock());
        settingGroups_->expireEdits();
        if (spec.kind == mms::VariableAccessSpec::Kind::VariableListName) {
            summary = "read data set " + describe(spec.listName);
            const DataSetDefinition* ds = dataSets_->find(spec.listName, session);
            if (!ds) {
                summary += ": no such data set";
                return nonExistent(invokeId);
            }
            for (const auto& member : ds->members) {
                const ModelNode* node = model_.resolve(member);
                r.results.push_back(!node ? MmsValue::accessError(DataAccessError::ObjectNonExistent)
                                    : !settingGroups_->mayAccess(member.domain, *node, session)
                                        ? MmsValue::accessError(DataAccessError::TemporarilyUnavailable)
                                        : valueOf(*node));
            }
        } else {
            summary = "read";
            for (size_t i = 0; i < spec.variables.size(); ++i) {
                appendToSummary(summary, i, spec.variables.size(), describe(spec.variables[i].name));
                r.results.push_back(readOne(spec.variables[i], session));
            }
        }
    }
    for (const auto& v : r.results) {
        failures += v.type() == MMS_DATA_ACCESS_ERROR;
    }
    summary += failures ? ": " + std::to_string(failures) + " failed" : ": ok";
    return response(invokeId, std::move(r));
}

std::optional<DataAccessError> MmsServices::writeOne(const mms::VariableAccess& access, const MmsValue& value,
                                                     Session& session, std::string* note) {
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
    if (!settingGroups_->mayAccess(access.name.domainId, *node, session)) {
        return DataAccessError::TemporarilyUnavailable;
    }
    switch (checkConformance(*node, value)) {
        case Conformance::TypeMismatch:
            return DataAccessError::TypeInconsistent;
        case Conformance::ValueInvalid:
            return DataAccessError::ObjectValueInvalid;
        case Conformance::Conforms:
            break;
    }
    if (ReportEngine::isBlockAttribute(*node)) {
        return writeControlBlock(*node, value, session);
    }
    if (LogEngine::isBlockAttribute(*node)) {
        return logs_->write(*node, value);
    }
    if (SampledValueService::concerns(*node)) {
        return sampledValues_->write(*node, value, session);
    }
    if (ControlService::isCommand(*node)) {
        return controls_->command(access.name.domainId, *node, value, session, note);
    }
    if (node->fc == "CO") {
        // Parts of a command, or the whole control object, would bypass the control model.
        return DataAccessError::ObjectAccessDenied;
    }
    if (SettingGroupService::isControlBlockAttribute(*node)) {
        return settingGroups_->write(access.name.domainId, *node, value, session);
    }
    if (node->fc == "SP" && (node->name == "SGCB" || node->child("SGCB") != nullptr)) {
        return DataAccessError::ObjectAccessDenied;  // the block as a whole carries read-only attributes
    }
    storeValue(model_, *node, value);
    if (node->fc == "SV") {
        substitutions_->written(*node);
    }
    return std::nullopt;
}

mms::Pdu MmsServices::write(uint32_t invokeId, const mms::WriteRequest& request, Session& session,
                            std::string& summary) {
    if (request.spec.kind == mms::VariableAccessSpec::Kind::VariableListName) {
        return writeDataSet(invokeId, request, session, summary);
    }
    mms::WriteResponse r;
    summary = "write";
    if (request.spec.variables.size() != request.data.size()) {
        summary += ": variables and values do not pair up";
        mms::Reject reject;
        reject.originalInvokeId = invokeId;
        reject.rejectClass = mms::RejectClass::ConfirmedRequest;
        reject.reason = static_cast<int64_t>(mms::RequestRejectReason::InvalidArgument);
        return reject;
    }
    std::lock_guard<std::mutex> lock(model_.valueLock());
    settingGroups_->expireEdits();
    for (size_t i = 0; i < request.data.size(); ++i) {
        const auto& access = request.spec.variables[i];
        std::string note;
        auto result = writeOne(access, request.data[i], session, &note);
        appendToSummary(summary, i, request.data.size(),
                        describe(access.name) + (note.empty() ? "" : " (" + note + ")") +
                            (result ? std::string(" -> ") + mms::dataAccessErrorName(*result) : ""));
        r.results.push_back(result);
    }
    return response(invokeId, std::move(r));
}

mms::Pdu MmsServices::writeDataSet(uint32_t invokeId, const mms::WriteRequest& request, Session& session,
                                   std::string& summary) {
    summary = "write data set " + describe(request.spec.listName);
    std::lock_guard<std::mutex> lock(model_.valueLock());
    const DataSetDefinition* ds = dataSets_->find(request.spec.listName, session);
    if (!ds) {
        summary += ": no such data set";
        return nonExistent(invokeId);
    }
    if (ds->members.size() != request.data.size()) {
        summary += ": " + std::to_string(request.data.size()) + " values for " +
                   std::to_string(ds->members.size()) + " members";
        mms::Reject reject;
        reject.originalInvokeId = invokeId;
        reject.rejectClass = mms::RejectClass::ConfirmedRequest;
        reject.reason = static_cast<int64_t>(mms::RequestRejectReason::InvalidArgument);
        return reject;
    }
    settingGroups_->expireEdits();
    const std::vector<DataSetDefinition::Member>& members = ds->members;
    mms::WriteResponse r;
    size_t failures = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        auto result = writeOne(members[i].variable(), request.data[i], session);
        failures += result.has_value();
        r.results.push_back(result);
    }
    summary += failures
                   ? ": " + std::to_string(failures) + " of " + std::to_string(members.size()) + " refused"
                   : ": ok";
    return response(invokeId, std::move(r));
}

}  // namespace iecstack::server
