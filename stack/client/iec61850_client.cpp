// The C functions of iec61850_client.h: a thin facade over ClientConnection.

#include "iec61850_client.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "client_connection.h"

struct sIedConnection {
    sIedConnection() : connection(this) {}
    iecstack::client::ClientConnection connection;
};

namespace {

// Callers may pass a null error pointer; the answer then goes nowhere.
struct ErrorSink {
    explicit ErrorSink(IedClientError* target) : target(target != nullptr ? target : &ignored) {}
    IedClientError* target;
    IedClientError ignored = IED_ERROR_OK;
};

LinkedList toLinkedList(const std::vector<std::string>& names, IedClientError* error) {
    if (*error != IED_ERROR_OK) {
        return nullptr;
    }
    LinkedList list = LinkedList_create();
    if (list == nullptr) {
        *error = IED_ERROR_UNKNOWN;
        return nullptr;
    }
    for (const std::string& name : names) {
        char* copy = static_cast<char*>(std::malloc(name.size() + 1));
        if (copy == nullptr) {
            LinkedList_destroy(list);
            *error = IED_ERROR_UNKNOWN;
            return nullptr;
        }
        std::memcpy(copy, name.c_str(), name.size() + 1);
        LinkedList_add(list, copy);
    }
    return list;
}

}  // namespace

extern "C" {

IedConnection IedConnection_create(void) {
    return new (std::nothrow) sIedConnection();
}

void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname, int tcpPort) {
    ErrorSink sink(error);
    *sink.target = self == nullptr ? IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT
                                   : self->connection.connect(hostname, tcpPort);
}

void IedConnection_setConnectTimeout(IedConnection self, uint32_t timeoutInMs) {
    if (self != nullptr) {
        self->connection.setConnectTimeout(timeoutInMs);
    }
}

void IedConnection_setRequestTimeout(IedConnection self, uint32_t timeoutInMs) {
    if (self != nullptr) {
        self->connection.setRequestTimeout(timeoutInMs);
    }
}

void IedConnection_installConnectionClosedHandler(IedConnection self, IedConnectionClosedHandler handler,
                                                  void* parameter) {
    if (self != nullptr) {
        self->connection.setClosedHandler(handler, parameter);
    }
}

void IedConnection_close(IedConnection self) {
    if (self != nullptr) {
        self->connection.close();
    }
}

void IedConnection_destroy(IedConnection self) {
    delete self;
}

LinkedList IedConnection_getLogicalDeviceList(IedConnection self, IedClientError* error) {
    ErrorSink sink(error);
    if (self == nullptr) {
        *sink.target = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return nullptr;
    }
    const auto names = self->connection.logicalDevices(sink.target);
    return toLinkedList(names, sink.target);
}

LinkedList IedConnection_getLogicalDeviceDirectory(IedConnection self, IedClientError* error,
                                                   const char* logicalDeviceName) {
    ErrorSink sink(error);
    if (self == nullptr) {
        *sink.target = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return nullptr;
    }
    const auto names = self->connection.logicalDeviceDirectory(sink.target, logicalDeviceName);
    return toLinkedList(names, sink.target);
}

LinkedList IedConnection_getLogicalNodeDirectory(IedConnection self, IedClientError* error,
                                                 const char* logicalNodeReference, ACSIClass acsiClass) {
    ErrorSink sink(error);
    if (self == nullptr) {
        *sink.target = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return nullptr;
    }
    const auto names = self->connection.logicalNodeDirectory(sink.target, logicalNodeReference, acsiClass);
    return toLinkedList(names, sink.target);
}

LinkedList IedConnection_getDataDirectoryFC(IedConnection self, IedClientError* error,
                                            const char* dataReference) {
    ErrorSink sink(error);
    if (self == nullptr) {
        *sink.target = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return nullptr;
    }
    const auto names = self->connection.dataDirectory(sink.target, dataReference);
    return toLinkedList(names, sink.target);
}

LinkedList IedConnection_getDataSetDirectory(IedConnection self, IedClientError* error,
                                             const char* dataSetReference, bool* isDeletable) {
    ErrorSink sink(error);
    if (self == nullptr) {
        *sink.target = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return nullptr;
    }
    const auto names = self->connection.dataSetDirectory(sink.target, dataSetReference, isDeletable);
    return toLinkedList(names, sink.target);
}

MmsValue* IedConnection_readObject(IedConnection self, IedClientError* error,
                                   const char* dataAttributeReference, FunctionalConstraint fc) {
    ErrorSink sink(error);
    if (self == nullptr) {
        *sink.target = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return nullptr;
    }
    return self->connection.readObject(sink.target, dataAttributeReference, fc);
}

}  // extern "C"
