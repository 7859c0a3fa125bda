// The write functions of iec61850_client.h and the type description they are typed from.

#include <cstring>

#include "iec61850_client.h"
#include "ied_connection.h"

using iecstack::client::ClientError;
using iecstack::client::ErrorSink;

namespace {

// Every typed write is this one with a value made for it.
void writeValue(IedConnection self, IedClientError* error, const char* reference, FunctionalConstraint fc,
                const MmsValue* value) {
    ErrorSink sink(error);
    if (self == nullptr || value == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return;
    }
    self->connection.writeObject(&sink.reported, reference, fc, *value);
}

}  // namespace

extern "C" {

void IedConnection_writeObject(IedConnection self, IedClientError* error, const char* dataAttributeReference,
                               FunctionalConstraint fc, MmsValue* value) {
    writeValue(self, error, dataAttributeReference, fc, value);
}

void IedConnection_writeBooleanValue(IedConnection self, IedClientError* error, const char* objectReference,
                                     FunctionalConstraint fc, bool value) {
    const MmsValue v = MmsValue::boolean(value);
    writeValue(self, error, objectReference, fc, &v);
}

void IedConnection_writeInt32Value(IedConnection self, IedClientError* error, const char* objectReference,
                                   FunctionalConstraint fc, int32_t value) {
    const MmsValue v = MmsValue::integer(value);
    writeValue(self, error, objectReference, fc, &v);
}

void IedConnection_writeUnsigned32Value(IedConnection self, IedClientError* error,
                                        const char* objectReference, FunctionalConstraint fc,
                                        uint32_t value) {
    const MmsValue v = MmsValue::unsignedInteger(value);
    writeValue(self, error, objectReference, fc, &v);
}

void IedConnection_writeFloatValue(IedConnection self, IedClientError* error, const char* objectReference,
                                   FunctionalConstraint fc, float value) {
    const MmsValue v = MmsValue::floatSingle(value);
    writeValue(self, error, objectReference, fc, &v);
}

void IedConnection_writeVisibleStringValue(IedConnection self, IedClientError* error,
                                           const char* objectReference, FunctionalConstraint fc,
                                           char* value) {
    if (value == nullptr) {
        writeValue(self, error, objectReference, fc, nullptr);
        return;
    }
    const MmsValue v = MmsValue::visibleString(value);
    writeValue(self, error, objectReference, fc, &v);
}

void IedConnection_writeOctetString(IedConnection self, IedClientError* error, const char* objectReference,
                                    FunctionalConstraint fc, const uint8_t* value, int valueLength) {
    if ((value == nullptr && valueLength != 0) || valueLength < 0) {
        writeValue(self, error, objectReference, fc, nullptr);
        return;
    }
    const MmsValue v = MmsValue::octetString(std::vector<uint8_t>(value, value + valueLength));
    writeValue(self, error, objectReference, fc, &v);
}

MmsVariableSpecification* IedConnection_getVariableSpecification(IedConnection self, IedClientError* error,
                                                                 const char* dataAttributeReference,
                                                                 FunctionalConstraint fc) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    return self->connection.variableSpecification(&sink.reported, dataAttributeReference, fc).release();
}

}  // extern "C"
