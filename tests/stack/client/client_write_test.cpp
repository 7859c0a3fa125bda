// Writes, type descriptions, setting groups, substitution and report control block writes through the
// client API against the simulator serving the sample bay model.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client_test_support.h"
#include "iec61850_client.h"
#include "server/simulated_server.h"

namespace korvan::test {
namespace {

using iecstack::server::SimulatedServer;
using namespace std::chrono_literals;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

std::unique_ptr<SimulatedServer> startSimulator() {
    std::string error;
    auto server = SimulatedServer::start(kSampleBay, SimulatedServer::Options{}, &error);
    EXPECT_TRUE(server) << error;
    return server;
}

using ValuePtr = std::unique_ptr<MmsValue, void (*)(MmsValue*)>;
ValuePtr owned(MmsValue* value) {
    return ValuePtr(value, MmsValue_delete);
}

ValuePtr readValue(IedConnection connection, const char* reference, FunctionalConstraint fc) {
    IedClientError error = IED_ERROR_UNKNOWN;
    ValuePtr value = owned(IedConnection_readObject(connection, &error, reference, fc));
    EXPECT_EQ(error, IED_ERROR_OK) << reference;
    return value;
}

IedClientError writeValue(IedConnection connection, const char* reference, FunctionalConstraint fc,
                          MmsValue* value) {
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_writeObject(connection, &error, reference, fc, value);
    MmsValue_delete(value);
    return error;
}

MmsValue* bits(int count) {
    return MmsValue_newBitString(count);
}

// What a client held (an edited setting group, a reserved block) is free once the server has seen its
// association end, a moment after the client's close has returned.
bool serverSeesOnly(SimulatedServer& ied, size_t connections) {
    for (int i = 0; i < 250 && ied.server().openConnections() > connections; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    return ied.server().openConnections() == connections;
}

// Every refusal the simulator gives, each with the model left as it was; accepted writes read back.
TEST(ClientWriteTest, RefusedWritesNameTheCauseAndChangeNothing) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    struct Case {
        const char* reference;
        FunctionalConstraint fc;
        MmsValue* value;
        IedClientError expected;
    };
    const std::string tooLong(256, 'x');
    const Case cases[] = {
        {"BAY1CTRL/LLN0.Mod.stVal", IEC61850_FC_ST, MmsValue_newIntegerFromInt32(3), IED_ERROR_ACCESS_DENIED},
        {"BAY1MEAS/MMXU1.TotW.mag.f", IEC61850_FC_MX, MmsValue_newFloat(1.0f), IED_ERROR_ACCESS_DENIED},
        {"BAY1MEAS/PTOC1.OpDlTmms.setVal", IEC61850_FC_SG, MmsValue_newIntegerFromInt32(5),
         IED_ERROR_ACCESS_DENIED},
        {"BAY1MEAS/PTOC1.OpDlTmms.setVal", IEC61850_FC_SE, MmsValue_newIntegerFromInt32(5),
         IED_ERROR_TEMPORARILY_UNAVAILABLE},
        {"BAY1CTRL/GGIO1.SPCSO2.ctlModel", IEC61850_FC_CF, MmsValue_newIntegerFromInt32(5),
         IED_ERROR_OBJECT_VALUE_INVALID},
        {"BAY1CTRL/GGIO1.SPCSO2.ctlModel", IEC61850_FC_CF, MmsValue_newBoolean(true),
         IED_ERROR_TYPE_INCONSISTENT},
        {"BAY1CTRL/LLN0.NamPlt.vendor", IEC61850_FC_DC, MmsValue_newVisibleString(tooLong.c_str()),
         IED_ERROR_OBJECT_VALUE_INVALID},
        {"BAY1CTRL/LLN0.NamPlt.vendor", IEC61850_FC_DC, MmsValue_newBoolean(false),
         IED_ERROR_TYPE_INCONSISTENT},
        {"BAY1MEAS/MMXU1.TotW.db", IEC61850_FC_CF, MmsValue_newIntegerFromInt32(7),
         IED_ERROR_TYPE_INCONSISTENT},
        {"BAY1CTRL/GGIO1.Ind1.subQ", IEC61850_FC_SV, bits(14), IED_ERROR_OBJECT_VALUE_INVALID},
        {"BAY1MEAS/LLN0.SGCB.ActSG", IEC61850_FC_SP, MmsValue_newUnsigned(0), IED_ERROR_OBJECT_VALUE_INVALID},
        {"BAY1MEAS/LLN0.SGCB.ActSG", IEC61850_FC_SP, MmsValue_newUnsigned(3), IED_ERROR_OBJECT_VALUE_INVALID},
        {"BAY1MEAS/LLN0.SGCB.EditSG", IEC61850_FC_SP, MmsValue_newUnsigned(3),
         IED_ERROR_OBJECT_VALUE_INVALID},
        {"BAY1MEAS/LLN0.SGCB.NumOfSG", IEC61850_FC_SP, MmsValue_newUnsigned(1), IED_ERROR_ACCESS_DENIED},
        {"BAY1MEAS/LLN0.SGCB.CnfEdit", IEC61850_FC_SP, MmsValue_newBoolean(true), IED_ERROR_ACCESS_DENIED},
        {"BAY1CTRL/XCBR1.Nothing", IEC61850_FC_CF, MmsValue_newBoolean(true),
         IED_ERROR_OBJECT_DOES_NOT_EXIST},
        {"BAY1CTRL/XCBR1.RP.Pos", IEC61850_FC_NONE, MmsValue_newBoolean(true),
         IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT},
        {"no reference", IEC61850_FC_CF, MmsValue_newBoolean(true), IED_ERROR_OBJECT_REFERENCE_INVALID},
    };
    for (const Case& c : cases) {
        // What the device shows before, read under the constraint (SE is unreadable without an edit).
        const FunctionalConstraint readFc = c.fc == IEC61850_FC_SE ? IEC61850_FC_SG : c.fc;
        IedClientError error = IED_ERROR_UNKNOWN;
        ValuePtr before = owned(IedConnection_readObject(connection.get(), &error, c.reference, readFc));
        EXPECT_EQ(writeValue(connection.get(), c.reference, c.fc, c.value), c.expected) << c.reference;
        ValuePtr after = owned(IedConnection_readObject(connection.get(), &error, c.reference, readFc));
        EXPECT_TRUE((!before && !after) || MmsValue_equals(before.get(), after.get())) << c.reference;
    }

    EXPECT_EQ(writeValue(connection.get(), "BAY1CTRL/LLN0.NamPlt.vendor", IEC61850_FC_DC,
                         MmsValue_newVisibleString("Another vendor")),
              IED_ERROR_OK);
    ValuePtr vendor = readValue(connection.get(), "BAY1CTRL/LLN0.NamPlt.vendor", IEC61850_FC_DC);
    EXPECT_STREQ(MmsValue_toString(vendor.get()), "Another vendor");

    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_writeUnsigned32Value(connection.get(), &error, "BAY1MEAS/MMXU1.TotW.db", IEC61850_FC_CF,
                                       800);
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(MmsValue_toInt64(readValue(connection.get(), "BAY1MEAS/MMXU1.TotW.db", IEC61850_FC_CF).get()),
              800);
    IedConnection_writeInt32Value(connection.get(), &error, "BAY1CTRL/GGIO1.SPCSO2.ctlModel", IEC61850_FC_CF,
                                  3);
    EXPECT_EQ(error, IED_ERROR_OK);
    IedConnection_writeBooleanValue(connection.get(), &error, "BAY1CTRL/GGIO1.Ind1.subVal", IEC61850_FC_SV,
                                    true);
    EXPECT_EQ(error, IED_ERROR_OK);
    char id[] = "test set";
    IedConnection_writeVisibleStringValue(connection.get(), &error, "BAY1CTRL/GGIO1.Ind1.subID",
                                          IEC61850_FC_SV, id);
    EXPECT_EQ(error, IED_ERROR_OK);
    IedConnection_writeFloatValue(connection.get(), &error, "BAY1MEAS/MMXU1.TotW.mag.f", IEC61850_FC_MX,
                                  2.0f);
    EXPECT_EQ(error, IED_ERROR_ACCESS_DENIED);
    const uint8_t entry[8] = {};
    IedConnection_writeOctetString(connection.get(), &error, "BAY1CTRL/LLN0.PosRpt01.EntryID", IEC61850_FC_BR,
                                   entry, 3);
    EXPECT_EQ(error, IED_ERROR_OBJECT_VALUE_INVALID) << "an EntryID is eight octets";
}

TEST(ClientWriteTest, TypeDescriptionsGiveKindsWidthsAndLengths) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    MmsVariableSpecification* totW = IedConnection_getVariableSpecification(
        connection.get(), &error, "BAY1MEAS/MMXU1.TotW", IEC61850_FC_MX);
    ASSERT_NE(totW, nullptr);
    EXPECT_EQ(MmsVariableSpecification_getType(totW), MMS_STRUCTURE);
    EXPECT_STREQ(MmsVariableSpecification_getName(totW), "TotW");
    int index = -1;
    MmsVariableSpecification* mag = MmsVariableSpecification_getChildSpecificationByName(totW, "mag", &index);
    ASSERT_NE(mag, nullptr);
    EXPECT_EQ(index, 0);
    MmsVariableSpecification* f = MmsVariableSpecification_getChildSpecificationByIndex(mag, 0);
    EXPECT_EQ(MmsVariableSpecification_getType(f), MMS_FLOAT);
    EXPECT_EQ(MmsVariableSpecification_getSize(f), 32);
    EXPECT_EQ(MmsVariableSpecification_getExponentWidth(f), 8);
    MmsVariableSpecification* q = MmsVariableSpecification_getChildSpecificationByName(totW, "q", nullptr);
    EXPECT_EQ(MmsVariableSpecification_getType(q), MMS_BIT_STRING);
    EXPECT_EQ(MmsVariableSpecification_getSize(q), -13);
    EXPECT_EQ(MmsVariableSpecification_getChildSpecificationByIndex(totW, 3), nullptr);

