#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "client_reports.h"
#include "control_object.h"
#include "directory_index.h"
#include "iec61850_client.h"
#include "mms/pdu.h"
#include "mms/variable_specification.h"
#include "mms_client.h"

namespace iecstack::client {
class ClientConnection;
}

// The MmsConnection handle of an IedConnection: the same association, seen at the MMS level.
struct sMmsConnection {
    iecstack::client::ClientConnection* owner;
};

// What the next association set-up of a connection sends beyond the defaults.
struct sIsoConnectionParameters {
    AcseAuthenticationParameter acseAuthParameter = nullptr;  // the caller's
};

struct sAcseAuthenticationParameter {
    AcseAuthenticationMechanism mechanism = ACSE_AUTH_NONE;
    std::string password;
};

namespace iecstack::client {

// Bounds on directory answers from a peer, so that a server that never says "no more names" or
// repeats itself cannot keep a client busy forever.
struct DirectoryLimits {
    size_t maxNamesPerList = 1000000;
    size_t maxContinuations = 100000;
};

// What an IedConnection handle stands for: settings that outlive associations, the current
// association with what the directory services learnt on it, and the closed handler.
class ClientConnection {
public:
    explicit ClientConnection(IedConnection handle) : handle_(handle) {}
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    void setConnectTimeout(uint32_t ms) { connectTimeoutMs_ = ms; }
    void setRequestTimeout(uint32_t ms) { requestTimeoutMs_ = ms; }
    void setClosedHandler(IedConnectionClosedHandler handler, void* parameter);

    ClientError connect(const char* host, int port);
    // Conclude and release, waiting at most half a second (never longer than the request time-out)
    // for the server, then abort.
    void close();
    // Ends the association at once, from any thread: waiting requests fail, no handler runs.
    void abort();

    std::vector<std::string> logicalDevices(ClientError* error);
    std::vector<std::string> logicalDeviceDirectory(ClientError* error, const char* logicalDevice);
    std::vector<std::string> logicalNodeDirectory(ClientError* error, const char* logicalNodeReference,
                                                  ACSIClass acsiClass);
    std::vector<std::string> dataDirectory(ClientError* error, const char* dataReference);
    std::vector<std::string> dataSetDirectory(ClientError* error, const char* dataSetReference,
                                              bool* isDeletable);
    MmsValue* readObject(ClientError* error, const char* reference, FunctionalConstraint fc);
    // Writes and type descriptions (client_connection_writes.cpp). A refused write sets the device's
    // data-access error.
    void writeObject(ClientError* error, const char* reference, FunctionalConstraint fc, const MmsValue& value);
    std::unique_ptr<sMmsVariableSpecification> variableSpecification(ClientError* error, const char* reference,
                                                                      FunctionalConstraint fc);

    // Report control blocks and reports (client_connection_reports.cpp).
    ClientReportControlBlock readReportControlBlock(ClientError* error, const char* rcbReference,
                                                    ClientReportControlBlock update);
    void writeReportControlBlock(ClientError* error, ClientReportControlBlock rcb, uint32_t mask,
                                 bool singleRequest);
    ReportHandlers& reportHandlers() { return reports_; }
    // One confirmed request on the current association (ClientError::NotConnected without one), for the
    // control and report code beside this class.
    RequestOutcome requestNow(mms::ConfirmedRequestService service);
    // The same without waiting: `done` runs once with the outcome unless an error is returned.
    ClientError requestAsync(mms::ConfirmedRequestService service, RequestTracker::Completion done,
                                uint32_t* invokeId);
    ControlRegistry& controls() { return controls_; }

    // The MMS level (client_connection_mms.cpp). Asynchronous calls report through `done`, exactly
    // once, unless they fail at once (the error they return).
    MmsConnection mmsHandle() { return &mmsHandle_; }
    IsoConnectionParameters isoParameters() { return &isoParameters_; }
    MmsConnectionParameters parameters() const;
    std::vector<std::string> dataSetNames(MmsError* error, const char* domain);
    MmsValue* readMultiple(MmsError* error, const char* domain, const std::vector<std::string>& items);
    MmsError readMultipleAsync(const char* domain, const std::vector<std::string>& items,
                               std::function<void(uint32_t, MmsError, MmsValue*)> done, uint32_t* invokeId);
    MmsError identifyAsync(std::function<void(uint32_t, MmsError, const mms::IdentifyResponse*)> done,
                           uint32_t* invokeId);
    ClientError dataSetDirectoryAsync(
        const char* dataSetReference,
        std::function<void(uint32_t, ClientError, std::vector<std::string>*, bool)> done, uint32_t* invokeId);
    // One answer of a name list: `done` gets its names (names with a NUL byte left out) and whether
    // more follow; following on is the caller's, with the last name as continueAfter.
    ClientError nameListAsync(
        mms::GetNameListRequest question,
        std::function<void(uint32_t, ClientError, std::vector<std::string>*, bool)> done, uint32_t* invokeId);

