#include "client_test_support.h"

#include <gtest/gtest.h>

namespace korvan::test {

std::vector<std::string> takeNames(LinkedList list) {
    std::vector<std::string> names;
    for (LinkedList element = LinkedList_getNext(list); element != nullptr;
         element = LinkedList_getNext(element)) {
        names.emplace_back(static_cast<const char*>(LinkedList_getData(element)));
    }
    LinkedList_destroy(list);
    return names;
}

ConnectionPtr connectTo(uint16_t port, uint32_t requestTimeoutMs) {
    ConnectionPtr connection(IedConnection_create());
    IedConnection_setRequestTimeout(connection.get(), requestTimeoutMs);
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", port);
    EXPECT_EQ(error, IED_ERROR_OK) << "connect to port " << port;
    return connection;
}

}  // namespace korvan::test
