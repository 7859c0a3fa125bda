// The report format: every captured report read back and written again byte for byte, and round trips
// of reports our server makes.

#include "mapping/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iso_unwrap.h"
#include "mms/codec.h"
#include "mms/pdu.h"

namespace korvan::test {
namespace {

using iecstack::mapping::decodeReport;
using iecstack::mapping::encodeReport;
using iecstack::mapping::encodeReportPdus;
using iecstack::mapping::Report;
using iecstack::mapping::ReportOption;
namespace mapping = iecstack::mapping;
namespace mms = iecstack::mms;

std::optional<mms::InformationReport> informationReportOf(const iecstack::Bytes& bytes) {
    auto pdu = mms::decodePdu(bytes);
    const auto* unconfirmed = pdu ? std::get_if<mms::UnconfirmedPdu>(&*pdu) : nullptr;
    const auto* report = unconfirmed ? std::get_if<mms::InformationReport>(&unconfirmed->service) : nullptr;
    if (report == nullptr) {
        return std::nullopt;
    }
    return *report;
}

void setOptions(Report& report, std::initializer_list<ReportOption> options) {
    for (ReportOption option : options) {
        report.optFlds.setBit(static_cast<size_t>(option), true);
    }
}

// A report with every field set and members left out in between, as a buffered block of ours sends it.
Report everyField() {
    Report report;
    report.rptId = "LD0/LLN0$BR$brcbEV01";
    setOptions(report, {ReportOption::SequenceNumber, ReportOption::ReportTimeStamp,
                        ReportOption::DataSetName, ReportOption::DataReference, ReportOption::BufferOverflow,
                        ReportOption::EntryId, ReportOption::ConfRevision, ReportOption::ReasonForInclusion});
    report.seqNum = 65535;
    report.timeOfEntryMs = 1700000000123;
    report.dataSetName = "LD0/LLN0$Events";
    report.bufOvfl = true;
    report.entryId = {1, 2, 3, 4, 5, 6, 7, 8};
    report.confRev = 4000000000u;
    report.memberCount = 11;
    report.members.push_back(
        {0, "LD0/GGIO1$ST$Ind1$stVal", MmsValue::boolean(true), mapping::kReasonDataChange});
    report.members.push_back({7, "LD0/MHAI1$MX$HA$phsAHar(7)$cVal", MmsValue::floatSingle(1.5f),
                              mapping::kReasonIntegrity | mapping::kReasonQualityChange});
    report.members.push_back(
        {10, "LD0/GGIO1$ST$Ind2$stVal", MmsValue::boolean(false), mapping::kReasonApplicationTrigger});
    return report;
}

void expectSameReport(const Report& decoded, const Report& sent) {
    EXPECT_EQ(decoded.rptId, sent.rptId);
    EXPECT_EQ(decoded.seqNum, sent.seqNum);
    EXPECT_EQ(decoded.timeOfEntryMs, sent.timeOfEntryMs);
    EXPECT_EQ(decoded.dataSetName, sent.dataSetName);
    EXPECT_EQ(decoded.bufOvfl, sent.bufOvfl);
    EXPECT_EQ(decoded.entryId, sent.entryId);
    EXPECT_EQ(decoded.confRev, sent.confRev);
    EXPECT_EQ(decoded.memberCount, sent.memberCount);
    ASSERT_EQ(decoded.members.size(), sent.members.size());
    for (size_t i = 0; i < sent.members.size(); ++i) {
        EXPECT_EQ(decoded.members[i].index, sent.members[i].index);
        EXPECT_EQ(decoded.members[i].reference, sent.members[i].reference);
        EXPECT_EQ(decoded.members[i].value, sent.members[i].value);
        EXPECT_EQ(decoded.members[i].reasons, sent.members[i].reasons) << i;
    }
}

TEST(ReportFormatTest, CapturedReportsDecodeAndEncodeToTheSameBytes) {
    int compared = 0;
    for (const std::string capture : {"09-report-unbuffered.pcap", "10-report-buffered.pcap"}) {
        for (const Conversation& conversation : readConversations(capture)) {
            for (const MmsRecord& record : conversation.from(Direction::ToClient)) {
                auto received = informationReportOf(record.pdu);
                if (!received || !mapping::isReport(*received)) {
                    continue;
                }
                std::string why;
                const auto report = decodeReport(std::move(*received), &why);
                ASSERT_TRUE(report) << capture << " frame " << record.frame << ": " << why;
                const auto pdus = encodeReportPdus(*report, 65000);
                ASSERT_EQ(pdus.size(), 1u);
                EXPECT_EQ(pdus[0], record.pdu) << capture << " frame " << record.frame;
                ++compared;
            }
        }
    }
    EXPECT_GE(compared, 10);
}

TEST(ReportFormatTest, EveryFieldSurvivesTheRoundTrip) {
    const Report sent = everyField();
    std::string why;
    const auto decoded = decodeReport(encodeReport(sent), &why);
    ASSERT_TRUE(decoded) << why;
    expectSameReport(*decoded, sent);
    EXPECT_FALSE(decoded->has(ReportOption::Segmentation));

    // Without the options, the same report carries only values; the fields keep their defaults.
    Report bare = sent;
    bare.optFlds = mms::BitString(10);
    const auto plain = decodeReport(encodeReport(bare), &why);
    ASSERT_TRUE(plain) << why;
    EXPECT_EQ(plain->seqNum, 0u);
    EXPECT_TRUE(plain->dataSetName.empty() && plain->entryId.empty());
    ASSERT_EQ(plain->members.size(), 3u);
    EXPECT_TRUE(plain->members[2].reference.empty());
    EXPECT_EQ(plain->members[2].reasons, 0);
    EXPECT_EQ(plain->members[2].value, MmsValue::boolean(false));
}

// A report cut for a small PDU must come back whole once its segments are put together: no member
// lost or doubled, each in its place, and the segments numbered in order.
TEST(ReportFormatTest, SegmentsPutTogetherGiveTheWholeReport) {
    Report sent = everyField();
    sent.memberCount = 60;
    sent.members.clear();
    for (size_t i = 0; i < 60; i += 2) {
        sent.members.push_back({i, "LD0/GGIO1$ST$Ind" + std::to_string(i) + "$stVal",
                                MmsValue::integer(static_cast<int64_t>(i) * 1000),
                                mapping::kReasonIntegrity});
    }
    const auto pdus = encodeReportPdus(sent, 600);
    ASSERT_GT(pdus.size(), 2u);
    Report joined;
    for (size_t s = 0; s < pdus.size(); ++s) {
        EXPECT_LE(pdus[s].size(), 600u);
        auto received = informationReportOf(pdus[s]);
        ASSERT_TRUE(received);
        std::string why;
        auto segment = decodeReport(std::move(*received), &why);
        ASSERT_TRUE(segment) << why;
        ASSERT_TRUE(segment->has(ReportOption::Segmentation));
        EXPECT_EQ(segment->subSeqNum, s);
        EXPECT_EQ(segment->moreSegmentsFollow, s + 1 < pdus.size());
        if (s == 0) {
            joined = *segment;
            joined.members.clear();
        }
        for (auto& member : segment->members) {
            joined.members.push_back(std::move(member));
        }
    }
    expectSameReport(joined, sent);

    // Fitting whole, it goes out in one piece even when the block asked for segmentation.
    sent.optFlds.setBit(static_cast<size_t>(ReportOption::Segmentation), true);
    const auto whole = encodeReportPdus(sent, 65000);
    ASSERT_EQ(whole.size(), 1u);
    const auto one = decodeReport(*informationReportOf(whole[0]), nullptr);
    ASSERT_TRUE(one);
    EXPECT_FALSE(one->has(ReportOption::Segmentation));
}

}  // namespace
}  // namespace korvan::test
