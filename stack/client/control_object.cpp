#include "control_object.h"

#include <algorithm>
#include <chrono>

#include "client_connection.h"
#include "client_error.h"
#include "mapping/object_reference.h"

namespace iecstack::client {

namespace {

const mms::TypeSpec* componentType(const mms::TypeSpec& structure, std::string_view name) {
    for (const mms::TypeComponent& c : structure.components) {
        if (c.name == name) {
            return &c.type;
        }
    }
    return nullptr;
}

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// A plain number as the basic type the server declared.
std::optional<MmsValue> numberAs(const mms::TypeSpec& type, const MmsValue& value) {
    const bool isFloat = value.type() == MMS_FLOAT;
    const bool isNumber = isFloat || value.type() == MMS_INTEGER || value.type() == MMS_UNSIGNED;
    if (!isNumber) {
        return std::nullopt;
    }
    switch (type.type) {
        case MMS_INTEGER:
            return MmsValue::integer(isFloat ? static_cast<int64_t>(value.toDouble()) : value.toInt64());
        case MMS_UNSIGNED:
            if (!isFloat && value.type() == MMS_INTEGER && value.toInt64() < 0) {
                return std::nullopt;
            }
            return MmsValue::unsignedInteger(isFloat ? static_cast<uint64_t>(value.toDouble())
                                                     : value.toUint64());
        case MMS_FLOAT:
            return type.formatWidth == 64 ? MmsValue::floatDouble(value.toDouble())
                                          : MmsValue::floatSingle(static_cast<float>(value.toDouble()));
        default:
            return std::nullopt;
    }
}

// The default value of a basic type, for a Cancel of an object that was never commanded.
MmsValue zeroOf(const mms::TypeSpec& type) {
    switch (type.type) {
        case MMS_INTEGER:
            return MmsValue::integer(0);
        case MMS_UNSIGNED:
            return MmsValue::unsignedInteger(0);
        case MMS_FLOAT:
            return MmsValue::floatSingle(0);
        case MMS_BIT_STRING:
            return MmsValue::bitString(mms::BitString(type.maxLength()));
        case MMS_STRUCTURE: {
            std::vector<MmsValue> parts;
            for (const auto& c : type.components) {
                parts.push_back(zeroOf(c.type));
            }
            return MmsValue::structure(std::move(parts));
        }
        default:
            return MmsValue::boolean(false);
    }
}

LastApplError toClientError(const mapping::LastApplErrorValue& error) {
    // The cause type has a fixed base: a code outside the known ones keeps its number.
    return LastApplError{static_cast<int>(error.ctlNum), static_cast<ControlLastApplError>(error.error),
                         static_cast<ControlAddCause>(error.addCause)};
}

}  // namespace

// ---- registry -----------------------------------------------------------------------------------------

void ControlRegistry::add(ControlObject* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.push_back(object);
}

void ControlRegistry::remove(ControlObject* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.erase(std::remove(objects_.begin(), objects_.end(), object), objects_.end());
}

bool ControlRegistry::deliver(const mms::InformationReport& report) {
    const auto feedback = mapping::decodeControlFeedback(report);
    if (!feedback) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (feedback->kind == mapping::ControlFeedback::Kind::Refusal) {
        const std::string name = mapping::controlObjectOf(feedback->lastApplError->controlObject);
        for (ControlObject* object : objects_) {
            if (object->feedbackName() == name) {
                object->onRefusal(*feedback->lastApplError);
            }
        }
        return true;
    }
    // Terminations come in the order of the operates; the oldest one due that this one answers is ended.
    const std::string name = feedback->domain + "/" + feedback->objectItem;
    ControlObject* due = nullptr;
    for (ControlObject* object : objects_) {
        const uint64_t since = object->awaitingSince();
        if (object->feedbackName() == name && since != 0 && (!due || since < due->awaitingSince()) &&
            object->matchesTermination(*feedback)) {
            due = object;
        }
    }
    if (due) {
        due->onTermination(*feedback);
    }
    return true;
}

// ---- control object -------------------------------------------------------------------------------------

ControlObject::ControlObject(ClientConnection& connection, std::string domain, std::string item)
    : connection_(connection),
      domain_(std::move(domain)),
      item_(std::move(item)),
      feedbackName_(domain_ + "/" + item_) {}

std::unique_ptr<ControlObject> ControlObject::create(ClientConnection& connection, std::string_view reference,
                                                     ClientError* error) {
    const auto ref = mapping::ObjectReference::parse(reference);
    if (!ref) {
        *error = ClientError::ObjectReferenceInvalid;
        return nullptr;
    }
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list(
        {mms::VariableAccess{mms::ObjectName::domain(ref->domain, ref->itemName("CF") + "$ctlModel"), {}}});
    RequestOutcome outcome = connection.requestNow(std::move(read));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return nullptr;
    }
    const auto* values = std::get_if<mms::ReadResponse>(&*outcome.response);
    if (!values || values->results.size() != 1) {
        *error = ClientError::UnexpectedValueReceived;
        return nullptr;
    }
    const MmsValue& ctlModel = values->results.front();
    if (ctlModel.type() == MMS_DATA_ACCESS_ERROR) {
        *error = errorFromDataAccessError(ctlModel.accessError());
        return nullptr;
    }
    if (ctlModel.type() != MMS_INTEGER && ctlModel.type() != MMS_UNSIGNED) {
        *error = ClientError::UnexpectedValueReceived;
        return nullptr;
    }

