#include <algorithm>
#include <cstdlib>

#include "control_service.h"
#include "mms/codec.h"
#include "server/mms_mapping.h"

namespace iecstack::server {

using mms::DataAccessError;
using Clock = iso::TaskGroup::Clock;

namespace {

constexpr uint32_t kDefaultSboTimeoutMs = 30000;
// Positions of a double point: intermediate 00, off 01, on 10, bad 11 (bit 0 first).
constexpr uint32_t kDbposOn = 2;
constexpr uint32_t kDbposOff = 1;

// A member of a command structure by name; the structure has the shape of the attribute it was
// written to.
const MmsValue* member(const ModelNode& command, const MmsValue& value, const std::string& name) {
    for (size_t i = 0; i < command.children.size() && i < value.elements().size(); ++i) {
        if (command.children[i]->name == name) {
            return &value.elements()[i];
        }
    }
    return nullptr;
}

int64_t configured(const ModelNode* cf, const char* name, int64_t fallback) {
    const ModelNode* n = cf ? cf->child(name) : nullptr;
    return n && n->kind == ModelNode::Kind::Basic && n->value.type() != MMS_DATA_ACCESS_ERROR
               ? n->value.toInt64()
               : fallback;
}

MmsValue nowStamp() {
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return MmsValue::utcTimeFromMs(static_cast<uint64_t>(now.count()), 0x0a);
}

bool isDbpos(const ModelNode* stVal) {
    return stVal && stVal->kind == ModelNode::Kind::Basic && stVal->basic == BasicType::BitString &&
           std::abs(stVal->size) == 2;
}

MmsValue dbpos(uint32_t position) {
    mms::BitString bits(2);
    bits.setBit(0, (position & 2) != 0);
    bits.setBit(1, (position & 1) != 0);
    return MmsValue::bitString(bits);
}

uint32_t dbposOf(const MmsValue& value) {
    mms::BitString bits = value.bits();
    return (bits.bit(0) ? 2u : 0u) | (bits.bit(1) ? 1u : 0u);
}

void setBasic(DataModel& model, ModelNode* dataObject, const char* name, const MmsValue& value) {
    ModelNode* n = dataObject ? dataObject->child(name) : nullptr;
    if (n && n->kind == ModelNode::Kind::Basic && checkConformance(*n, value) == Conformance::Conforms) {
        storeValue(model, *n, value);
    }
}

std::vector<std::string> memberNames(const ModelNode& command) {
    std::vector<std::string> names;
    names.reserve(command.children.size());
    for (const auto& child : command.children) {
        names.push_back(child->name);
    }
    return names;
}

std::optional<mapping::ControlCommand> decoded(const ModelNode& command, const MmsValue& value) {
    return mapping::decodeCommand(memberNames(command), value);
}

// LastApplError for `command` (what the client sent, when it sent a command structure at all).
mapping::LastApplErrorValue applicationError(const std::string& controlObject,
                                             const std::optional<mapping::ControlCommand>& command,
                                             AddCause cause) {
    mapping::LastApplErrorValue error;
    error.controlObject = controlObject;
    error.addCause = cause;
    if (command) {
        error.origin = command->origin;
        error.ctlNum = command->ctlNum;
    }
    return error;
}

Bytes unconfirmed(mms::InformationReport report) {
    return mms::encodePdu(mms::UnconfirmedPdu{std::move(report)});
}

}  // namespace

// The controllable object a command names, with its configuration as the model holds it now.
struct ControlService::Target {
    std::string domain;
    ModelNode* dataObject = nullptr;  // under CO
    ModelNode* logicalNode = nullptr;
    ModelNode* status = nullptr;  // the same data object under ST
    const ModelNode* config = nullptr;
    int64_t ctlModel = 0;
    std::string itemId;  // "LN$CO$DO"

