// The client's control objects against a server whose answers are the fuzz input (scripted_server.h):
// the reads that create an object, the answers to its commands, and LastApplError reports and command
// terminations in between, delivered to every control object registered on the association.
//
// Input: one octet that picks the object (bits 0-2), the command sequence (bits 3-4) and whether the
// commands wait or are sent asynchronously (bit 5), then the answers.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "iec61850_client.h"
#include "scripted_server.h"

namespace {

// The objects of the control captures: direct, select before operate, direct and select with value of
// enhanced security, and one whose operate ends with a negative termination.
const char* const kObjects[] = {
    "simpleIOGenericIO/GGIO1.SPCSO1", "simpleIOGenericIO/GGIO1.SPCSO2", "simpleIOGenericIO/GGIO1.SPCSO3",
    "simpleIOGenericIO/GGIO1.SPCSO4", "simpleIOGenericIO/GGIO1.SPCSO9",
};

std::atomic<size_t> sink{0};

void onTermination(void*, ControlObjectClient object) {
    const LastApplError error = ControlObjectClient_getLastApplError(object);
    sink += static_cast<size_t>(error.ctlNum) + static_cast<size_t>(error.error) +
            static_cast<size_t>(error.addCause);
}

// Answers of asynchronous commands, counted so that every one is in before the connection goes.
struct Outstanding {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;

    static void answered(uint32_t, void* parameter, IedClientError error, ControlActionType type,
                         bool success) {
        auto* self = static_cast<Outstanding*>(parameter);
        sink += static_cast<size_t>(error) + static_cast<size_t>(type) + (success ? 1 : 0);
        std::lock_guard<std::mutex> lock(self->mutex);
        --self->count;
        self->done.notify_all();
    }
    void sent(uint32_t invokeId) {
        if (invokeId != 0) {
            std::lock_guard<std::mutex> lock(mutex);
            ++count;
        }
    }
    void waitAll() {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return count <= 0; });
    }
};

enum class Step { None, Select, SelectWithValue, Operate, Cancel };

// The command sequences of the control captures.
const Step kSequences[4][4] = {
    {Step::Operate, Step::None, Step::None, Step::None},
    {Step::Select, Step::Operate, Step::Select, Step::Cancel},
    {Step::SelectWithValue, Step::Operate, Step::SelectWithValue, Step::Cancel},
    {Step::Operate, Step::Operate, Step::None, Step::None},
};

void run(ControlObjectClient object, Step step, MmsValue* value, bool async, Outstanding& outstanding) {
    IedClientError error = IED_ERROR_OK;
    if (!async) {
        switch (step) {
            case Step::None:
                break;
            case Step::Select:
                ControlObjectClient_select(object);
                break;
            case Step::SelectWithValue:
                ControlObjectClient_selectWithValue(object, value);
                break;
            case Step::Operate:
                ControlObjectClient_operate(object, value, 0);
                break;
            case Step::Cancel:
                ControlObjectClient_cancel(object);
                break;
        }
        onTermination(nullptr, object);
        return;
    }
    uint32_t id = 0;
    switch (step) {
        case Step::None:
            break;
        case Step::Select:
            id = ControlObjectClient_selectAsync(object, &error, Outstanding::answered, &outstanding);
            break;
        case Step::SelectWithValue:
            id = ControlObjectClient_selectWithValueAsync(object, &error, value, Outstanding::answered,
                                                          &outstanding);
            break;
        case Step::Operate:
            id = ControlObjectClient_operateAsync(object, &error, value, 0, Outstanding::answered,
                                                  &outstanding);
            break;
        case Step::Cancel:
            id = ControlObjectClient_cancelAsync(object, &error, Outstanding::answered, &outstanding);
            break;
    }
    outstanding.sent(id);
    // One command at a time per object, as a caller would.
    outstanding.waitAll();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t pick = data[0];
    const char* reference = kObjects[(pick & 7) % (sizeof kObjects / sizeof kObjects[0])];
    const bool async = (pick & 0x20) != 0;
    korvan::fuzz::setScript(data, size, 1);
    IedConnection connection = korvan::fuzz::connectToScriptedServer(2000);
    ControlObjectClient object = ControlObjectClient_create(reference, connection);
    if (object != nullptr) {
        ControlObjectClient_setOrigin(object, "wire", 3);
        ControlObjectClient_setCommandTerminationHandler(object, onTermination, nullptr);
        MmsValue* on = MmsValue_newBoolean(true);
        Outstanding outstanding;
        for (const Step step : kSequences[(pick >> 3) & 3]) {
            if (step != Step::None) {
                run(object, step, on, async, outstanding);
            }
        }
        MmsValue_delete(on);
        ControlObjectClient_destroy(object);
    }
    korvan::fuzz::finish(connection);
    return 0;
}
