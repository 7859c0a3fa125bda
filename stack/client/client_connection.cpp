#include "client_connection.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include "client_error.h"
#include "functional_constraint.h"
#include "mapping/member_reference.h"
#include "mapping/object_reference.h"

namespace iecstack::client {

namespace {

using mapping::ObjectReference;
using std::chrono::milliseconds;

// How long closing waits for the server to answer conclude and release before it aborts.
constexpr milliseconds kCloseWait{500};

}  // namespace

ClientConnection::~ClientConnection() {
    close();
}

void ClientConnection::setClosedHandler(IedConnectionClosedHandler handler, void* parameter) {
    std::lock_guard<std::mutex> lock(mutex_);
    closedHandler_ = handler;
    closedParameter_ = parameter;
}

ClientError ClientConnection::connect(const char* host, int port) {
    if (host == nullptr || port <= 0 || port > 65535) {
        return ClientError::InvalidArgument;
    }
    auto association = std::make_shared<Association>();
    const Association* key = association.get();
    association->client = std::make_shared<MmsClient>(
        MmsClient::Handlers{[this, key] { associationEnded(key); },
                            [this](mms::UnconfirmedPdu&& pdu) { unconfirmedReceived(std::move(pdu)); }});
    std::shared_ptr<Association> previous;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (association_ && (association_->connecting || association_->client->isConnected())) {
            return ClientError::AlreadyConnected;
        }
        previous = std::move(association_);
        association->connecting = true;
        // Published before connecting so that close() or destroy from another thread can cut it short.
        association_ = association;
    }
    if (previous) {
        dispose(std::move(previous), false, milliseconds(0));
    }
    std::optional<std::string> password;
    const AcseAuthenticationParameter auth = isoParameters_.acseAuthParameter;
    if (auth != nullptr && auth->mechanism == ACSE_AUTH_PASSWORD) {
        password = auth->password;
    }
    const ClientError result =
        association->client->connect(host, port, milliseconds(connectTimeoutMs_.load()), password);
    association->connecting = false;
    if (result != ClientError::Ok) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (association_ == association) {
                association_.reset();
            }
        }
        dispose(std::move(association), false, milliseconds(0));
    }
    return result;
}

void ClientConnection::close() {
    std::shared_ptr<Association> association;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        association = std::move(association_);
    }
    if (association) {
        dispose(std::move(association), true, std::min(kCloseWait, milliseconds(requestTimeoutMs_.load())));
    }
}

void ClientConnection::abort() {
    std::shared_ptr<Association> association;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        association = std::move(association_);
    }
    if (association) {
        dispose(std::move(association), false, milliseconds(0));
    }
}

void ClientConnection::dispose(std::shared_ptr<Association> association, bool release, milliseconds timeout) {
    std::shared_ptr<MmsClient> client = association->client;
    association.reset();
    if (client->onReceiveThread()) {
        // Called from inside the closed handler: the receive thread cannot wait for itself, so a helper
        // thread ends the association once the handler has returned.
        std::thread([client = std::move(client)]() mutable {
            client->abort();
            client.reset();
        }).detach();
        return;
    }
    if (release && client->isConnected()) {
        client->release(timeout);
    } else {
        client->abort();
    }
}

void ClientConnection::associationEnded(const Association* ended) {
    IedConnectionClosedHandler handler = nullptr;
    void* parameter = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // An association the owner already closed or replaced ends quietly.
        if (association_.get() != ended) {
            return;
        }
        handler = closedHandler_;
        parameter = closedParameter_;
    }
    // Last use of `this`: the handler may destroy the handle.
    if (handler != nullptr) {
        handler(parameter, handle_);
    }
}

void ClientConnection::unconfirmedReceived(mms::UnconfirmedPdu&& pdu) {
    auto* report = std::get_if<mms::InformationReport>(&pdu.service);
    if (report == nullptr) {
        return;
    }
    if (isReport(*report)) {
        reports_.deliver(std::move(*report));
    } else {
        controls_.deliver(*report);
    }
}

RequestOutcome ClientConnection::requestNow(mms::ConfirmedRequestService service) {
    const auto association = current();
    if (!association) {
        return RequestOutcome::failed(ClientError::NotConnected);
    }
    return request(*association, std::move(service));
}

ClientError ClientConnection::requestAsync(mms::ConfirmedRequestService service,
                                              RequestTracker::Completion done, uint32_t* invokeId) {
    const auto association = current();
    if (!association) {
        return ClientError::NotConnected;
    }
    return association->client->requestAsync(std::move(service), milliseconds(requestTimeoutMs_.load()),
                                             std::move(done), invokeId);
}

std::shared_ptr<ClientConnection::Association> ClientConnection::current() const {
    std::shared_ptr<Association> association;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        association = association_;
    }
    // What an ended association learnt is not served any more: its requests fail at once.
    if (!association || association->connecting || !association->client->isConnected()) {
        return nullptr;
    }
    return association;
}

RequestOutcome ClientConnection::request(Association& association, mms::ConfirmedRequestService service) {
    return association.client->request(std::move(service), milliseconds(requestTimeoutMs_.load()));
}