    // Data sets the client defines, deletes, reads and writes by name (client_connection_datasets.cpp).
    void defineDataSet(ClientError* error, const char* dataSetReference,
                       const std::vector<std::string>& members);
    bool deleteDataSet(ClientError* error, const char* dataSetReference);
    // One value (or data-access error) per member.
    std::optional<std::vector<MmsValue>> readDataSet(ClientError* error, const char* dataSetReference);
    // One result per member, empty unless *error is ClientError::Ok.
    std::vector<std::optional<mms::DataAccessError>> writeDataSet(ClientError* error,
                                                                  const char* dataSetReference,
                                                                  std::vector<MmsValue> values);

    // Files and logs (client_connection_files.cpp). A directory listing follows the device's
    // continuation when `moreFollows` is null; otherwise it gives one answer and sets it.
    std::vector<mms::DirectoryEntry> fileDirectory(ClientError* error, const char* directory,
                                                   const char* continueAfter, bool* moreFollows);
    // Hands each chunk to `chunk` (false stops); IED_ERROR_OK only when the whole file arrived.
    uint32_t getFile(ClientError* error, const char* fileName,
                     const std::function<bool(uint8_t*, uint32_t)>& chunk);
    void deleteFile(ClientError* error, const char* fileName);
    // `query` without its journal name, which comes from `logReference`.
    std::vector<mms::JournalEntry> queryLog(ClientError* error, const char* logReference,
                                            mms::ReadJournalRequest query, bool* moreFollows);

private:
    // What one association learnt; dropped with it.
    struct Association {
        std::shared_ptr<MmsClient> client;
        std::atomic<bool> connecting{false};
        std::mutex directoryMutex;  // one fetch at a time; answers from the copy need it only briefly
        bool haveDomains = false;
        std::vector<std::string> domains;
        std::unordered_map<std::string, std::shared_ptr<const DirectoryIndex>> indexes;
    };

    std::shared_ptr<Association> current() const;
    // The MMS name of "LD/LN.DO.DA" under fc, or null with *error set.
    static std::optional<mms::ObjectName> variableName(ClientError* error, const char* reference,
                                                       FunctionalConstraint fc);
    RequestOutcome request(Association& association, mms::ConfirmedRequestService service);
    ClientError fetchNameList(Association& association, mms::GetNameListRequest request,
                              std::vector<std::string>* names);
    // Moves the usable names of one answer to `names`; a C string would end at a NUL byte and so name
    // another object, so such names are left out (and counted on stderr).
    static void takeUsableNames(std::vector<std::string>& answer, std::vector<std::string>* names);
    ClientError ensureDomains(Association& association);
    std::shared_ptr<const DirectoryIndex> indexFor(Association& association, const std::string& domain,
                                                   ClientError* error);
    void associationEnded(const Association* ended);
    // Receive thread: hands reports, command terminations and the like to whoever waits for them.
    void unconfirmedReceived(mms::UnconfirmedPdu&& pdu);
    // Ends `association`'s client; off the receive thread when called from it.
    static void dispose(std::shared_ptr<Association> association, bool release,
                        std::chrono::milliseconds timeout);

    // The MMS name of a data set: "LD/LN.name" or "LD/LN$name" in its domain, "@name" in the
    // association; null with *error set for anything else.
    static std::optional<mms::ObjectName> dataSetName(ClientError* error, const char* reference);
    // "LD/LN.DO.DA[FC]" as the variable it names; null when it is not of that form.
    static std::optional<mms::VariableAccess> memberVariable(const std::string& member);
    static std::optional<mms::ReadRequest> readRequestFor(const char* domain,
                                                          const std::vector<std::string>& items);
    static std::vector<std::string> membersOf(const mms::GetNamedVariableListAttributesResponse& response,
                                              const std::string& domain, bool* isDeletable);

    IedConnection handle_;
    sMmsConnection mmsHandle_{this};
    sIsoConnectionParameters isoParameters_;
    std::atomic<uint32_t> connectTimeoutMs_{10000};
    std::atomic<uint32_t> requestTimeoutMs_{5000};
    DirectoryLimits limits_;
    ReportHandlers reports_;
    ControlRegistry controls_;

    mutable std::mutex mutex_;  // guards the members below
    std::shared_ptr<Association> association_;
    IedConnectionClosedHandler closedHandler_ = nullptr;
    void* closedParameter_ = nullptr;
};

}  // namespace iecstack::client
