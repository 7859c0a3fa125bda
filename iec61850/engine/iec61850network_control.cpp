#include "iec61850network.h"

#include "attributeread.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace iec61850 {

namespace {

const char* const kOriginatorId = "Korvan_client";
// Older objects that left the sequence are let go: what their commands would still say is long overdue.
constexpr size_t kMaxRetiredControls = 16;
// How long a device may take to end a command of enhanced security when it does not say
// (operTimeout), and the most a configured one is believed.
constexpr qint64 kUnknownOperTimeoutMs = 10000;
constexpr qint64 kMaxOperTimeoutMs = 600000;

const char* const kAddCauseNames[] = {
    "UNKNOWN",
    "NOT_SUPPORTED",
    "BLOCKED_BY_SWITCHING_HIERARCHY",
    "SELECT_FAILED",
    "INVALID_POSITION",
    "POSITION_REACHED",
    "PARAMETER_CHANGE_IN_EXECUTION",
    "STEP_LIMIT",
    "BLOCKED_BY_MODE",
    "BLOCKED_BY_PROCESS",
    "BLOCKED_BY_INTERLOCKING",
    "BLOCKED_BY_SYNCHROCHECK",
    "COMMAND_ALREADY_IN_EXECUTION",
    "BLOCKED_BY_HEALTH",
    "1_OF_N_CONTROL",
    "ABORTION_BY_CANCEL",
    "TIME_LIMIT_OVER",
    "ABORTION_BY_TRIP",
    "OBJECT_NOT_SELECTED",
    "OBJECT_ALREADY_SELECTED",
    "NO_ACCESS_AUTHORITY",
    "ENDED_WITH_OVERSHOOT",
    "ABORTION_DUE_TO_DEVIATION",
    "ABORTION_BY_COMMUNICATION_LOSS",
    "ABORTION_BY_COMMAND",
    "NONE",
    "INCONSISTENT_PARAMETERS",
    "LOCKED_BY_OTHER_CLIENT",
};

bool isEnhanced(ControlObjectClient object) {
    const ControlModel model = ControlObjectClient_getControlModel(object);
    return model == CONTROL_MODEL_DIRECT_ENHANCED || model == CONTROL_MODEL_SBO_ENHANCED;
}

// The control object of `ref`, or null when there is none or it takes no commands: the client creates
// status-only objects too, and the device would only refuse what the engine sent them.
ControlObjectClient commandableControl(const QString& ref, IedConnection connection) {
    ControlObjectClient object = ControlObjectClient_create(ref.toUtf8().constData(), connection);
    if (object != nullptr && ControlObjectClient_getControlModel(object) == CONTROL_MODEL_STATUS_ONLY) {
        ControlObjectClient_destroy(object);
        return nullptr;
    }
    return object;
}

}  // namespace

QString Iec61850Network::addCauseToString(int addCause) {
    constexpr int kNames = static_cast<int>(sizeof kAddCauseNames / sizeof kAddCauseNames[0]);
    if (addCause < 0 || addCause >= kNames) {
        return QString::number(addCause);
    }
    return QString::fromLatin1(kAddCauseNames[addCause]) + QStringLiteral(" (%1)").arg(addCause);
}

void Iec61850Network::commandTerminationHandler(void* parameter, ControlObjectClient object) {
    // Receive thread: the signal, which reaches the view queued, and the end of the wait on the engine's
    // thread. The object stays valid here: it is destroyed only on the engine's thread, which waits for
    // this handler to return.
    auto* engine = static_cast<Iec61850Network*>(parameter);
    const LastApplError error = ControlObjectClient_getLastApplError(object);
    if (error.error != CONTROL_ERROR_NO_ERROR) {
        const QString cause = addCauseToString(error.addCause);
        emit engine->setStatusBarMessage(QStringLiteral("Operate fail: %1").arg(cause));
        emit engine->controlResult(false, QStringLiteral("Command terminated: %1").arg(cause));
    } else {
        emit engine->controlResult(true, QStringLiteral("Command terminated: ok"));
    }
    QMetaObject::invokeMethod(
        engine, [engine, object] { engine->terminationArrived(object); }, Qt::QueuedConnection);
}

void Iec61850Network::controlAnswer(uint32_t, void* parameter, IedClientError error, ControlActionType,
                                    bool success) {
    // Receive or timer thread: the device's cause is read now, before a later command of the same
    // object replaces it.
    auto* command = static_cast<PendingControl*>(parameter);
    Iec61850Network* engine = command->engine;
    const LastApplError applError = ControlObjectClient_getLastApplError(command->object);
    QMetaObject::invokeMethod(
        engine,
        [engine, command, error, success, applError] {
            engine->controlAnswered(command, error, success, applError);
        },
        Qt::QueuedConnection);
}

void Iec61850Network::reportControlFailure(const char* prefix, IedClientError error,
                                           const LastApplError& applError) {
    if (error == IED_ERROR_CONNECTION_LOST || error == IED_ERROR_NOT_CONNECTED) {
        return;  // the end of the association is told once, with its reason
    }
    const QString cause = error == IED_ERROR_TIMEOUT ? QStringLiteral("no answer from the device")
                                                     : addCauseToString(applError.addCause);
    const QString text = QString::fromLatin1(prefix).arg(cause);
    emit setStatusBarMessage(text);
    emit controlResult(false, text);
}

