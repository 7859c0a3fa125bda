// The data set functions of iec61850_client.h: defining, deleting, reading and writing data sets by
// their name.

#include <cstring>
#include <string>
#include <vector>

#include "iec61850_client.h"
#include "ied_connection.h"

struct sClientDataSet {
    std::string reference;
    MmsValue* values = nullptr;  // an array, one element per member
};

using iecstack::client::ClientError;
using iecstack::client::ErrorSink;

extern "C" {

void IedConnection_createDataSet(IedConnection self, IedClientError* error, const char* dataSetReference,
                                 LinkedList dataSetElements) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return;
    }
    std::vector<std::string> members;
    for (LinkedList e = LinkedList_getNext(dataSetElements); e != nullptr; e = LinkedList_getNext(e)) {
        const auto* member = static_cast<const char*>(LinkedList_getData(e));
        members.emplace_back(member != nullptr ? member : "");
    }
    self->connection.defineDataSet(&sink.reported, dataSetReference, members);
}

bool IedConnection_deleteDataSet(IedConnection self, IedClientError* error, const char* dataSetReference) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return false;
    }
    return self->connection.deleteDataSet(&sink.reported, dataSetReference);
}

ClientDataSet IedConnection_readDataSetValues(IedConnection self, IedClientError* error,
                                              const char* dataSetReference, ClientDataSet dataSet) {
    ErrorSink sink(error);
    if (self == nullptr || dataSetReference == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    auto values = self->connection.readDataSet(&sink.reported, dataSetReference);
    if (!values) {
        return nullptr;
    }
    if (dataSet == nullptr) {
        dataSet = new sClientDataSet;
    }
    dataSet->reference = dataSetReference;
    MmsValue_delete(dataSet->values);
    dataSet->values = new MmsValue(MmsValue::array(std::move(*values)));
    return dataSet;
}

void IedConnection_writeDataSetValues(IedConnection self, IedClientError* error, const char* dataSetReference,
                                      LinkedList values, LinkedList* accessResults) {
    ErrorSink sink(error);
    if (accessResults != nullptr) {
        *accessResults = nullptr;
    }
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return;
    }
    std::vector<MmsValue> copies;
    for (LinkedList e = LinkedList_getNext(values); e != nullptr; e = LinkedList_getNext(e)) {
        const auto* value = static_cast<const MmsValue*>(LinkedList_getData(e));
        if (value == nullptr) {
            sink.reported = ClientError::InvalidArgument;
            return;
        }
        copies.push_back(*value);
    }
    const auto results = self->connection.writeDataSet(&sink.reported, dataSetReference, std::move(copies));
    if (sink.reported != ClientError::Ok || accessResults == nullptr) {
        return;
    }
    LinkedList list = LinkedList_create();
    for (const auto& result : results) {
        // DATA_ACCESS_ERROR_SUCCESS (-1) for a member that was written.
        LinkedList_add(list, MmsValue_newDataAccessError(result ? static_cast<int>(*result) : -1));
    }
    *accessResults = list;
}

void ClientDataSet_destroy(ClientDataSet self) {
    if (self != nullptr) {
        MmsValue_delete(self->values);
        delete self;
    }
}

MmsValue* ClientDataSet_getValues(ClientDataSet self) {
    return self != nullptr ? self->values : nullptr;
}

char* ClientDataSet_getReference(ClientDataSet self) {
    return self != nullptr ? self->reference.data() : nullptr;
}

int ClientDataSet_getDataSetSize(ClientDataSet self) {
    return self != nullptr && self->values != nullptr ? static_cast<int>(MmsValue_getArraySize(self->values))
                                                      : 0;
}

}  // extern "C"
