#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ber/byte_view.h"
#include "mms/pdu.h"
#include "server/data_model.h"
#include "server/session.h"

namespace iecstack::iso {
class Scheduler;
}

namespace iecstack::server {

class ReportEngine;

// What Identify answers. Empty fields are taken from the configured IED (manufacturer, type) or
// name this simulator.
struct ServerIdentity {
    std::string vendor;
    std::string model;
    std::string revision;
};

// The answer to one MMS PDU of the data phase.
struct ServiceOutcome {
    Bytes response;          // empty: nothing to send
    bool concluded = false;  // a conclude was answered; the association ends after sending
    bool refused = false;    // a confirmed request the admission turned away, unanswered but rejected
    std::string summary;     // one line for the log: what was asked and how it went
    // Set for a confirmed request, so that the caller can refuse it instead (too many outstanding).
    std::optional<uint32_t> invokeId;
};

class ControlService;
class SettingGroupService;
class SubstitutionService;
class SampledValueService;
class DataSetService;
class FileService;
class LogEngine;

// Answers MMS requests from the data model. One instance serves every association; each call takes
// the asking association's session (its PDU size, and where reports to that client go), and state
// kept per client is released by associationEnded.
class MmsServices {
public:
    MmsServices(DataModel& model, ServerIdentity identity);
    ~MmsServices();
    MmsServices(const MmsServices&) = delete;
    MmsServices& operator=(const MmsServices&) = delete;

    // Rejects Read requests naming more than `count` variables, as some devices do; 0 takes any number.
    void setMaxReadVariables(size_t count) { maxReadVariables_ = count; }
    // False: operates of enhanced security are carried out but never terminated, as by a device that
    // loses its terminations.
    void setCommandTerminations(bool send);
    // Serves the directory tree below `root` through the file services (none are served until then).
    // False, with `error` set, when it cannot be opened.
    bool serveFiles(const std::string& root, std::string* error);

    // Decodes a PDU, answers it (or rejects it) and encodes the answer. `admit`, when given, decides for
    // a confirmed request before anything of it is carried out; refused, it is rejected as one too
    // many outstanding.
    ServiceOutcome handle(Session& session, ByteView pdu, const std::function<bool()>& admit = {});
    // The answer to one decoded request: a confirmed response, a confirmed error or a reject.
    mms::Pdu answer(const mms::ConfirmedRequest& request, Session& session, std::string* summary = nullptr);
    // The same for a client without a session of its own (tests, benchmarks); reports are dropped.
    ServiceOutcome handle(ByteView pdu, size_t maxPduSize);
    mms::Pdu answer(const mms::ConfirmedRequest& request, size_t maxPduSize, std::string* summary = nullptr);
    // Called once when an association has ended, on its own thread: whatever that client held is
    // released.
    void associationEnded(Session& session);

    // The executor of the server role: reporting, control timers and the associations' sends.
    iso::Scheduler& scheduler() { return *scheduler_; }

    // The services-supported string this server announces at association.
    static mms::BitString supportedServices();
    // The answer to an association's initiate request: the smaller of the two PDU sizes (but not
    // below `minPduSize`), at most `maxOutstanding` calls each way, and our own nesting limit.
    static mms::InitiateResponse negotiate(const mms::InitiateParameters& proposed, size_t maxPduSize,
                                           size_t minPduSize, int maxOutstanding = 5);

private:
    mms::Pdu getNameList(uint32_t invokeId, const mms::GetNameListRequest& request, size_t maxPduSize,
                         std::string& summary);
    mms::Pdu read(uint32_t invokeId, const mms::ReadRequest& request, Session& session, std::string& summary);
    mms::Pdu write(uint32_t invokeId, const mms::WriteRequest& request, Session& session,
                   std::string& summary);
    mms::Pdu accessAttributes(uint32_t invokeId, const mms::GetVariableAccessAttributesRequest& request,
                              std::string& summary);
    mms::Pdu listAttributes(uint32_t invokeId, const mms::GetNamedVariableListAttributesRequest& request,
                            const Session& session, std::string& summary);

    MmsValue readOne(const mms::VariableAccess& access, Session& session);
    // With `note`, what a control command asked and how it was refused, for the log.
    std::optional<mms::DataAccessError> writeOne(const mms::VariableAccess& access, const MmsValue& value,
                                                 Session& session, std::string* note = nullptr);
    // A write naming a data set: its members in order, each with a value and a result of its own.
    mms::Pdu writeDataSet(uint32_t invokeId, const mms::WriteRequest& request, Session& session,
                          std::string& summary);
    // A client's write of one attribute of a report control block (services_reporting.cpp).
    std::optional<mms::DataAccessError> writeControlBlock(ModelNode& attribute, const MmsValue& value,
                                                          Session& session);

    // First: every other part posts to it, and it outlives them.
    std::unique_ptr<iso::Scheduler> scheduler_;
    DataModel& model_;
    ServerIdentity identity_;
    std::unique_ptr<ReportEngine> reports_;
    size_t maxReadVariables_ = 0;
    // After the reports: its timer is stopped first, so no command finishes into a gone report engine.
    std::unique_ptr<ControlService> controls_;
    std::unique_ptr<SettingGroupService> settingGroups_;
    std::unique_ptr<SubstitutionService> substitutions_;
    std::unique_ptr<SampledValueService> sampledValues_;
    std::unique_ptr<DataSetService> dataSets_;
    std::unique_ptr<LogEngine> logs_;
    std::unique_ptr<FileService> files_;
};

// Object references as log lines show them.
std::string describe(const mms::ObjectName& name);

}  // namespace iecstack::server
