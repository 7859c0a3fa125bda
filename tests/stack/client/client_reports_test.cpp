// Decoding of received reports and their delivery to handlers, from the reference captures and from
// hand-made reports.

#include "client_reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iso_unwrap.h"
#include "mms/codec.h"

namespace korvan::test {
namespace {

using iecstack::client::decodeReport;
using iecstack::client::isReport;
using iecstack::client::ReportHandlers;
using iecstack::mms::BitString;
using iecstack::mms::InformationReport;

// Every report the server sent in a capture, with its frame, in order.
std::vector<std::pair<uint32_t, InformationReport>> capturedReports(const std::string& capture) {
    std::vector<std::pair<uint32_t, InformationReport>> reports;
    for (const Conversation& conversation : readConversations(capture)) {
        for (const MmsRecord& record : conversation.from(Direction::ToClient)) {
            auto pdu = iecstack::mms::decodePdu(record.pdu);
            const auto* unconfirmed = pdu ? std::get_if<iecstack::mms::UnconfirmedPdu>(&*pdu) : nullptr;
            const auto* report =
                unconfirmed ? std::get_if<InformationReport>(&unconfirmed->service) : nullptr;
            if (report != nullptr && isReport(*report)) {
                reports.emplace_back(record.frame, *report);
            }
        }
    }
    return reports;
}

InformationReport capturedReport(const std::string& capture, uint32_t frame) {
    for (auto& [f, report] : capturedReports(capture)) {
        if (f == frame) {
            return report;
        }
    }
    ADD_FAILURE() << "no report in frame " << frame << " of " << capture;
    return {};
}

BitString bits(size_t count, std::initializer_list<size_t> set) {
    BitString b(count);
    for (size_t i : set) {
        b.setBit(i, true);
    }
    return b;
}

// A report of three members built by hand: RptID, OptFlds as given, then what they announce.
InformationReport handMadeReport(const BitString& optFlds, const BitString& inclusion) {
    InformationReport report;
    report.spec = iecstack::mms::VariableAccessSpec::named(iecstack::mms::ObjectName::vmd("RPT"));
    auto& r = report.results;
    r.push_back(MmsValue::visibleString("rpt"));
    r.push_back(MmsValue::bitString(optFlds));
    if (optFlds.bit(1)) {
        r.push_back(MmsValue::unsignedInteger(7));
    }
    if (optFlds.bit(4)) {
        r.push_back(MmsValue::visibleString("LD/LLN0$DS"));
    }
    if (optFlds.bit(9)) {
        r.push_back(MmsValue::unsignedInteger(2));
        r.push_back(MmsValue::boolean(true));
    }
    r.push_back(MmsValue::bitString(inclusion));
    std::vector<size_t> included;
    for (size_t i = 0; i < inclusion.bitCount(); ++i) {
        if (inclusion.bit(i)) {
            included.push_back(i);
        }
    }
    if (optFlds.bit(5)) {
        for (size_t i : included) {
            r.push_back(MmsValue::visibleString("LD/GGIO1$ST$Ind" + std::to_string(i + 1) + "$stVal"));
        }
    }
    for (size_t i : included) {
        r.push_back(MmsValue::integer(static_cast<int64_t>(100 + i)));
    }
    if (optFlds.bit(3)) {
        for (size_t k = 0; k < included.size(); ++k) {
            r.push_back(MmsValue::bitString(bits(6, {1})));
        }
    }
    return report;
}

TEST(ClientReportDecodeTest, EveryCapturedReportDecodesWithTheFieldsItsOptFldsAnnounce) {
    for (const std::string capture : {"09-report-unbuffered.pcap", "10-report-buffered.pcap"}) {
        const auto reports = capturedReports(capture);
        ASSERT_GE(reports.size(), 5u) << capture;
        const bool buffered =
            capture.find("buffered") != std::string::npos && capture.find("unbuffered") == std::string::npos;
        for (auto [frame, received] : reports) {
            std::string why;
            const auto report = decodeReport(std::move(received), &why);
            ASSERT_TRUE(report) << capture << " frame " << frame << ": " << why;
            EXPECT_TRUE(report->seqNum && report->timeOfEntryMs && report->dataSetName && report->confRev);
            EXPECT_TRUE(report->hasDataReferences && report->hasReasons);
            EXPECT_EQ(report->bufOvfl.has_value(), buffered) << frame;
            EXPECT_EQ(report->entryId.has_value(), buffered) << frame;
            // Every included member has a reference and a value; every other member neither.
            for (size_t i = 0; i < report->dataReferences.size(); ++i) {
                const bool included = report->reasons[i] != IEC61850_REASON_NOT_INCLUDED;
                EXPECT_EQ(report->dataReferences[i].has_value(), included);
                EXPECT_EQ(MmsValue_getElement(&report->values, static_cast<int>(i)) != nullptr, included);
            }
        }
    }
}

TEST(ClientReportDecodeTest, UnbufferedDataChangeReportCarriesOnlyTheChangedMember) {
    const auto report = decodeReport(capturedReport("09-report-unbuffered.pcap", 41), nullptr);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->rptId, "Events1");
    EXPECT_EQ(*report->seqNum, 1u);
    EXPECT_EQ(*report->dataSetName, "simpleIOGenericIO/LLN0$Events");
    EXPECT_EQ(*report->confRev, 1u);
    ASSERT_EQ(MmsValue_getArraySize(&report->values), 4u);
    EXPECT_EQ(*report->dataReferences[0], "simpleIOGenericIO/GGIO1$ST$SPCSO1$stVal");
    EXPECT_TRUE(MmsValue_getBoolean(MmsValue_getElement(&report->values, 0)));
    EXPECT_EQ(report->reasons[0], IEC61850_REASON_DATA_CHANGE);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(MmsValue_getElement(&report->values, i), nullptr);
        EXPECT_FALSE(report->dataReferences[static_cast<size_t>(i)]);
        EXPECT_EQ(report->reasons[static_cast<size_t>(i)], IEC61850_REASON_NOT_INCLUDED);
    }