    ValuePtr value = readValue(connection.get(), "BAY1MEAS/MMXU1.TotW", IEC61850_FC_MX);
    EXPECT_TRUE(MmsVariableSpecification_isValueOfType(totW, value.get()));
    ValuePtr wrongQuality = owned(bits(14));
    EXPECT_FALSE(MmsVariableSpecification_isValueOfType(q, wrongQuality.get()));
    MmsVariableSpecification_destroy(totW);

    MmsVariableSpecification* vendor = IedConnection_getVariableSpecification(
        connection.get(), &error, "BAY1CTRL/LLN0.NamPlt.vendor", IEC61850_FC_DC);
    EXPECT_EQ(MmsVariableSpecification_getType(vendor), MMS_VISIBLE_STRING);
    EXPECT_EQ(MmsVariableSpecification_getSize(vendor), -255);
    MmsVariableSpecification_destroy(vendor);

    EXPECT_EQ(IedConnection_getVariableSpecification(connection.get(), &error, "BAY1CTRL/XCBR1.Nothing",
                                                     IEC61850_FC_ST),
              nullptr);
    EXPECT_NE(error, IED_ERROR_OK);
}

// The setting, or minus the device's data-access error when it refuses the read.
int32_t settingOf(IedConnection connection, FunctionalConstraint fc) {
    ValuePtr value = readValue(connection, "BAY1MEAS/PTOC1.OpDlTmms.setVal", fc);
    if (value && MmsValue_getType(value.get()) == MMS_DATA_ACCESS_ERROR) {
        return -MmsValue_getDataAccessError(value.get());
    }
    return value ? static_cast<int32_t>(MmsValue_toInt64(value.get())) : -100;
}

IedClientError writeSgcb(IedConnection connection, const char* attribute, MmsValue* value) {
    const std::string reference = std::string("BAY1MEAS/LLN0.SGCB.") + attribute;
    return writeValue(connection, reference.c_str(), IEC61850_FC_SP, value);
}

// Two clients: one edits a group while the other is kept out; confirming stores the group, activating
// serves it under SG, and the edit lapses when its client goes.
TEST(ClientWriteTest, SettingGroupsServeTheActiveGroupAndOneEditorAtATime) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto editor = connectTo(ied->port());
    auto other = connectTo(ied->port());
    EXPECT_EQ(settingOf(editor.get(), IEC61850_FC_SG), 100);

