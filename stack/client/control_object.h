#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "iec61850_client.h"
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
    // Null, with `error` set, when the object cannot be controlled.
    static std::unique_ptr<ControlObject> create(ClientConnection& connection, std::string_view reference,
                                                 ClientError* error);
    ~ControlObject();
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

    void setInterlockCheck(bool value) { interlockCheck_ = value; }
    void setSynchroCheck(bool value) { synchroCheck_ = value; }
    void setOrigin(std::string orIdent, int orCat);
    int controlModel() const { return ctlModel_; }

    bool select();
    bool selectWithValue(const MmsValue& ctlVal);
    bool operate(const MmsValue& ctlVal, uint64_t operTimeMs);
    bool cancel();

    LastApplError lastApplError() const;
    ClientError lastError() const;
    void setTerminationHandler(CommandTerminationHandler handler, void* parameter,
                               ControlObjectClient handle);

    // "LD/LN$CO$DO": how the server names the object in its feedback.
    const std::string& feedbackName() const { return feedbackName_; }
    // Receive thread, under the registry's lock (so a termination handler must not destroy control
    // objects).
    void onLastApplError(const LastApplError& error);
    void onTermination(bool positive);
    // The order of the operate whose termination is due; 0 when none is.
    uint64_t awaitingSince() const;

private:
    ControlObject(ClientConnection& connection, std::string domain, std::string item);

    // The command structure for the attribute `name` (Oper, SBOw, Cancel), from its type.
    std::optional<MmsValue> commandValue(const std::string& name, const MmsValue& ctlVal,
                                         uint64_t operTimeMs);
    std::optional<MmsValue> fitControlValue(const MmsValue& ctlVal) const;
    bool write(const std::string& name, const MmsValue& ctlVal, uint64_t operTimeMs);
    void startCommand();
    void finishCommand(ClientError error);

    ClientConnection& connection_;
    std::string domain_;
    std::string item_;  // "LN$CO$DO"
    std::string feedbackName_;
    int ctlModel_ = 0;
    mms::TypeSpec controlType_;  // the CO structure with SBO, SBOw, Oper, Cancel as the server has them

    std::string orIdent_;
    int orCat_ = 0;
    bool interlockCheck_ = false;
    bool synchroCheck_ = false;
    uint8_t ctlNum_ = 0;
    std::optional<MmsValue> lastCtlVal_;  // what Cancel repeats

    mutable std::mutex feedbackMutex_;  // the fields below; the receive thread writes them
    LastApplError lastApplError_{0, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    ClientError lastError_ = ClientError::Ok;
    uint64_t awaitingSince_ = 0;  // order of the operate whose termination is due; 0 when none
    CommandTerminationHandler terminationHandler_ = nullptr;
    void* terminationParameter_ = nullptr;
    ControlObjectClient handle_ = nullptr;
};

}  // namespace iecstack::client