    const auto gi = decodeReport(capturedReport("09-report-unbuffered.pcap", 36), nullptr);
    ASSERT_TRUE(gi);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(gi->reasons[i], IEC61850_REASON_GI);
    }
    const auto integrity = decodeReport(capturedReport("09-report-unbuffered.pcap", 43), nullptr);
    ASSERT_TRUE(integrity);
    EXPECT_EQ(integrity->reasons[3], IEC61850_REASON_INTEGRITY);
}

TEST(ClientReportDecodeTest, BufferedReportCarriesOverflowEntryIdAndTimeOfEntry) {
    const auto report = decodeReport(capturedReport("10-report-buffered.pcap", 25), nullptr);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->rptId, "Measurements");
    EXPECT_EQ(*report->seqNum, 0u);
    EXPECT_TRUE(*report->bufOvfl);
    const std::vector<uint8_t> entryId = {0x00, 0x00, 0x01, 0xa2, 0x4f, 0x71, 0x1b, 0x94};
    EXPECT_EQ(std::vector<uint8_t>(report->entryId->octets().begin(), report->entryId->octets().end()),
              entryId);
    // 01 a4 43 93 ms of the day, day 0x3d41 since 1984.
    EXPECT_EQ(*report->timeOfEntryMs, (441763200000ull + 0x3d41ull * 86400000ull) + 0x01a44393ull);
    ASSERT_EQ(MmsValue_getArraySize(&report->values), 8u);
    EXPECT_EQ(*report->dataReferences[0], "simpleIOGenericIO/GGIO1$MX$AnIn1$mag$f");
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(&report->values, 0)), MMS_FLOAT);
    EXPECT_EQ(report->reasons[7], IEC61850_REASON_INTEGRITY);

    const auto next = decodeReport(capturedReport("10-report-buffered.pcap", 27), nullptr);
    ASSERT_TRUE(next);
    EXPECT_FALSE(*next->bufOvfl);
    EXPECT_EQ(*next->seqNum, 1u);
}

TEST(ClientReportDecodeTest, OptionalFieldsFollowTheReportsOwnOptFlds) {
    // No data references: values by member, references null.
    auto plain = decodeReport(handMadeReport(bits(10, {}), bits(3, {0, 2})), nullptr);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->seqNum || plain->dataSetName || plain->confRev || plain->subSeqNum);
    EXPECT_FALSE(plain->hasDataReferences || plain->hasReasons);
    EXPECT_FALSE(plain->dataReferences[0]);
    EXPECT_EQ(MmsValue_toInt64(MmsValue_getElement(&plain->values, 2)), 102);
    EXPECT_EQ(MmsValue_getElement(&plain->values, 1), nullptr);
    EXPECT_EQ(plain->reasons[0], IEC61850_REASON_UNKNOWN);

    // A segment: SubSeqNum and MoreSegmentsFollow come after ConfRev's place.
    auto segment = decodeReport(handMadeReport(bits(10, {1, 3, 4, 5, 9}), bits(3, {1})), nullptr);
    ASSERT_TRUE(segment);
    EXPECT_EQ(*segment->subSeqNum, 2u);
    EXPECT_TRUE(segment->moreSegmentsFollow);
    EXPECT_EQ(*segment->dataReferences[1], "LD/GGIO1$ST$Ind2$stVal");
    EXPECT_EQ(segment->reasons[1], IEC61850_REASON_DATA_CHANGE);
}

