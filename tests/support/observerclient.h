#pragma once

#include <cstdint>

#include "iec61850_client.h"

namespace korvan::test {

// A client of the test's own beside the one under test, to look at the device and to compete with it.
class ObserverClient {
public:
    explicit ObserverClient(uint16_t port) : connection(IedConnection_create()) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_connect(connection, &error, "127.0.0.1", port);
        connected = error == IED_ERROR_OK;
    }
    ~ObserverClient() { IedConnection_destroy(connection); }
    ObserverClient(const ObserverClient&) = delete;
    ObserverClient& operator=(const ObserverClient&) = delete;

    IedConnection connection;
    bool connected = false;
};

}  // namespace korvan::test
