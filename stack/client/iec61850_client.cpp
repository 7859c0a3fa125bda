// The C functions of iec61850_client.h: a thin facade over ClientConnection.

#include "iec61850_client.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ied_connection.h"
#include "name_list.h"

struct sControlObjectClient {
    std::unique_ptr<iecstack::client::ControlObject> object;
};

using iecstack::client::ClientError;
using iecstack::client::ErrorSink;
using iecstack::client::iedClientError;

namespace {

// The common frame of the asynchronous control calls.
template <typename Send>
uint32_t sendControl(ControlObjectClient self, IedClientError* err, bool valid,
                     ControlObjectClient_ControlActionHandler handler, void* parameter,
                     ControlActionType type, Send send) {
    ErrorSink sink(err);
    if (self == nullptr || handler == nullptr || !valid) {
        sink.reported = ClientError::InvalidArgument;
        return 0;
    }
    uint32_t invokeId = 0;
    sink.reported = send(
        [handler, parameter, type](uint32_t id, ClientError error) {
            handler(id, parameter, iedClientError(error), type, error == ClientError::Ok);
        },
        &invokeId);
    return sink.reported == ClientError::Ok ? invokeId : 0;
}

// The common frame of the directory calls: a null handle is the caller's mistake, a list comes back
// only when the call succeeded.
template <typename Call>
LinkedList nameList(IedConnection self, IedClientError* error, Call call) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    const std::vector<std::string> names = call(self->connection, &sink.reported);
    return iecstack::client::toLinkedList(names, &sink.reported);
}

// The common frame of the asynchronous name lists: one answer, its names appended to `result` (or a new
// list) that the handler then owns.
uint32_t nameListAsync(IedConnection self, IedClientError* error, iecstack::mms::GetNameListRequest question,
                       const char* continueAfter, LinkedList result, IedConnection_GetNameListHandler handler,
                       void* parameter) {
    ErrorSink sink(error);
    if (self == nullptr || handler == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return 0;
    }
    if (continueAfter != nullptr) {
        question.continueAfter = std::string(continueAfter);
    }
    uint32_t invokeId = 0;
    sink.reported = self->connection.nameListAsync(
        std::move(question),
        [handler, parameter, result](uint32_t id, ClientError outcome, std::vector<std::string>* names,
                                     bool moreFollows) {
            if (outcome != ClientError::Ok) {
                handler(id, parameter, iedClientError(outcome), result, false);
                return;
            }
            LinkedList list = result != nullptr ? result : LinkedList_create();
            if (list == nullptr || !iecstack::client::appendToLinkedList(list, *names)) {
                handler(id, parameter, iedClientError(ClientError::Unknown), list, false);
                return;
            }
            handler(id, parameter, IED_ERROR_OK, list, moreFollows);
        },
        &invokeId);
    return sink.reported == ClientError::Ok ? invokeId : 0;
}

// A name list of one logical device's objects of `objectClass`.
uint32_t deviceNameListAsync(IedConnection self, IedClientError* error,
                             iecstack::mms::ObjectClass objectClass, const char* ldName,
                             const char* continueAfter, LinkedList result,
                             IedConnection_GetNameListHandler handler, void* parameter) {
    if (ldName == nullptr || *ldName == '\0') {
        ErrorSink sink(error);
        sink.reported = ClientError::InvalidArgument;
        return 0;
    }
    iecstack::mms::GetNameListRequest question;
    question.objectClass = objectClass;
    question.scope = iecstack::mms::ObjectName::Scope::Domain;
    question.domainId = ldName;
    return nameListAsync(self, error, std::move(question), continueAfter, result, handler, parameter);
}

}  // namespace

