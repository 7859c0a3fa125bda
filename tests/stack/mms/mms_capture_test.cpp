// Every MMS PDU of every reference capture decodes into our types and, where our encoder makes the
// same choices as the captured peers, encodes back to the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <variant>

#include "hex.h"
#include "iso_unwrap.h"
#include "mms/codec.h"
#include "mms_value.h"

namespace {

using namespace iecstack;
using namespace iecstack::mms;
using korvan::test::Conversation;
using korvan::test::MmsRecord;
using korvan::test::readConversations;
using korvan::test::referenceCaptures;
using korvan::test::toHex;

std::string nameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string where(const std::string& capture, uint32_t frame) {
    return capture.substr(0, capture.find('-')) + "#" + std::to_string(frame);
}

// PDUs we decode but do not write back byte for byte, and why.
const std::map<std::string, std::string> kEncodedDifferently = {
    {"07#33", "the echoed association-specific name comes constructed; we write the primitive form"},
};

// Hand-made PDUs of capture 18 that are meant not to decode; the server's reject follows them.
// 18#20 ends in the service tag 9f 7f with no length at all.
const std::map<std::string, Error> kUndecodable = {
    {"18#20", Error::Malformed},
    {"18#23", Error::UnknownPduType},
};

struct Tally {
    size_t decoded = 0;
    size_t identical = 0;
};

void checkPdu(const std::string& capture, uint32_t frame, const Bytes& bytes, Tally& tally) {
    const std::string id = where(capture, frame);
    SCOPED_TRACE(id);
    auto result = decodePdu(bytes);
    const auto undecodable = kUndecodable.find(id);
    if (undecodable != kUndecodable.end()) {
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().failure.error, undecodable->second);
        return;
    }
    ASSERT_TRUE(result.ok()) << errorName(result.error().failure.error) << " / "
                             << ber::errorName(result.error().failure.berError) << "\n"
                             << toHex(bytes);
    ++tally.decoded;
    const Bytes encoded = encodePdu(*result);
    if (kEncodedDifferently.count(id) != 0) {
        EXPECT_NE(encoded, bytes) << "now encodes identically; drop it from kEncodedDifferently";
        auto again = decodePdu(encoded);
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(encodePdu(*again), encoded);
        return;
    }
    EXPECT_EQ(toHex(encoded), toHex(bytes));
    tally.identical += encoded == bytes ? 1 : 0;
}

TEST(MmsCaptures, EveryPduOfEveryCaptureDecodesAndEncodesBack) {
    const std::vector<std::string> captures = referenceCaptures();
    ASSERT_EQ(captures.size(), 20u);
    Tally tally;
    std::set<std::string> seenExceptions;
    for (const std::string& path : captures) {
        const std::string capture = nameOf(path);
        SCOPED_TRACE(capture);
        for (const Conversation& conversation : readConversations(capture)) {
            ASSERT_TRUE(conversation.error.empty()) << conversation.error;
            if (!conversation.initiateRequest.empty()) {
                checkPdu(capture, conversation.requestFrame, conversation.initiateRequest, tally);
            }
            if (!conversation.initiateResponse.empty()) {
                checkPdu(capture, conversation.responseFrame, conversation.initiateResponse, tally);
            }
            for (const MmsRecord& record : conversation.pdus) {
                checkPdu(capture, record.frame, record.pdu, tally);
                const std::string id = where(capture, record.frame);
                if (kEncodedDifferently.count(id) != 0 || kUndecodable.count(id) != 0) {
                    seenExceptions.insert(id);
                }
            }
        }
    }
    // Every exception listed above must still be there, or the list hides nothing any more.
    EXPECT_EQ(seenExceptions.size(), kEncodedDifferently.size() + kUndecodable.size());
    EXPECT_GT(tally.decoded, 300u);
    std::cout << tally.decoded << " captured PDUs decoded, " << tally.identical
              << " re-encoded identically\n";
}

const MmsRecord& at(const Conversation& conversation, uint32_t frame) {
    static const MmsRecord none;
    const MmsRecord* record = conversation.atFrame(frame);
    return record != nullptr ? *record : none;
}