    std::unique_ptr<ControlObject> object(new ControlObject(connection, ref->domain, ref->itemName("CO")));
    object->ctlModel_ = static_cast<int>(ctlModel.toInt64());
    outcome = connection.requestNow(
        mms::GetVariableAccessAttributesRequest{mms::ObjectName::domain(ref->domain, object->item_)});
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return nullptr;
    }
    const auto* attributes = std::get_if<mms::GetVariableAccessAttributesResponse>(&*outcome.response);
    if (!attributes || attributes->type.type != MMS_STRUCTURE) {
        *error = ClientError::UnexpectedValueReceived;
        return nullptr;
    }
    object->controlType_ = attributes->type;
    const mms::TypeSpec* oper = componentType(object->controlType_, "Oper");
    // A status-only object that has Oper is created all the same: the device refuses its commands.
    if (object->ctlModel_ < 0 || object->ctlModel_ > 4 || !oper || oper->type != MMS_STRUCTURE ||
        !componentType(*oper, "ctlVal")) {
        *error = ClientError::ObjectAccessUnsupported;  // no commands to send
        return nullptr;
    }
    object->life_->object = object.get();
    connection.controls().add(object.get());
    *error = ClientError::Ok;
    return object;
}

ControlObject::~ControlObject() {
    {
        // Waits for a completion that is running; none runs afterwards.
        std::lock_guard<std::mutex> lock(life_->mutex);
        life_->object = nullptr;
    }
    connection_.controls().remove(this);
}

void ControlObject::setOrigin(std::string orIdent, int orCat) {
    orIdent_ = std::move(orIdent);
    orCat_ = orCat;
}

void ControlObject::setTerminationHandler(CommandTerminationHandler handler, void* parameter,
                                          ControlObjectClient handle) {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    terminationHandler_ = handler;
    terminationParameter_ = parameter;
    handle_ = handle;
}

LastApplError ControlObject::lastApplError() const {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    return lastApplError_;
}

ClientError ControlObject::lastError() const {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    return lastError_;
}

void ControlObject::onRefusal(const mapping::LastApplErrorValue& error) {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    if (commandCtlNum_ && error.ctlNum != *commandCtlNum_) {
        return;  // about another command than the current one
    }
    lastApplError_ = toClientError(error);
}

uint64_t ControlObject::awaitingSince() const {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    return awaitingSince_;
}

bool ControlObject::matchesTermination(const mapping::ControlFeedback& termination) const {
    std::optional<uint32_t> ctlNum;
    if (auto oper = mapping::decodeCommand(memberNames("Oper"), termination.oper)) {
        ctlNum = oper->ctlNum;
    } else if (termination.lastApplError) {
        ctlNum = termination.lastApplError->ctlNum;
    }
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    return ctlNum && *ctlNum == awaitingCtlNum_;
}

void ControlObject::onTermination(const mapping::ControlFeedback& termination) {
    CommandTerminationHandler handler;
    void* parameter;
    ControlObjectClient handle;
    {
        std::lock_guard<std::mutex> lock(feedbackMutex_);
        awaitingSince_ = 0;
        if (termination.positiveTermination()) {
            lastApplError_.error = CONTROL_ERROR_NO_ERROR;
            lastApplError_.addCause = ADD_CAUSE_UNKNOWN;
        } else {
            lastApplError_ = toClientError(*termination.lastApplError);
            if (lastApplError_.error == CONTROL_ERROR_NO_ERROR) {
                // Devices send "no error" in negative terminations too; the termination itself is the
                // failure.
                lastApplError_.error = CONTROL_ERROR_UNKNOWN;
            }
        }
        handler = terminationHandler_;
        parameter = terminationParameter_;
        handle = handle_;
    }
    if (handler) {
        handler(parameter, handle);
    }
}