extern "C" {

uint32_t IedConnection_getServerDirectoryAsync(IedConnection self, IedClientError* error,
                                               const char* continueAfter, LinkedList result,
                                               IedConnection_GetNameListHandler handler, void* parameter) {
    iecstack::mms::GetNameListRequest question;
    question.objectClass = iecstack::mms::ObjectClass::Domain;
    question.scope = iecstack::mms::ObjectName::Scope::Vmd;
    return nameListAsync(self, error, std::move(question), continueAfter, result, handler, parameter);
}

uint32_t IedConnection_getLogicalDeviceVariablesAsync(IedConnection self, IedClientError* error,
                                                      const char* ldName, const char* continueAfter,
                                                      LinkedList result,
                                                      IedConnection_GetNameListHandler handler,
                                                      void* parameter) {
    return deviceNameListAsync(self, error, iecstack::mms::ObjectClass::NamedVariable, ldName, continueAfter,
                               result, handler, parameter);
}

uint32_t IedConnection_getLogicalDeviceDataSetsAsync(IedConnection self, IedClientError* error,
                                                     const char* ldName, const char* continueAfter,
                                                     LinkedList result,
                                                     IedConnection_GetNameListHandler handler,
                                                     void* parameter) {
    return deviceNameListAsync(self, error, iecstack::mms::ObjectClass::NamedVariableList, ldName,
                               continueAfter, result, handler, parameter);
}

IedConnection IedConnection_create(void) {
    return new (std::nothrow) sIedConnection();
}

void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname, int tcpPort) {
    ErrorSink sink(error);
    sink.reported =
        self == nullptr ? ClientError::InvalidArgument : self->connection.connect(hostname, tcpPort);
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

void IedConnection_abort(IedConnection self, IedClientError* error) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return;
    }
    self->connection.abort();
    sink.reported = ClientError::Ok;
}

void IedConnection_destroy(IedConnection self) {
    delete self;
}

LinkedList IedConnection_getLogicalDeviceList(IedConnection self, IedClientError* error) {
    return nameList(self, error,
                    [](auto& connection, ClientError* e) { return connection.logicalDevices(e); });
}

LinkedList IedConnection_getLogicalDeviceDirectory(IedConnection self, IedClientError* error,
                                                   const char* logicalDeviceName) {
    return nameList(self, error, [&](auto& connection, ClientError* e) {
        return connection.logicalDeviceDirectory(e, logicalDeviceName);
    });
}

LinkedList IedConnection_getLogicalNodeDirectory(IedConnection self, IedClientError* error,
                                                 const char* logicalNodeReference, ACSIClass acsiClass) {
    return nameList(self, error, [&](auto& connection, ClientError* e) {
        return connection.logicalNodeDirectory(e, logicalNodeReference, acsiClass);
    });
}

LinkedList IedConnection_getDataDirectoryFC(IedConnection self, IedClientError* error,
                                            const char* dataReference) {
    return nameList(self, error, [&](auto& connection, ClientError* e) {
        return connection.dataDirectory(e, dataReference);
    });
}

LinkedList IedConnection_getDataSetDirectory(IedConnection self, IedClientError* error,
                                             const char* dataSetReference, bool* isDeletable) {
    return nameList(self, error, [&](auto& connection, ClientError* e) {
        return connection.dataSetDirectory(e, dataSetReference, isDeletable);
    });
}

MmsValue* IedConnection_readObject(IedConnection self, IedClientError* error,
                                   const char* dataAttributeReference, FunctionalConstraint fc) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    return self->connection.readObject(&sink.reported, dataAttributeReference, fc);
}

MmsConnection IedConnection_getMmsConnection(IedConnection self) {
    return self == nullptr ? nullptr : self->connection.mmsHandle();
}

uint32_t IedConnection_getDataSetDirectoryAsync(IedConnection self, IedClientError* error,
                                                const char* dataSetReference,
                                                IedConnection_GetDataSetDirectoryHandler handler,
                                                void* parameter) {
    ErrorSink sink(error);
    if (self == nullptr || handler == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return 0;
    }
    uint32_t invokeId = 0;
    sink.reported = self->connection.dataSetDirectoryAsync(
        dataSetReference,
        [handler, parameter](uint32_t id, ClientError result, std::vector<std::string>* members,
                             bool deletable) {
            LinkedList list = nullptr;
            if (result == ClientError::Ok) {
                list = iecstack::client::toLinkedList(*members, &result);
            }
            handler(id, parameter, iedClientError(result), list, deletable);
        },
        &invokeId);
    return sink.reported == ClientError::Ok ? invokeId : 0;
}

