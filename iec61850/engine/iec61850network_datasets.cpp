// Data sets the user defines on the device and deletes again. Each request runs on the engine's thread
// like every other; what the device made or removed is announced so that the trees and the data set
// lists follow.
#include <cstdlib>
#include <cstring>

#include "iec61850network.h"

namespace iec61850 {

namespace {

QString dataSetErrorText(IedClientError error) {
    switch (error) {
        case IED_ERROR_NOT_CONNECTED:
        case IED_ERROR_CONNECTION_LOST:
            return QStringLiteral("connection lost");
        case IED_ERROR_TIMEOUT:
            return QStringLiteral("no answer in time");
        case IED_ERROR_OBJECT_EXISTS:
            return QStringLiteral("the name is taken");
        case IED_ERROR_OBJECT_DOES_NOT_EXIST:
            return QStringLiteral("does not exist");
        case IED_ERROR_ACCESS_DENIED:
            return QStringLiteral("the device keeps it");
        case IED_ERROR_OBJECT_REFERENCE_INVALID:
        case IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT:
            return QStringLiteral("invalid name or members");
        case IED_ERROR_TEMPORARILY_UNAVAILABLE:
            return QStringLiteral("the device has no room for it");
        default:
            return QStringLiteral("error %1").arg(static_cast<int>(error));
    }
}

}  // namespace

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
            QStringLiteral("Data set %1 not created: %2").arg(data_set_ref, dataSetErrorText(error)));
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
            QStringLiteral("Data set %1 not deleted: %2").arg(data_set_ref, dataSetErrorText(error)));
        return;
    }
    dataSetMembers.remove(data_set_ref);
    emit dataSetDeleted(data_set_ref);
}

}  // namespace iec61850
