// Report control blocks and reports through the C API, against a peer that answers with the recorded
// server's responses and sends its recorded reports.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "client_test_support.h"
#include "iec61850_client.h"
#include "scripted_peer.h"

namespace korvan::test {
namespace {

struct RcbDeleter {
    void operator()(sClientReportControlBlock* rcb) const { ClientReportControlBlock_destroy(rcb); }
};
using RcbPtr = std::unique_ptr<sClientReportControlBlock, RcbDeleter>;

TEST(ClientReportApiTest, ReadingABlockFillsEveryAttributeItHas) {
    {
        ScriptedPeer peer("09-report-unbuffered.pcap");
        auto connection = connectTo(peer.port());
        IedClientError error = IED_ERROR_UNKNOWN;
        RcbPtr rcb(IedConnection_getRCBValues(connection.get(), &error,
                                              "simpleIOGenericIO/LLN0.RP.EventsRCB01", nullptr));
        ASSERT_EQ(error, IED_ERROR_OK);
        ASSERT_TRUE(rcb);
        EXPECT_FALSE(ClientReportControlBlock_isBuffered(rcb.get()));
        EXPECT_STREQ(ClientReportControlBlock_getRptId(rcb.get()), "Events1");
        EXPECT_FALSE(ClientReportControlBlock_getRptEna(rcb.get()));
        EXPECT_STREQ(ClientReportControlBlock_getDataSetReference(rcb.get()),
                     "simpleIOGenericIO/LLN0$Events");
        EXPECT_EQ(ClientReportControlBlock_getConfRev(rcb.get()), 1u);
        EXPECT_FALSE(ClientReportControlBlock_hasResvTms(rcb.get()));
        EXPECT_EQ(ClientReportControlBlock_getEntryId(rcb.get()), nullptr);

        // Refreshing an existing copy returns that copy.
        EXPECT_EQ(IedConnection_getRCBValues(connection.get(), &error, "ignored", rcb.get()), rcb.get());
        EXPECT_EQ(IedConnection_getRCBValues(connection.get(), &error, "simpleIOGenericIO/LLN0.EventsRCB01",
                                             nullptr),
                  nullptr);
        EXPECT_EQ(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
    }
    ScriptedPeer peer("10-report-buffered.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    RcbPtr rcb(IedConnection_getRCBValues(connection.get(), &error,
                                          "simpleIOGenericIO/LLN0.BR.Measurements01", nullptr));
    ASSERT_EQ(error, IED_ERROR_OK);
    ASSERT_TRUE(rcb);
    EXPECT_TRUE(ClientReportControlBlock_isBuffered(rcb.get()));
    EXPECT_STREQ(ClientReportControlBlock_getRptId(rcb.get()), "Measurements");
    EXPECT_STREQ(ClientReportControlBlock_getDataSetReference(rcb.get()),
                 "simpleIOGenericIO/LLN0$Measurements");
    ASSERT_NE(ClientReportControlBlock_getEntryId(rcb.get()), nullptr);
    EXPECT_EQ(MmsValue_getOctetStringSize(ClientReportControlBlock_getEntryId(rcb.get())), 8);
    EXPECT_GT(ClientReportControlBlock_getEntryTime(rcb.get()), 0u);
    EXPECT_TRUE(ClientReportControlBlock_hasResvTms(rcb.get()));
    EXPECT_EQ(ClientReportControlBlock_getOwner(rcb.get()), nullptr);
}

struct ReportLog {
    std::mutex mutex;
    std::vector<std::vector<int>> reasons;  // per report, per member
};

void logReport(void* parameter, ClientReport report) {
    auto* log = static_cast<ReportLog*>(parameter);
    std::vector<int> reasons;
    const uint32_t members = MmsValue_getArraySize(ClientReport_getDataSetValues(report));
    for (uint32_t i = 0; i < members; ++i) {
        reasons.push_back(ClientReport_getReasonForInclusion(report, static_cast<int>(i)));
    }
    std::lock_guard<std::mutex> lock(log->mutex);
    log->reasons.push_back(reasons);
}

TEST(ClientReportApiTest,
     EnablingWritesOneAttributePerRequestAsRecordedAndTakesReportsThatOvertakeTheAnswer) {
    ScriptedPeer peer("09-report-unbuffered.pcap");
    // The GI report arrives while the client still waits for the answer to its GI write.
    peer.setReports(ScriptedPeer::Reports::BeforeAnswer);
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    const char* reference = "simpleIOGenericIO/LLN0.RP.EventsRCB01";
    RcbPtr rcb(IedConnection_getRCBValues(connection.get(), &error, reference, nullptr));
    ASSERT_TRUE(rcb);
    ReportLog log;
    IedConnection_installReportHandler(connection.get(), reference,
                                       ClientReportControlBlock_getRptId(rcb.get()), logReport, &log);

    ClientReportControlBlock_setResv(rcb.get(), true);
    ClientReportControlBlock_setOptFlds(rcb.get(), RPT_OPT_SEQ_NUM | RPT_OPT_TIME_STAMP |
                                                       RPT_OPT_REASON_FOR_INCLUSION | RPT_OPT_DATA_SET |
                                                       RPT_OPT_DATA_REFERENCE | RPT_OPT_BUFFER_OVERFLOW |
                                                       RPT_OPT_ENTRY_ID | RPT_OPT_CONF_REV);
    ClientReportControlBlock_setTrgOps(
        rcb.get(), TRG_OPT_DATA_CHANGED | TRG_OPT_QUALITY_CHANGED | TRG_OPT_INTEGRITY | TRG_OPT_GI);
    ClientReportControlBlock_setIntgPd(rcb.get(), 1500);
    ClientReportControlBlock_setRptEna(rcb.get(), true);
    ClientReportControlBlock_setGI(rcb.get(), true);
    IedConnection_setRCBValues(connection.get(), &error, rcb.get(),
                               RCB_ELEMENT_RESV | RCB_ELEMENT_OPT_FLDS | RCB_ELEMENT_TRG_OPS |
                                   RCB_ELEMENT_INTG_PD | RCB_ELEMENT_RPT_ENA | RCB_ELEMENT_GI,
                               false);
    EXPECT_EQ(error, IED_ERROR_OK);
    // Every write was byte for byte one the recorded client made, in the recorded order.
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
    EXPECT_EQ(peer.requestsSeen(), 7);

    std::lock_guard<std::mutex> lock(log.mutex);
    ASSERT_EQ(log.reasons.size(), 1u);
    EXPECT_EQ(log.reasons[0], std::vector<int>(4, IEC61850_REASON_GI));
}

}  // namespace
}  // namespace korvan::test
