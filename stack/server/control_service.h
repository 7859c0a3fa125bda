#pragma once
// The simulated device's control behaviour: selection, operate and cancel per control model, with the
// refusals a device gives and the process answering a command. Not part of the public interface.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "iso/scheduler.h"
#include "mapping/control_structures.h"
#include "mms/data_access_error.h"
#include "mms/value.h"
#include "server/data_model.h"
#include "server/session.h"

namespace iecstack::server {

using mapping::AddCause;

class ControlService {
public:
    // How long a switch stays in its intermediate position before it reaches the commanded one.
    static constexpr std::chrono::milliseconds kTravelTime{300};

    ControlService(DataModel& model, iso::Scheduler& scheduler);

    // Whether `node` is an SBO, SBOw, Oper or Cancel attribute of a controllable data object.
    static bool isSelectAttribute(const ModelNode& node);
    static bool isCommand(const ModelNode& node);

    // A read of SBO: the object's reference when selected, an empty string when refused. The caller holds
    // the model's value lock.
    MmsValue select(const std::string& domain, ModelNode& sbo, Session& session);
    // A write of SBOw, Oper or Cancel whose value conforms to the attribute's type: nothing when
    // accepted, else the write's failure (a LastApplError report has then gone to the client). The
    // caller holds the model's value lock.
    // With `note`, what the command asked and how it was refused, for the log.
    std::optional<mms::DataAccessError> command(const std::string& domain, ModelNode& node,
                                                const MmsValue& value, Session& session,
                                                std::string* note = nullptr);
    // "ctlVal true, Test false, Check synchrocheck interlock-check": what a command written to `node`
    // asks, as far as it carries those members.
    static std::string describeCommand(const ModelNode& node, const MmsValue& value);
    // The client's selections lapse.
    void release(const Session& session);
    void setTerminations(bool send) { sendTerminations_ = send; }

private:
    struct ObjectState {
        std::weak_ptr<Session> holder;
        uint64_t holderId = 0;
        bool selected = false;
        iso::TaskGroup::Clock::time_point selectedUntil;
        std::optional<MmsValue> selectValue;  // of a select with value
        bool executing = false;               // enhanced security: until the command terminates
        uint64_t generation = 0;              // commands started; a late timer of an older one is stale
    };
    struct Target;

    bool heldByOther(ObjectState& state, const Session& session);
    std::optional<AddCause> checkProcess(const Target& target, const MmsValue& command, bool operate) const;
    // The logical node of class `lnClass` that belongs to the controlled one; null when there is none.
    const ModelNode* companionNode(const Target& target, const std::string& lnClass) const;
    // Whether the boolean status ST.`dataObject`.stVal of `logicalNode` is there and false.
    static bool statusFalse(const ModelNode* logicalNode, const char* dataObject);
    void execute(const Target& target, ObjectState& state, const MmsValue& oper, Session& session);
    void finishTravel(const std::string& domain, ModelNode* dataObject, uint64_t generation, bool reached);
    void setSelected(const Target& target, ObjectState& state, bool selected);
    ModelNode* breakerOf(const Target& target) const;
    void countOperation(ModelNode& breaker);

    DataModel& model_;
    std::atomic<bool> sendTerminations_{true};
    std::map<const ModelNode*, ObjectState> states_;  // by the data object under CO; under the value lock
    iso::TaskGroup timer_;                            // last: closed before the states go
};

// The report a client gets for a refused command: LastApplError with the object, origin and control
// number of the refused request `command`, a value of the attribute `commandNode`.
Bytes lastApplErrorReport(const std::string& controlObject, const ModelNode& commandNode,
                          const MmsValue& command, AddCause cause);

}  // namespace iecstack::server
