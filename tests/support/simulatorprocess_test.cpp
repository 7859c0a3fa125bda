// The simulator fixture every client-side test and benchmark stands on: a device that did not come up
// is a failure with its reason (not a port of 0 taken for a device), killing it ends the connections
// to it as a power loss does, the count of logged PDUs counts requests, not association events, and a
// frozen device answers nothing sent after freeze() returned.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "iec61850_client.h"
#include "simulatorprocess.h"

using korvan::test::SimulatorProcess;

namespace {

// A plain TCP connection to the loopback port; -1 when refused.
int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string firstDevice(IedConnection connection) {
    IedClientError error = IED_ERROR_UNKNOWN;
    LinkedList devices = IedConnection_getLogicalDeviceList(connection, &error);
    LinkedList first = devices != nullptr ? LinkedList_getNext(devices) : nullptr;
    std::string name = first != nullptr ? static_cast<const char*>(LinkedList_getData(first)) : "";
    LinkedList_destroy(devices);
    return name;
}

}  // namespace

TEST(SimulatorProcess, AFileThatCannotBeServedFailsWithTheSimulatorsReason) {
    SimulatorProcess simulator;
    EXPECT_FALSE(simulator.start("/nonexistent/model.icd"));
    EXPECT_EQ(simulator.port(), 0);
    EXPECT_NE(simulator.errorText().find("/nonexistent/model.icd"), std::string::npos)
        << simulator.errorText();

    // An option the program refuses, after a good file: the same.
    EXPECT_FALSE(simulator.start(SimulatorProcess::sampleModel(), {"--max-pdu", "many"}));
    EXPECT_NE(simulator.errorText().find("--max-pdu"), std::string::npos) << simulator.errorText();
}

TEST(SimulatorProcess, KillEndsEveryConnectionAndClosesThePort) {
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.start(SimulatorProcess::sampleModel())) << simulator.errorText();
    const uint16_t port = simulator.port();
    ASSERT_NE(port, 0);
    const int connection = connectTo(port);
    ASSERT_GE(connection, 0);

    simulator.kill();
    EXPECT_EQ(simulator.port(), 0);
    char byte = 0;
    EXPECT_LE(::recv(connection, &byte, 1, 0), 0);  // closed by the peer, not left hanging
    ::close(connection);
    EXPECT_EQ(connectTo(port), -1);
}

TEST(SimulatorProcess, CountsRequestsAndServesGeneratedModels) {
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.startGenerated(3)) << simulator.errorText();
    EXPECT_GT(simulator.attributesServed(), 100);

    IedConnection connection = IedConnection_create();
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_connect(connection, &error, "127.0.0.1", simulator.port());
    ASSERT_EQ(error, IED_ERROR_OK);
    // The association alone is not a request.
    EXPECT_EQ(simulator.pdusLogged(), 0);

    const std::string device = firstDevice(connection);
    EXPECT_EQ(device.rfind("BIGIED", 0), 0u) << device;
    for (int i = 0; i < 3; ++i) {
        MmsValue_delete(IedConnection_readObject(connection, &error, (device + "/LLN0.Mod.stVal").c_str(),
                                                 IEC61850_FC_ST));
        EXPECT_EQ(error, IED_ERROR_OK);
    }
    EXPECT_EQ(simulator.pdusLogged(), 4);

    // A frozen simulator logs nothing more, and the count does not wait for it.
    simulator.freeze();
    EXPECT_EQ(simulator.pdusLogged(), 4);
    simulator.thaw();
    IedConnection_destroy(connection);
}

// Tests of a device that falls silent send their request right after freeze(); on a busy machine a
// stop still under way let the device answer it now and then.
TEST(SimulatorProcess, AFrozenSimulatorAnswersNothingSentAfterFreezeReturned) {
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.start(SimulatorProcess::sampleModel())) << simulator.errorText();
    for (int round = 0; round < 5; ++round) {
        IedConnection connection = IedConnection_create();
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_connect(connection, &error, "127.0.0.1", simulator.port());
        ASSERT_EQ(error, IED_ERROR_OK);
        MmsValue_delete(
            IedConnection_readObject(connection, &error, "BAY1CTRL/LLN0.Mod.stVal", IEC61850_FC_ST));
        EXPECT_EQ(error, IED_ERROR_OK);

        simulator.freeze();
        IedConnection_setRequestTimeout(connection, 300);
        MmsValue* value =
            IedConnection_readObject(connection, &error, "BAY1CTRL/LLN0.Mod.stVal", IEC61850_FC_ST);
        EXPECT_EQ(value, nullptr) << "answered in round " << round;
        MmsValue_delete(value);
        EXPECT_NE(error, IED_ERROR_OK);
        simulator.thaw();
        IedConnection_destroy(connection);
    }
}
