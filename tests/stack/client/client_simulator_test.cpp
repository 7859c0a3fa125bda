// The client API against the simulator serving the sample bay model on a loopback port.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
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
                                                const std::string& model = kSampleBay,
                                                std::chrono::milliseconds latency = 0ms, int maxOutstanding = 5) {
    SimulatedServer::Options options;
    options.server.maxPduSize = maxPduSize;
    options.server.responseDelay = latency;
    options.server.maxOutstanding = maxOutstanding;
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
              (Names{"CILO1", "CSWI1", "GGIO1", "LLN0", "LPHD1", "XCBR1"}));
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

TEST(ClientSimulatorTest, ReadsGiveTheModelValuesAndRefusalsGiveTheDevicesAccessError) {
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

    // A refused attribute is no failed request: the value carries the device's reason, as libiec61850
    // hands it to callers.
    auto refusal = [&](const char* reference, FunctionalConstraint fc) {
        error = IED_ERROR_UNKNOWN;
        MmsValue* value = IedConnection_readObject(connection.get(), &error, reference, fc);
        EXPECT_EQ(error, IED_ERROR_OK) << reference;
        const int reason = value != nullptr && MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR
                               ? MmsValue_getDataAccessError(value)
                               : -1;
        MmsValue_delete(value);
        return reason;
    };
    EXPECT_EQ(refusal("BAY1CTRL/XCBR1.Pos.noSuch", IEC61850_FC_ST), 10);  // object-non-existent
    // The right name under the wrong constraint does not exist either.
    EXPECT_EQ(refusal("BAY1CTRL/XCBR1.Pos.stVal", IEC61850_FC_MX), 10);
    // A request that never reaches the device still fails with null.
    EXPECT_EQ(IedConnection_readObject(connection.get(), &error, "BAY1CTRL/XCBR1.Pos.stVal", IEC61850_FC_ALL),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
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
    EXPECT_EQ(walk.failedReads, 2u)
        << "the two settings under SE, readable only while a client edits a group";
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

namespace {

LinkedList itemList(const Names& items) {
    LinkedList list = LinkedList_create();
    for (const std::string& item : items) {
        LinkedList_add(list, strdup(item.c_str()));
    }
    return list;
}

// What an asynchronous call hands its handler, waited for on the test's thread.
struct AsyncAnswer {
    std::mutex mutex;
    std::condition_variable arrived;
    int calls = 0;
    MmsError mmsError = MMS_ERROR_OTHER;
    IedClientError error = IED_ERROR_UNKNOWN;
    MmsValue* value = nullptr;
    Names names;

    bool wait() {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [this] { return calls > 0; });
    }
    ~AsyncAnswer() { MmsValue_delete(value); }

    static void onRead(uint32_t, void* parameter, MmsError error, MmsValue* value) {
        auto* self = static_cast<AsyncAnswer*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->calls;
        self->mmsError = error;
        self->value = value;
        self->arrived.notify_all();
    }
    static void onIdentify(uint32_t, void* parameter, MmsError error, char* vendor, char*, char*) {
        auto* self = static_cast<AsyncAnswer*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->calls;
        self->mmsError = error;
        self->names = {vendor != nullptr ? vendor : ""};
        self->arrived.notify_all();
    }
    static void onMembers(uint32_t, void* parameter, IedClientError error, LinkedList members, bool) {
        auto* self = static_cast<AsyncAnswer*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->calls;
        self->error = error;
        self->names = takeNames(members);
        self->arrived.notify_all();
    }
};

}  // namespace

// Many variables in one Read: one result per item in item order, an access error in its place, and
// the same through the asynchronous call; data sets of a domain and their members; Identify.
TEST(ClientSimulatorTest, MultiVariableAndAsynchronousServices) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    MmsConnection mms = IedConnection_getMmsConnection(connection.get());
    const MmsConnectionParameters agreed = MmsConnection_getMmsConnectionParameters(mms);
    EXPECT_EQ(agreed.maxPduSize, 65000);
    EXPECT_EQ(agreed.maxServOutstandingCalling, 5);

    const Names items{"MMXU1$MX$TotW$mag$f", "MMXU1$MX$TotW$noSuch", "LLN0$ST$Mod$stVal"};
    MmsError error = MMS_ERROR_OTHER;
    LinkedList list = itemList(items);
    MmsValue* values = MmsConnection_readMultipleVariables(mms, &error, "BAY1MEAS", list);
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(error, MMS_ERROR_NONE);
    ASSERT_EQ(MmsValue_getArraySize(values), 3u);
    EXPECT_DOUBLE_EQ(MmsValue_toDouble(MmsValue_getElement(values, 0)), 42800.0);
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(values, 1)), MMS_DATA_ACCESS_ERROR);
    EXPECT_EQ(MmsValue_toInt64(MmsValue_getElement(values, 2)), 1);
    MmsValue_delete(values);

    AsyncAnswer read;
    uint32_t invokeId = 0;
    MmsConnection_readMultipleVariablesAsync(mms, &invokeId, &error, "BAY1MEAS", list, &AsyncAnswer::onRead,
                                             &read);
    LinkedList_destroy(list);
    ASSERT_EQ(error, MMS_ERROR_NONE);
    EXPECT_NE(invokeId, 0u);
    ASSERT_TRUE(read.wait());
    ASSERT_NE(read.value, nullptr);
    EXPECT_EQ(MmsValue_getArraySize(read.value), 3u);
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(read.value, 1)), MMS_DATA_ACCESS_ERROR);

    EXPECT_EQ(takeNames(MmsConnection_getDomainVariableListNames(mms, &error, "BAY1CTRL")),
              (Names{"LLN0$Indications", "LLN0$Positions"}));
    IedClientError iedError = IED_ERROR_UNKNOWN;
    const Names members = takeNames(
        IedConnection_getDataSetDirectory(connection.get(), &iedError, "BAY1CTRL/LLN0.Positions", nullptr));
    AsyncAnswer directory;
    EXPECT_NE(IedConnection_getDataSetDirectoryAsync(connection.get(), &iedError, "BAY1CTRL/LLN0.Positions",
                                                     &AsyncAnswer::onMembers, &directory),
              0u);
    ASSERT_TRUE(directory.wait());
    EXPECT_EQ(directory.error, IED_ERROR_OK);
    EXPECT_FALSE(members.empty());
    EXPECT_EQ(directory.names, members);

    AsyncAnswer identity;
    MmsConnection_identifyAsync(mms, nullptr, &error, &AsyncAnswer::onIdentify, &identity);
    ASSERT_TRUE(identity.wait());
    EXPECT_EQ(identity.mmsError, MMS_ERROR_NONE);
    EXPECT_FALSE(identity.names.front().empty());
}