    static std::optional<Target> of(const std::string& domain, ModelNode& attribute) {
        Target t;
        t.domain = domain;
        t.dataObject = attribute.parent;
        ModelNode* co = t.dataObject ? t.dataObject->parent : nullptr;
        t.logicalNode = co ? co->parent : nullptr;
        if (!t.logicalNode || co->name != "CO") {
            return std::nullopt;
        }
        ModelNode* st = t.logicalNode->child("ST");
        t.status = st ? st->child(t.dataObject->name) : nullptr;
        const ModelNode* cf = t.logicalNode->child("CF");
        t.config = cf ? cf->child(t.dataObject->name) : nullptr;
        t.ctlModel = configured(t.config, "ctlModel", 1);
        t.itemId = t.dataObject->itemId();
        return t;
    }
    std::string reference(const std::string& attribute) const {
        return domain + "/" + itemId + (attribute.empty() ? "" : "$" + attribute);
    }
    bool selectBeforeOperate() const { return ctlModel == 2 || ctlModel == 4; }
    bool enhanced() const { return ctlModel == 3 || ctlModel == 4; }
    Clock::duration sboTimeout() const {
        return std::chrono::milliseconds(configured(config, "sboTimeout", kDefaultSboTimeoutMs));
    }
    std::chrono::milliseconds operTimeout() const {
        return std::chrono::milliseconds(configured(config, "operTimeout", 0));
    }
};

Bytes lastApplErrorReport(const std::string& controlObject, const ModelNode& commandNode,
                          const MmsValue& command, AddCause cause) {
    return unconfirmed(
        mapping::encodeRefusal(applicationError(controlObject, decoded(commandNode, command), cause)));
}

ControlService::ControlService(DataModel& model, iso::Scheduler& scheduler)
    : model_(model), timer_(scheduler) {}

bool ControlService::isSelectAttribute(const ModelNode& node) {
    return node.fc == "CO" && node.name == "SBO" && node.kind == ModelNode::Kind::Basic && node.parent &&
           node.parent->parent && node.parent->parent->name == "CO";
}

bool ControlService::isCommand(const ModelNode& node) {
    return node.fc == "CO" && (node.name == "Oper" || node.name == "SBOw" || node.name == "Cancel") &&
           node.parent && node.parent->parent && node.parent->parent->name == "CO";
}

bool ControlService::heldByOther(ObjectState& state, const Session& session) {
    if (state.selected && !state.executing) {
        auto holder = state.holder.lock();
        if (Clock::now() >= state.selectedUntil || !holder || holder->ended()) {
            state.selected = false;  // the selection lapsed
            state.selectValue.reset();
        }
    }
    return state.selected && state.holderId != session.id();
}

void ControlService::setSelected(const Target& target, ObjectState& state, bool selected) {
    state.selected = selected;
    if (!selected) {
        state.selectValue.reset();
    }
    setBasic(model_, target.status, "stSeld", MmsValue::boolean(selected));
}

MmsValue ControlService::select(const std::string& domain, ModelNode& sbo, Session& session) {
    auto target = Target::of(domain, sbo);
    if (!target || target->ctlModel != 2) {
        return MmsValue::visibleString("");
    }
    ObjectState& state = states_[target->dataObject];
    if (heldByOther(state, session) || state.executing) {
        // A refused select by read is the empty answer alone: the error report belongs to the
        // write-based control services, and clients do not expect it after a read.
        return MmsValue::visibleString("");
    }
    state.holder = session.weak_from_this();
    state.holderId = session.id();
    state.selectedUntil = Clock::now() + target->sboTimeout();
    setSelected(*target, state, true);
    return MmsValue::visibleString(target->reference(""));
}

const ModelNode* ControlService::companionNode(const Target& target, const std::string& lnClass) const {
    // The function node of the same prefix and instance as the controlled one (CSWI1 with CILO1 and
    // RSYN1) decides about it.
    const std::string& ln = target.logicalNode->name;
    const size_t digits = ln.find_last_not_of("0123456789") + 1;
    if (digits < 4) {
        return nullptr;
    }
    const std::string name = ln.substr(0, digits - 4) + lnClass + ln.substr(digits);
    const Domain* domain = model_.domain(target.domain);
    if (!domain) {
        return nullptr;
    }
    const auto it = domain->nodeByName.find(name);
    return it != domain->nodeByName.end() ? it->second : nullptr;
}

bool ControlService::statusFalse(const ModelNode* logicalNode, const char* dataObject) {
    const ModelNode* st = logicalNode ? logicalNode->child("ST") : nullptr;
    const ModelNode* object = st ? st->child(dataObject) : nullptr;
    const ModelNode* stVal = object ? object->child("stVal") : nullptr;
    return stVal && stVal->kind == ModelNode::Kind::Basic && stVal->value.type() == MMS_BOOLEAN &&
           !stVal->value.boolValue();
}

std::optional<AddCause> ControlService::checkProcess(const Target& target, const MmsValue& command,
                                                     bool operate) const {
    const ModelNode& node = *target.dataObject->child(operate ? "Oper" : "SBOw");
    const MmsValue* check = member(node, command, "Check");
    const bool checks = check && check->type() == MMS_BIT_STRING;
    const bool interlockCheck = checks && check->bits().bit(1);
    const bool synchroCheck = checks && check->bits().bit(0);
    const MmsValue* ctlVal = member(node, command, "ctlVal");
    const bool switching = ctlVal && ctlVal->type() == MMS_BOOLEAN;
    // Opening or closing while the interlocking node does not enable that direction.
    if (interlockCheck && switching &&
        statusFalse(companionNode(target, "CILO"), ctlVal->boolValue() ? "EnaCls" : "EnaOpn")) {
        return AddCause::BlockedByInterlocking;
    }
    // Closing while the synchronism check does not release it; opening needs no synchronism.
    if (synchroCheck && switching && ctlVal->boolValue() &&
        statusFalse(companionNode(target, "RSYN"), "Rel")) {
        return AddCause::BlockedBySynchrocheck;
    }
    const ModelNode* stVal = target.status ? target.status->child("stVal") : nullptr;
    if (operate && isDbpos(stVal) && ctlVal && ctlVal->type() == MMS_BOOLEAN) {
        const MmsValue* test = member(node, command, "Test");
        const bool testOnly = test && test->boolValue();
        if (!testOnly && dbposOf(stVal->value) == (ctlVal->boolValue() ? kDbposOn : kDbposOff)) {
            return AddCause::PositionReached;
        }
    }
    return std::nullopt;
}

std::string ControlService::describeCommand(const ModelNode& node, const MmsValue& value) {
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    const MmsValue* ctlVal = member(node, value, "ctlVal");
    if (ctlVal && ctlVal->type() == MMS_BOOLEAN) {
        add(std::string("ctlVal ") + (ctlVal->boolValue() ? "true" : "false"));
    } else if (ctlVal && (ctlVal->type() == MMS_INTEGER || ctlVal->type() == MMS_UNSIGNED)) {
        add("ctlVal " + std::to_string(ctlVal->toInt64()));
    }
    const MmsValue* test = member(node, value, "Test");
    if (test && test->type() == MMS_BOOLEAN) {
        add(std::string("Test ") + (test->boolValue() ? "true" : "false"));
    }
    const MmsValue* check = member(node, value, "Check");
    if (check && check->type() == MMS_BIT_STRING) {
        std::string bits;
        if (check->bits().bit(0)) {
            bits += " synchrocheck";
        }
        if (check->bits().bit(1)) {
            bits += " interlock-check";
        }
        add("Check" + (bits.empty() ? std::string(" none") : bits));
    }
    return text;
}

std::optional<DataAccessError> ControlService::command(const std::string& domain, ModelNode& node,
                                                       const MmsValue& value, Session& session,
                                                       std::string* note) {
    auto target = Target::of(domain, node);
    if (!target) {
        return DataAccessError::ObjectAccessDenied;
    }
    if (note) {
        *note = describeCommand(node, value);
    }
    auto refuse = [&](AddCause cause, DataAccessError error) -> std::optional<DataAccessError> {
        session.sendUnconfirmed(lastApplErrorReport(target->reference(node.name), node, value, cause));
        if (note) {
            *note += (note->empty() ? "" : ", ") + std::string("refused with AddCause ") +
                     std::to_string(static_cast<int>(cause));
        }
        return error;
    };
    if (target->ctlModel == 0) {
        return DataAccessError::ObjectAccessDenied;  // status only: no commands at all
    }
    ObjectState& state = states_[target->dataObject];
    const bool otherHolds = heldByOther(state, session);

    if (node.name == "Cancel") {
        if (state.executing) {
            return refuse(AddCause::CommandAlreadyInExecution, DataAccessError::TemporarilyUnavailable);
        }
        if (!target->selectBeforeOperate()) {
            return std::nullopt;  // nothing to cancel
        }
        if (otherHolds) {
            return refuse(AddCause::LockedByOtherClient, DataAccessError::TemporarilyUnavailable);
        }
        if (!state.selected) {
            return refuse(AddCause::ObjectNotSelected, DataAccessError::ObjectAccessDenied);
        }
        storeValue(model_, node, value);
        setSelected(*target, state, false);
        return std::nullopt;
    }

    if (node.name == "SBOw") {
        if (target->ctlModel != 4) {
            return refuse(AddCause::NotSupported, DataAccessError::ObjectAccessDenied);
        }
        if (state.executing) {
            return refuse(AddCause::CommandAlreadyInExecution, DataAccessError::TemporarilyUnavailable);
        }
        if (otherHolds) {
            return refuse(AddCause::ObjectAlreadySelected, DataAccessError::TemporarilyUnavailable);
        }
        if (auto cause = checkProcess(*target, value, false)) {
            setSelected(*target, state, false);
            return refuse(*cause, DataAccessError::ObjectAccessDenied);
        }
        storeValue(model_, node, value);
        state.holder = session.weak_from_this();
        state.holderId = session.id();
        state.selectedUntil = Clock::now() + target->sboTimeout();
        state.selectValue = value;
        setSelected(*target, state, true);
        return std::nullopt;
    }

    // Oper
    if (state.executing) {
        return refuse(AddCause::CommandAlreadyInExecution, DataAccessError::TemporarilyUnavailable);
    }
    if (target->selectBeforeOperate()) {
        if (otherHolds) {
            return refuse(AddCause::LockedByOtherClient, DataAccessError::ObjectAccessDenied);
        }
        if (!state.selected) {
            return refuse(AddCause::ObjectNotSelected, DataAccessError::ObjectAccessDenied);
        }
        if (target->ctlModel == 4 && state.selectValue) {
            // The operate must carry what was selected: value, originator and control number.
            const auto selected = decoded(*target->dataObject->child("SBOw"), *state.selectValue);
            const auto operated = decoded(node, value);
            if (!selected || !operated || selected->ctlVal != operated->ctlVal ||
                selected->origin != operated->origin || selected->ctlNum != operated->ctlNum) {
                // Only this operate is refused; the selection stays until it is cancelled, operated
                // or lapses.
                return refuse(AddCause::InconsistentParameters, DataAccessError::ObjectAccessDenied);
            }
        }
    }
    if (auto cause = checkProcess(*target, value, true)) {
        if (target->selectBeforeOperate()) {
            setSelected(*target, state, false);
        }
        return refuse(*cause, DataAccessError::ObjectAccessDenied);
    }
    storeValue(model_, node, value);
    if (target->selectBeforeOperate()) {
        setSelected(*target, state, false);
    }
    execute(*target, state, value, session);
    return std::nullopt;
}

void ControlService::execute(const Target& target, ObjectState& state, const MmsValue& oper,
                             Session& session) {
    const ModelNode& operNode = *target.dataObject->child("Oper");
    const MmsValue* ctlVal = member(operNode, oper, "ctlVal");
    const MmsValue* test = member(operNode, oper, "Test");
    const bool testOnly = test && test->boolValue();
    ModelNode* stVal = target.status ? target.status->child("stVal") : nullptr;
    const uint64_t generation = ++state.generation;
    state.executing = target.enhanced();

    auto terminate = [this, domain = target.domain, dataObject = target.dataObject,
                      generation](bool reached) { finishTravel(domain, dataObject, generation, reached); };
    if (state.executing) {
        state.holder = session.weak_from_this();
        state.holderId = session.id();
        state.selectValue = oper;  // the Oper value the termination repeats
    }
    if (!testOnly) {
        // The status tells who commanded last.
        for (const char* name : {"origin", "ctlNum"}) {
            ModelNode* n = target.status ? target.status->child(name) : nullptr;
            const MmsValue* v = member(operNode, oper, name);
            if (n && v && checkConformance(*n, *v) == Conformance::Conforms) {
                storeValue(model_, *n, *v);
            }
        }
    }
    if (!testOnly && ctlVal && isDbpos(stVal) && ctlVal->type() == MMS_BOOLEAN) {
        // A switch leaves its position at once and reaches the new one after its travel time; an operate
        // time-out shorter than that ends the command with the switch still between positions.
        storeValue(model_, *stVal, dbpos(0));
        setBasic(model_, target.status, "t", nowStamp());
        const auto operTimeout = target.operTimeout();
        const auto now = Clock::now();
        if (target.enhanced() && operTimeout.count() > 0 && operTimeout < kTravelTime) {
            timer_.at(now + operTimeout, [terminate] { terminate(false); });
        } else {
            const bool close = ctlVal->boolValue();
            ModelNode* breaker = breakerOf(target);
            if (breaker) {
                storeValue(model_, *breaker->child("stVal"), dbpos(0));
                setBasic(model_, breaker, "t", nowStamp());
            }
            timer_.at(now + kTravelTime, [this, stVal, status = target.status, breaker, close, terminate] {
                {
                    std::lock_guard<std::mutex> lock(model_.valueLock());
                    for (ModelNode* position : {status, breaker}) {
                        if (position) {
                            storeValue(model_, *position->child("stVal"),
                                       dbpos(close ? kDbposOn : kDbposOff));
                            setBasic(model_, position, "t", nowStamp());
                        }
                    }
                    if (breaker) {
                        countOperation(*breaker->parent->parent);
                    }
                }
                terminate(true);
            });
        }
        return;
    }
    if (!testOnly && ctlVal && stVal && stVal->kind == ModelNode::Kind::Basic &&
        checkConformance(*stVal, *ctlVal) == Conformance::Conforms) {
        storeValue(model_, *stVal, *ctlVal);
        setBasic(model_, target.status, "t", nowStamp());
    } else if (!testOnly && ctlVal && stVal && stVal->kind == ModelNode::Kind::Structure) {
        // Analogue set points: the commanded value shows as the measured one.
        for (const char* part : {"i", "f"}) {
            ModelNode* n = stVal->child(part);
            const MmsValue* c = nullptr;
            if (ctlVal->type() == MMS_STRUCTURE) {
                const ModelNode* ctlNode = operNode.child("ctlVal");
                c = ctlNode ? member(*ctlNode, *ctlVal, part) : nullptr;
            }
            if (n && c && checkConformance(*n, *c) == Conformance::Conforms) {
                storeValue(model_, *n, *c);
            }
        }
        setBasic(model_, target.status, "t", nowStamp());
    }
    if (state.executing) {
        // Nothing moves: the command has ended, but its termination must follow the operate's response,
        // so it is sent from the scheduler (a session holds it back until the response is out).
        state.executing = false;
        state.selected = false;
        state.selectValue.reset();
        Bytes termination =
            unconfirmed(mapping::encodeTermination(target.domain, target.itemId, oper, nullptr));
        if (sendTerminations_) {
            timer_.post([client = session.shared_from_this(), termination = std::move(termination)] {
                client->sendUnconfirmed(termination);
            });
        }
    }
}

ModelNode* ControlService::breakerOf(const Target& target) const {
    // A switch controller (CSWI1) moves the breaker of the same prefix and instance (XCBR1).
    const std::string& ln = target.logicalNode->name;
    const size_t digits = ln.find_last_not_of("0123456789") + 1;
    if (digits < 4 || ln.compare(digits - 4, 4, "CSWI") != 0 || target.dataObject->name != "Pos") {
        return nullptr;
    }
    const Domain* domain = model_.domain(target.domain);
    const auto it = domain ? domain->nodeByName.find(ln.substr(0, digits - 4) + "XCBR" + ln.substr(digits))
                           : std::unordered_map<std::string, ModelNode*>::const_iterator();
    if (!domain || it == domain->nodeByName.end()) {
        return nullptr;
    }
    ModelNode* st = it->second->child("ST");
    ModelNode* pos = st ? st->child("Pos") : nullptr;
    return pos && isDbpos(pos->child("stVal")) ? pos : nullptr;
}

void ControlService::countOperation(ModelNode& breakerNode) {
    ModelNode* st = breakerNode.child("ST");
    ModelNode* opCnt = st ? st->child("OpCnt") : nullptr;
    ModelNode* count = opCnt ? opCnt->child("stVal") : nullptr;
    if (count && count->kind == ModelNode::Kind::Basic && count->value.type() == MMS_INTEGER) {
        setBasic(model_, opCnt, "stVal", MmsValue::integer(count->value.toInt64() + 1));
        setBasic(model_, opCnt, "t", nowStamp());
    }
}

void ControlService::finishTravel(const std::string& domain, ModelNode* dataObject, uint64_t generation,
                                  bool reached) {
    std::shared_ptr<Session> client;
    Bytes termination;
    {
        std::lock_guard<std::mutex> lock(model_.valueLock());
        ObjectState& state = states_[dataObject];
        if (state.generation != generation || !state.executing) {
            return;
        }
        state.executing = false;
        state.selected = false;
        client = state.holder.lock();
        MmsValue oper = state.selectValue.value_or(MmsValue());
        state.selectValue.reset();
        const std::string objectItem = dataObject->itemId();
        if (reached) {
            termination = unconfirmed(mapping::encodeTermination(domain, objectItem, oper, nullptr));
        } else {
            const auto error =
                applicationError(domain + "/" + objectItem + "$Oper",
                                 decoded(*dataObject->child("Oper"), oper), AddCause::TimeLimitOver);
            termination = unconfirmed(mapping::encodeTermination(domain, objectItem, oper, &error));
        }
    }
    if (client && sendTerminations_) {
        client->sendUnconfirmed(termination);
    }
}

void ControlService::release(const Session& session) {
    for (auto& [dataObject, state] : states_) {
        if (state.selected && !state.executing && state.holderId == session.id()) {
            state.selected = false;
            state.selectValue.reset();
            ModelNode* co = dataObject->parent;
            ModelNode* ln = co ? co->parent : nullptr;
            ModelNode* st = ln ? ln->child("ST") : nullptr;
            setBasic(model_, st ? st->child(dataObject->name) : nullptr, "stSeld", MmsValue::boolean(false));
        }
    }
}

}  // namespace iecstack::server