ClientError ClientConnection::fetchNameList(Association& association, mms::GetNameListRequest question,
                                            std::vector<std::string>* names) {
    for (size_t round = 0;; ++round) {
        RequestOutcome outcome = request(association, question);
        if (outcome.error != ClientError::Ok) {
            return outcome.error;
        }
        auto* response = std::get_if<mms::GetNameListResponse>(&*outcome.response);
        if (response == nullptr) {
            return ClientError::UnexpectedValueReceived;
        }
        if (names->size() + response->identifiers.size() > limits_.maxNamesPerList) {
            std::fprintf(stderr, "iecstack client: name list longer than %zu names refused\n",
                         limits_.maxNamesPerList);
            return ClientError::UnexpectedValueReceived;
        }
        const bool progress =
            !response->identifiers.empty() &&
            (!question.continueAfter || response->identifiers.back() != *question.continueAfter);
        std::string last = response->identifiers.empty() ? std::string() : response->identifiers.back();
        takeUsableNames(response->identifiers, names);
        if (!response->moreFollows) {
            return ClientError::Ok;
        }
        // "More follow" without a new last name would ask the same question forever.
        if (!progress) {
            std::fprintf(stderr, "iecstack client: name list continuation without progress refused\n");
            return ClientError::UnexpectedValueReceived;
        }
        if (round + 1 >= limits_.maxContinuations) {
            std::fprintf(stderr,
                         "iecstack client: name list still not complete after %zu pages (%zu names), "
                         "the rest refused\n",
                         limits_.maxContinuations, names->size());
            return ClientError::UnexpectedValueReceived;
        }
        question.continueAfter = std::move(last);
    }
}

void ClientConnection::takeUsableNames(std::vector<std::string>& answer, std::vector<std::string>* names) {
    size_t unusable = 0;
    for (std::string& name : answer) {
        if (name.find('\0') != std::string::npos) {
            ++unusable;
            continue;
        }
        names->push_back(std::move(name));
    }
    if (unusable > 0) {
        std::fprintf(stderr, "iecstack client: %zu name(s) with a NUL byte left out of a name list\n",
                     unusable);
    }
}

ClientError ClientConnection::nameListAsync(
    mms::GetNameListRequest question,
    std::function<void(uint32_t, ClientError, std::vector<std::string>*, bool)> done, uint32_t* invokeId) {
    const auto association = current();
    if (!association) {
        return ClientError::NotConnected;
    }
    return association->client->requestAsync(
        std::move(question), milliseconds(requestTimeoutMs_.load()),
        [done = std::move(done)](uint32_t id, RequestOutcome outcome) {
            auto* response =
                outcome.response ? std::get_if<mms::GetNameListResponse>(&*outcome.response) : nullptr;
            if (outcome.error != ClientError::Ok) {
                done(id, outcome.error, nullptr, false);
            } else if (response == nullptr) {
                done(id, ClientError::UnexpectedValueReceived, nullptr, false);
            } else {
                std::vector<std::string> names;
                names.reserve(response->identifiers.size());
                takeUsableNames(response->identifiers, &names);
                done(id, ClientError::Ok, &names, response->moreFollows);
            }
        },
        invokeId);
}

ClientError ClientConnection::ensureDomains(Association& association) {
    std::lock_guard<std::mutex> lock(association.directoryMutex);
    if (association.haveDomains) {
        return ClientError::Ok;
    }
    mms::GetNameListRequest request;
    request.objectClass = mms::ObjectClass::Domain;
    request.scope = mms::ObjectName::Scope::Vmd;
    std::vector<std::string> domains;
    const ClientError error = fetchNameList(association, std::move(request), &domains);
    if (error == ClientError::Ok) {
        association.domains = std::move(domains);
        association.haveDomains = true;
    }
    return error;
}

std::shared_ptr<const DirectoryIndex> ClientConnection::indexFor(Association& association,
                                                                 const std::string& domain,
                                                                 ClientError* error) {
    std::lock_guard<std::mutex> lock(association.directoryMutex);
    const auto it = association.indexes.find(domain);
    if (it != association.indexes.end()) {
        *error = ClientError::Ok;
        return it->second;
    }
    mms::GetNameListRequest request;
    request.objectClass = mms::ObjectClass::NamedVariable;
    request.scope = mms::ObjectName::Scope::Domain;
    request.domainId = domain;
    std::vector<std::string> names;
    *error = fetchNameList(association, std::move(request), &names);
    if (*error != ClientError::Ok) {
        return nullptr;
    }
    auto index = std::make_shared<const DirectoryIndex>(names);
    association.indexes.emplace(domain, index);
    return index;
}

std::vector<std::string> ClientConnection::logicalDevices(ClientError* error) {
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return {};
    }
    *error = ensureDomains(*association);
    if (*error != ClientError::Ok) {
        return {};
    }
    std::lock_guard<std::mutex> lock(association->directoryMutex);
    return association->domains;
}

