// Data sets defined by clients, against the simulator through our client API: where they live, who
// sees them, what the device refuses, and reading and writing them by name.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "iec61850_client.h"
#include "server/simulated_server.h"

namespace {

using iecstack::server::SimulatedServer;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";
const char* const kPower = "BAY1MEAS/MMXU1.TotW.mag.f[MX]";
const char* const kDeadband = "BAY1MEAS/MMXU1.TotW.db[CF]";

struct Client {
    explicit Client(uint16_t port) : connection(IedConnection_create()) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_connect(connection, &error, "127.0.0.1", port);
        connected = error == IED_ERROR_OK;
    }
    ~Client() { IedConnection_destroy(connection); }

    IedClientError create(const char* reference, const std::vector<std::string>& members) {
        LinkedList list = LinkedList_create();
        for (const std::string& member : members) {
            LinkedList_add(list, const_cast<char*>(member.c_str()));
        }
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_createDataSet(connection, &error, reference, list);
        LinkedList_destroyStatic(list);
        return error;
    }
    IedClientError remove(const char* reference) {
        IedClientError error = IED_ERROR_UNKNOWN;
        const bool deleted = IedConnection_deleteDataSet(connection, &error, reference);
        EXPECT_EQ(deleted, error == IED_ERROR_OK) << reference;
        return error;
    }
    std::vector<std::string> names(LinkedList list) {
        std::vector<std::string> out;
        for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
            out.emplace_back(static_cast<const char*>(LinkedList_getData(e)));
        }
        LinkedList_destroy(list);
        return out;
    }
    std::vector<std::string> dataSetsOf(const char* logicalNode) {
        IedClientError error = IED_ERROR_UNKNOWN;
        return names(
            IedConnection_getLogicalNodeDirectory(connection, &error, logicalNode, ACSI_CLASS_DATA_SET));
    }
    std::vector<std::string> members(const char* reference, bool* deletable = nullptr,
                                     IedClientError* error = nullptr) {
        IedClientError local = IED_ERROR_UNKNOWN;
        return names(
            IedConnection_getDataSetDirectory(connection, error ? error : &local, reference, deletable));
    }
    // The number of values a read by name gives, or -1 when it fails.
    int valueCount(const char* reference) {
        IedClientError error = IED_ERROR_UNKNOWN;
        ClientDataSet set = IedConnection_readDataSetValues(connection, &error, reference, nullptr);
        const int count = set != nullptr && error == IED_ERROR_OK ? ClientDataSet_getDataSetSize(set) : -1;
        ClientDataSet_destroy(set);
        return count;
    }
    IedClientError writeRcbDataSet(const char* rcb, const char* dataSet) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_writeVisibleStringValue(connection, &error, rcb, IEC61850_FC_RP,
                                              const_cast<char*>(dataSet));
        return error;
    }

    IedConnection connection;
    bool connected = false;
};

std::unique_ptr<SimulatedServer> startSimulator() {
    std::string error;
    auto server = SimulatedServer::start(kSampleBay, SimulatedServer::Options{}, &error);
    EXPECT_TRUE(server) << error;
    return server;
}

TEST(ClientDataSets, PersistentSetsLiveInTheirNodeForEveryoneAndTemporaryOnesWithTheirAssociation) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto maker = std::make_unique<Client>(ied->port());
    Client other(ied->port());
    ASSERT_TRUE(maker->connected && other.connected);

    EXPECT_EQ(maker->create("BAY1MEAS/MMXU1.Mine", {kPower, kDeadband}), IED_ERROR_OK);
    EXPECT_EQ(other.dataSetsOf("BAY1MEAS/MMXU1"), std::vector<std::string>{"Mine"});
    bool deletable = false;
    EXPECT_EQ(other.members("BAY1MEAS/MMXU1.Mine", &deletable),
              (std::vector<std::string>{kPower, kDeadband}));
    EXPECT_TRUE(deletable);
    other.members("BAY1MEAS/LLN0.Feeder", &deletable);
    EXPECT_FALSE(deletable) << "configured sets are the device's";
    EXPECT_EQ(other.valueCount("BAY1MEAS/MMXU1.Mine"), 2);
    EXPECT_EQ(other.valueCount("BAY1MEAS/MMXU1$Mine"), 2);

    EXPECT_EQ(maker->create("@Scratch", {kPower}), IED_ERROR_OK);
    EXPECT_EQ(maker->members("@Scratch"), std::vector<std::string>{kPower});
    EXPECT_EQ(maker->valueCount("@Scratch"), 1);
    EXPECT_EQ(other.valueCount("@Scratch"), -1) << "another association's temporary set";
    EXPECT_EQ(other.create("@Scratch", {kDeadband}), IED_ERROR_OK) << "names are per association";

    // The maker goes: its temporary set goes too, the persistent one stays.
    maker.reset();
    maker = std::make_unique<Client>(ied->port());
    EXPECT_EQ(maker->valueCount("@Scratch"), -1);
    EXPECT_EQ(maker->valueCount("BAY1MEAS/MMXU1.Mine"), 2);
    EXPECT_EQ(other.valueCount("@Scratch"), 1);
}

