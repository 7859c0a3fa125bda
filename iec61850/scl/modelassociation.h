#pragma once

#include <QString>
#include <memory>
#include <type_traits>

#include "iec61850_client.h"

// An association of its own for reading a device's whole model beside the engine's (comparing with a
// file, saving as a file), released when the handle goes.
using ModelAssociation = std::unique_ptr<std::remove_pointer_t<IedConnection>, void (*)(IedConnection)>;

// Null, with `error` saying why, when the device cannot be reached.
ModelAssociation openModelAssociation(const QString& host, int port, QString* error);
