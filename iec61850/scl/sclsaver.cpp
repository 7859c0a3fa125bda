#include "sclsaver.h"

#include <memory>
#include <type_traits>

#include "iec61850_client.h"
#include "sclwriter.h"

namespace {

constexpr uint32_t kConnectTimeoutMs = 10000;
constexpr uint32_t kRequestTimeoutMs = 5000;

}  // namespace

SclSaveOutcome saveDeviceModelAsScl(const QString& host, int port, const QString& path) {
    SclSaveOutcome outcome;
    std::unique_ptr<std::remove_pointer_t<IedConnection>, void (*)(IedConnection)> connection(
        IedConnection_create(), IedConnection_destroy);
    IedConnection_setConnectTimeout(connection.get(), kConnectTimeoutMs);
    IedConnection_setRequestTimeout(connection.get(), kRequestTimeoutMs);
    IedClientError connectError = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &connectError, host.toUtf8().constData(), port);
    if (connectError != IED_ERROR_OK) {
        outcome.error =
            QStringLiteral("cannot connect to %1:%2 (error %3)").arg(host).arg(port).arg(connectError);
        return outcome;
    }
    korvan::scl::SaveOptions options;
    options.host = host.toStdString();
    options.port = static_cast<uint16_t>(port);
    auto saved = korvan::scl::saveDeviceModel(connection.get(), path.toStdString(), options);
    IedConnection_close(connection.get());
    if (!saved) {
        outcome.error = QString::fromStdString(saved.error().message);
        return outcome;
    }
    outcome.saved = true;
    outcome.summary = QStringLiteral("%1 logical device(s), %2 logical node(s), %3 type(s)")
                          .arg(saved->logicalDevices)
                          .arg(saved->logicalNodes)
                          .arg(saved->types);
    for (const std::string& omission : saved->omissions) {
        outcome.omissions << QString::fromStdString(omission);
    }
    return outcome;
}
