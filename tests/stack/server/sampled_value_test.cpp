// Sampled-value control blocks of the SCL file as the simulator serves them, seen through our client:
// where they are listed, what they read, and who may switch or change them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "iec61850_client.h"
#include "server/simulated_server.h"

namespace {

using iecstack::server::SimulatedServer;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

// The sample bay with a multicast and a unicast block in the measurements' LLN0.
std::string modelWithSampledValues(const std::string& extra = "") {
    std::ifstream in(kSampleBay);
    std::stringstream text;
    text << in.rdbuf();
    std::string scl = text.str();
    const std::string blocks =
        "<SampledValueControl name=\"MsvCB01\" datSet=\"Feeder\" smvID=\"BAY1MU01\" confRev=\"3\" "
        "smpRate=\"80\" nofASDU=\"1\" multicast=\"true\">"
        "<SmvOpts refreshTime=\"true\" sampleRate=\"true\"/></SampledValueControl>"
        "<SampledValueControl name=\"UsvCB01\" datSet=\"Feeder\" smvID=\"BAY1MU02\" confRev=\"1\" "
        "smpRate=\"4000\" nofASDU=\"8\" multicast=\"false\" smpMod=\"SmpPerSec\"/>" +
        extra;
    const size_t at = scl.find("<ReportControl name=\"MeasRpt\"");
    scl.insert(at, blocks);
    // One file per test: ctest runs the cases of this suite side by side.
    const std::string path =
        ::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".icd";
    std::ofstream(path) << scl;
    return path;
}

struct Client {
    explicit Client(uint16_t port) : connection(IedConnection_create()) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_connect(connection, &error, "127.0.0.1", port);
        connected = error == IED_ERROR_OK;
    }
    ~Client() { IedConnection_destroy(connection); }

    std::vector<std::string> names(LinkedList list) {
        std::vector<std::string> out;
        for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
            out.emplace_back(static_cast<const char*>(LinkedList_getData(e)));
        }
        LinkedList_destroy(list);
        return out;
    }
    // The attribute's integer (booleans as 0/1), or minus the device's data-access error.
    int64_t read(const char* reference, FunctionalConstraint fc) {
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* value = IedConnection_readObject(connection, &error, reference, fc);
        int64_t result = -100;
        if (value != nullptr && MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
            result = -MmsValue_getDataAccessError(value);
        } else if (value != nullptr && MmsValue_getType(value) == MMS_BOOLEAN) {
            result = MmsValue_getBoolean(value) ? 1 : 0;
        } else if (value != nullptr) {
            result = MmsValue_toInt64(value);
        }
        MmsValue_delete(value);
        return result;
    }
    std::string text(const char* reference, FunctionalConstraint fc) {
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* value = IedConnection_readObject(connection, &error, reference, fc);
        const char* s = value != nullptr ? MmsValue_toString(value) : nullptr;
        std::string result = s != nullptr ? s : "";
        MmsValue_delete(value);
        return result;
    }
    IedClientError writeBool(const char* reference, FunctionalConstraint fc, bool on) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_writeBooleanValue(connection, &error, reference, fc, on);
        return error;
    }
    IedClientError writeText(const char* reference, FunctionalConstraint fc, const char* text) {
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_writeVisibleStringValue(connection, &error, reference, fc, const_cast<char*>(text));
        return error;
    }

    IedConnection connection;
    bool connected = false;
};

