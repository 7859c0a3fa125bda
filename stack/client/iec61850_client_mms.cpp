// The MmsConnection functions of iec61850_client.h: a thin facade over ClientConnection.

#include <string>
#include <vector>

#include "client_connection.h"
#include "iec61850_client.h"
#include "name_list.h"

namespace {

struct MmsErrorSink {
    explicit MmsErrorSink(MmsError* target) : target(target != nullptr ? target : &ignored) {}
    MmsError* target;
    MmsError ignored = MMS_ERROR_NONE;
};

// The item names of a caller's list; false when the list is missing or holds a null name.
bool itemsOf(LinkedList list, std::vector<std::string>* items) {
    if (list == nullptr) {
        return false;
    }
    for (LinkedList element = LinkedList_getNext(list); element != nullptr;
         element = LinkedList_getNext(element)) {
        const auto* name = static_cast<const char*>(LinkedList_getData(element));
        if (name == nullptr) {
            return false;
        }
        items->emplace_back(name);
    }
    return true;
}

}  // namespace

extern "C" {

MmsConnectionParameters MmsConnection_getMmsConnectionParameters(MmsConnection self) {
    if (self == nullptr) {
        return MmsConnectionParameters{};
    }
    return self->owner->parameters();
}

LinkedList MmsConnection_getDomainVariableListNames(MmsConnection self, MmsError* mmsError,
                                                    const char* domainId) {
    MmsErrorSink sink(mmsError);
    if (self == nullptr) {
        *sink.target = MMS_ERROR_INVALID_ARGUMENTS;
        return nullptr;
    }
    const std::vector<std::string> names = self->owner->dataSetNames(sink.target, domainId);
    return iecstack::client::toLinkedList(names, sink.target, MMS_ERROR_NONE, MMS_ERROR_OTHER);
}

MmsValue* MmsConnection_readMultipleVariables(MmsConnection self, MmsError* mmsError, const char* domainId,
                                              LinkedList items) {
    MmsErrorSink sink(mmsError);
    std::vector<std::string> names;
    if (self == nullptr || !itemsOf(items, &names)) {
        *sink.target = MMS_ERROR_INVALID_ARGUMENTS;
        return nullptr;
    }
    return self->owner->readMultiple(sink.target, domainId, names);
}

void MmsConnection_readMultipleVariablesAsync(MmsConnection self, uint32_t* usedInvokeId, MmsError* mmsError,
                                              const char* domainId, LinkedList items,
                                              MmsConnection_ReadVariableHandler handler, void* parameter) {
    MmsErrorSink sink(mmsError);
    std::vector<std::string> names;
    if (self == nullptr || handler == nullptr || !itemsOf(items, &names)) {
        *sink.target = MMS_ERROR_INVALID_ARGUMENTS;
        return;
    }
    *sink.target = self->owner->readMultipleAsync(
        domainId, names,
        [handler, parameter](uint32_t id, MmsError error, MmsValue* value) {
            handler(id, parameter, error, value);
        },
        usedInvokeId);
}

void MmsConnection_identifyAsync(MmsConnection self, uint32_t* usedInvokeId, MmsError* mmsError,
                                 MmsConnection_IdentifyHandler handler, void* parameter) {
    MmsErrorSink sink(mmsError);
    if (self == nullptr || handler == nullptr) {
        *sink.target = MMS_ERROR_INVALID_ARGUMENTS;
        return;
    }
    *sink.target = self->owner->identifyAsync(
        [handler, parameter](uint32_t id, MmsError error, const iecstack::mms::IdentifyResponse* identity) {
            if (identity == nullptr) {
                handler(id, parameter, error, nullptr, nullptr, nullptr);
                return;
            }
            std::string vendor = identity->vendorName;
            std::string model = identity->modelName;
            std::string revision = identity->revision;
            handler(id, parameter, error, vendor.data(), model.data(), revision.data());
        },
        usedInvokeId);
}

}  // extern "C"