    EXPECT_EQ(writeSgcb(editor.get(), "EditSG", MmsValue_newUnsigned(2)), IED_ERROR_OK);
    EXPECT_EQ(settingOf(editor.get(), IEC61850_FC_SE), 250);
    EXPECT_EQ(settingOf(other.get(), IEC61850_FC_SE), -2);  // temporarily-unavailable
    EXPECT_EQ(writeSgcb(other.get(), "EditSG", MmsValue_newUnsigned(1)), IED_ERROR_TEMPORARILY_UNAVAILABLE);
    EXPECT_EQ(writeSgcb(other.get(), "CnfEdit", MmsValue_newBoolean(true)),
              IED_ERROR_TEMPORARILY_UNAVAILABLE);
    EXPECT_EQ(writeValue(other.get(), "BAY1MEAS/PTOC1.OpDlTmms.setVal", IEC61850_FC_SE,
                         MmsValue_newIntegerFromInt32(1)),
              IED_ERROR_TEMPORARILY_UNAVAILABLE);

    EXPECT_EQ(writeValue(editor.get(), "BAY1MEAS/PTOC1.OpDlTmms.setVal", IEC61850_FC_SE,
                         MmsValue_newIntegerFromInt32(300)),
              IED_ERROR_OK);
    EXPECT_EQ(settingOf(editor.get(), IEC61850_FC_SE), 300);
    EXPECT_EQ(settingOf(other.get(), IEC61850_FC_SG), 100)
        << "an edit is not in force before it is confirmed";
    EXPECT_EQ(writeSgcb(editor.get(), "CnfEdit", MmsValue_newBoolean(true)), IED_ERROR_OK);
    EXPECT_EQ(settingOf(other.get(), IEC61850_FC_SG), 100) << "group 2 is not the active one";