// Asynchronous requests never wait for a slot: past the agreed number they fail at once, and each
// handler runs exactly once, also for requests the loss of the association ends.
TEST(ClientSimulatorTest, AsynchronousRequestsStopAtTheAgreedNumberAndEndOnceWhenTheServerGoes) {
    auto ied = startSimulator(65000, kSampleBay, 2000ms, 2);
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    MmsConnection mms = IedConnection_getMmsConnection(connection.get());
    EXPECT_EQ(MmsConnection_getMmsConnectionParameters(mms).maxServOutstandingCalling, 2);
    AsyncAnswer first, second, third;
    MmsError error = MMS_ERROR_OTHER;
    MmsConnection_identifyAsync(mms, nullptr, &error, &AsyncAnswer::onIdentify, &first);
    EXPECT_EQ(error, MMS_ERROR_NONE);
    MmsConnection_identifyAsync(mms, nullptr, &error, &AsyncAnswer::onIdentify, &second);
    EXPECT_EQ(error, MMS_ERROR_NONE);
    MmsConnection_identifyAsync(mms, nullptr, &error, &AsyncAnswer::onIdentify, &third);
    EXPECT_EQ(error, MMS_ERROR_OUTSTANDING_CALL_LIMIT);

    ied->stop();
    ASSERT_TRUE(first.wait());
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(first.mmsError, MMS_ERROR_CONNECTION_LOST);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(third.calls, 0);
}

}  // namespace korvan::test
