#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "iec61850_client.h"
#include "mapping/control_structures.h"
#include "mms/services.h"
#include "mms/type_description.h"
#include "request_tracker.h"

namespace iecstack::client {

class ClientConnection;
class ControlObject;

// The control objects of one connection, for the control feedback that arrives on the receive thread:
// LastApplError reports and command terminations. An object is never called once remove() returned.
class ControlRegistry {
public:
    void add(ControlObject* object);
    void remove(ControlObject* object);
    // True when `report` was control feedback (handed to the objects it names, if any).
    bool deliver(const mms::InformationReport& report);

private:
    std::mutex mutex_;
    std::vector<ControlObject*> objects_;
    uint64_t operateCount_ = 0;
    friend class ControlObject;
};

// One controllable data object "LD/LN.DO" of a server, with the commands of its control model. Commands
// are one at a time per object; the receive thread only touches the feedback fields.
class ControlObject {
public:
    // How an asynchronous command ended: ClientError::Ok when the device accepted it. Runs once on the
    // receive or timer thread, never after the object was destroyed.
    using Completion = std::function<void(uint32_t invokeId, ClientError error)>;

    // Null, with `error` set, when the object cannot be controlled.
    static std::unique_ptr<ControlObject> create(ClientConnection& connection, std::string_view reference,
                                                 ClientError* error);
    ~ControlObject();
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

    void setInterlockCheck(bool value) { interlockCheck_ = value; }
    void setSynchroCheck(bool value) { synchroCheck_ = value; }
    void setTestMode(bool value) { testMode_ = value; }
    void setOrigin(std::string orIdent, int orCat);
    int controlModel() const { return ctlModel_; }

    bool select();
    bool selectWithValue(const MmsValue& ctlVal);
    bool operate(const MmsValue& ctlVal, uint64_t operTimeMs);
    bool cancel();
    // The same without waiting; an error returned means nothing was sent and `done` never runs.
    ClientError selectAsync(Completion done, uint32_t* invokeId);
    ClientError selectWithValueAsync(const MmsValue& ctlVal, Completion done, uint32_t* invokeId);
    ClientError operateAsync(const MmsValue& ctlVal, uint64_t operTimeMs, Completion done,
                                uint32_t* invokeId);
    ClientError cancelAsync(Completion done, uint32_t* invokeId);

    LastApplError lastApplError() const;
    ClientError lastError() const;
    void setTerminationHandler(CommandTerminationHandler handler, void* parameter,
                               ControlObjectClient handle);

    // "LD/LN$CO$DO": how the server names the object in its feedback.
    const std::string& feedbackName() const { return feedbackName_; }
    // Receive thread, under the registry's lock (so a termination handler must not destroy control
    // objects). Feedback for another command than the current one (another ctlNum) is ignored.
    void onRefusal(const mapping::LastApplErrorValue& error);
    // True when the termination answers the operate this object waits for; it is then delivered.
    bool matchesTermination(const mapping::ControlFeedback& termination) const;
    void onTermination(const mapping::ControlFeedback& termination);
    // The order of the operate whose termination is due; 0 when none is.
    uint64_t awaitingSince() const;

private:
    // What was sent, and how the answer to it reads; evaluated on the thread that gets the answer.
    struct Command {
        mms::ConfirmedRequestService request;
        std::function<ClientError(const RequestOutcome&)> evaluate;
    };
    // Kept by asynchronous commands in flight: the object, until it is destroyed.
    struct Life {
        std::mutex mutex;
        ControlObject* object = nullptr;
    };

    ControlObject(ClientConnection& connection, std::string domain, std::string item);

    std::vector<std::string> memberNames(const std::string& attribute) const;
    std::optional<MmsValue> commandValue(const std::string& name, const MmsValue& ctlVal,
                                         uint64_t operTimeMs);
    std::optional<MmsValue> fitControlValue(const MmsValue& ctlVal) const;
    // Null, with the command finished, when nothing can be sent.
    std::optional<Command> selectCommand();
    std::optional<Command> selectWithValueCommand(const MmsValue& ctlVal);
    std::optional<Command> operateCommand(const MmsValue& ctlVal, uint64_t operTimeMs);
    std::optional<Command> cancelCommand();
    std::optional<Command> writeCommand(const std::string& name, const MmsValue& ctlVal, uint64_t operTimeMs);
    bool run(std::optional<Command> command);
    ClientError runAsync(std::optional<Command> command, Completion done, uint32_t* invokeId);
    // `ctlNum` names the command its feedback must carry; none for a select by reading, which carries
    // no control number.
    void startCommand(std::optional<uint8_t> ctlNum);
    void finishCommand(ClientError error);
    void stopAwaiting();

    ClientConnection& connection_;
    std::string domain_;
    std::string item_;  // "LN$CO$DO"
    std::string feedbackName_;
    int ctlModel_ = 0;
    mms::TypeSpec controlType_;  // the CO structure with SBO, SBOw, Oper, Cancel as the server has them
    std::shared_ptr<Life> life_ = std::make_shared<Life>();

    std::string orIdent_;
    int orCat_ = 0;
    bool interlockCheck_ = false;
    bool synchroCheck_ = false;
    bool testMode_ = false;
    uint8_t ctlNum_ = 0;
    std::optional<MmsValue> lastCtlVal_;  // what Cancel repeats

    mutable std::mutex feedbackMutex_;  // the fields below; the receive thread writes them
    LastApplError lastApplError_{0, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    ClientError lastError_ = ClientError::Ok;
    std::optional<uint8_t> commandCtlNum_;  // of the current command; none: any (select by reading)
    uint64_t awaitingSince_ = 0;            // order of the operate whose termination is due; 0 when none
    uint8_t awaitingCtlNum_ = 0;            // its control number
    CommandTerminationHandler terminationHandler_ = nullptr;
    void* terminationParameter_ = nullptr;
    ControlObjectClient handle_ = nullptr;
};

}  // namespace iecstack::client