// ---- Control ----------------------------------------------------------------------------------------

ControlObjectClient ControlObjectClient_create(const char* objectReference, IedConnection connection) {
    if (objectReference == nullptr || connection == nullptr) {
        return nullptr;
    }
    ClientError error = ClientError::Ok;
    auto object = iecstack::client::ControlObject::create(connection->connection, objectReference, &error);
    if (!object) {
        return nullptr;
    }
    return new (std::nothrow) sControlObjectClient{std::move(object)};
}

void ControlObjectClient_destroy(ControlObjectClient self) {
    delete self;
}

void ControlObjectClient_setInterlockCheck(ControlObjectClient self, bool value) {
    if (self != nullptr) {
        self->object->setInterlockCheck(value);
    }
}

void ControlObjectClient_setSynchroCheck(ControlObjectClient self, bool value) {
    if (self != nullptr) {
        self->object->setSynchroCheck(value);
    }
}

void ControlObjectClient_setTestMode(ControlObjectClient self, bool value) {
    if (self != nullptr) {
        self->object->setTestMode(value);
    }
}

void ControlObjectClient_setOrigin(ControlObjectClient self, const char* orIdent, int orCat) {
    if (self != nullptr) {
        self->object->setOrigin(orIdent != nullptr ? orIdent : "", orCat);
    }
}

ControlModel ControlObjectClient_getControlModel(ControlObjectClient self) {
    return self != nullptr ? static_cast<ControlModel>(self->object->controlModel())
                           : CONTROL_MODEL_STATUS_ONLY;
}

bool ControlObjectClient_select(ControlObjectClient self) {
    return self != nullptr && self->object->select();
}

bool ControlObjectClient_selectWithValue(ControlObjectClient self, MmsValue* ctlVal) {
    return self != nullptr && ctlVal != nullptr && self->object->selectWithValue(*ctlVal);
}

bool ControlObjectClient_operate(ControlObjectClient self, MmsValue* ctlVal, uint64_t operTime) {
    return self != nullptr && ctlVal != nullptr && self->object->operate(*ctlVal, operTime);
}

bool ControlObjectClient_cancel(ControlObjectClient self) {
    return self != nullptr && self->object->cancel();
}

uint32_t ControlObjectClient_operateAsync(ControlObjectClient self, IedClientError* err, MmsValue* ctlVal,
                                          uint64_t operTime, ControlObjectClient_ControlActionHandler handler,
                                          void* parameter) {
    return sendControl(self, err, ctlVal != nullptr, handler, parameter, CONTROL_ACTION_TYPE_OPERATE,
                       [&](auto done, uint32_t* id) {
                           return self->object->operateAsync(*ctlVal, operTime, std::move(done), id);
                       });
}

uint32_t ControlObjectClient_selectAsync(ControlObjectClient self, IedClientError* err,
                                         ControlObjectClient_ControlActionHandler handler, void* parameter) {
    return sendControl(
        self, err, true, handler, parameter, CONTROL_ACTION_TYPE_SELECT,
        [&](auto done, uint32_t* id) { return self->object->selectAsync(std::move(done), id); });
}

uint32_t ControlObjectClient_selectWithValueAsync(ControlObjectClient self, IedClientError* err,
                                                  MmsValue* ctlVal,
                                                  ControlObjectClient_ControlActionHandler handler,
                                                  void* parameter) {
    return sendControl(self, err, ctlVal != nullptr, handler, parameter, CONTROL_ACTION_TYPE_SELECT,
                       [&](auto done, uint32_t* id) {
                           return self->object->selectWithValueAsync(*ctlVal, std::move(done), id);
                       });
}

