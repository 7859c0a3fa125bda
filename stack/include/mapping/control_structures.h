#pragma once
// The control structures both roles exchange: the commands (Oper, SBOw, Cancel), LastApplError with
// its additional cause, and the command termination. Encoded and decoded here only, for the client's
// control objects and the server's control service alike.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mms/services.h"
#include "mms/value.h"

namespace iecstack::mapping {

// Why a device refused or ended a command. The base is fixed so that a code outside the known ones
// keeps its number.
enum class AddCause : int32_t {
    Unknown = 0,
    NotSupported = 1,
    BlockedBySwitchingHierarchy = 2,
    SelectFailed = 3,
    InvalidPosition = 4,
    PositionReached = 5,
    ParameterChangeInExecution = 6,
    StepLimit = 7,
    BlockedByMode = 8,
    BlockedByProcess = 9,
    BlockedByInterlocking = 10,
    BlockedBySynchrocheck = 11,
    CommandAlreadyInExecution = 12,
    BlockedByHealth = 13,
    OneOfNControl = 14,
    AbortionByCancel = 15,
    TimeLimitOver = 16,
    AbortionByTrip = 17,
    ObjectNotSelected = 18,
    ObjectAlreadySelected = 19,
    NoAccessAuthority = 20,
    EndedWithOvershoot = 21,
    AbortionDueToDeviation = 22,
    AbortionByCommunicationLoss = 23,
    AbortionByCommand = 24,
    None = 25,
    InconsistentParameters = 26,
    LockedByOtherClient = 27,
};

enum class ControlError : int32_t { NoError = 0, Unknown = 1, TimeoutTest = 2, OperatorTest = 3 };

struct Originator {
    int32_t orCat = 0;
    std::vector<uint8_t> orIdent;

    friend bool operator==(const Originator& a, const Originator& b) {
        return a.orCat == b.orCat && a.orIdent == b.orIdent;
    }
    friend bool operator!=(const Originator& a, const Originator& b) { return !(a == b); }
};

// One command. Which members travel, and in which order, is given by the structure the device
// declares (the member names of its Oper, SBOw or Cancel).
struct ControlCommand {
    MmsValue ctlVal;
    uint64_t operTimeMs = 0;  // operTm
    Originator origin;
    uint32_t ctlNum = 0;
    uint64_t timeMs = 0;  // T
    bool test = false;
    bool synchroCheck = false;
    bool interlockCheck = false;
};

// Null when `members` names a member this layer does not know how to fill.
std::optional<MmsValue> encodeCommand(const std::vector<std::string>& members, const ControlCommand& command);
// Null when the value is not a structure of `members` or a member has the wrong type.
std::optional<ControlCommand> decodeCommand(const std::vector<std::string>& members, const MmsValue& value);

struct LastApplErrorValue {
    std::string controlObject;  // "LD/LN$CO$DO$Oper" (or SBO, SBOw, Cancel)
    ControlError error = ControlError::NoError;
    Originator origin;
    uint32_t ctlNum = 0;
    AddCause addCause = AddCause::Unknown;
};

MmsValue encodeLastApplError(const LastApplErrorValue& error);
// Null when the value is not a LastApplError structure.
std::optional<LastApplErrorValue> decodeLastApplError(const MmsValue& value);

// What a control server sends unasked: a LastApplError on its own (a refused command), or a command
// termination, positive (the Oper value repeated) or negative (LastApplError and the Oper value).
struct ControlFeedback {
    enum class Kind { Refusal, Termination };
    Kind kind = Kind::Refusal;
    std::optional<LastApplErrorValue> lastApplError;  // always with a refusal; a negative termination's
    std::string domain;                               // termination: the object, "LD" and "LN$CO$DO"
    std::string objectItem;
    MmsValue oper;  // termination: the Oper value the device repeats

    bool positiveTermination() const { return kind == Kind::Termination && !lastApplError; }
};

mms::InformationReport encodeRefusal(const LastApplErrorValue& error);
mms::InformationReport encodeTermination(const std::string& domain, const std::string& objectItem,
                                         const MmsValue& oper, const LastApplErrorValue* error);
// Null when the report is not control feedback (or is malformed).
std::optional<ControlFeedback> decodeControlFeedback(const mms::InformationReport& report);

// "LD/LN$CO$DO$Oper" -> "LD/LN$CO$DO": the object a command attribute belongs to.
std::string controlObjectOf(const std::string& attributeReference);

}  // namespace iecstack::mapping
