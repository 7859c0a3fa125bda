#include "mapping/control_structures.h"

namespace iecstack::mapping {

namespace {

constexpr const char* kLastApplError = "LastApplError";
constexpr size_t kLastApplErrorMembers = 5;

MmsValue originValue(const Originator& origin) {
    return MmsValue::structure({MmsValue::integer(origin.orCat), MmsValue::octetString(origin.orIdent)});
}

std::optional<Originator> originOf(const MmsValue& value) {
    const auto& e = value.elements();
    if (value.type() != MMS_STRUCTURE || e.size() != 2 || e[0].type() != MMS_INTEGER ||
        e[1].type() != MMS_OCTET_STRING) {
        return std::nullopt;
    }
    const ByteView ident = e[1].octets();
    return Originator{static_cast<int32_t>(e[0].toInt64()), std::vector<uint8_t>(ident.begin(), ident.end())};
}

bool isNumber(const MmsValue& value) {
    return value.type() == MMS_INTEGER || value.type() == MMS_UNSIGNED;
}

bool endsWith(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::optional<MmsValue> encodeCommand(const std::vector<std::string>& members,
                                      const ControlCommand& command) {
    std::vector<MmsValue> values;
    values.reserve(members.size());
    for (const std::string& name : members) {
        if (name == "ctlVal") {
            values.push_back(command.ctlVal);
        } else if (name == "operTm") {
            values.push_back(MmsValue::utcTimeFromMs(command.operTimeMs, 0));
        } else if (name == "origin") {
            values.push_back(originValue(command.origin));
        } else if (name == "ctlNum") {
            values.push_back(MmsValue::unsignedInteger(command.ctlNum));
        } else if (name == "T") {
            values.push_back(MmsValue::utcTimeFromMs(command.timeMs, 0));
        } else if (name == "Test") {
            values.push_back(MmsValue::boolean(command.test));
        } else if (name == "Check") {
            mms::BitString check(2);
            check.setBit(0, command.synchroCheck);
            check.setBit(1, command.interlockCheck);
            values.push_back(MmsValue::bitString(check));
        } else {
            return std::nullopt;
        }
    }
    return MmsValue::structure(std::move(values));
}

std::optional<ControlCommand> decodeCommand(const std::vector<std::string>& members, const MmsValue& value) {
    const auto& e = value.elements();
    if (value.type() != MMS_STRUCTURE || e.size() != members.size()) {
        return std::nullopt;
    }
    ControlCommand command;
    for (size_t i = 0; i < members.size(); ++i) {
        const std::string& name = members[i];
        const MmsValue& v = e[i];
        if (name == "ctlVal") {
            command.ctlVal = v;
        } else if (name == "operTm" || name == "T") {
            if (v.type() != MMS_UTC_TIME) {
                return std::nullopt;
            }
            (name == "T" ? command.timeMs : command.operTimeMs) = v.utcTimeMs();
        } else if (name == "origin") {
            auto origin = originOf(v);
            if (!origin) {
                return std::nullopt;
            }
            command.origin = std::move(*origin);
        } else if (name == "ctlNum") {
            if (!isNumber(v)) {
                return std::nullopt;
            }
            command.ctlNum = static_cast<uint32_t>(v.toUint64());
        } else if (name == "Test") {
            if (v.type() != MMS_BOOLEAN) {
                return std::nullopt;
            }
            command.test = v.boolValue();
        } else if (name == "Check") {
            if (v.type() != MMS_BIT_STRING) {
                return std::nullopt;
            }
            command.synchroCheck = v.bitCount() > 0 && v.bit(0);
            command.interlockCheck = v.bitCount() > 1 && v.bit(1);
        }
        // Members of other names are the device's own; they do not change what the command means.
    }
    return command;
}

MmsValue encodeLastApplError(const LastApplErrorValue& error) {
    return MmsValue::structure({
        MmsValue::visibleString(error.controlObject),
        MmsValue::integer(static_cast<int32_t>(error.error)),
        originValue(error.origin),
        MmsValue::unsignedInteger(error.ctlNum),
        MmsValue::integer(static_cast<int32_t>(error.addCause)),
    });
}

std::optional<LastApplErrorValue> decodeLastApplError(const MmsValue& value) {
    const auto& e = value.elements();
    if (value.type() != MMS_STRUCTURE || e.size() < kLastApplErrorMembers ||
        e[0].type() != MMS_VISIBLE_STRING) {
        return std::nullopt;
    }
    LastApplErrorValue error;
    error.controlObject = e[0].text();
    // Devices differ in the details; what cannot be read falls back to "unknown" rather than dropping
    // the cause.
    const int64_t code = e[1].type() == MMS_INTEGER ? e[1].toInt64() : 1;
    error.error = code >= 0 && code <= 3 ? static_cast<ControlError>(code) : ControlError::Unknown;
    error.origin = originOf(e[2]).value_or(Originator{});
    error.ctlNum = isNumber(e[3]) ? static_cast<uint32_t>(e[3].toUint64()) : 0;
    const int64_t cause = e[4].type() == MMS_INTEGER ? e[4].toInt64() : 0;
    error.addCause =
        cause >= INT32_MIN && cause <= INT32_MAX ? static_cast<AddCause>(cause) : AddCause::Unknown;
    return error;
}

mms::InformationReport encodeRefusal(const LastApplErrorValue& error) {
    mms::InformationReport report;
    report.spec =
        mms::VariableAccessSpec::list({mms::VariableAccess{mms::ObjectName::vmd(kLastApplError), {}}});
    report.results.push_back(encodeLastApplError(error));
    return report;
}

mms::InformationReport encodeTermination(const std::string& domain, const std::string& objectItem,
                                         const MmsValue& oper, const LastApplErrorValue* error) {
    std::vector<mms::VariableAccess> variables;
    mms::InformationReport report;
    if (error) {
        variables.push_back(mms::VariableAccess{mms::ObjectName::vmd(kLastApplError), {}});
        report.results.push_back(encodeLastApplError(*error));
    }
    variables.push_back(mms::VariableAccess{mms::ObjectName::domain(domain, objectItem + "$Oper"), {}});
    report.results.push_back(oper);
    report.spec = mms::VariableAccessSpec::list(std::move(variables));
    return report;
}

std::optional<ControlFeedback> decodeControlFeedback(const mms::InformationReport& report) {
    const auto& variables = report.spec.variables;
    if (report.spec.kind != mms::VariableAccessSpec::Kind::ListOfVariable || variables.empty() ||
        variables.size() > 2 || report.results.size() != variables.size()) {
        return std::nullopt;
    }
    ControlFeedback feedback;
    size_t operIndex = 0;
    const mms::ObjectName& first = variables.front().name;
    if (first.scope == mms::ObjectName::Scope::Vmd && first.itemId == kLastApplError) {
        feedback.lastApplError = decodeLastApplError(report.results.front());
        if (!feedback.lastApplError) {
            return std::nullopt;
        }
        if (variables.size() == 1) {
            feedback.kind = ControlFeedback::Kind::Refusal;
            return feedback;
        }
        operIndex = 1;
    } else if (variables.size() != 1) {
        return std::nullopt;
    }
    feedback.kind = ControlFeedback::Kind::Termination;
    feedback.oper = report.results[operIndex];
    const mms::ObjectName& oper = variables[operIndex].name;
    if (oper.scope == mms::ObjectName::Scope::Domain && endsWith(oper.itemId, "$Oper") &&
        oper.itemId.find("$CO$") != std::string::npos) {
        feedback.domain = oper.domainId;
        feedback.objectItem = oper.itemId.substr(0, oper.itemId.size() - 5);
        return feedback;
    }
    if (!feedback.lastApplError) {
        return std::nullopt;
    }
    // A negative termination that names its object only in the LastApplError.
    const std::string object = controlObjectOf(feedback.lastApplError->controlObject);
    const size_t slash = object.find('/');
    if (slash == std::string::npos || object.find("$CO$") == std::string::npos) {
        return std::nullopt;
    }
    feedback.domain = object.substr(0, slash);
    feedback.objectItem = object.substr(slash + 1);
    return feedback;
}

std::string controlObjectOf(const std::string& attributeReference) {
    const size_t last = attributeReference.rfind('$');
    return last == std::string::npos ? attributeReference : attributeReference.substr(0, last);
}

}  // namespace iecstack::mapping