uint32_t ControlObjectClient_cancelAsync(ControlObjectClient self, IedClientError* err,
                                         ControlObjectClient_ControlActionHandler handler, void* parameter) {
    return sendControl(
        self, err, true, handler, parameter, CONTROL_ACTION_TYPE_CANCEL,
        [&](auto done, uint32_t* id) { return self->object->cancelAsync(std::move(done), id); });
}

LastApplError ControlObjectClient_getLastApplError(ControlObjectClient self) {
    return self != nullptr ? self->object->lastApplError()
                           : LastApplError{0, CONTROL_ERROR_NO_ERROR, ADD_CAUSE_UNKNOWN};
}

IedClientError ControlObjectClient_getLastError(ControlObjectClient self) {
    return iedClientError(self != nullptr ? self->object->lastError() : ClientError::InvalidArgument);
}

void ControlObjectClient_setCommandTerminationHandler(ControlObjectClient self,
                                                      CommandTerminationHandler handler,
                                                      void* handlerParameter) {
    if (self != nullptr) {
        self->object->setTerminationHandler(handler, handlerParameter, self);
    }
}

}  // extern "C"

namespace iecstack::client {

IedClientError iedClientError(ClientError error) {
    switch (error) {
        case ClientError::Ok:
            return IED_ERROR_OK;
        case ClientError::NotConnected:
            return IED_ERROR_NOT_CONNECTED;
        case ClientError::AlreadyConnected:
            return IED_ERROR_ALREADY_CONNECTED;
        case ClientError::ConnectionLost:
            return IED_ERROR_CONNECTION_LOST;
        case ClientError::ConnectionRejected:
            return IED_ERROR_CONNECTION_REJECTED;
        case ClientError::Timeout:
            return IED_ERROR_TIMEOUT;
        case ClientError::OutstandingCallLimitReached:
            return IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED;
        case ClientError::InvalidArgument:
            return IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        case ClientError::ObjectReferenceInvalid:
            return IED_ERROR_OBJECT_REFERENCE_INVALID;
        case ClientError::ServiceNotSupported:
            return IED_ERROR_SERVICE_NOT_SUPPORTED;
        case ClientError::UnexpectedValueReceived:
            return IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
        case ClientError::MalformedMessage:
            return IED_ERROR_MALFORMED_MESSAGE;
        case ClientError::AccessDenied:
            return IED_ERROR_ACCESS_DENIED;
        case ClientError::ObjectDoesNotExist:
            return IED_ERROR_OBJECT_DOES_NOT_EXIST;
        case ClientError::ObjectExists:
            return IED_ERROR_OBJECT_EXISTS;
        case ClientError::ObjectAccessUnsupported:
            return IED_ERROR_OBJECT_ACCESS_UNSUPPORTED;
        case ClientError::TypeInconsistent:
            return IED_ERROR_TYPE_INCONSISTENT;
        case ClientError::TemporarilyUnavailable:
            return IED_ERROR_TEMPORARILY_UNAVAILABLE;
        case ClientError::ObjectUndefined:
            return IED_ERROR_OBJECT_UNDEFINED;
        case ClientError::InvalidAddress:
            return IED_ERROR_INVALID_ADDRESS;
        case ClientError::HardwareFault:
            return IED_ERROR_HARDWARE_FAULT;
        case ClientError::TypeUnsupported:
            return IED_ERROR_TYPE_UNSUPPORTED;
        case ClientError::ObjectAttributeInconsistent:
            return IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT;
        case ClientError::ObjectValueInvalid:
            return IED_ERROR_OBJECT_VALUE_INVALID;
        case ClientError::ObjectInvalidated:
            return IED_ERROR_OBJECT_INVALIDATED;
        case ClientError::Unknown:
            break;
    }
    return IED_ERROR_UNKNOWN;
}

}  // namespace iecstack::client
