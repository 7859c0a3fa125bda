#include "iec61850network.h"

namespace iec61850 {

namespace {

const char* const kOriginatorId = "Korvan_client";
// Older operated objects are let go: their terminations, if any come, are long overdue.
constexpr size_t kMaxAwaitingTermination = 8;

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

}  // namespace

QString Iec61850Network::addCauseToString(int addCause) {
    constexpr int kNames = static_cast<int>(sizeof kAddCauseNames / sizeof kAddCauseNames[0]);
    if (addCause < 0 || addCause >= kNames) {
        return QString::number(addCause);
    }
    return QString::fromLatin1(kAddCauseNames[addCause]) + QStringLiteral(" (%1)").arg(addCause);
}

void Iec61850Network::commandTerminationHandler(void* parameter, ControlObjectClient object) {
    // Receive thread: only the signal, which reaches the view queued.
    const LastApplError error = ControlObjectClient_getLastApplError(object);
    if (error.error != CONTROL_ERROR_NO_ERROR) {
        auto* engine = static_cast<Iec61850Network*>(parameter);
        emit engine->setStatusBarMessage(
            QStringLiteral("Operate fail: %1").arg(addCauseToString(error.addCause)));
    }
}

bool Iec61850Network::prepareControl(const QString& ref, int originCategory) {
    controlObject = ControlObjectClient_create(ref.toUtf8().constData(), connection);
    if (!controlObject) {
        return false;
    }
    controlRef = ref;
    ControlObjectClient_setInterlockCheck(controlObject, true);
    ControlObjectClient_setSynchroCheck(controlObject, true);
    ControlObjectClient_setOrigin(controlObject, kOriginatorId, originCategory);
    ControlObjectClient_setCommandTerminationHandler(controlObject, commandTerminationHandler, this);
    return true;
}

void Iec61850Network::releaseHeldControl() {
    if (controlObject) {
        ControlObjectClient_destroy(controlObject);
        controlObject = nullptr;
    }
    MmsValue_delete(controlValue);
    controlValue = nullptr;
    controlRef.clear();
}

void Iec61850Network::releaseControls() {
    releaseHeldControl();
    for (ControlObjectClient object : awaitingTermination) {
        ControlObjectClient_destroy(object);
    }
    awaitingTermination.clear();
}

void Iec61850Network::reportControlRefusal(const char* prefix) {
    const LastApplError error = ControlObjectClient_getLastApplError(controlObject);
    emit setStatusBarMessage(QString::fromLatin1(prefix).arg(addCauseToString(error.addCause)));
}

void Iec61850Network::selectWith(const QString& ref, MmsValue* value, int originCategory) {
    // A value held for another object is of no use to this one.
    if (controlObject && controlRef != ref) {
        releaseHeldControl();
    }
    if (controlObject) {
        ControlObjectClient_destroy(controlObject);
        controlObject = nullptr;
    }
    if (!prepareControl(ref, originCategory)) {
        MmsValue_delete(value);
        return;
    }
    bool accepted;
    if (value) {
        MmsValue_delete(controlValue);
        controlValue = value;
        accepted = ControlObjectClient_selectWithValue(controlObject, controlValue);
    } else {
        accepted = ControlObjectClient_select(controlObject);
    }
    if (!accepted) {
        reportControlRefusal("Select fail: %1");
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
    if (!ControlObjectClient_operate(controlObject, controlValue, 0)) {
        reportControlRefusal("Operate fail: %1");
    } else if (isEnhanced(controlObject)) {
        // The device's verdict comes later as a command termination, for this object.
        awaitingTermination.push_back(controlObject);
        controlObject = nullptr;
        if (awaitingTermination.size() > kMaxAwaitingTermination) {
            ControlObjectClient_destroy(awaitingTermination.front());
            awaitingTermination.erase(awaitingTermination.begin());
        }
    }
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
        controlObject = ControlObjectClient_create(data_object_ref.toUtf8().constData(), connection);
        if (!controlObject) {
            releaseHeldControl();
            return;
        }
    }
    if (!ControlObjectClient_cancel(controlObject)) {
        reportControlRefusal("Cancel fail: %1");
    }
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
