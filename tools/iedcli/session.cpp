#include "session.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "dumpline.h"
#include "reportprinter.h"
#include "valueparser.h"
#include "valuerenderer.h"

namespace iedcli {
namespace {

struct SpecDeleter {
    void operator()(MmsVariableSpecification* spec) const { MmsVariableSpecification_destroy(spec); }
};
using SpecPtr = std::unique_ptr<MmsVariableSpecification, SpecDeleter>;

void complain(const std::string& line) {
    std::fprintf(stderr, "iedcli: %s\n", line.c_str());
}

FunctionalConstraint constraintOf(const std::string& fc) {
    return fc.size() == 2 ? FunctionalConstraint_fromString(fc.c_str()) : IEC61850_FC_NONE;
}

std::string withFc(const std::string& reference, const std::string& fc) {
    return reference + "[" + fc + "]";
}

// "name[FC]" entries of a directory answer.
std::vector<std::pair<std::string, std::string>> namesWithFc(LinkedList list) {
    std::vector<std::pair<std::string, std::string>> names;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
        const std::string entry = static_cast<const char*>(LinkedList_getData(e));
        const size_t open = entry.find('[');
        if (open != std::string::npos && entry.size() == open + 4 && entry.back() == ']') {
            names.emplace_back(entry.substr(0, open), entry.substr(open + 1, 2));
        }
    }
    LinkedList_destroy(list);
    return names;
}

}  // namespace

int Session::refusal(const std::string& what, IedClientError error) {
    complain(what + ": " + valueedit::failureText(error));
    return error == IED_ERROR_NOT_CONNECTED || error == IED_ERROR_CONNECTION_LOST ? kUsage : kRefused;
}

void Session::print(MmsValue* value, const std::string& reference, const std::string& fc,
                    MmsVariableSpecification* type) {
    if (MmsValue_getType(value) == MMS_STRUCTURE && type != nullptr) {
        for (uint32_t i = 0; i < MmsValue_getArraySize(value); ++i) {
            MmsVariableSpecification* child =
                MmsVariableSpecification_getChildSpecificationByIndex(type, static_cast<int>(i));
            const char* name = MmsVariableSpecification_getName(child);
            print(MmsValue_getElement(value, static_cast<int>(i)),
                  reference + "." + (name != nullptr ? name : std::to_string(i)), fc, child);
        }
        return;
    }
    const QString ref = QString::fromStdString(reference);
    const QStringList texts = iec61850::renderValue(value, ref, false).texts;
    const QString line = ieddump::dumpLine({QString::fromStdString(withFc(reference, fc)), texts.value(0)});
    std::printf("%s\n", line.toUtf8().constData());
}

int Session::read(const std::string& reference, const std::string& fc) {
    std::vector<std::string> constraints;
    if (!fc.empty()) {
        if (constraintOf(fc) == IEC61850_FC_NONE) {
            complain("not a functional constraint: " + fc);
            return kUsage;
        }
        constraints.push_back(fc);
    } else {
        // Every constraint the name has, as the directory of its parent lists it.
        const size_t dot = reference.rfind('.');
        if (dot == std::string::npos || reference.find('/') == std::string::npos) {
            complain("read needs LD/LN.DO[.DA] and, for a logical node, an FC: " + reference);
            return kUsage;
        }
        IedClientError error = IED_ERROR_OK;
        const auto children = namesWithFc(
            IedConnection_getDataDirectoryFC(connection_, &error, reference.substr(0, dot).c_str()));
        if (error != IED_ERROR_OK) {
            return refusal("read " + reference, error);
        }
        for (const auto& [name, childFc] : children) {
            if (name == reference.substr(dot + 1)) {
                constraints.push_back(childFc);
            }
        }
        if (constraints.empty()) {
            complain("read " + reference + ": object-non-existent");
            return kRefused;
        }
    }
    int status = kOk;
    for (const std::string& c : constraints) {
        IedClientError error = IED_ERROR_OK;
        MmsValue* value = IedConnection_readObject(connection_, &error, reference.c_str(), constraintOf(c));
        if (value == nullptr) {
            status = std::max(status, refusal("read " + withFc(reference, c), error));
            continue;
        }
        SpecPtr type;
        if (MmsValue_getType(value) == MMS_STRUCTURE) {
            type.reset(IedConnection_getVariableSpecification(connection_, &error, reference.c_str(),
                                                              constraintOf(c)));
        }
        print(value, reference, c, type.get());
        MmsValue_delete(value);
    }
    return status;
}

int Session::write(const std::string& reference, const std::string& fc, const std::string& text) {
    const FunctionalConstraint constraint = constraintOf(fc);
    if (constraint == IEC61850_FC_NONE) {
        complain("not a functional constraint: " + fc);
        return kUsage;
    }
    IedClientError error = IED_ERROR_OK;
    SpecPtr type(IedConnection_getVariableSpecification(connection_, &error, reference.c_str(), constraint));
    if (!type) {
        return refusal("write " + withFc(reference, fc), error);
    }
    valueedit::ParsedValue parsed = valueedit::parseValue(text, type.get());
    if (!parsed.value) {
        complain("write " + withFc(reference, fc) + ": " + parsed.error);
        return kUsage;
    }
    IedConnection_writeObject(connection_, &error, reference.c_str(), constraint, parsed.value.get());
    return error == IED_ERROR_OK ? kOk : refusal("write " + withFc(reference, fc), error);
}