TEST(SampledValueControl, BlocksAreListedUnderTheirClassAndReadAsConfigured) {
    std::string error;
    auto ied = SimulatedServer::start(modelWithSampledValues(), {}, &error);
    ASSERT_TRUE(ied) << error;
    Client client(ied->port());
    ASSERT_TRUE(client.connected);
    IedClientError e = IED_ERROR_UNKNOWN;
    EXPECT_EQ(client.names(IedConnection_getLogicalNodeDirectory(client.connection, &e, "BAY1MEAS/LLN0",
                                                                 ACSI_CLASS_MSVCB)),
              std::vector<std::string>{"MsvCB01"});
    EXPECT_EQ(client.names(IedConnection_getLogicalNodeDirectory(client.connection, &e, "BAY1MEAS/LLN0",
                                                                 ACSI_CLASS_USVCB)),
              std::vector<std::string>{"UsvCB01"});
    // Discovery walks them as it walks the node's other elements.
    const auto objects = client.names(IedConnection_getLogicalNodeDirectory(
        client.connection, &e, "BAY1MEAS/LLN0", ACSI_CLASS_DATA_OBJECT));
    EXPECT_NE(std::find(objects.begin(), objects.end(), "MsvCB01"), objects.end());
    const auto attributes =
        client.names(IedConnection_getDataDirectoryFC(client.connection, &e, "BAY1MEAS/LLN0.UsvCB01"));
    // In the directory's name order.
    EXPECT_EQ(attributes, (std::vector<std::string>{"ConfRev[US]", "DatSet[US]", "DstAddress[US]",
                                                    "noASDU[US]", "OptFlds[US]", "Resv[US]", "SmpMod[US]",
                                                    "SmpRate[US]", "SvEna[US]", "UsvID[US]"}));

    EXPECT_EQ(client.read("BAY1MEAS/LLN0.MsvCB01.SvEna", IEC61850_FC_MS), 0);
    EXPECT_EQ(client.text("BAY1MEAS/LLN0.MsvCB01.MsvID", IEC61850_FC_MS), "BAY1MU01");
    EXPECT_EQ(client.text("BAY1MEAS/LLN0.MsvCB01.DatSet", IEC61850_FC_MS), "BAY1MEAS/LLN0$Feeder");
    EXPECT_EQ(client.read("BAY1MEAS/LLN0.MsvCB01.ConfRev", IEC61850_FC_MS), 3);
    EXPECT_EQ(client.read("BAY1MEAS/LLN0.MsvCB01.SmpRate", IEC61850_FC_MS), 80);
    EXPECT_EQ(client.read("BAY1MEAS/LLN0.MsvCB01.noASDU", IEC61850_FC_MS), 1);
    EXPECT_EQ(client.read("BAY1MEAS/LLN0.UsvCB01.SmpMod", IEC61850_FC_US), 1);
    EXPECT_EQ(client.read("BAY1MEAS/LLN0.UsvCB01.noASDU", IEC61850_FC_US), 8);
    EXPECT_EQ(client.read("BAY1MEAS/LLN0.UsvCB01.DstAddress.APPID", IEC61850_FC_US), 0);
    IedClientError readError = IED_ERROR_UNKNOWN;
    MmsValue* optFlds = IedConnection_readObject(client.connection, &readError,
                                                 "BAY1MEAS/LLN0.MsvCB01.OptFlds", IEC61850_FC_MS);
    ASSERT_NE(optFlds, nullptr);
    ASSERT_EQ(MmsValue_getType(optFlds), MMS_BIT_STRING);
    EXPECT_EQ(MmsValue_getBitStringSize(optFlds), 5);
    EXPECT_TRUE(MmsValue_getBitStringBit(optFlds, 0));   // refresh time
    EXPECT_FALSE(MmsValue_getBitStringBit(optFlds, 1));  // sample synchronised
    EXPECT_TRUE(MmsValue_getBitStringBit(optFlds, 2));   // sample rate
    MmsValue_delete(optFlds);
}

