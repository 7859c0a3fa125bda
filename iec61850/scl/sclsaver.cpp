#include "sclsaver.h"

#include "modelassociation.h"
#include "sclwriter.h"

SclSaveOutcome saveDeviceModelAsScl(const QString& host, int port, const QString& path) {
    SclSaveOutcome outcome;
    const ModelAssociation connection = openModelAssociation(host, port, &outcome.error);
    if (!connection) {
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
