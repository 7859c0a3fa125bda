// The MMS-level services of an association: reads of many variables in one request, requests that do
// not wait for their answers, and the data sets of a whole domain in one name list.

#include <cstring>

#include "client_connection.h"
#include "client_error.h"
#include "mapping/object_reference.h"
#include "mms/value.h"

namespace iecstack::client {

namespace {

using std::chrono::milliseconds;

MmsError mmsErrorOf(ClientError error) {
    switch (error) {
        case ClientError::Ok:
            return MMS_ERROR_NONE;
        case ClientError::NotConnected:
        case ClientError::ConnectionLost:
            return MMS_ERROR_CONNECTION_LOST;
        case ClientError::ConnectionRejected:
            return MMS_ERROR_CONNECTION_REJECTED;
        case ClientError::Timeout:
            return MMS_ERROR_SERVICE_TIMEOUT;
        case ClientError::OutstandingCallLimitReached:
            return MMS_ERROR_OUTSTANDING_CALL_LIMIT;
        case ClientError::MalformedMessage:
        case ClientError::UnexpectedValueReceived:
            return MMS_ERROR_PARSING_RESPONSE;
        case ClientError::InvalidArgument:
        case ClientError::ObjectReferenceInvalid:
            return MMS_ERROR_INVALID_ARGUMENTS;
        case ClientError::ServiceNotSupported:
            return MMS_ERROR_REJECT_UNRECOGNIZED_SERVICE;
        case ClientError::TemporarilyUnavailable:
            return MMS_ERROR_RESOURCE_CAPABILITY_UNAVAILABLE;
        case ClientError::AccessDenied:
            return MMS_ERROR_ACCESS_OBJECT_ACCESS_DENIED;
        case ClientError::ObjectDoesNotExist:
            return MMS_ERROR_ACCESS_OBJECT_NON_EXISTENT;
        case ClientError::ObjectAccessUnsupported:
            return MMS_ERROR_ACCESS_OBJECT_ACCESS_UNSUPPORTED;
        case ClientError::HardwareFault:
            return MMS_ERROR_HARDWARE_FAULT;
        default:
            return MMS_ERROR_OTHER;
    }
}

// A Read response with one result per item, as one array value.
MmsValue* arrayOf(RequestOutcome& outcome, size_t items, MmsError* error) {
    auto* response = outcome.response ? std::get_if<mms::ReadResponse>(&*outcome.response) : nullptr;
    if (response == nullptr || response->results.size() != items) {
        *error = MMS_ERROR_PARSING_RESPONSE;
        return nullptr;
    }
    *error = MMS_ERROR_NONE;
    return new MmsValue(MmsValue::array(std::move(response->results)));
}

}  // namespace

MmsConnectionParameters ClientConnection::parameters() const {
    MmsConnectionParameters p;
    std::memset(&p, 0, sizeof p);
    const auto association = current();
    if (association && association->client->isConnected()) {
        const int outstanding = static_cast<int>(association->client->negotiatedOutstanding());
        p.maxServOutstandingCalling = outstanding;
        p.maxServOutstandingCalled = outstanding;
        p.dataStructureNestingLevel = 10;
        p.maxPduSize = static_cast<int>(association->client->negotiatedPduSize());
    }
    return p;
}

std::vector<std::string> ClientConnection::dataSetNames(MmsError* error, const char* domain) {
    if (domain == nullptr || *domain == '\0') {
        *error = MMS_ERROR_INVALID_ARGUMENTS;
        return {};
    }
    const auto association = current();
    if (!association) {
        *error = MMS_ERROR_CONNECTION_LOST;
        return {};
    }
    mms::GetNameListRequest request;
    request.objectClass = mms::ObjectClass::NamedVariableList;
    request.scope = mms::ObjectName::Scope::Domain;
    request.domainId = domain;
    std::vector<std::string> names;
    *error = mmsErrorOf(fetchNameList(*association, std::move(request), &names));
    return *error == MMS_ERROR_NONE ? names : std::vector<std::string>{};
}

std::optional<mms::ReadRequest> ClientConnection::readRequestFor(const char* domain,
                                                                 const std::vector<std::string>& items) {
    if (domain == nullptr || *domain == '\0' || items.empty()) {
        return std::nullopt;
    }
    std::vector<mms::VariableAccess> variables;
    variables.reserve(items.size());
    for (const std::string& item : items) {
        if (item.empty()) {
            return std::nullopt;
        }
        variables.push_back(mms::VariableAccess{mms::ObjectName::domain(domain, item), {}});
    }
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list(std::move(variables));
    return read;
}

MmsValue* ClientConnection::readMultiple(MmsError* error, const char* domain,
                                         const std::vector<std::string>& items) {
    auto read = readRequestFor(domain, items);
    if (!read) {
        *error = MMS_ERROR_INVALID_ARGUMENTS;
        return nullptr;
    }
    const auto association = current();
    if (!association) {
        *error = MMS_ERROR_CONNECTION_LOST;
        return nullptr;
    }
    RequestOutcome outcome = request(*association, std::move(*read));
    if (outcome.error != ClientError::Ok) {
        *error = mmsErrorOf(outcome.error);
        return nullptr;
    }
    return arrayOf(outcome, items.size(), error);
}

MmsError ClientConnection::readMultipleAsync(const char* domain, const std::vector<std::string>& items,
                                             std::function<void(uint32_t, MmsError, MmsValue*)> done,
                                             uint32_t* invokeId) {
    auto read = readRequestFor(domain, items);
    if (!read) {
        return MMS_ERROR_INVALID_ARGUMENTS;
    }
    const auto association = current();
    if (!association) {
        return MMS_ERROR_CONNECTION_LOST;
    }
    const size_t count = items.size();
    return mmsErrorOf(association->client->requestAsync(
        std::move(*read), milliseconds(requestTimeoutMs_.load()),
        [count, done = std::move(done)](uint32_t id, RequestOutcome outcome) {
            if (outcome.error != ClientError::Ok) {
                done(id, mmsErrorOf(outcome.error), nullptr);
                return;
            }
            MmsError error = MMS_ERROR_NONE;
            MmsValue* value = arrayOf(outcome, count, &error);
            done(id, error, value);
        },
        invokeId));
}

MmsError ClientConnection::identifyAsync(
    std::function<void(uint32_t, MmsError, const mms::IdentifyResponse*)> done, uint32_t* invokeId) {
    const auto association = current();
    if (!association) {
        return MMS_ERROR_CONNECTION_LOST;
    }
    return mmsErrorOf(association->client->requestAsync(
        mms::IdentifyRequest{}, milliseconds(requestTimeoutMs_.load()),
        [done = std::move(done)](uint32_t id, RequestOutcome outcome) {
            const auto* identity =
                outcome.response ? std::get_if<mms::IdentifyResponse>(&*outcome.response) : nullptr;
            if (outcome.error != ClientError::Ok) {
                done(id, mmsErrorOf(outcome.error), nullptr);
            } else if (identity == nullptr) {
                done(id, MMS_ERROR_PARSING_RESPONSE, nullptr);
            } else {
                done(id, MMS_ERROR_NONE, identity);
            }
        },
        invokeId));
}

ClientError ClientConnection::dataSetDirectoryAsync(
    const char* dataSetReference,
    std::function<void(uint32_t, ClientError, std::vector<std::string>*, bool)> done, uint32_t* invokeId) {
    ClientError error = ClientError::Ok;
    auto name = dataSetName(&error, dataSetReference);
    if (!name) {
        return error;
    }
    const auto association = current();
    if (!association) {
        return ClientError::NotConnected;
    }
    std::string domain = name->domainId;
    mms::GetNamedVariableListAttributesRequest question{std::move(*name)};
    return association->client->requestAsync(
        std::move(question), milliseconds(requestTimeoutMs_.load()),
        [domain = std::move(domain), done = std::move(done)](uint32_t id, RequestOutcome outcome) {
            const auto* response =
                outcome.response
                    ? std::get_if<mms::GetNamedVariableListAttributesResponse>(&*outcome.response)
                    : nullptr;
            if (outcome.error != ClientError::Ok) {
                done(id, outcome.error, nullptr, false);
            } else if (response == nullptr) {
                done(id, ClientError::UnexpectedValueReceived, nullptr, false);
            } else {
                bool deletable = false;
                std::vector<std::string> members = membersOf(*response, domain, &deletable);
                done(id, ClientError::Ok, &members, deletable);
            }
        },
        invokeId);
}

}  // namespace iecstack::client