TEST(MmsCaptures, OurRejectsMatchTheReferenceServer) {
    const auto conversations = readConversations("18-unsupported-service.pcap");
    ASSERT_FALSE(conversations.empty());
    const Conversation& c = conversations.front();
    // The captured server offered no file services; ours does, so its fileDirectory decodes.
    {
        auto request = decodePdu(at(c, 17u).pdu);
        ASSERT_TRUE(request.ok());
        const auto* confirmed = std::get_if<ConfirmedRequest>(&*request);
        ASSERT_NE(confirmed, nullptr);
        EXPECT_TRUE(std::holds_alternative<FileDirectoryRequest>(confirmed->service));
    }
    // rename, getCapabilityList: well formed, not provided.
    for (auto [requestFrame, rejectFrame] : {std::pair{11u, 12u}, {14u, 15u}}) {
        SCOPED_TRACE(requestFrame);
        auto request = decodePdu(at(c, requestFrame).pdu);
        ASSERT_TRUE(request.ok());
        const auto* confirmed = std::get_if<ConfirmedRequest>(&*request);
        ASSERT_NE(confirmed, nullptr);
        ASSERT_TRUE(std::holds_alternative<UnsupportedService>(confirmed->service));
        EXPECT_EQ(toHex(encodePdu(rejectUnrecognizedService(confirmed->invokeId))),
                  toHex(at(c, rejectFrame).pdu));
    }
    // Garbage: an invalid service tag, and a top-level tag that is no PDU.
    for (auto [requestFrame, rejectFrame] : {std::pair{20u, 21u}, {23u, 24u}}) {
        SCOPED_TRACE(requestFrame);
        auto request = decodePdu(at(c, requestFrame).pdu);
        ASSERT_FALSE(request.ok());
        EXPECT_EQ(toHex(encodePdu(rejectFor(request.error()))), toHex(at(c, rejectFrame).pdu));
    }
}

TEST(MmsCaptures, SegmentedNameListFollowsContinuation) {
    // 03b: 64977-byte response over eight TPDUs without moreFollows, then two more requests.
    const auto conversations = readConversations("03b-getnamelist-continuation-large-model.pcap");
    ASSERT_FALSE(conversations.empty());
    const Conversation& c = conversations.front();
    const Bytes& first = at(c, 29).pdu;
    EXPECT_EQ(first.size(), 64977u);
    auto response = decodePdu(first);
    ASSERT_TRUE(response.ok());
    const auto& names = std::get<GetNameListResponse>(std::get<ConfirmedResponse>(*response).service);
    EXPECT_TRUE(names.moreFollows);
    auto next = decodePdu(at(c, 31).pdu);
    ASSERT_TRUE(next.ok());
    const auto& request = std::get<GetNameListRequest>(std::get<ConfirmedRequest>(*next).service);
    EXPECT_EQ(request.continueAfter, names.identifiers.back());
    EXPECT_EQ(request.continueAfter, "GGIO26$MX$AnIn1");
}

TEST(MmsCaptures, ReportValuesReadThroughTheCFunctionsAsTheEngineReadsThem) {
    // 09#36, GI report: inclusion of all four members, boolean values, reason "general interrogation"
    // (bit 5 of the trigger bits); the engine walks it through the C functions only.
    const auto conversations = readConversations("09-report-unbuffered.pcap");
    ASSERT_FALSE(conversations.empty());
    auto decodedPdu = decodePdu(at(conversations.front(), 36).pdu);
    ASSERT_TRUE(decodedPdu.ok());
    const auto* unconfirmed = std::get_if<UnconfirmedPdu>(&*decodedPdu);
    ASSERT_NE(unconfirmed, nullptr);
    const auto& report = std::get<InformationReport>(unconfirmed->service);
    MmsValue* values = MmsValue_newArray();
    for (const MmsValue& value : report.results) {
        MmsValue_appendElement(values, MmsValue_clone(&value));
    }
    ASSERT_EQ(MmsValue_getArraySize(values), 1 + 1 + 1 + 1 + 1 + 1 + 1 + 4 + 4 + 4u);
    EXPECT_STREQ(MmsValue_toString(MmsValue_getElement(values, 0)), "Events1");
    MmsValue* inclusion = MmsValue_getElement(values, 6);
    EXPECT_EQ(MmsValue_getBitStringSize(inclusion), 4);
    EXPECT_EQ(MmsValue_getBitStringAsInteger(inclusion), 0xfu);
    MmsValue* reason = MmsValue_getElement(values, 15);
    EXPECT_EQ(MmsValue_getBitStringSize(reason), 6);
    EXPECT_EQ(MmsValue_getBitStringAsInteger(reason), 1u << 5);
    EXPECT_TRUE(MmsValue_getBitStringBit(reason, 5));
    EXPECT_GT(MmsValue_getBinaryTimeAsUtcMs(MmsValue_getElement(values, 3)), 1796601600000ull);
    MmsValue_delete(values);
}

}  // namespace