TEST(ClientDataSets, TheDeviceRefusesWhatItCannotKeep) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    Client client(ied->port());
    ASSERT_TRUE(client.connected);
    EXPECT_EQ(client.create("BAY1MEAS/MMXU1.Mine", {kPower}), IED_ERROR_OK);
    EXPECT_EQ(client.create("BAY1MEAS/MMXU1.Mine", {kDeadband}), IED_ERROR_OBJECT_EXISTS);
    EXPECT_EQ(client.create("BAY1MEAS/LLN0.Feeder", {kPower}), IED_ERROR_OBJECT_EXISTS);
    EXPECT_EQ(client.create("BAY1MEAS/MMXU1.Ghost", {kPower, "BAY1MEAS/MMXU1.TotW.nothing[MX]"}),
              IED_ERROR_OBJECT_DOES_NOT_EXIST);
    EXPECT_EQ(client.create("BAY1MEAS/NOLN1.Ghost", {kPower}), IED_ERROR_OBJECT_DOES_NOT_EXIST);
    EXPECT_EQ(client.create("BAY1MEAS/MMXU1.Ghost", {"BAY1MEAS/MMXU1.TotW.mag.f"}),
              IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(client.create("BAY1MEAS/MMXU1.Ghost", {}), IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    EXPECT_EQ(client.dataSetsOf("BAY1MEAS/MMXU1"), std::vector<std::string>{"Mine"}) << "nothing half made";
    std::vector<std::string> tooMany(101, kPower);
    EXPECT_NE(client.create("BAY1MEAS/MMXU1.Huge", tooMany), IED_ERROR_OK);

    EXPECT_EQ(client.remove("BAY1MEAS/LLN0.Feeder"), IED_ERROR_ACCESS_DENIED);
    EXPECT_EQ(client.remove("BAY1MEAS/MMXU1.Nothing"), IED_ERROR_OBJECT_DOES_NOT_EXIST);
    EXPECT_EQ(client.remove("@Nothing"), IED_ERROR_OBJECT_DOES_NOT_EXIST);
    EXPECT_EQ(client.valueCount("BAY1MEAS/LLN0.Feeder"), 9);
}

TEST(ClientDataSets, ASetAControlBlockNamesCannotBeDeleted) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    Client client(ied->port());
    ASSERT_TRUE(client.connected);
    ASSERT_EQ(client.create("BAY1MEAS/MMXU1.ForReports", {kPower}), IED_ERROR_OK);
    const char* datSet = "BAY1MEAS/LLN0.MeasUrcb01.DatSet";
    ASSERT_EQ(client.writeRcbDataSet(datSet, "BAY1MEAS/MMXU1$ForReports"), IED_ERROR_OK);
    // Enabling needs members to report: the block found those of the new set.
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_writeBooleanValue(client.connection, &error, "BAY1MEAS/LLN0.MeasUrcb01.RptEna",
                                    IEC61850_FC_RP, true);
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(client.remove("BAY1MEAS/MMXU1.ForReports"), IED_ERROR_ACCESS_DENIED);
    IedConnection_writeBooleanValue(client.connection, &error, "BAY1MEAS/LLN0.MeasUrcb01.RptEna",
                                    IEC61850_FC_RP, false);
    // Disabled but still named: kept all the same.
    EXPECT_EQ(client.remove("BAY1MEAS/MMXU1.ForReports"), IED_ERROR_ACCESS_DENIED);
    ASSERT_EQ(client.writeRcbDataSet(datSet, "BAY1MEAS/LLN0$Feeder"), IED_ERROR_OK);
    EXPECT_EQ(client.remove("BAY1MEAS/MMXU1.ForReports"), IED_ERROR_OK);
    EXPECT_TRUE(client.dataSetsOf("BAY1MEAS/MMXU1").empty());
    EXPECT_EQ(client.writeRcbDataSet(datSet, "BAY1MEAS/MMXU1$ForReports"), IED_ERROR_OBJECT_VALUE_INVALID);
}

TEST(ClientDataSets, WritingBySetNameAppliesMemberByMemberWithAResultEach) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    Client client(ied->port());
    ASSERT_TRUE(client.connected);
    ASSERT_EQ(client.create("@Mixed", {kDeadband, kPower}), IED_ERROR_OK);
    LinkedList values = LinkedList_create();
    LinkedList_add(values, MmsValue_newUnsigned(750));
    LinkedList_add(values, MmsValue_newFloat(1.5f));
    IedClientError error = IED_ERROR_UNKNOWN;
    LinkedList results = nullptr;
    IedConnection_writeDataSetValues(client.connection, &error, "@Mixed", values, &results);
    EXPECT_EQ(error, IED_ERROR_OK);
    std::vector<int> codes;
    for (LinkedList e = LinkedList_getNext(results); e != nullptr; e = LinkedList_getNext(e)) {
        codes.push_back(MmsValue_getDataAccessError(static_cast<MmsValue*>(LinkedList_getData(e))));
    }
    LinkedList_destroyDeep(results, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    EXPECT_EQ(codes, (std::vector<int>{-1, 3}));  // written; object-access-denied (measured values)

    ClientDataSet set = IedConnection_readDataSetValues(client.connection, &error, "@Mixed", nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_STREQ(ClientDataSet_getReference(set), "@Mixed");
    EXPECT_EQ(MmsValue_toInt64(MmsValue_getElement(ClientDataSet_getValues(set), 0)), 750);
    EXPECT_NE(MmsValue_toDouble(MmsValue_getElement(ClientDataSet_getValues(set), 1)), 1.5);

    // One value too few: the device cannot pair values with members and writes nothing.
    LinkedList one = LinkedList_create();
    LinkedList_add(one, MmsValue_newUnsigned(900));
    IedConnection_writeDataSetValues(client.connection, &error, "@Mixed", one, nullptr);
    EXPECT_NE(error, IED_ERROR_OK);
    EXPECT_EQ(IedConnection_readDataSetValues(client.connection, &error, "@Mixed", set), set);
    EXPECT_EQ(MmsValue_toInt64(MmsValue_getElement(ClientDataSet_getValues(set), 0)), 750);
    ClientDataSet_destroy(set);
    LinkedList_destroyDeep(one, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    LinkedList_destroyDeep(values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
}

}  // namespace