std::vector<std::string> ClientConnection::logicalDeviceDirectory(ClientError* error,
                                                                  const char* logicalDevice) {
    if (logicalDevice == nullptr || *logicalDevice == '\0') {
        *error = ClientError::InvalidArgument;
        return {};
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return {};
    }
    const auto index = indexFor(*association, logicalDevice, error);
    return index ? index->logicalNodes() : std::vector<std::string>{};
}

std::vector<std::string> ClientConnection::logicalNodeDirectory(ClientError* error,
                                                                const char* logicalNodeReference,
                                                                ACSIClass acsiClass) {
    const auto ref = ObjectReference::parse(logicalNodeReference == nullptr ? "" : logicalNodeReference);
    if (!ref || ref->path.find('.') != std::string::npos) {
        *error = ClientError::ObjectReferenceInvalid;
        return {};
    }
    const char* fc = nullptr;
    switch (acsiClass) {
        case ACSI_CLASS_DATA_OBJECT:
        case ACSI_CLASS_DATA_SET:
            break;
        case ACSI_CLASS_URCB:
            fc = "RP";
            break;
        case ACSI_CLASS_BRCB:
            fc = "BR";
            break;
        case ACSI_CLASS_GoCB:
            fc = "GO";
            break;
        case ACSI_CLASS_LCB:
            fc = "LG";
            break;
        case ACSI_CLASS_MSVCB:
            fc = "MS";
            break;
        case ACSI_CLASS_USVCB:
            fc = "US";
            break;
        default:
            *error = ClientError::ServiceNotSupported;
            return {};
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return {};
    }
    if (acsiClass == ACSI_CLASS_DATA_SET) {
        // Data sets can come and go while connected, so they are asked for every time.
        mms::GetNameListRequest request;
        request.objectClass = mms::ObjectClass::NamedVariableList;
        request.scope = mms::ObjectName::Scope::Domain;
        request.domainId = ref->domain;
        std::vector<std::string> names;
        *error = fetchNameList(*association, std::move(request), &names);
        std::vector<std::string> dataSets;
        const std::string prefix = mapping::joinItemName({ref->path, ""});
        for (const std::string& name : names) {
            if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
                dataSets.push_back(name.substr(prefix.size()));
            }
        }
        return *error == ClientError::Ok ? dataSets : std::vector<std::string>{};
    }
    const auto index = indexFor(*association, ref->domain, error);
    if (!index) {
        return {};
    }
    const std::vector<std::string>* names =
        fc == nullptr ? index->dataObjects(ref->path) : index->elementsUnder(ref->path, fc);
    if (names == nullptr) {
        *error = ClientError::ObjectDoesNotExist;
        return {};
    }
    return *names;
}

std::vector<std::string> ClientConnection::dataDirectory(ClientError* error, const char* dataReference) {
    const auto ref = ObjectReference::parse(dataReference == nullptr ? "" : dataReference);
    if (!ref) {
        *error = ClientError::ObjectReferenceInvalid;
        return {};
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return {};
    }
    const auto index = indexFor(*association, ref->domain, error);
    if (!index) {
        return {};
    }
    const std::vector<std::string>* children = index->children(ref->path);
    if (children == nullptr) {
        *error = ClientError::ObjectDoesNotExist;
        return {};
    }
    return *children;
}

std::vector<std::string> ClientConnection::dataSetDirectory(ClientError* error, const char* dataSetReference,
                                                            bool* isDeletable) {
    auto name = dataSetName(error, dataSetReference);
    if (!name) {
        return {};
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return {};
    }
    const std::string domain = name->domainId;
    RequestOutcome outcome =
        request(*association, mms::GetNamedVariableListAttributesRequest{std::move(*name)});
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return {};
    }
    const auto* response = std::get_if<mms::GetNamedVariableListAttributesResponse>(&*outcome.response);
    if (response == nullptr) {
        *error = ClientError::UnexpectedValueReceived;
        return {};
    }
    return membersOf(*response, domain, isDeletable);
}

std::vector<std::string> ClientConnection::membersOf(
    const mms::GetNamedVariableListAttributesResponse& response, const std::string& listDomain,
    bool* isDeletable) {
    std::vector<std::string> members;
    members.reserve(response.variables.size());
    for (const mms::VariableAccess& variable : response.variables) {
        members.push_back(mapping::memberReference(variable, listDomain));
    }
    if (isDeletable != nullptr) {
        *isDeletable = response.mmsDeletable;
    }
    return members;
}

MmsValue* ClientConnection::readObject(ClientError* error, const char* reference, FunctionalConstraint fc) {
    auto name = variableName(error, reference, fc);
    if (!name) {
        return nullptr;
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return nullptr;
    }
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list({mms::VariableAccess{std::move(*name), {}}});
    RequestOutcome outcome = request(*association, std::move(read));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return nullptr;
    }
    auto* response = std::get_if<mms::ReadResponse>(&*outcome.response);
    if (response == nullptr || response->results.size() != 1) {
        *error = ClientError::UnexpectedValueReceived;
        return nullptr;
    }
    // A refusal of the attribute comes back as the device's data-access error value with no error, as
    // callers written for libiec61850 expect.
    return new MmsValue(std::move(response->results.front()));
}

}  // namespace iecstack::client