    ValuePtr before = readValue(other.get(), "BAY1MEAS/LLN0.SGCB.LActTm", IEC61850_FC_SP);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(writeSgcb(other.get(), "ActSG", MmsValue_newUnsigned(2)), IED_ERROR_OK);
    EXPECT_EQ(settingOf(other.get(), IEC61850_FC_SG), 300);
    EXPECT_EQ(MmsValue_toInt64(readValue(other.get(), "BAY1MEAS/LLN0.SGCB.ActSG", IEC61850_FC_SP).get()), 2);
    ValuePtr after = readValue(other.get(), "BAY1MEAS/LLN0.SGCB.LActTm", IEC61850_FC_SP);
    EXPECT_GT(MmsValue_getUtcTimeInMs(after.get()), MmsValue_getUtcTimeInMs(before.get()));

    // Discarding: EditSG 0 gives the group up without storing what was changed since.
    EXPECT_EQ(writeValue(editor.get(), "BAY1MEAS/PTOC1.OpDlTmms.setVal", IEC61850_FC_SE,
                         MmsValue_newIntegerFromInt32(999)),
              IED_ERROR_OK);
    EXPECT_EQ(writeSgcb(editor.get(), "EditSG", MmsValue_newUnsigned(0)), IED_ERROR_OK);
    EXPECT_EQ(settingOf(other.get(), IEC61850_FC_SG), 300);
    EXPECT_EQ(writeSgcb(editor.get(), "CnfEdit", MmsValue_newBoolean(true)), IED_ERROR_ACCESS_DENIED);

    // The edit lapses with the association of the client that holds it.
    EXPECT_EQ(writeSgcb(editor.get(), "EditSG", MmsValue_newUnsigned(1)), IED_ERROR_OK);
    IedConnection_close(editor.get());
    ASSERT_TRUE(serverSeesOnly(*ied, 1));
    EXPECT_EQ(writeSgcb(other.get(), "EditSG", MmsValue_newUnsigned(1)), IED_ERROR_OK);
    EXPECT_EQ(settingOf(other.get(), IEC61850_FC_SE), 100);
}

struct ReportLog {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<bool, uint32_t>> ind1;  // stVal of Ind1 and its reason, per report carrying it
    std::vector<int> reasons;                     // the first member's reason, per report
};

