// The simulator's reporting seen through our client: every trigger option, general interrogation,
// integrity, buffer time, buffered delivery with overflow and resynchronisation, reservations between
// clients, indexed blocks; and report PDUs compared with the captured reference server's.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "iec61850_client.h"
#include "iso_unwrap.h"
#include "mms/codec.h"
#include "report_encoding.h"
#include "server/mms_services.h"
#include "server/model_builder.h"
#include "server/simulated_server.h"

using namespace iecstack;
using namespace iecstack::server;
using namespace korvan::test;
using namespace std::chrono_literals;

namespace {

const std::string kModel = std::string(KORVAN_SOURCE_DIR) + "/tests/stack/server/reporting_model.icd";

struct Received {
    std::string rptId;
    uint32_t seqNum = 0;
    bool bufOvfl = false;
    std::vector<uint8_t> entryId;
    std::vector<int> reasons;         // per member
    std::vector<std::string> values;  // per member: "" when left out, else the value's integer or bool
    bool hasTimestamp = false;
};

// Copies what each report says, on the receive thread, for the test to wait on.
class Collector {
public:
    static void handler(void* parameter, ClientReport report) {
        auto* self = static_cast<Collector*>(parameter);
        Received r;
        r.rptId = ClientReport_getRptId(report);
        r.seqNum = ClientReport_getSeqNum(report);
        r.bufOvfl = ClientReport_getBufOvfl(report);
        r.hasTimestamp = ClientReport_hasTimestamp(report);
        if (MmsValue* entryId = ClientReport_getEntryId(report)) {
            const uint8_t* bytes = MmsValue_getOctetStringBuffer(entryId);
            r.entryId.assign(bytes, bytes + MmsValue_getOctetStringSize(entryId));
        }
        MmsValue* values = ClientReport_getDataSetValues(report);
        for (uint32_t i = 0; i < MmsValue_getArraySize(values); ++i) {
            r.reasons.push_back(ClientReport_getReasonForInclusion(report, static_cast<int>(i)));
            MmsValue* v = MmsValue_getElement(values, static_cast<int>(i));
            if (v == nullptr) {
                r.values.emplace_back();
            } else if (MmsValue_getType(v) == MMS_STRUCTURE) {
                r.values.push_back(MmsValue_getBoolean(MmsValue_getElement(v, 0)) ? "true" : "false");
            } else if (MmsValue_getType(v) == MMS_BOOLEAN) {
                r.values.push_back(MmsValue_getBoolean(v) ? "true" : "false");
            } else {
                r.values.push_back(std::to_string(MmsValue_toInt64(v)));
            }
        }
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->reports_.push_back(std::move(r));
        self->arrived_.notify_all();
    }