void Iec61850Network::controlAnswered(PendingControl* command, IedClientError error, bool success,
                                      const LastApplError& applError) {
    const auto it = std::find_if(controlCommands.begin(), controlCommands.end(),
                                 [command](const auto& c) { return c.get() == command; });
    if (it == controlCommands.end()) {
        return;  // its association has ended meanwhile
    }
    const std::unique_ptr<PendingControl> done = std::move(*it);
    controlCommands.erase(it);
    noteRequestFailure(error);
    if (!success) {
        reportControlFailure(done->prefix, error, applError);
    } else {
        emit controlResult(true, QString::fromLatin1(done->done));
    }
    if (success && done->terminationWaitMs > 0 && !terminatedEarly.remove(done->object)) {
        // The device ends the command itself within its operTimeout, negatively when it has to give
        // up; only when that is overdue by a request time-out as well is the termination missing.
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        const ControlObjectClient object = done->object;
        connect(timer, &QTimer::timeout, this, [this, object] { terminationOverdue(object); });
        timer->start(done->terminationWaitMs);
        delete terminationTimers.take(object);
        terminationTimers.insert(object, timer);
    }
    dropIfIdle(done->object);
}

void Iec61850Network::terminationArrived(ControlObjectClient object) {
    if (QTimer* timer = terminationTimers.take(object)) {
        delete timer;
        dropIfIdle(object);
    } else if (std::find(retiredControls.begin(), retiredControls.end(), object) != retiredControls.end() ||
               object == controlObject) {
        terminatedEarly.insert(object);  // before its operate's answer was handled
    }
}

void Iec61850Network::terminationOverdue(ControlObjectClient object) {
    delete terminationTimers.take(object);
    const QString text = QStringLiteral("Operate fail: no command termination");
    emit setStatusBarMessage(text);
    emit controlResult(false, text);
    // Given up: a late termination must not be taken for that of a later command.
    dropIfIdle(object);
}

void Iec61850Network::dropIfIdle(ControlObjectClient object) {
    const auto retired = std::find(retiredControls.begin(), retiredControls.end(), object);
    if (retired == retiredControls.end() || terminationTimers.contains(object)) {
        return;
    }
    for (const auto& command : controlCommands) {
        if (command->object == object) {
            return;
        }
    }
    retiredControls.erase(retired);
    terminatedEarly.remove(object);
    ControlObjectClient_destroy(object);
}

void Iec61850Network::retireControl(ControlObjectClient object) {
    retiredControls.push_back(object);
    if (retiredControls.size() > kMaxRetiredControls) {
        // Long overdue: what its commands would still say is of no interest any more.
        const ControlObjectClient oldest = retiredControls.front();
        retiredControls.erase(retiredControls.begin());
        delete terminationTimers.take(oldest);
        terminatedEarly.remove(oldest);
        ControlObjectClient_destroy(oldest);
    }
    dropIfIdle(object);
}

bool Iec61850Network::prepareControl(const QString& ref, int originCategory) {
    // The object reads its control model and types from the device: a request Disconnect may cut short.
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return false;
    }
    controlObject = commandableControl(ref, connection);
    if (!controlObject) {
        return false;
    }
    controlRef = ref;
    ControlObjectClient_setOrigin(controlObject, kOriginatorId, originCategory);
    ControlObjectClient_setCommandTerminationHandler(controlObject, commandTerminationHandler, this);
    controlTerminationWaitMs = 0;
    if (isEnhanced(controlObject)) {
        MmsValue* operTimeout = readAttribute(
            connection, (ref + QStringLiteral(".operTimeout")).toUtf8().constData(), IEC61850_FC_CF);
        const qint64 deviceWait = operTimeout != nullptr ? MmsValue_toInt64(operTimeout) : -1;
        MmsValue_delete(operTimeout);
        controlTerminationWaitMs =
            static_cast<int>(
                qBound<qint64>(0, deviceWait < 0 ? kUnknownOperTimeoutMs : deviceWait, kMaxOperTimeoutMs)) +
            kRequestTimeoutMs;
    }
    return true;
}

void Iec61850Network::releaseHeldControl() {
    if (controlObject) {
        retireControl(std::exchange(controlObject, nullptr));
    }
    MmsValue_delete(controlValue);
    controlValue = nullptr;
    controlRef.clear();
}

void Iec61850Network::releaseControls() {
    MmsValue_delete(controlValue);
    controlValue = nullptr;
    controlRef.clear();
    if (controlObject) {
        ControlObjectClient_destroy(std::exchange(controlObject, nullptr));
    }
    // Destroyed first: no answer handler runs for them afterwards, so their tickets can go.
    for (ControlObjectClient object : retiredControls) {
        ControlObjectClient_destroy(object);
    }
    retiredControls.clear();
    controlCommands.clear();
    qDeleteAll(terminationTimers);
    terminationTimers.clear();
    terminatedEarly.clear();
}

