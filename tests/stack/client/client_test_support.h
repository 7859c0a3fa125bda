#pragma once

#include <memory>
#include <string>
#include <vector>

#include "iec61850_client.h"

namespace korvan::test {

// The strings of a returned name list, which it then frees; empty for null.
std::vector<std::string> takeNames(LinkedList list);

struct ConnectionDeleter {
    void operator()(sIedConnection* connection) const { IedConnection_destroy(connection); }
};
using ConnectionPtr = std::unique_ptr<sIedConnection, ConnectionDeleter>;

// A connection to 127.0.0.1:port; fails the calling test when it does not come up.
ConnectionPtr connectTo(uint16_t port, uint32_t requestTimeoutMs = 5000);

}  // namespace korvan::test
