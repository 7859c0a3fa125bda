// Data sets the client defines, deletes, reads and writes by their name.

#include <algorithm>

#include "client_connection.h"
#include "client_error.h"
#include "functional_constraint.h"
#include "mapping/object_reference.h"

namespace iecstack::client {

std::optional<mms::ObjectName> ClientConnection::dataSetName(ClientError* error, const char* reference) {
    const std::string text = reference == nullptr ? "" : reference;
    if (text.size() > 1 && text.front() == '@' && text.size() <= mapping::kMaxReferenceLength &&
        text.find_first_of("/.$", 1) == std::string::npos) {
        return mms::ObjectName::association(text.substr(1));  // lives as long as the association
    }
    // "LD/LN.name", or "LD/LN$name" as reports and control blocks spell it.
    std::string dotted = text;
    std::replace(dotted.begin(), dotted.end(), '$', '.');
    const auto ref = mapping::ObjectReference::parse(dotted);
    if (!ref || std::count(ref->path.begin(), ref->path.end(), '.') != 1) {
        *error = ClientError::ObjectReferenceInvalid;
        return std::nullopt;
    }
    return mms::ObjectName::domain(ref->domain, ref->plainItemName());
}

std::optional<mms::VariableAccess> ClientConnection::memberVariable(const std::string& member) {
    // "LD/LN.DO.DA[FC]"
    const size_t open = member.rfind('[');
    if (open == std::string::npos || member.size() != open + 4 || member.back() != ']') {
        return std::nullopt;
    }
    const FunctionalConstraint fc = FunctionalConstraint_fromString(member.c_str() + open + 1);
    const char* fcName = functionalConstraintName(fc);
    const auto ref = mapping::ObjectReference::parse(std::string_view(member).substr(0, open));
    if (fcName == nullptr || !ref) {
        return std::nullopt;
    }
    return mms::VariableAccess{mms::ObjectName::domain(ref->domain, ref->itemName(fcName)), {}};
}

void ClientConnection::defineDataSet(ClientError* error, const char* dataSetReference,
                                     const std::vector<std::string>& members) {
    auto name = dataSetName(error, dataSetReference);
    if (!name) {
        return;
    }
    mms::DefineNamedVariableListRequest define;
    define.name = std::move(*name);
    for (const std::string& member : members) {
        auto variable = memberVariable(member);
        if (!variable) {
            *error = ClientError::ObjectReferenceInvalid;
            return;
        }
        define.variables.push_back(std::move(*variable));
    }
    if (define.variables.empty()) {
        *error = ClientError::InvalidArgument;
        return;
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return;
    }
    RequestOutcome outcome = request(*association, std::move(define));
    *error = outcome.error;
    if (outcome.error == ClientError::Ok &&
        !std::holds_alternative<mms::DefineNamedVariableListResponse>(*outcome.response)) {
        *error = ClientError::UnexpectedValueReceived;
    }
}

bool ClientConnection::deleteDataSet(ClientError* error, const char* dataSetReference) {
    auto name = dataSetName(error, dataSetReference);
    if (!name) {
        return false;
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return false;
    }
    mms::DeleteNamedVariableListRequest remove;
    remove.scope = mms::DeleteNamedVariableListRequest::Scope::Specific;
    remove.names.push_back(std::move(*name));
    RequestOutcome outcome = request(*association, std::move(remove));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return false;
    }
    const auto* response = std::get_if<mms::DeleteNamedVariableListResponse>(&*outcome.response);
    if (response == nullptr) {
        *error = ClientError::UnexpectedValueReceived;
        return false;
    }
    if (response->numberDeleted == 1) {
        return true;
    }
    // Not found, or found and kept (configured by the device, or named by a control block).
    *error = response->numberMatched == 0 ? ClientError::ObjectDoesNotExist : ClientError::AccessDenied;
    return false;
}

std::optional<std::vector<MmsValue>> ClientConnection::readDataSet(ClientError* error,
                                                                   const char* dataSetReference) {
    auto name = dataSetName(error, dataSetReference);
    if (!name) {
        return std::nullopt;
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return std::nullopt;
    }
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::named(std::move(*name));
    RequestOutcome outcome = request(*association, std::move(read));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return std::nullopt;
    }
    auto* response = std::get_if<mms::ReadResponse>(&*outcome.response);
    if (response == nullptr) {
        *error = ClientError::UnexpectedValueReceived;
        return std::nullopt;
    }
    return std::move(response->results);
}

std::vector<std::optional<mms::DataAccessError>> ClientConnection::writeDataSet(
    ClientError* error, const char* dataSetReference, std::vector<MmsValue> values) {
    auto name = dataSetName(error, dataSetReference);
    if (!name) {
        return {};
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return {};
    }
    const size_t count = values.size();
    mms::WriteRequest write;
    write.spec = mms::VariableAccessSpec::named(std::move(*name));
    write.data = std::move(values);
    RequestOutcome outcome = request(*association, std::move(write));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return {};
    }
    auto* response = std::get_if<mms::WriteResponse>(&*outcome.response);
    if (response == nullptr || response->results.size() != count) {
        // Results that do not pair up with the values say nothing about any one member.
        *error = ClientError::UnexpectedValueReceived;
        return {};
    }
    return std::move(response->results);
}

}  // namespace iecstack::client
