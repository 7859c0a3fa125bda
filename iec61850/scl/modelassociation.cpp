#include "modelassociation.h"

namespace {

constexpr uint32_t kConnectTimeoutMs = 10000;
constexpr uint32_t kRequestTimeoutMs = 5000;

}  // namespace

ModelAssociation openModelAssociation(const QString& host, int port, QString* error) {
    ModelAssociation connection(IedConnection_create(), IedConnection_destroy);
    IedConnection_setConnectTimeout(connection.get(), kConnectTimeoutMs);
    IedConnection_setRequestTimeout(connection.get(), kRequestTimeoutMs);
    IedClientError connectError = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &connectError, host.toUtf8().constData(), port);
    if (connectError != IED_ERROR_OK) {
        *error = QStringLiteral("cannot connect to %1:%2 (error %3)").arg(host).arg(port).arg(connectError);
        return ModelAssociation(nullptr, IedConnection_destroy);
    }
    return connection;
}
