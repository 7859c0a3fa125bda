// Data sets the user defines on the device and deletes again. Each request runs on the engine's thread
// like every other; what the device made or removed is announced so that the trees and the data set
// lists follow.
#include <cstdlib>
#include <cstring>

#include "connectfailure.h"
#include "iec61850network.h"

namespace iec61850 {

void Iec61850Network::createDataSet(const QString& data_set_ref, const QStringList& member_refs) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return;
    }
    // Data the list frees with free(), as either client library does.
    LinkedList members = LinkedList_create();
    for (const QString& member : member_refs) {
        LinkedList_add(members, strdup(member.toUtf8().constData()));
    }
    IedClientError error = IED_ERROR_OK;
    IedConnection_createDataSet(connection, &error, data_set_ref.toUtf8().constData(), members);
    LinkedList_destroy(members);
    noteActivity();
    noteRequestFailure(error);
    if (error != IED_ERROR_OK) {
        emit setStatusBarMessage(
            QStringLiteral("Data set %1 not created: %2")
                .arg(data_set_ref, requestFailureReason(error, RequestSubject::DataSet)));
        return;
    }
    dataSetMembers[data_set_ref] = member_refs;
    emit dataSetCreated(data_set_ref, member_refs);
}

void Iec61850Network::deleteDataSet(const QString& data_set_ref) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return;
    }
    IedClientError error = IED_ERROR_OK;
    IedConnection_deleteDataSet(connection, &error, data_set_ref.toUtf8().constData());
    noteActivity();
    noteRequestFailure(error);
    if (error != IED_ERROR_OK) {
        emit setStatusBarMessage(
            QStringLiteral("Data set %1 not deleted: %2")
                .arg(data_set_ref, requestFailureReason(error, RequestSubject::DataSet)));
        return;
    }
    dataSetMembers.remove(data_set_ref);
    emit dataSetDeleted(data_set_ref);
}

}  // namespace iec61850