std::unique_ptr<ReportPrinter> Session::watchReports(const std::string& reference, const std::string& block,
                                                     const std::string& fc) {
    IedClientError error = IED_ERROR_OK;
    const std::string rptId = readText(block + ".RptID", fc, &error);
    std::string dataSet = error == IED_ERROR_OK ? readText(block + ".DatSet", fc, &error) : std::string();
    if (error != IED_ERROR_OK) {
        refusal("rcb " + reference, error);
        return nullptr;
    }
    // The block names its data set as MMS does (LD/LLN0$name); the directory takes LD/LLN0.name.
    if (const size_t dollar = dataSet.find('$'); dollar != std::string::npos) {
        dataSet[dollar] = '.';
    }
    std::vector<std::string> members;
    bool deletable = false;
    LinkedList list = IedConnection_getDataSetDirectory(connection_, &error, dataSet.c_str(), &deletable);
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
        members.emplace_back(static_cast<const char*>(LinkedList_getData(e)));
    }
    LinkedList_destroy(list);
    if (error != IED_ERROR_OK) {
        refusal("rcb " + reference + ": data set " + dataSet, error);
        return nullptr;
    }
    return std::make_unique<ReportPrinter>(connection_, reference, rptId, std::move(members));
}

std::string Session::readText(const std::string& reference, const std::string& fc, IedClientError* error) {
    MmsValue* value = IedConnection_readObject(connection_, error, reference.c_str(), constraintOf(fc));
    const char* text = value != nullptr ? MmsValue_toString(value) : nullptr;
    std::string result = text != nullptr ? text : std::string();
    MmsValue_delete(value);
    return result;
}

int Session::rcb(const std::string& reference, const std::vector<std::string>& assignments) {
    // "LD/LN.RP.name" as the client API names blocks; the attributes are "LD/LN.name.Attr" under RP or BR.
    const size_t last = reference.rfind('.');
    const size_t fcDot =
        last == std::string::npos || last == 0 ? std::string::npos : reference.rfind('.', last - 1);
    const std::string fc =
        fcDot == std::string::npos ? std::string() : reference.substr(fcDot + 1, last - fcDot - 1);
    if (fc != "RP" && fc != "BR") {
        complain("not a report control block reference (LD/LN.RP.name or LD/LN.BR.name): " + reference);
        return kUsage;
    }
    const std::string block = reference.substr(0, fcDot) + reference.substr(last);
    std::vector<std::pair<std::string, std::string>> settings;
    bool interrogate = false;
    for (const std::string& assignment : assignments) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            complain("not ATTR=VALUE: " + assignment);
            return kUsage;
        }
        settings.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        interrogate = interrogate || (settings.back().first == "GI" &&
                                      (settings.back().second == "true" || settings.back().second == "1"));
    }
    // Listening before the request, so that the interrogation's report is not missed.
    std::unique_ptr<ReportPrinter> reports;
    if (interrogate && !(reports = watchReports(reference, block, fc))) {
        return kRefused;
    }
    for (const auto& [attribute, value] : settings) {
        const int status = write(block + "." + attribute, fc, value);
        if (status == kRefused) {
            // Say who holds the block, where the device tells.
            IedClientError error = IED_ERROR_OK;
            MmsValue* owner =
                IedConnection_readObject(connection_, &error, (block + ".Owner").c_str(), constraintOf(fc));
            if (owner != nullptr && MmsValue_getType(owner) == MMS_OCTET_STRING &&
                MmsValue_getOctetStringSize(owner) == 4) {
                const uint8_t* a = MmsValue_getOctetStringBuffer(owner);
                std::fprintf(stderr, "iedcli: %s is held by %u.%u.%u.%u\n", reference.c_str(), a[0], a[1],
                             a[2], a[3]);
            }
            MmsValue_delete(owner);
        }
        if (status != kOk) {
            return status;
        }
    }
    if (reports && !reports->waitForCompleteReport(std::chrono::seconds(10))) {
        complain("rcb " + reference + ": no general-interrogation report within 10 s");
        return kRefused;
    }
    return read(block, fc);
}

std::string Session::settingGroupDevice(const std::string& wanted) {
    std::vector<std::string> devices;
    if (!wanted.empty()) {
        devices.push_back(wanted);
    } else {
        IedClientError error = IED_ERROR_OK;
        LinkedList list = IedConnection_getLogicalDeviceList(connection_, &error);
        for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
            devices.emplace_back(static_cast<const char*>(LinkedList_getData(e)));
        }
        LinkedList_destroy(list);
    }
    for (const std::string& device : devices) {
        IedClientError error = IED_ERROR_OK;
        MmsValue* groups = IedConnection_readObject(connection_, &error,
                                                    (device + "/LLN0.SGCB.NumOfSG").c_str(), IEC61850_FC_SP);
        MmsValue_delete(groups);
        if (groups != nullptr) {
            return device;
        }
    }
    return std::string();
}