TEST(SampledValueControl, SvEnaSwitchesAndSettingsWaitUntilTheBlockIsOff) {
    std::string error;
    auto ied = SimulatedServer::start(modelWithSampledValues(), {}, &error);
    ASSERT_TRUE(ied) << error;
    Client one(ied->port());
    Client two(ied->port());
    ASSERT_TRUE(one.connected && two.connected);
    const char* msvEna = "BAY1MEAS/LLN0.MsvCB01.SvEna";
    EXPECT_EQ(one.writeBool(msvEna, IEC61850_FC_MS, true), IED_ERROR_OK);
    EXPECT_EQ(two.read(msvEna, IEC61850_FC_MS), 1);
    // Enabled: the settings stay as they are; ConfRev is never the client's.
    EXPECT_EQ(one.writeText("BAY1MEAS/LLN0.MsvCB01.MsvID", IEC61850_FC_MS, "other"),
              IED_ERROR_TEMPORARILY_UNAVAILABLE);
    EXPECT_EQ(one.text("BAY1MEAS/LLN0.MsvCB01.MsvID", IEC61850_FC_MS), "BAY1MU01");
    EXPECT_EQ(one.writeText("BAY1MEAS/LLN0.MsvCB01.DatSet", IEC61850_FC_MS, ""),
              IED_ERROR_TEMPORARILY_UNAVAILABLE);
    IedClientError e = IED_ERROR_UNKNOWN;
    IedConnection_writeUnsigned32Value(one.connection, &e, "BAY1MEAS/LLN0.MsvCB01.ConfRev", IEC61850_FC_MS,
                                       9);
    EXPECT_EQ(e, IED_ERROR_ACCESS_DENIED);
    // A multicast block is nobody's: another client switches it off.
    EXPECT_EQ(two.writeBool(msvEna, IEC61850_FC_MS, false), IED_ERROR_OK);
    EXPECT_EQ(one.writeText("BAY1MEAS/LLN0.MsvCB01.MsvID", IEC61850_FC_MS, "other"), IED_ERROR_OK);
    EXPECT_EQ(one.text("BAY1MEAS/LLN0.MsvCB01.MsvID", IEC61850_FC_MS), "other");
    // A data set that does not exist is refused; without one there is nothing to enable.
    EXPECT_EQ(one.writeText("BAY1MEAS/LLN0.MsvCB01.DatSet", IEC61850_FC_MS, "BAY1MEAS/LLN0$Nothing"),
              IED_ERROR_OBJECT_VALUE_INVALID);
    EXPECT_EQ(one.writeText("BAY1MEAS/LLN0.MsvCB01.DatSet", IEC61850_FC_MS, ""), IED_ERROR_OK);
    EXPECT_EQ(one.read("BAY1MEAS/LLN0.MsvCB01.ConfRev", IEC61850_FC_MS), 4);
    EXPECT_EQ(one.writeBool(msvEna, IEC61850_FC_MS, true), IED_ERROR_OBJECT_VALUE_INVALID);
    EXPECT_EQ(one.read(msvEna, IEC61850_FC_MS), 0);
    // Only attributes are written, never the block as a whole.
    MmsValue* whole = MmsValue_newBoolean(true);
    IedConnection_writeObject(one.connection, &e, "BAY1MEAS/LLN0.MsvCB01", IEC61850_FC_MS, whole);
    MmsValue_delete(whole);
    EXPECT_NE(e, IED_ERROR_OK);
}

TEST(SampledValueControl, UnicastBlockBelongsToItsClientUntilItsAssociationEnds) {
    std::string error;
    auto ied = SimulatedServer::start(modelWithSampledValues(), {}, &error);
    ASSERT_TRUE(ied) << error;
    auto holder = std::make_unique<Client>(ied->port());
    Client other(ied->port());
    ASSERT_TRUE(holder->connected && other.connected);
    const char* usvEna = "BAY1MEAS/LLN0.UsvCB01.SvEna";
    const char* resv = "BAY1MEAS/LLN0.UsvCB01.Resv";
    EXPECT_EQ(holder->writeBool(usvEna, IEC61850_FC_US, true), IED_ERROR_OK);
    EXPECT_EQ(other.read(resv, IEC61850_FC_US), 1);
    EXPECT_EQ(other.writeBool(usvEna, IEC61850_FC_US, false), IED_ERROR_TEMPORARILY_UNAVAILABLE);
    EXPECT_EQ(other.writeBool(resv, IEC61850_FC_US, false), IED_ERROR_TEMPORARILY_UNAVAILABLE);
    // The holder cannot let go of a block that is still on.
    EXPECT_EQ(holder->writeBool(resv, IEC61850_FC_US, false), IED_ERROR_TEMPORARILY_UNAVAILABLE);
    EXPECT_EQ(other.read(usvEna, IEC61850_FC_US), 1);

    holder.reset();
    // The server notices the end of the association on its own thread.
    int64_t enabled = 1;
    for (int i = 0; i < 100 && enabled != 0; ++i) {
        enabled = other.read(usvEna, IEC61850_FC_US);
        if (enabled != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(other.read(resv, IEC61850_FC_US), 0);
    EXPECT_EQ(other.writeBool(resv, IEC61850_FC_US, true), IED_ERROR_OK);
    EXPECT_EQ(other.read(resv, IEC61850_FC_US), 1);
}

TEST(SampledValueControl, BlockNamingAMissingDataSetIsRefusedWithItsLine) {
    std::string error;
    auto ied = SimulatedServer::start(
        modelWithSampledValues("<SampledValueControl name=\"Bad\" datSet=\"Nothing\" smvID=\"x\"/>"), {},
        &error);
    EXPECT_FALSE(ied);
    EXPECT_NE(error.find("sampled value control \"Bad\" refers to missing data set \"Nothing\""),
              std::string::npos)
        << error;
}

}  // namespace
