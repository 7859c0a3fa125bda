// Writing attributes and asking for their type descriptions.

#include "client_connection.h"
#include "client_error.h"
#include "functional_constraint.h"
#include "mapping/object_reference.h"

namespace iecstack::client {

std::optional<mms::ObjectName> ClientConnection::variableName(ClientError* error, const char* reference,
                                                              FunctionalConstraint fc) {
    const auto ref = mapping::ObjectReference::parse(reference == nullptr ? "" : reference);
    if (!ref) {
        *error = ClientError::ObjectReferenceInvalid;
        return std::nullopt;
    }
    const char* fcName = functionalConstraintName(fc);
    if (fcName == nullptr) {
        *error = ClientError::InvalidArgument;
        return std::nullopt;
    }
    return mms::ObjectName::domain(ref->domain, ref->itemName(fcName));
}

void ClientConnection::writeObject(ClientError* error, const char* reference, FunctionalConstraint fc,
                                   const MmsValue& value) {
    auto name = variableName(error, reference, fc);
    if (!name) {
        return;
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return;
    }
    mms::WriteRequest write;
    write.spec = mms::VariableAccessSpec::list({mms::VariableAccess{std::move(*name), {}}});
    write.data.push_back(value);
    RequestOutcome outcome = request(*association, std::move(write));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return;
    }
    const auto* response = std::get_if<mms::WriteResponse>(&*outcome.response);
    if (response == nullptr || response->results.size() != 1) {
        // An answer for another number of variables cannot tell whether ours was written.
        *error = ClientError::UnexpectedValueReceived;
        return;
    }
    if (const auto& refusal = response->results.front()) {
        *error = errorFromDataAccessError(*refusal);
    }
}

std::unique_ptr<sMmsVariableSpecification> ClientConnection::variableSpecification(ClientError* error,
                                                                                   const char* reference,
                                                                                   FunctionalConstraint fc) {
    auto name = variableName(error, reference, fc);
    if (!name) {
        return nullptr;
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return nullptr;
    }
    std::string lastName = name->itemId.substr(name->itemId.rfind('$') + 1);
    RequestOutcome outcome = request(*association, mms::GetVariableAccessAttributesRequest{std::move(*name)});
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return nullptr;
    }
    const auto* response = std::get_if<mms::GetVariableAccessAttributesResponse>(&*outcome.response);
    if (response == nullptr) {
        *error = ClientError::UnexpectedValueReceived;
        return nullptr;
    }
    return mms::makeVariableSpecification(response->type, std::move(lastName));
}

}  // namespace iecstack::client