TEST(ClientReportDecodeTest, MalformedReportsAreRefusedWithAReason) {
    // Cut short at every element, one element too many, and a wrong type in every place: never a
    // report, never a crash.
    const InformationReport good = capturedReport("10-report-buffered.pcap", 25);
    for (size_t keep = 0; keep < good.results.size(); ++keep) {
        InformationReport cut = good;
        cut.results.resize(keep);
        std::string why;
        EXPECT_FALSE(decodeReport(std::move(cut), &why)) << keep;
        EXPECT_FALSE(why.empty());
    }
    InformationReport longer = good;
    longer.results.push_back(MmsValue::boolean(true));
    EXPECT_FALSE(decodeReport(std::move(longer), nullptr));
    for (size_t at = 0; at < 10; ++at) {
        InformationReport wrong = good;
        wrong.results[at] = MmsValue::structure({});
        EXPECT_FALSE(decodeReport(std::move(wrong), nullptr)) << at;
    }
    // Data references announced but an integer where a reference belongs.
    InformationReport badReference = handMadeReport(bits(10, {5}), bits(2, {0, 1}));
    badReference.results[3] = MmsValue::integer(1);
    EXPECT_FALSE(decodeReport(std::move(badReference), nullptr));
}

struct Delivered {
    std::vector<std::string> rcbs;
    int calls = 0;
};

void remember(void* parameter, ClientReport report) {
    auto* delivered = static_cast<Delivered*>(parameter);
    delivered->rcbs.push_back(ClientReport_getRcbReference(report));
    ++delivered->calls;
}

void rememberElsewhere(void* parameter, ClientReport report) {
    remember(parameter, report);
}

TEST(ClientReportHandlersTest, ReportsGoToTheHandlerOfTheirRptIdAndALaterHandlerReplacesTheFirst) {
    ReportHandlers handlers;
    Delivered first, second;
    handlers.deliver(capturedReport("09-report-unbuffered.pcap", 41));
    EXPECT_EQ(handlers.unclaimedReports(), 1u);

    handlers.install("simpleIOGenericIO/LLN0.RP.EventsRCB01", "Events1", remember, &first);
    handlers.deliver(capturedReport("09-report-unbuffered.pcap", 41));
    handlers.deliver(capturedReport("10-report-buffered.pcap", 25));  // RptID "Measurements": nobody's
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(first.rcbs, std::vector<std::string>{"simpleIOGenericIO/LLN0.RP.EventsRCB01"});
    EXPECT_EQ(handlers.unclaimedReports(), 2u);

    handlers.install("simpleIOGenericIO/LLN0.RP.EventsRCB01", "Events1", rememberElsewhere, &second);
    handlers.deliver(capturedReport("09-report-unbuffered.pcap", 43));
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);

    handlers.uninstall("simpleIOGenericIO/LLN0.RP.EventsRCB01");
    handlers.deliver(capturedReport("09-report-unbuffered.pcap", 43));
    EXPECT_EQ(second.calls, 1);

    // Without RptID the block's own reference, in the form the server names it, claims the report.
    Delivered byBlock;
    handlers.install("LD/LLN0.RP.rcb", nullptr, remember, &byBlock);
    InformationReport named = handMadeReport(bits(10, {}), bits(3, {0}));
    named.results[0] = MmsValue::visibleString("LD/LLN0$RP$rcb");
    handlers.deliver(std::move(named));
    EXPECT_EQ(byBlock.calls, 1);

    InformationReport broken = handMadeReport(bits(10, {}), bits(3, {0}));
    broken.results.pop_back();
    handlers.deliver(std::move(broken));
    EXPECT_EQ(handlers.malformedReports(), 1u);
}

}  // namespace
}  // namespace korvan::test