void logReport(void* parameter, ClientReport report) {
    auto* log = static_cast<ReportLog*>(parameter);
    std::lock_guard<std::mutex> lock(log->mutex);
    MmsValue* first = MmsValue_getElement(ClientReport_getDataSetValues(report), 0);
    log->reasons.push_back(ClientReport_getReasonForInclusion(report, 0));
    if (first != nullptr) {
        log->ind1.emplace_back(MmsValue_getBoolean(first), ClientReport_getReasonForInclusion(report, 0));
    }
    log->arrived.notify_all();
}

bool waitFor(ReportLog& log, size_t count) {
    std::unique_lock<std::mutex> lock(log.mutex);
    return log.arrived.wait_for(lock, 5s, [&] { return log.reasons.size() >= count; });
}

struct RcbDeleter {
    void operator()(sClientReportControlBlock* rcb) const { ClientReportControlBlock_destroy(rcb); }
};
using RcbPtr = std::unique_ptr<sClientReportControlBlock, RcbDeleter>;

// Substituting Ind1 shows in a read (value and the quality's substituted bit) and in a report; ending
// the substitution brings the process value back, including a change the process made meanwhile.
TEST(ClientWriteTest, SubstitutionIsSeenInReadsAndReports) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    const char* rcbReference = "BAY1CTRL/LLN0.RP.IndRpt01";
    RcbPtr rcb(IedConnection_getRCBValues(connection.get(), &error, rcbReference, nullptr));
    ASSERT_TRUE(rcb);
    ReportLog log;
    IedConnection_installReportHandler(connection.get(), rcbReference,
                                       ClientReportControlBlock_getRptId(rcb.get()), logReport, &log);
    ClientReportControlBlock_setIntgPd(rcb.get(), 0);
    ClientReportControlBlock_setRptEna(rcb.get(), true);
    IedConnection_setRCBValues(connection.get(), &error, rcb.get(), RCB_ELEMENT_INTG_PD | RCB_ELEMENT_RPT_ENA,
                               true);
    ASSERT_EQ(error, IED_ERROR_OK);
    const bool process =
        MmsValue_getBoolean(readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.stVal", IEC61850_FC_ST).get());

    IedConnection_writeBooleanValue(connection.get(), &error, "BAY1CTRL/GGIO1.Ind1.subVal", IEC61850_FC_SV,
                                    !process);
    ASSERT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(
        MmsValue_getBoolean(readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.stVal", IEC61850_FC_ST).get()),
        process)
        << "subVal alone substitutes nothing";
    IedConnection_writeBooleanValue(connection.get(), &error, "BAY1CTRL/GGIO1.Ind1.subEna", IEC61850_FC_SV,
                                    true);
    ASSERT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(
        MmsValue_getBoolean(readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.stVal", IEC61850_FC_ST).get()),
        !process);
    ValuePtr quality = readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.q", IEC61850_FC_ST);
    EXPECT_TRUE(MmsValue_getBitStringBit(quality.get(), 10)) << "source: substituted";
    ASSERT_TRUE(waitFor(log, 1));
    {
        std::lock_guard<std::mutex> lock(log.mutex);
        ASSERT_FALSE(log.ind1.empty());
        EXPECT_EQ(log.ind1.back().first, !process);
        EXPECT_EQ(log.ind1.back().second, static_cast<uint32_t>(IEC61850_REASON_DATA_CHANGE));
    }

    // The process changes meanwhile: kept aside, shown once the substitution ends.
    {
        auto& model = ied->model();
        std::lock_guard<std::mutex> lock(model.valueLock());
        model.assign(*model.find("BAY1CTRL", "GGIO1$ST$Ind1$stVal"), MmsValue::boolean(!process));
    }
    EXPECT_EQ(
        MmsValue_getBoolean(readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.stVal", IEC61850_FC_ST).get()),
        !process);
    IedConnection_writeBooleanValue(connection.get(), &error, "BAY1CTRL/GGIO1.Ind1.subVal", IEC61850_FC_SV,
                                    process);
    EXPECT_EQ(
        MmsValue_getBoolean(readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.stVal", IEC61850_FC_ST).get()),
        process)
        << "a new subVal shows at once while substituting";
    IedConnection_writeBooleanValue(connection.get(), &error, "BAY1CTRL/GGIO1.Ind1.subEna", IEC61850_FC_SV,
                                    false);
    EXPECT_EQ(
        MmsValue_getBoolean(readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.stVal", IEC61850_FC_ST).get()),
        !process)
        << "the latest process value";
    quality = readValue(connection.get(), "BAY1CTRL/GGIO1.Ind1.q", IEC61850_FC_ST);
    EXPECT_FALSE(MmsValue_getBitStringBit(quality.get(), 10));
}

// Configuring a free unbuffered block reserves it for the writer, whose address Owner then shows; the
// other client is refused until it is released. GI on the enabled block sends a GI report.
TEST(ClientWriteTest, ReportControlBlockWritesReserveAndInterrogate) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto first = connectTo(ied->port());
    auto second = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    const char* reference = "BAY1CTRL/LLN0.RP.IndRpt02";
    RcbPtr rcb(IedConnection_getRCBValues(first.get(), &error, reference, nullptr));
    ASSERT_TRUE(rcb);
    ASSERT_NE(ClientReportControlBlock_getOwner(rcb.get()), nullptr);
    EXPECT_EQ(MmsValue_getOctetStringSize(ClientReportControlBlock_getOwner(rcb.get())), 0)
        << "nobody holds it";

    // One attribute per request: trigger options and integrity period.
    ClientReportControlBlock_setTrgOps(rcb.get(), TRG_OPT_DATA_CHANGED | TRG_OPT_GI);
    ClientReportControlBlock_setIntgPd(rcb.get(), 60000);
    IedConnection_setRCBValues(first.get(), &error, rcb.get(), RCB_ELEMENT_TRG_OPS | RCB_ELEMENT_INTG_PD,
                               false);
    ASSERT_EQ(error, IED_ERROR_OK);
    RcbPtr seen(IedConnection_getRCBValues(second.get(), &error, reference, nullptr));
    ASSERT_TRUE(seen);
    EXPECT_EQ(ClientReportControlBlock_getTrgOps(seen.get()), TRG_OPT_DATA_CHANGED | TRG_OPT_GI);
    EXPECT_EQ(ClientReportControlBlock_getIntgPd(seen.get()), 60000u);
    EXPECT_TRUE(ClientReportControlBlock_getResv(seen.get()));
    const MmsValue* owner = ClientReportControlBlock_getOwner(seen.get());
    ASSERT_EQ(MmsValue_getOctetStringSize(owner), 4);
    const uint8_t loopback[4] = {127, 0, 0, 1};
    EXPECT_EQ(std::vector<uint8_t>(MmsValue_getOctetStringBuffer(const_cast<MmsValue*>(owner)),
                                   MmsValue_getOctetStringBuffer(const_cast<MmsValue*>(owner)) + 4),
              std::vector<uint8_t>(loopback, loopback + 4));

    ClientReportControlBlock_setIntgPd(seen.get(), 1000);
    IedConnection_setRCBValues(second.get(), &error, seen.get(), RCB_ELEMENT_INTG_PD, false);
    EXPECT_EQ(error, IED_ERROR_TEMPORARILY_UNAVAILABLE);

    // Enabling and asking for a GI in one request.
    ReportLog log;
    IedConnection_installReportHandler(first.get(), reference, ClientReportControlBlock_getRptId(rcb.get()),
                                       logReport, &log);
    ClientReportControlBlock_setRptEna(rcb.get(), true);
    ClientReportControlBlock_setGI(rcb.get(), true);
    IedConnection_setRCBValues(first.get(), &error, rcb.get(), RCB_ELEMENT_RPT_ENA | RCB_ELEMENT_GI, true);
    ASSERT_EQ(error, IED_ERROR_OK);
    ASSERT_TRUE(waitFor(log, 1));
    {
        std::lock_guard<std::mutex> lock(log.mutex);
        EXPECT_EQ(log.reasons.front(), IEC61850_REASON_GI);
    }

    // Released with the association: the other client may take it.
    IedConnection_close(first.get());
    ASSERT_TRUE(serverSeesOnly(*ied, 1));
    IedConnection_setRCBValues(second.get(), &error, seen.get(), RCB_ELEMENT_INTG_PD, false);
    EXPECT_EQ(error, IED_ERROR_OK);
}

}  // namespace
}  // namespace korvan::test
