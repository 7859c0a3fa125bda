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

LastApplError parseLastApplError(const MmsValue& value, std::string* controlObject) {
    LastApplError error{0, CONTROL_ERROR_UNKNOWN, ADD_CAUSE_UNKNOWN};
    const auto& e = value.elements();
    if (value.type() != MMS_STRUCTURE || e.size() < 5 || e[0].type() != MMS_VISIBLE_STRING) {
        return error;
    }
    *controlObject = e[0].text();
    const int64_t code = e[1].type() == MMS_INTEGER ? e[1].toInt64() : 1;
    error.error = code >= 0 && code <= 3 ? static_cast<ControlLastApplError>(code) : CONTROL_ERROR_UNKNOWN;
    error.ctlNum =
        static_cast<int>(e[3].type() == MMS_UNSIGNED || e[3].type() == MMS_INTEGER ? e[3].toInt64() : 0);
    // Causes beyond the known ones are passed on as numbers; the caller shows them as such.
    error.addCause = static_cast<ControlAddCause>(e[4].type() == MMS_INTEGER ? e[4].toInt64() : 0);
    return error;
}

// "LD/LN$CO$DO$Oper" -> "LD/LN$CO$DO".
std::string objectOf(const std::string& attributeName) {
    const size_t last = attributeName.rfind('$');
    return last == std::string::npos ? attributeName : attributeName.substr(0, last);
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
    const auto& variables = report.spec.variables;
    if (report.spec.kind != mms::VariableAccessSpec::Kind::ListOfVariable || variables.empty() ||
        report.results.size() != variables.size()) {
        return false;
    }
    const mms::ObjectName& first = variables.front().name;
    std::lock_guard<std::mutex> lock(mutex_);
    if (first.scope == mms::ObjectName::Scope::Vmd && first.itemId == "LastApplError") {
        std::string controlObject;
        LastApplError error = parseLastApplError(report.results.front(), &controlObject);
        const std::string name = objectOf(controlObject);
        const bool termination = variables.size() >= 2;
        if (termination && error.error == CONTROL_ERROR_NO_ERROR) {
            // Devices send "no error" in negative terminations too; the termination itself is the failure.
            error.error = CONTROL_ERROR_UNKNOWN;
        }
        ControlObject* due = nullptr;
        for (ControlObject* object : objects_) {
            if (object->feedbackName() != name) {
                continue;
            }
            object->onLastApplError(error);
            const uint64_t since = object->awaitingSince();
            if (termination && since != 0 && (!due || since < due->awaitingSince())) {
                due = object;
            }
        }
        if (due) {
            due->onTermination(false);
        }
        return true;
    }
    if (variables.size() == 1 && first.scope == mms::ObjectName::Scope::Domain && first.itemId.size() > 5 &&
        first.itemId.compare(first.itemId.size() - 5, 5, "$Oper") == 0 &&
        first.itemId.find("$CO$") != std::string::npos) {
        const std::string name = first.domainId + "/" + objectOf(first.itemId);
        // Terminations come in the order of the operates; the oldest one due is ended.
        ControlObject* due = nullptr;
        for (ControlObject* object : objects_) {
            const uint64_t since = object->awaitingSince();
            if (object->feedbackName() == name && since != 0 && (!due || since < due->awaitingSince())) {
                due = object;
            }
        }
        if (due) {
            due->onTermination(true);
        }
        return true;
    }
    return false;
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
    if (object->ctlModel_ < 1 || object->ctlModel_ > 4 || !oper || oper->type != MMS_STRUCTURE ||
        !componentType(*oper, "ctlVal")) {
        *error = ClientError::ObjectAccessUnsupported;  // status only, or no commands to send
        return nullptr;
    }
    connection.controls().add(object.get());
    *error = ClientError::Ok;
    return object;
}