void ControlObject::startCommand(std::optional<uint8_t> ctlNum) {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    lastApplError_ = LastApplError{ctlNum_, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    lastError_ = ClientError::Ok;
    commandCtlNum_ = ctlNum;
}

void ControlObject::finishCommand(ClientError error) {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    lastError_ = error;
}

void ControlObject::stopAwaiting() {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    awaitingSince_ = 0;
}

std::optional<MmsValue> ControlObject::fitControlValue(const MmsValue& ctlVal) const {
    const mms::TypeSpec* oper = componentType(controlType_, "Oper");
    const mms::TypeSpec* type = oper ? componentType(*oper, "ctlVal") : nullptr;
    if (!type) {
        return std::nullopt;
    }
    if (type->type == ctlVal.type() && type->type != MMS_STRUCTURE) {
        if (ctlVal.type() == MMS_FLOAT || ctlVal.type() == MMS_INTEGER || ctlVal.type() == MMS_UNSIGNED) {
            return numberAs(*type, ctlVal);  // to the declared width
        }
        return ctlVal;
    }
    if (type->type == MMS_STRUCTURE) {
        if (ctlVal.type() == MMS_STRUCTURE) {
            return ctlVal;
        }
        // An analogue value {i, f} from a plain number: each part the device has, from the number.
        std::vector<MmsValue> parts;
        for (const mms::TypeComponent& c : type->components) {
            auto part = numberAs(c.type, ctlVal);
            if (!part) {
                return std::nullopt;
            }
            parts.push_back(std::move(*part));
        }
        return MmsValue::structure(std::move(parts));
    }
    // Enumerations and step commands travel as integers whatever number the caller built.
    return numberAs(*type, ctlVal);
}

std::vector<std::string> ControlObject::memberNames(const std::string& attribute) const {
    std::vector<std::string> names;
    if (const mms::TypeSpec* type = componentType(controlType_, attribute)) {
        for (const mms::TypeComponent& c : type->components) {
            names.push_back(c.name);
        }
    }
    return names;
}

std::optional<MmsValue> ControlObject::commandValue(const std::string& name, const MmsValue& ctlVal,
                                                    uint64_t operTimeMs) {
    const mms::TypeSpec* type = componentType(controlType_, name);
    if (!type || type->type != MMS_STRUCTURE) {
        return std::nullopt;
    }
    mapping::ControlCommand command;
    command.ctlVal = ctlVal;
    command.operTimeMs = operTimeMs;
    command.origin.orCat = orCat_;
    command.origin.orIdent.assign(orIdent_.begin(), orIdent_.end());
    command.ctlNum = ctlNum_;
    command.timeMs = nowMs();
    command.synchroCheck = synchroCheck_;
    command.interlockCheck = interlockCheck_;
    command.test = testMode_;
    return mapping::encodeCommand(memberNames(name), command);
}

std::optional<ControlObject::Command> ControlObject::writeCommand(const std::string& name,
                                                                  const MmsValue& ctlVal,
                                                                  uint64_t operTimeMs) {
    auto value = commandValue(name, ctlVal, operTimeMs);
    if (!value) {
        finishCommand(ClientError::ObjectAccessUnsupported);
        return std::nullopt;
    }
    mms::WriteRequest request;
    request.spec = mms::VariableAccessSpec::list(
        {mms::VariableAccess{mms::ObjectName::domain(domain_, item_ + "$" + name), {}}});
    request.data.push_back(std::move(*value));
    if (name == "Oper" && (ctlModel_ == 3 || ctlModel_ == 4)) {
        // Due before the request goes out: the termination may follow the response at once.
        std::lock_guard<std::mutex> registryLock(connection_.controls().mutex_);
        std::lock_guard<std::mutex> lock(feedbackMutex_);
        awaitingSince_ = ++connection_.controls().operateCount_;
        awaitingCtlNum_ = ctlNum_;
    }
    Command command{std::move(request), [this](const RequestOutcome& outcome) {
                        ClientError error = outcome.error;
                        if (error == ClientError::Ok) {
                            const auto* response = std::get_if<mms::WriteResponse>(&*outcome.response);
                            if (!response || response->results.size() != 1) {
                                error = ClientError::UnexpectedValueReceived;
                            } else if (response->results.front()) {
                                error = errorFromDataAccessError(*response->results.front());
                            }
                        }
                        if (error != ClientError::Ok) {
                            stopAwaiting();
                        }
                        return error;
                    }};
    return command;
}

std::optional<ControlObject::Command> ControlObject::selectCommand() {
    ctlNum_ = static_cast<uint8_t>(ctlNum_ + 1);
    startCommand(std::nullopt);
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list(
        {mms::VariableAccess{mms::ObjectName::domain(domain_, item_ + "$SBO"), {}}});
    return Command{std::move(read), [](const RequestOutcome& outcome) {
                       if (outcome.error != ClientError::Ok) {
                           return outcome.error;
                       }
                       const auto* values = std::get_if<mms::ReadResponse>(&*outcome.response);
                       if (!values || values->results.size() != 1) {
                           return ClientError::UnexpectedValueReceived;
                       }
                       const MmsValue& answer = values->results.front();
                       if (answer.type() == MMS_DATA_ACCESS_ERROR) {
                           return errorFromDataAccessError(answer.accessError());
                       }
                       if (answer.type() != MMS_VISIBLE_STRING || answer.text().empty()) {
                           return ClientError::AccessDenied;  // an empty reference: the device refused
                       }
                       return ClientError::Ok;
                   }};
}

std::optional<ControlObject::Command> ControlObject::selectWithValueCommand(const MmsValue& ctlVal) {
    auto value = fitControlValue(ctlVal);
    ctlNum_ = static_cast<uint8_t>(ctlNum_ + 1);
    startCommand(ctlNum_);
    if (!value) {
        finishCommand(ClientError::TypeInconsistent);
        return std::nullopt;
    }
    lastCtlVal_ = *value;
    return writeCommand("SBOw", *value, 0);
}

std::optional<ControlObject::Command> ControlObject::operateCommand(const MmsValue& ctlVal,
                                                                    uint64_t operTimeMs) {
    auto value = fitControlValue(ctlVal);
    if (ctlModel_ == 1 || ctlModel_ == 3) {
        ctlNum_ = static_cast<uint8_t>(ctlNum_ + 1);  // a direct operate starts a command of its own
    }
    startCommand(ctlNum_);
    if (!value) {
        finishCommand(ClientError::TypeInconsistent);
        return std::nullopt;
    }
    lastCtlVal_ = *value;
    return writeCommand("Oper", *value, operTimeMs);
}

std::optional<ControlObject::Command> ControlObject::cancelCommand() {
    startCommand(ctlNum_);
    const mms::TypeSpec* cancelType = componentType(controlType_, "Cancel");
    const mms::TypeSpec* ctlValType = cancelType ? componentType(*cancelType, "ctlVal") : nullptr;
    MmsValue ctlVal =
        lastCtlVal_ ? *lastCtlVal_ : (ctlValType ? zeroOf(*ctlValType) : MmsValue::boolean(false));
    return writeCommand("Cancel", ctlVal, 0);
}

bool ControlObject::run(std::optional<Command> command) {
    if (!command) {
        return false;
    }
    const ClientError error = command->evaluate(connection_.requestNow(std::move(command->request)));
    finishCommand(error);
    return error == ClientError::Ok;
}

ClientError ControlObject::runAsync(std::optional<Command> command, Completion done, uint32_t* invokeId) {
    if (!command) {
        return lastError();
    }
    auto evaluate = std::move(command->evaluate);
    const ClientError sent = connection_.requestAsync(
        std::move(command->request),
        [life = life_, evaluate = std::move(evaluate), done = std::move(done)](uint32_t id,
                                                                               RequestOutcome outcome) {
            std::lock_guard<std::mutex> lock(life->mutex);
            if (life->object == nullptr) {
                return;  // destroyed meanwhile: nobody asks any more
            }
            const ClientError error = evaluate(outcome);
            life->object->finishCommand(error);
            done(id, error);
        },
        invokeId);
    if (sent != ClientError::Ok) {
        stopAwaiting();
        finishCommand(sent);
    }
    return sent;
}

bool ControlObject::select() {
    return run(selectCommand());
}

bool ControlObject::selectWithValue(const MmsValue& ctlVal) {
    return run(selectWithValueCommand(ctlVal));
}

bool ControlObject::operate(const MmsValue& ctlVal, uint64_t operTimeMs) {
    return run(operateCommand(ctlVal, operTimeMs));
}

bool ControlObject::cancel() {
    return run(cancelCommand());
}

ClientError ControlObject::selectAsync(Completion done, uint32_t* invokeId) {
    return runAsync(selectCommand(), std::move(done), invokeId);
}

ClientError ControlObject::selectWithValueAsync(const MmsValue& ctlVal, Completion done,
                                                   uint32_t* invokeId) {
    return runAsync(selectWithValueCommand(ctlVal), std::move(done), invokeId);
}

ClientError ControlObject::operateAsync(const MmsValue& ctlVal, uint64_t operTimeMs, Completion done,
                                           uint32_t* invokeId) {
    return runAsync(operateCommand(ctlVal, operTimeMs), std::move(done), invokeId);
}

ClientError ControlObject::cancelAsync(Completion done, uint32_t* invokeId) {
    return runAsync(cancelCommand(), std::move(done), invokeId);
}

}  // namespace iecstack::client
