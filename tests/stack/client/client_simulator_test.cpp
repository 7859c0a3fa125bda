// The client API against the simulator serving the sample bay model on a loopback port.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "api_walk.h"
#include "client_test_support.h"
#include "iec61850_client.h"
#include "server/simulated_server.h"

namespace korvan::test {
namespace {

using iecstack::server::SimulatedServer;
using Names = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

std::unique_ptr<SimulatedServer> startSimulator(size_t maxPduSize = 65000,
                                                const std::string& model = kSampleBay) {
    SimulatedServer::Options options;
    options.server.maxPduSize = maxPduSize;
    std::string error;
    auto server = SimulatedServer::start(model, options, &error);
    EXPECT_TRUE(server) << error;
    return server;
}

TEST(ClientSimulatorTest, DirectoryOfTheSampleBay) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    EXPECT_EQ(takeNames(IedConnection_getLogicalDeviceList(connection.get(), &error)),
              (Names{"BAY1CTRL", "BAY1MEAS"}));
    EXPECT_EQ(takeNames(IedConnection_getLogicalDeviceDirectory(connection.get(), &error, "BAY1CTRL")),
              (Names{"CSWI1", "GGIO1", "LLN0", "LPHD1", "XCBR1"}));
    EXPECT_EQ(takeNames(IedConnection_getLogicalNodeDirectory(connection.get(), &error, "BAY1CTRL/LLN0",
                                                              ACSI_CLASS_DATA_SET)),
              (Names{"Indications", "Positions"}));
    EXPECT_EQ(takeNames(IedConnection_getLogicalNodeDirectory(connection.get(), &error, "BAY1CTRL/LLN0",
                                                              ACSI_CLASS_BRCB)),
              (Names{"PosRpt01", "PosRpt02"}));
    const Names pos =
        takeNames(IedConnection_getDataDirectoryFC(connection.get(), &error, "BAY1CTRL/XCBR1.Pos"));
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_NE(std::find(pos.begin(), pos.end(), "stVal[ST]"), pos.end());
    EXPECT_NE(std::find(pos.begin(), pos.end(), "ctlModel[CF]"), pos.end());
}

TEST(ClientSimulatorTest, ReadsGiveTheModelValuesAndAccessErrorsGiveNull) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;

    MmsValue* mode =
        IedConnection_readObject(connection.get(), &error, "BAY1CTRL/LLN0.Mod.stVal", IEC61850_FC_ST);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(MmsValue_toInt64(mode), 1);
    MmsValue_delete(mode);
    MmsValue* power =
        IedConnection_readObject(connection.get(), &error, "BAY1MEAS/MMXU1.TotW.mag.f", IEC61850_FC_MX);
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(MmsValue_getType(power), MMS_FLOAT);
    EXPECT_DOUBLE_EQ(MmsValue_toDouble(power), 42800.0);
    MmsValue_delete(power);
    MmsValue* position =
        IedConnection_readObject(connection.get(), &error, "BAY1CTRL/XCBR1.Pos.stVal", IEC61850_FC_ST);
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(MmsValue_getBitStringSize(position), 2);
    MmsValue_delete(position);

    EXPECT_EQ(IedConnection_readObject(connection.get(), &error, "BAY1CTRL/XCBR1.Pos.noSuch", IEC61850_FC_ST),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    // The right name under the wrong constraint does not exist either.
    EXPECT_EQ(IedConnection_readObject(connection.get(), &error, "BAY1CTRL/XCBR1.Pos.stVal", IEC61850_FC_MX),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
}

// Every element the directory calls name can be read under the constraint they give it.
TEST(ClientSimulatorTest, DiscoveryWalkReadsEveryAttributeItFinds) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    const WalkResult walk = walkModel(connection.get());
    EXPECT_EQ(walk.error, IED_ERROR_OK) << walk.failedReference;
    EXPECT_EQ(walk.logicalDevices, 2u);
    EXPECT_GT(walk.reads, 200u);
    EXPECT_EQ(walk.failedReads, 0u);
    EXPECT_EQ(walk.dataSets, 3u);
    EXPECT_EQ(walk.reportControlBlocks, 9u);
}

// Members inside an array (capture 06's server) come back as distinct references, named as the
// reference client names them.
TEST(ClientSimulatorTest, DataSetMembersInsideAnArrayKeepTheirIndexAndComponents) {
    auto ied = startSimulator(65000, std::string(KORVAN_TEST_DATA_DIR) + "/models/complex_array.icd");
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    EXPECT_EQ(takeNames(IedConnection_getDataSetDirectory(connection.get(), &error,
                                                          "testComplexArray/MHAI1.TestMHAI", nullptr)),
              (Names{"testComplexArray/MHAI1.HA.phsAHar(7)[MX]", "testComplexArray/MHAI1.HA.phsAHar(8)[MX]",
                     "testComplexArray/MHAI1.HA.phsAHar(9).cVal[MX]",
                     "testComplexArray/MHAI1.HA.phsAHar(10).cVal.mag[MX]",
                     "testComplexArray/MHAI1.HA.phsAHar(11).cVal.mag.f[MX]"}));
    EXPECT_EQ(error, IED_ERROR_OK);
}

TEST(ClientSimulatorTest, SmallNegotiatedPduGivesTheSameDirectory) {
    auto normal = startSimulator();
    auto small = startSimulator(1000);
    ASSERT_TRUE(normal && small);
    auto a = connectTo(normal->port());
    auto b = connectTo(small->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    for (const char* device : {"BAY1CTRL", "BAY1MEAS"}) {
        EXPECT_EQ(takeNames(IedConnection_getLogicalDeviceDirectory(b.get(), &error, device)),
                  takeNames(IedConnection_getLogicalDeviceDirectory(a.get(), &error, device)));
        EXPECT_EQ(error, IED_ERROR_OK);
    }
    const WalkResult walkA = walkModel(a.get());
    const WalkResult walkB = walkModel(b.get());
    EXPECT_EQ(walkB.error, IED_ERROR_OK) << walkB.failedReference;
    EXPECT_EQ(walkB.reads, walkA.reads);
    EXPECT_EQ(walkB.dataSetMembers, walkA.dataSetMembers);
}

TEST(ClientSimulatorTest, SimulatorStoppingEndsTheAssociationForEveryone) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    std::atomic<int> closed{0};
    IedConnection_installConnectionClosedHandler(
        connection.get(),
        [](void* parameter, IedConnection) { ++*static_cast<std::atomic<int>*>(parameter); }, &closed);
    ied->stop();
    for (int i = 0; i < 500 && closed == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(closed, 1);
    IedClientError error = IED_ERROR_OK;
    EXPECT_EQ(IedConnection_readObject(connection.get(), &error, "BAY1CTRL/LLN0.Mod.stVal", IEC61850_FC_ST),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
}

}  // namespace
}  // namespace korvan::test