void Iec61850Network::setControlChecks(bool interlock_check, bool synchro_check, bool test) {
    interlockCheck = interlock_check;
    synchroCheck = synchro_check;
    testCommands = test;
}

template <typename Send>
void Iec61850Network::sendControl(const char* prefix, const char* done, int terminationWaitMs, Send send) {
    // Every command carries the checks asked for when it leaves, also the operate of a held selection.
    ControlObjectClient_setInterlockCheck(controlObject, interlockCheck);
    ControlObjectClient_setSynchroCheck(controlObject, synchroCheck);
    ControlObjectClient_setTestMode(controlObject, testCommands);
    auto command = std::make_unique<PendingControl>();
    command->engine = this;
    command->object = controlObject;
    command->prefix = prefix;
    command->done = done;
    command->terminationWaitMs = terminationWaitMs;
    IedClientError error = IED_ERROR_OK;
    noteActivity();
    // The handler may run before the call returns; its answer is handled on this thread, after it.
    send(&error, command.get());
    if (error != IED_ERROR_OK) {
        reportControlFailure(prefix, error, ControlObjectClient_getLastApplError(controlObject));
        return;
    }
    controlCommands.push_back(std::move(command));
}

void Iec61850Network::selectWith(const QString& ref, MmsValue* value, int originCategory) {
    // A value held for another object is of no use to this one.
    if (controlObject && controlRef != ref) {
        releaseHeldControl();
    }
    if (controlObject) {
        retireControl(std::exchange(controlObject, nullptr));
    }
    if (!prepareControl(ref, originCategory)) {
        MmsValue_delete(value);
        return;
    }
    if (value) {
        MmsValue_delete(controlValue);
        controlValue = value;
        sendControl("Select fail: %1", "Select with value ok", 0,
                    [this](IedClientError* error, PendingControl* command) {
                        ControlObjectClient_selectWithValueAsync(controlObject, error, controlValue,
                                                                 controlAnswer, command);
                    });
    } else {
        sendControl("Select fail: %1", "Select ok", 0,
                    [this](IedClientError* error, PendingControl* command) {
                        ControlObjectClient_selectAsync(controlObject, error, controlAnswer, command);
                    });
    }
}

void Iec61850Network::operateWith(const QString& ref, MmsValue* value, int originCategory) {
    // The held object of a select acts only for the reference it was made for; one of another
    // reference is let go without any command, so that an operate never moves an object it did not name.
    if (controlObject && controlRef != ref) {
        releaseHeldControl();
    }
    if (!controlObject && !prepareControl(ref, originCategory)) {
        MmsValue_delete(value);
        return;
    }
    if (controlValue) {
        MmsValue_delete(value);  // the operate repeats the value of the select
    } else {
        controlValue = value;
    }
    sendControl("Operate fail: %1", "Operate ok", controlTerminationWaitMs,
                [this](IedClientError* error, PendingControl* command) {
                    ControlObjectClient_operateAsync(controlObject, error, controlValue, 0, controlAnswer,
                                                     command);
                });
    releaseHeldControl();
}

void Iec61850Network::controlSelect(const QString& data_object_ref, int origin_category) {
    if (!mayRequest()) {
        return;
    }
    // A plain select keeps a value held for the same object, so the operate after it sends that value.
    selectWith(data_object_ref, nullptr, origin_category);
}

void Iec61850Network::controlSelectWithValue(const QString& data_object_ref, bool state,
                                             int origin_category) {
    if (!mayRequest()) {
        return;
    }
    selectWith(data_object_ref, MmsValue_newBoolean(state), origin_category);
}

void Iec61850Network::controlSelectWithValueInt(const QString& data_object_ref, int value,
                                                int origin_category) {
    if (!mayRequest()) {
        return;
    }
    selectWith(data_object_ref, MmsValue_newIntegerFromInt32(value), origin_category);
}

void Iec61850Network::controlCancel(const QString& data_object_ref) {
    if (!mayRequest()) {
        return;
    }
    if (controlObject && controlRef != data_object_ref) {
        releaseHeldControl();
    }
    if (!controlObject) {
        const RequestScope scope(*this);
        if (scope.allowed()) {
            controlObject = commandableControl(data_object_ref, connection);
        }
        if (!controlObject) {
            releaseHeldControl();
            return;
        }
    }
    sendControl("Cancel fail: %1", "Cancel ok", 0, [this](IedClientError* error, PendingControl* command) {
        ControlObjectClient_cancelAsync(controlObject, error, controlAnswer, command);
    });
    releaseHeldControl();
}

void Iec61850Network::controlOperateBool(const QString& data_object_ref, bool state, int origin_category) {
    if (!mayRequest()) {
        return;
    }
    operateWith(data_object_ref, MmsValue_newBoolean(state), origin_category);
}

void Iec61850Network::controlOperateInt(const QString& data_object_ref, int value, int origin_category) {
    if (!mayRequest()) {
        return;
    }
    operateWith(data_object_ref, MmsValue_newIntegerFromInt32(value), origin_category);
}

}  // namespace iec61850