ControlObject::~ControlObject() {
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

void ControlObject::onLastApplError(const LastApplError& error) {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    lastApplError_ = error;
}

uint64_t ControlObject::awaitingSince() const {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    return awaitingSince_;
}

void ControlObject::onTermination(bool positive) {
    CommandTerminationHandler handler;
    void* parameter;
    ControlObjectClient handle;
    {
        std::lock_guard<std::mutex> lock(feedbackMutex_);
        awaitingSince_ = 0;
        if (positive) {
            lastApplError_.error = CONTROL_ERROR_NO_ERROR;
            lastApplError_.addCause = ADD_CAUSE_UNKNOWN;
        }
        handler = terminationHandler_;
        parameter = terminationParameter_;
        handle = handle_;
    }
    if (handler) {
        handler(parameter, handle);
    }
}

void ControlObject::startCommand() {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    lastApplError_ = LastApplError{ctlNum_, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
    lastError_ = ClientError::Ok;
}

void ControlObject::finishCommand(ClientError error) {
    std::lock_guard<std::mutex> lock(feedbackMutex_);
    lastError_ = error;
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

std::optional<MmsValue> ControlObject::commandValue(const std::string& name, const MmsValue& ctlVal,
                                                    uint64_t operTimeMs) {
    const mms::TypeSpec* type = componentType(controlType_, name);
    if (!type || type->type != MMS_STRUCTURE) {
        return std::nullopt;
    }
    std::vector<MmsValue> members;
    for (const mms::TypeComponent& c : type->components) {
        if (c.name == "ctlVal") {
            members.push_back(ctlVal);
        } else if (c.name == "operTm") {
            members.push_back(MmsValue::utcTimeFromMs(operTimeMs, 0));
        } else if (c.name == "origin") {
            members.push_back(MmsValue::structure(
                {MmsValue::integer(orCat_),
                 MmsValue::octetString(std::vector<uint8_t>(orIdent_.begin(), orIdent_.end()))}));
        } else if (c.name == "ctlNum") {
            members.push_back(MmsValue::unsignedInteger(ctlNum_));
        } else if (c.name == "T") {
            members.push_back(MmsValue::utcTimeFromMs(nowMs(), 0));
        } else if (c.name == "Test") {
            members.push_back(MmsValue::boolean(false));
        } else if (c.name == "Check") {
            mms::BitString check(2);
            check.setBit(0, synchroCheck_);
            check.setBit(1, interlockCheck_);
            members.push_back(MmsValue::bitString(check));
        } else {
            return std::nullopt;  // a member we would not know how to fill
        }
    }
    return MmsValue::structure(std::move(members));
}

bool ControlObject::write(const std::string& name, const MmsValue& ctlVal, uint64_t operTimeMs) {
    auto value = commandValue(name, ctlVal, operTimeMs);
    if (!value) {
        finishCommand(ClientError::ObjectAccessUnsupported);
        return false;
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
    }
    RequestOutcome outcome = connection_.requestNow(std::move(request));
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
        std::lock_guard<std::mutex> lock(feedbackMutex_);
        awaitingSince_ = 0;
    }
    finishCommand(error);
    return error == ClientError::Ok;
}

bool ControlObject::select() {
    ctlNum_ = static_cast<uint8_t>(ctlNum_ + 1);
    startCommand();
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list(
        {mms::VariableAccess{mms::ObjectName::domain(domain_, item_ + "$SBO"), {}}});
    RequestOutcome outcome = connection_.requestNow(std::move(read));
    ClientError error = outcome.error;
    if (error == ClientError::Ok) {
        const auto* values = std::get_if<mms::ReadResponse>(&*outcome.response);
        if (!values || values->results.size() != 1) {
            error = ClientError::UnexpectedValueReceived;
        } else if (values->results.front().type() == MMS_DATA_ACCESS_ERROR) {
            error = errorFromDataAccessError(values->results.front().accessError());
        } else if (values->results.front().type() != MMS_VISIBLE_STRING ||
                   values->results.front().text().empty()) {
            error = ClientError::AccessDenied;  // an empty reference: the device refused the selection
        }
    }
    finishCommand(error);
    return error == ClientError::Ok;
}

bool ControlObject::selectWithValue(const MmsValue& ctlVal) {
    auto value = fitControlValue(ctlVal);
    ctlNum_ = static_cast<uint8_t>(ctlNum_ + 1);
    startCommand();
    if (!value) {
        finishCommand(ClientError::TypeInconsistent);
        return false;
    }
    lastCtlVal_ = *value;
    return write("SBOw", *value, 0);
}

bool ControlObject::operate(const MmsValue& ctlVal, uint64_t operTimeMs) {
    auto value = fitControlValue(ctlVal);
    if (ctlModel_ == 1 || ctlModel_ == 3) {
        ctlNum_ = static_cast<uint8_t>(ctlNum_ + 1);  // a direct operate starts a command of its own
    }
    startCommand();
    if (!value) {
        finishCommand(ClientError::TypeInconsistent);
        return false;
    }
    lastCtlVal_ = *value;
    return write("Oper", *value, operTimeMs);
}

bool ControlObject::cancel() {
    startCommand();
    const mms::TypeSpec* cancelType = componentType(controlType_, "Cancel");
    const mms::TypeSpec* ctlValType = cancelType ? componentType(*cancelType, "ctlVal") : nullptr;
    MmsValue ctlVal =
        lastCtlVal_ ? *lastCtlVal_ : (ctlValType ? zeroOf(*ctlValType) : MmsValue::boolean(false));
    return write("Cancel", ctlVal, 0);
}

}  // namespace iecstack::client