    // The first `count` reports, once they are there (fails after a generous time).
    std::vector<Received> waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool arrived = arrived_.wait_for(lock, 20s, [&] { return reports_.size() >= count; });
        EXPECT_TRUE(arrived) << "only " << reports_.size() << " of " << count << " reports arrived";
        return reports_;
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Received> reports_;
};

struct ConnectionDeleter {
    void operator()(sIedConnection* c) const { IedConnection_destroy(c); }
};
using Connection = std::unique_ptr<sIedConnection, ConnectionDeleter>;
struct RcbDeleter {
    void operator()(sClientReportControlBlock* r) const { ClientReportControlBlock_destroy(r); }
};
using Rcb = std::unique_ptr<sClientReportControlBlock, RcbDeleter>;

class ReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ied = SimulatedServer::start(kModel, {}, &error);
        ASSERT_TRUE(ied) << error;
    }

    Connection connect() {
        Connection c(IedConnection_create());
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_connect(c.get(), &error, "127.0.0.1", ied->port());
        EXPECT_EQ(error, IED_ERROR_OK);
        return c;
    }

    // Reads the block, installs `collector` and writes RptEna (and GI when asked) as one client would.
    IedClientError enable(sIedConnection* c, const std::string& ref, Collector& collector, bool gi = false) {
        IedClientError error = IED_ERROR_UNKNOWN;
        Rcb rcb(IedConnection_getRCBValues(c, &error, ref.c_str(), nullptr));
        if (!rcb) {
            return error;
        }
        IedConnection_installReportHandler(c, ref.c_str(), ClientReportControlBlock_getRptId(rcb.get()),
                                           Collector::handler, &collector);
        ClientReportControlBlock_setRptEna(rcb.get(), true);
        ClientReportControlBlock_setGI(rcb.get(), gi);
        IedConnection_setRCBValues(c, &error, rcb.get(), RCB_ELEMENT_RPT_ENA | (gi ? RCB_ELEMENT_GI : 0),
                                   false);
        return error;
    }

    IedClientError writeBool(sIedConnection* c, const std::string& ref, bool buffered, uint32_t mask,
                             bool on) {
        IedClientError error = IED_ERROR_UNKNOWN;
        Rcb rcb(ClientReportControlBlock_create(ref.c_str()));
        (void)buffered;
        if (mask == RCB_ELEMENT_RPT_ENA) {
            ClientReportControlBlock_setRptEna(rcb.get(), on);
        } else if (mask == RCB_ELEMENT_RESV) {
            ClientReportControlBlock_setResv(rcb.get(), on);
        } else if (mask == RCB_ELEMENT_GI) {
            ClientReportControlBlock_setGI(rcb.get(), on);
        }
        IedConnection_setRCBValues(c, &error, rcb.get(), mask, true);
        return error;
    }

    void set(const std::string& item, MmsValue value) {
        ASSERT_TRUE(ied->setValue("RLD0", item, value)) << item;
    }

    std::unique_ptr<SimulatedServer> ied;
};

TEST_F(ReportingTest, EachTriggerOptionReportsItsMemberWithItsReason) {
    Collector reports;  // outlives the connection, whose handler may still run while it closes
    auto c = connect();
    ASSERT_EQ(enable(c.get(), "RLD0/LLN0.RP.Changes", reports), IED_ERROR_OK);

    set("GGIO1$ST$Ind1$stVal", MmsValue::boolean(true));  // data change of a whole-object member
    set("GGIO1$ST$Ind1$q", MmsValue::bitString(mms::BitString(13, {0x40, 0})));  // quality change
    set("GGIO1$ST$Ind2$stVal", MmsValue::boolean(false));                        // unchanged: no data change
    set("GGIO1$ST$Ind3$stVal", MmsValue::integer(0));  // unchanged, but data update counts
    set("GGIO1$ST$Ind3$stVal", MmsValue::integer(5));
    const auto got = reports.waitFor(4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].reasons, (std::vector<int>{IEC61850_REASON_DATA_CHANGE, 0, 0}));
    EXPECT_EQ(got[0].values, (std::vector<std::string>{"true", "", ""}));
    EXPECT_EQ(got[1].reasons, (std::vector<int>{IEC61850_REASON_QUALITY_CHANGE, 0, 0}));
    EXPECT_EQ(got[2].reasons, (std::vector<int>{0, 0, IEC61850_REASON_DATA_UPDATE}));
    EXPECT_EQ(got[3].values[2], "5");
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].seqNum, i);
        EXPECT_EQ(got[i].rptId, "R/Changes");
        EXPECT_TRUE(got[i].hasTimestamp);
    }

    // General interrogation: every member, after the answer to the write.
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.RP.Changes", false, RCB_ELEMENT_GI, true), IED_ERROR_OK);
    const auto gi = reports.waitFor(5);
    EXPECT_EQ(gi[4].reasons, std::vector<int>(3, IEC61850_REASON_GI));
    EXPECT_EQ(gi[4].values, (std::vector<std::string>{"true", "false", "5"}));

    // Disabled: no more reports.
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.RP.Changes", false, RCB_ELEMENT_RPT_ENA, false), IED_ERROR_OK);
    set("GGIO1$ST$Ind1$stVal", MmsValue::boolean(false));
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.RP.Changes", false, RCB_ELEMENT_GI, true), IED_ERROR_OK);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.count(), 5u);
}