int Session::settingGroup(const std::vector<std::string>& arguments) {
    // [LD] activate N | edit N [REF=VALUE ...] | confirm | discard
    std::vector<std::string> args = arguments;
    std::string wanted;
    if (!args.empty() && args[0] != "activate" && args[0] != "edit" && args[0] != "confirm" &&
        args[0] != "discard") {
        wanted = args[0];
        args.erase(args.begin());
    }
    const std::string verb = args.empty() ? std::string() : args[0];
    const bool takesGroup = verb == "activate" || verb == "edit";
    if ((!takesGroup && verb != "confirm" && verb != "discard") || (takesGroup && args.size() < 2) ||
        (verb == "activate" && args.size() != 2) || (!takesGroup && args.size() != 1)) {
        complain("sg takes activate N, edit N [REF=VALUE ...], confirm or discard");
        return kUsage;
    }
    const std::string device = settingGroupDevice(wanted);
    if (device.empty()) {
        complain("no setting group control block" + (wanted.empty() ? std::string() : " in " + wanted));
        return kRefused;
    }
    const std::string sgcb = device + "/LLN0.SGCB";
    if (verb == "activate") {
        return write(sgcb + ".ActSG", "SP", args[1]);
    }
    if (verb == "confirm") {
        return write(sgcb + ".CnfEdit", "SP", "true");
    }
    if (verb == "discard") {
        return write(sgcb + ".EditSG", "SP", "0");
    }
    // An edit lives as long as the association, so the values and the confirmation go with it.
    if (const int status = write(sgcb + ".EditSG", "SP", args[1]); status != kOk) {
        return status;
    }
    for (size_t i = 2; i < args.size(); ++i) {
        const size_t equals = args[i].find('=');
        if (equals == std::string::npos || equals == 0) {
            complain("not REF=VALUE: " + args[i]);
            return kUsage;
        }
        if (const int status = write(args[i].substr(0, equals), "SE", args[i].substr(equals + 1));
            status != kOk) {
            return status;
        }
    }
    return args.size() > 2 ? write(sgcb + ".CnfEdit", "SP", "true") : kOk;
}

namespace {

// Waits for the command termination of an enhanced-security operate.
struct Termination {
    std::mutex mutex;
    std::condition_variable arrived;
    bool done = false;

    static void handler(void* parameter, ControlObjectClient) {
        auto* self = static_cast<Termination*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->done = true;
        self->arrived.notify_all();
    }
};

}  // namespace

int Session::operate(const std::string& reference, const std::string& text) {
    IedClientError error = IED_ERROR_OK;
    SpecPtr type(IedConnection_getVariableSpecification(
        connection_, &error, (reference + ".Oper.ctlVal").c_str(), IEC61850_FC_CO));
    if (!type) {
        return refusal("operate " + reference, error);
    }
    valueedit::ParsedValue parsed = valueedit::parseValue(text, type.get());
    if (!parsed.value) {
        complain("operate " + reference + ": " + parsed.error);
        return kUsage;
    }
    ControlObjectClient control = ControlObjectClient_create(reference.c_str(), connection_);
    if (control == nullptr) {
        complain("operate " + reference + ": no control object");
        return kRefused;
    }
    Termination termination;
    ControlObjectClient_setCommandTerminationHandler(control, &Termination::handler, &termination);
    const ControlModel model = ControlObjectClient_getControlModel(control);
    bool ok = true;
    if (model == CONTROL_MODEL_SBO_NORMAL) {
        ok = ControlObjectClient_select(control);
    } else if (model == CONTROL_MODEL_SBO_ENHANCED) {
        ok = ControlObjectClient_selectWithValue(control, parsed.value.get());
    }
    ok = ok && ControlObjectClient_operate(control, parsed.value.get(), 0);
    if (ok && (model == CONTROL_MODEL_DIRECT_ENHANCED || model == CONTROL_MODEL_SBO_ENHANCED)) {
        std::unique_lock<std::mutex> lock(termination.mutex);
        if (!termination.arrived.wait_for(lock, std::chrono::seconds(30), [&] { return termination.done; })) {
            lock.unlock();
            ControlObjectClient_destroy(control);
            complain("operate " + reference + ": no command termination within 30 s");
            return kRefused;
        }
        ok = ControlObjectClient_getLastApplError(control).error == CONTROL_ERROR_NO_ERROR;
    }
    const LastApplError last = ControlObjectClient_getLastApplError(control);
    ControlObjectClient_destroy(control);
    if (ok) {
        return kOk;
    }
    complain(
        "operate " + reference + ": refused" +
        (last.addCause != ADD_CAUSE_UNKNOWN ? ", AddCause " + std::to_string(last.addCause) : std::string()));
    return kRefused;
}

}  // namespace iedcli