TEST_F(ReportingTest, BufferTimeCollectsChangesAndASecondChangeOfAMemberSendsTheFirst) {
    Collector reports;
    auto c = connect();
    ASSERT_EQ(enable(c.get(), "RLD0/LLN0.RP.Collect", reports), IED_ERROR_OK);
    set("GGIO1$ST$Ind1$stVal", MmsValue::boolean(true));
    set("GGIO1$ST$Ind2$stVal", MmsValue::boolean(true));
    const auto collected = reports.waitFor(1);
    EXPECT_EQ(collected[0].reasons,
              (std::vector<int>{IEC61850_REASON_DATA_CHANGE, IEC61850_REASON_DATA_CHANGE, 0}));

    set("GGIO1$ST$Ind2$stVal", MmsValue::boolean(false));
    set("GGIO1$ST$Ind2$stVal", MmsValue::boolean(true));
    const auto both = reports.waitFor(3);
    // Nothing lost: the value of the first change, then that of the second.
    EXPECT_EQ(both[1].values[1], "false");
    EXPECT_EQ(both[2].values[1], "true");
}

TEST_F(ReportingTest, IntegrityReportsComeEveryPeriodWithEveryMember) {
    Collector reports;
    auto c = connect();
    ASSERT_EQ(enable(c.get(), "RLD0/LLN0.RP.Period", reports), IED_ERROR_OK);
    const auto got = reports.waitFor(2);
    for (const Received& r : got) {
        EXPECT_EQ(r.reasons, std::vector<int>(3, IEC61850_REASON_INTEGRITY));
    }
}

TEST_F(ReportingTest, BufferedBlockKeepsEntriesFromTheStartAndResynchronisesFromAnEntryId) {
    // Changes before anyone enabled the block are kept for the first client.
    set("GGIO1$ST$Ind1$stVal", MmsValue::boolean(true));
    set("GGIO1$ST$Ind2$stVal", MmsValue::boolean(true));
    Collector reports;
    auto c = connect();
    IedClientError error = IED_ERROR_UNKNOWN;
    Rcb rcb(IedConnection_getRCBValues(c.get(), &error, "RLD0/LLN0.BR.History", nullptr));
    ASSERT_TRUE(rcb);
    EXPECT_NE(MmsValue_getOctetStringBuffer(ClientReportControlBlock_getEntryId(rcb.get()))[7], 0);

    ASSERT_EQ(enable(c.get(), "RLD0/LLN0.BR.History", reports), IED_ERROR_OK);
    const auto early = reports.waitFor(2);
    EXPECT_EQ(early[0].reasons[0], IEC61850_REASON_DATA_CHANGE);
    EXPECT_EQ(early[1].reasons[1], IEC61850_REASON_DATA_CHANGE);
    EXPECT_FALSE(early[0].bufOvfl);
    EXPECT_NE(early[0].entryId, early[1].entryId);

    // Away for a while: more entries than the buffer holds.
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.BR.History", true, RCB_ELEMENT_RPT_ENA, false), IED_ERROR_OK);
    for (int i = 0; i < 1005; ++i) {
        set("GGIO1$ST$Ind1$stVal", MmsValue::boolean(i % 2 != 0));
    }
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.BR.History", true, RCB_ELEMENT_RPT_ENA, true), IED_ERROR_OK);
    const auto back = reports.waitFor(2 + 1000);
    EXPECT_TRUE(back[2].bufOvfl);  // the first after the loss says so
    EXPECT_FALSE(back[3].bufOvfl);
    EXPECT_EQ(back.back().values[0], "false");  // the newest entry is the last change

    // Resynchronisation: naming an entry resends everything after it.
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.BR.History", true, RCB_ELEMENT_RPT_ENA, false), IED_ERROR_OK);
    Rcb resync(ClientReportControlBlock_create("RLD0/LLN0.BR.History"));
    MmsValue* entryId = MmsValue_newOctetString(0, 8);
    MmsValue_setOctetString(entryId, back[back.size() - 3].entryId.data(), 8);
    ClientReportControlBlock_setEntryId(resync.get(), entryId);
    MmsValue_delete(entryId);
    ClientReportControlBlock_setRptEna(resync.get(), true);
    IedConnection_setRCBValues(c.get(), &error, resync.get(), RCB_ELEMENT_ENTRY_ID | RCB_ELEMENT_RPT_ENA,
                               false);
    EXPECT_EQ(error, IED_ERROR_OK);
    const auto again = reports.waitFor(back.size() + 2);
    EXPECT_EQ(again[back.size()].entryId, back[back.size() - 2].entryId);
    EXPECT_EQ(again[back.size() + 1].entryId, back[back.size() - 1].entryId);

    // An entry the buffer does not hold is refused.
    EXPECT_EQ(writeBool(c.get(), "RLD0/LLN0.BR.History", true, RCB_ELEMENT_RPT_ENA, false), IED_ERROR_OK);
    const uint8_t unknown[8] = {0xff, 0, 0, 0, 0, 0, 0, 1};
    entryId = MmsValue_newOctetString(0, 8);
    MmsValue_setOctetString(entryId, unknown, 8);
    ClientReportControlBlock_setEntryId(resync.get(), entryId);
    MmsValue_delete(entryId);
    IedConnection_setRCBValues(c.get(), &error, resync.get(), RCB_ELEMENT_ENTRY_ID, true);
    EXPECT_EQ(error, IED_ERROR_OBJECT_VALUE_INVALID);
}

TEST_F(ReportingTest, ABlockInUseOrAssignedByConfigurationIsRefusedToOtherClients) {
    Collector reports;
    auto first = connect();
    auto second = connect();
    ASSERT_EQ(enable(first.get(), "RLD0/LLN0.RP.Changes", reports), IED_ERROR_OK);

    IedClientError error = IED_ERROR_UNKNOWN;
    Rcb seen(IedConnection_getRCBValues(second.get(), &error, "RLD0/LLN0.RP.Changes", nullptr));
    ASSERT_TRUE(seen);
    EXPECT_TRUE(ClientReportControlBlock_getResv(seen.get()));
    EXPECT_TRUE(ClientReportControlBlock_getRptEna(seen.get()));
    EXPECT_EQ(writeBool(second.get(), "RLD0/LLN0.RP.Changes", false, RCB_ELEMENT_RPT_ENA, false),
              IED_ERROR_TEMPORARILY_UNAVAILABLE);

    // While enabled, the owner cannot change the configuration either; ConfRev is never writable.
    ClientReportControlBlock_setIntgPd(seen.get(), 1000);
    IedConnection_setRCBValues(first.get(), &error, seen.get(), RCB_ELEMENT_INTG_PD, true);
    EXPECT_EQ(error, IED_ERROR_TEMPORARILY_UNAVAILABLE);

    // The owner leaves: the block is free again.
    first.reset();
    for (int i = 0; i < 100; ++i) {
        Rcb now(IedConnection_getRCBValues(second.get(), &error, "RLD0/LLN0.RP.Changes", nullptr));
        if (now && !ClientReportControlBlock_getResv(now.get())) {
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    Collector secondReports;
    EXPECT_EQ(enable(second.get(), "RLD0/LLN0.RP.Changes", secondReports), IED_ERROR_OK);

    Rcb assigned(IedConnection_getRCBValues(second.get(), &error, "RLD0/LLN0.RP.Assigned", nullptr));
    ASSERT_TRUE(assigned);
    EXPECT_TRUE(ClientReportControlBlock_getResv(assigned.get()));
    EXPECT_EQ(writeBool(second.get(), "RLD0/LLN0.RP.Assigned", false, RCB_ELEMENT_RPT_ENA, true),
              IED_ERROR_TEMPORARILY_UNAVAILABLE);
}

TEST_F(ReportingTest, InstancesOfAnIndexedBlockServeTwoClientsAtOnce) {
    auto first = connect();
    auto second = connect();
    Collector one, two;
    ASSERT_EQ(enable(first.get(), "RLD0/LLN0.RP.Shared01", one), IED_ERROR_OK);
    ASSERT_EQ(enable(second.get(), "RLD0/LLN0.RP.Shared02", two), IED_ERROR_OK);
    set("GGIO1$ST$Ind2$stVal", MmsValue::boolean(true));
    EXPECT_EQ(one.waitFor(1)[0].rptId, "R/Shared");
    EXPECT_EQ(two.waitFor(1)[0].values[1], "true");
}

// --- reservations after a lost association --------------------------------------------------------

TEST_F(ReportingTest, AReservedBufferedBlockWaitsForItsClientToComeBackFromAnotherPort) {
    Collector before;
    auto owner = connect();
    IedClientError error = IED_ERROR_UNKNOWN;
    Rcb rcb(ClientReportControlBlock_create("RLD0/LLN0.BR.History"));
    ClientReportControlBlock_setResvTms(rcb.get(), 60);
    IedConnection_setRCBValues(owner.get(), &error, rcb.get(), RCB_ELEMENT_RESV_TMS, true);
    ASSERT_EQ(error, IED_ERROR_OK);
    ASSERT_EQ(enable(owner.get(), "RLD0/LLN0.BR.History", before), IED_ERROR_OK);
    IedConnection_abort(owner.get(), &error);
    owner.reset();
    // A change the server makes before it has seen the abort goes out on the dead connection and counts
    // as sent; the case here is a change made while the client is known to be away.
    for (int i = 0; i < 250 && ied->server().openConnections() > 0; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(ied->server().openConnections(), 0u);

    // Changes while the client is away are kept; it comes back on a new connection from the same
    // address, takes its block again and gets them.
    set("GGIO1$ST$Ind1$stVal", MmsValue::boolean(true));
    Collector after;
    auto back = connect();
    for (int i = 0; i < 100 && enable(back.get(), "RLD0/LLN0.BR.History", after) != IED_ERROR_OK; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    const auto got = after.waitFor(1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().values[0], "true");
    Rcb seen(IedConnection_getRCBValues(back.get(), &error, "RLD0/LLN0.BR.History", nullptr));
    ASSERT_TRUE(seen);
    EXPECT_TRUE(ClientReportControlBlock_getRptEna(seen.get()));
    EXPECT_EQ(ClientReportControlBlock_getResvTms(seen.get()), 60);
}

namespace {

// A client of the services alone, with the address a real association would have.
class AddressedClient {
public:
    AddressedClient(MmsServices& services, uint64_t id, const std::string& peer)
        : services_(services),
          session_(std::make_shared<Session>(id, peer, 65000, [](ByteView) { return true; })) {}

    // The outcome of writing one attribute of the buffered block: nothing when accepted.
    std::optional<mms::DataAccessError> write(const std::string& attribute, MmsValue value) {
        mms::WriteRequest write;
        write.spec = mms::VariableAccessSpec::list(
            {{mms::ObjectName::domain("RLD0", "LLN0$BR$History$" + attribute), {}}});
        write.data.push_back(std::move(value));
        const ServiceOutcome outcome =
            services_.handle(*session_, mms::encodePdu(mms::ConfirmedRequest{1, write}));
        auto pdu = mms::decodePdu(outcome.response);
        const auto* response = pdu.ok() ? std::get_if<mms::ConfirmedResponse>(&*pdu) : nullptr;
        const auto* written = response ? std::get_if<mms::WriteResponse>(&response->service) : nullptr;
        EXPECT_TRUE(written != nullptr && written->results.size() == 1u);
        return written != nullptr && !written->results.empty()
                   ? written->results[0]
                   : std::optional(mms::DataAccessError::ObjectUndefined);
    }
    // As the server does when the connection drops: the session ends, then the services hear of it.
    void sessionEnds() { session_->end(); }
    void associationLost() {
        session_->end();
        services_.associationEnded(*session_);
    }

private:
    MmsServices& services_;
    std::shared_ptr<Session> session_;
};

}  // namespace

TEST(ReservationTest, ABufferedBlockStaysReservedForItsOwnersAddressForResvTmsAfterTheLoss) {
    auto model = loadDataModel(kModel, "");
    ASSERT_TRUE(model.ok());
    MmsServices services(**model, ServerIdentity{});
    const auto unavailable = std::optional(mms::DataAccessError::TemporarilyUnavailable);

    AddressedClient owner(services, 1, "192.0.2.10:40001");
    AddressedClient other(services, 2, "192.0.2.20:40002");
    ASSERT_EQ(owner.write("ResvTms", MmsValue::integer(60)), std::nullopt);
    ASSERT_EQ(owner.write("RptEna", MmsValue::boolean(true)), std::nullopt);
    EXPECT_EQ(other.write("RptEna", MmsValue::boolean(true)), unavailable);

    // Held from the moment the connection is gone, before the services have been told.
    owner.sessionEnds();
    EXPECT_EQ(other.write("RptEna", MmsValue::boolean(true)), unavailable);
    owner.associationLost();
    EXPECT_EQ(other.write("RptEna", MmsValue::boolean(true)), unavailable);
    EXPECT_EQ(other.write("ResvTms", MmsValue::integer(0)), unavailable);
    EXPECT_EQ(other.write("PurgeBuf", MmsValue::boolean(true)), unavailable);

    // The owner's address on a new association takes it back; another of the same host is that client.
    AddressedClient back(services, 3, "192.0.2.10:40003");
    ASSERT_EQ(back.write("RptEna", MmsValue::boolean(true)), std::nullopt);
    EXPECT_EQ(other.write("RptEna", MmsValue::boolean(true)), unavailable);

    // Once the reservation time has passed, anyone may take the block.
    ASSERT_EQ(back.write("RptEna", MmsValue::boolean(false)), std::nullopt);
    ASSERT_EQ(back.write("ResvTms", MmsValue::integer(1)), std::nullopt);
    ASSERT_EQ(back.write("RptEna", MmsValue::boolean(true)), std::nullopt);
    back.associationLost();
    std::optional<mms::DataAccessError> refusal = unavailable;
    for (int i = 0; i < 200 && refusal; ++i) {
        std::this_thread::sleep_for(25ms);
        refusal = other.write("RptEna", MmsValue::boolean(true));
    }
    EXPECT_EQ(refusal, std::nullopt);

    // Without a reservation time the block is free as soon as its owner is gone.
    ASSERT_EQ(other.write("RptEna", MmsValue::boolean(false)), std::nullopt);
    ASSERT_EQ(other.write("ResvTms", MmsValue::integer(0)), std::nullopt);
    ASSERT_EQ(other.write("RptEna", MmsValue::boolean(true)), std::nullopt);
    other.associationLost();
    AddressedClient third(services, 4, "192.0.2.30:40004");
    EXPECT_EQ(third.write("RptEna", MmsValue::boolean(true)), std::nullopt);
}

// --- report PDUs -------------------------------------------------------------------------------

ReportContent contentOf(const mms::InformationReport& report) {
    // Reads back the capture's report into what our encoder takes, by the capture's own OptFlds.
    ReportContent c;
    const auto& r = report.results;
    size_t k = 0;
    c.rptId = r[k++].text();
    c.optFlds = r[k++].bits();
    if (c.optFlds.bit(1))
        c.seqNum = static_cast<uint32_t>(r[k++].toUint64());
    if (c.optFlds.bit(2))
        c.timeOfEntryMs = r[k++].binaryTimeMs();
    if (c.optFlds.bit(4))
        c.dataSetName = r[k++].text();
    if (c.optFlds.bit(6))
        c.bufOvfl = r[k++].boolValue();
    if (c.optFlds.bit(7)) {
        const auto octets = r[k++].octets();
        c.entryId.assign(octets.begin(), octets.end());
    }
    if (c.optFlds.bit(8))
        c.confRev = static_cast<uint32_t>(r[k++].toUint64());
    const MmsValue& inclusion = r[k++];
    c.memberCount = inclusion.bitCount();
    for (size_t i = 0; i < c.memberCount; ++i) {
        if (inclusion.bit(i)) {
            c.members.push_back({i, {}, {}, 0});
        }
    }
    for (auto& m : c.members)
        m.reference = r[k++].text();
    for (auto& m : c.members)
        m.value = r[k++];
    for (auto& m : c.members) {
        for (size_t bit = 1; bit <= 5; ++bit) {
            m.reasons |= r[k].bit(bit) ? static_cast<uint8_t>(1u << (bit - 1)) : 0;
        }
        ++k;
    }
    return c;
}

TEST(ReportEncodingTest, ReportsAreByteForByteThoseOfTheReferenceServer) {
    int compared = 0;
    for (const std::string capture : {"09-report-unbuffered.pcap", "10-report-buffered.pcap"}) {
        for (const Conversation& conversation : readConversations(capture)) {
            for (const MmsRecord& record : conversation.from(Direction::ToClient)) {
                auto pdu = mms::decodePdu(record.pdu);
                const auto* unconfirmed = pdu ? std::get_if<mms::UnconfirmedPdu>(&*pdu) : nullptr;
                if (unconfirmed == nullptr) {
                    continue;
                }
                const auto& report = std::get<mms::InformationReport>(unconfirmed->service);
                const auto encoded = encodeReport(contentOf(report), 65000);
                ASSERT_EQ(encoded.size(), 1u);
                EXPECT_EQ(encoded[0], record.pdu) << capture << " frame " << record.frame;
                ++compared;
            }
        }
    }
    EXPECT_GE(compared, 10);
}

TEST(ReportEncodingTest, AReportLargerThanThePduSizeIsCutIntoNumberedSegments) {
    ReportContent content;
    content.rptId = "R/Big";
    content.optFlds.setBit(1, true);
    content.optFlds.setBit(5, true);
    content.memberCount = 40;
    for (size_t i = 0; i < 40; ++i) {
        content.members.push_back({i, "RLD0/GGIO1$ST$Ind" + std::to_string(i) + "$stVal",
                                   MmsValue::integer(1000 + i), kReasonIntegrity});
    }
    const auto segments = encodeReport(content, 512);
    ASSERT_GT(segments.size(), 2u);
    size_t members = 0;
    for (size_t s = 0; s < segments.size(); ++s) {
        EXPECT_LE(segments[s].size(), 512u);
        auto pdu = mms::decodePdu(segments[s]);
        ASSERT_TRUE(pdu);
        const auto& report = std::get<mms::InformationReport>(std::get<mms::UnconfirmedPdu>(*pdu).service);
        // RptID, OptFlds (segmentation bit), SqNum, SubSeqNum, MoreSegmentsFollow, inclusion.
        EXPECT_TRUE(report.results[1].bit(9));
        EXPECT_EQ(report.results[3].toUint64(), s);
        EXPECT_EQ(report.results[4].boolValue(), s + 1 < segments.size());
        const MmsValue& inclusion = report.results[5];
        for (size_t i = 0; i < inclusion.bitCount(); ++i) {
            members += inclusion.bit(i) ? 1 : 0;
        }
    }
    EXPECT_EQ(members, 40u);
    EXPECT_TRUE(encodeReport(content, 60).empty());
}

}  // namespace
