// The file and journal services against byte strings: each PDU decodes to what it says and encodes
// back to the same bytes, whichever role sent it; then damaged input, grouped by the kind of damage.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "hex.h"
#include "mms/codec.h"
#include "wire_text.h"

namespace {

using namespace iecstack;
using namespace iecstack::mms;
using korvan::test::toHex;
using korvan::test::wire;

// 2024-01-02 03:04:05.678 UTC
constexpr uint64_t kT1 = 1704164645678;

template <typename Service, typename Confirmed>
Service roundTrip(const char* text) {
    const Bytes bytes = wire(text);
    auto decoded = decodePdu(bytes);
    EXPECT_TRUE(decoded.ok()) << text << " -> " << (decoded.ok() ? "" : describe(decoded.error()));
    if (!decoded.ok()) {
        return Service{};
    }
    EXPECT_EQ(toHex(encodePdu(*decoded)), toHex(bytes));
    const auto* pdu = std::get_if<Confirmed>(&*decoded);
    EXPECT_NE(pdu, nullptr);
    const Service* service = pdu ? std::get_if<Service>(&pdu->service) : nullptr;
    EXPECT_NE(service, nullptr) << text;
    return service ? *service : Service{};
}

template <typename Service>
Service request(const char* text) {
    return roundTrip<Service, ConfirmedRequest>(text);
}

template <typename Service>
Service response(const char* text) {
    return roundTrip<Service, ConfirmedResponse>(text);
}

Error failureOf(const char* text) {
    auto result = decodePdu(wire(text));
    EXPECT_FALSE(result.ok()) << text;
    return result.ok() ? Error::Malformed : result.error().failure.error;
}

const char* const kDirectoryResponse =
    R"(a1 59 02 01 01 bf 4d 53 a0 4e
       30 2f a0 12 19 10 "/COMTRADE/r1.cfg" a1 19 80 02 01 2c 81 13 "20240102030405.678Z"
       30 1b a0 12 19 10 "/COMTRADE/r1.dat" a1 05 80 03 00 80 00
       81 01 01)";

const char* const kJournalResponse =
    R"(a1 60 02 01 09 bf 41 5a a0 55
       30 53 80 08 00 00 00 00 00 00 00 05 a1 00
          a2 45 80 06 00 a8 8b 2e 39 13
             a2 3b a1 39
                30 23 80 1c "BAY1MEAS/GGIO1$ST$Ind1$stVal" a1 03 83 01 01
                30 12 80 0a "ReasonCode" a1 04 84 02 01 40
       81 01 01)";

TEST(FileCodec, DirectoryListingWithContinuation) {
    auto asked = request<FileDirectoryRequest>(R"(a0 13 02 01 01 bf 4d 0d a0 0b 19 09 "/COMTRADE")");
    EXPECT_EQ(asked.fileSpecification, "/COMTRADE");
    EXPECT_FALSE(asked.continueAfter);
    auto next = request<FileDirectoryRequest>(
        R"(a0 26 02 01 02 bf 4d 20 a0 0b 19 09 "/COMTRADE" a1 11 19 0f "/COMTRADE/a.cfg")");
    EXPECT_EQ(next.continueAfter, "/COMTRADE/a.cfg");
    auto root = request<FileDirectoryRequest>("a0 06 02 01 03 bf 4d 00");
    EXPECT_FALSE(root.fileSpecification);

    auto listing = response<FileDirectoryResponse>(kDirectoryResponse);
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[0].fileName, "/COMTRADE/r1.cfg");
    EXPECT_EQ(listing.entries[0].attributes.sizeOfFile, 300u);
    EXPECT_EQ(listing.entries[0].attributes.lastModifiedMs, kT1);
    EXPECT_EQ(listing.entries[1].attributes.sizeOfFile, 0x8000u);
    EXPECT_FALSE(listing.entries[1].attributes.lastModifiedMs);
    EXPECT_TRUE(listing.moreFollows);
    // Without the flag the listing is complete (the opposite default of FileRead's).
    auto last = response<FileDirectoryResponse>("a1 08 02 01 01 bf 4d 02 a0 00");
    EXPECT_FALSE(last.moreFollows);
}

TEST(FileCodec, OpenReadCloseDelete) {
    auto open =
        request<FileOpenRequest>(R"(a0 1d 02 01 04 bf 48 17 a0 12 19 10 "/COMTRADE/r1.cfg" 81 01 00)");
    EXPECT_EQ(open.fileName, "/COMTRADE/r1.cfg");
    EXPECT_EQ(open.initialPosition, 0u);
    auto opened = response<FileOpenResponse>(
        R"(a1 24 02 01 04 bf 48 1e 80 01 01 a1 19 80 02 01 2c 81 13 "20240102030405.678Z")");
    EXPECT_EQ(opened.frsmId, 1);
    EXPECT_EQ(opened.attributes.sizeOfFile, 300u);

    EXPECT_EQ(request<FileReadRequest>("a0 07 02 01 05 9f 49 01 01").frsmId, 1);
    auto chunk = response<FileReadResponse>(R"(a1 0e 02 01 05 bf 49 08 80 03 "abc" 81 01 00)");
    EXPECT_EQ(std::string(chunk.data.begin(), chunk.data.end()), "abc");
    EXPECT_FALSE(chunk.moreFollows);
    // Absent means more follows: a client that took it for the end would keep a truncated file.
    auto middle = decodePdu(wire(R"(a1 0b 02 01 05 bf 49 05 80 03 "abc")"));
    ASSERT_TRUE(middle.ok());
    EXPECT_TRUE(std::get<FileReadResponse>(std::get<ConfirmedResponse>(*middle).service).moreFollows);

    EXPECT_EQ(request<FileCloseRequest>("a0 07 02 01 06 9f 4a 01 01").frsmId, 1);
    response<FileCloseResponse>("a1 06 02 01 06 9f 4a 00");
    EXPECT_EQ(request<FileDeleteRequest>(R"(a0 18 02 01 07 bf 4c 12 19 10 "/COMTRADE/r1.cfg")").fileName,
              "/COMTRADE/r1.cfg");
    response<FileDeleteResponse>("a1 06 02 01 07 9f 4c 00");
}

TEST(FileCodec, NamesOfSeveralComponentsAreJoined) {
    auto open = decodePdu(wire(R"(a0 1a 02 01 04 bf 48 14 a0 0f 19 08 "COMTRADE" 19 03 "a.b" 81 01 00)"));
    ASSERT_TRUE(open.ok());
    EXPECT_EQ(std::get<FileOpenRequest>(std::get<ConfirmedRequest>(*open).service).fileName, "COMTRADE/a.b");
}

TEST(FileCodec, DamagedInput) {
    // A directory entry that is no SEQUENCE, a name part that is no string, an attribute time that
    // is no time, an entry without its attributes.
    EXPECT_EQ(failureOf("a1 0c 02 01 01 bf 4d 06 a0 04 31 02 a0 00"), Error::UnexpectedTag);
    EXPECT_EQ(failureOf("a0 0b 02 01 01 bf 4d 05 a0 03 02 01 01"), Error::UnexpectedTag);
    EXPECT_EQ(failureOf(R"(a1 14 02 01 04 bf 48 0e 80 01 01 a1 09 80 01 01 81 04 "2024")"), Error::BadTime);
    EXPECT_EQ(failureOf(R"(a1 0e 02 01 01 bf 4d 08 a0 06 30 04 a0 02 19 00)"), Error::MissingElement);
    // A handle wider than 32 bits.
    EXPECT_EQ(failureOf("a0 0b 02 01 05 9f 49 05 01 00 00 00 00"), Error::BadInteger);
    // Cut short at every byte: always a named error, never a crash.
    const Bytes whole = wire(kDirectoryResponse);
    for (size_t n = 0; n < whole.size(); ++n) {
        EXPECT_FALSE(decodePdu(ByteView(whole.data(), n)).ok()) << n;
    }
}

TEST(FileCodec, GeneralizedTimes) {
    EXPECT_EQ(generalizedTimeFromMs(kT1), "20240102030405.678Z");
    EXPECT_EQ(msFromGeneralizedTime("20240102030405.678Z"), kT1);
    EXPECT_EQ(msFromGeneralizedTime("20240102030405Z"), kT1 - 678);
    EXPECT_EQ(msFromGeneralizedTime("20240102030405.6"), kT1 - 78);
    EXPECT_EQ(msFromGeneralizedTime("19700101000000Z"), 0u);
    for (const char* bad : {"", "2024", "20241302030405Z", "20240102250405Z", "20240102030405.Z",
                            "20240102030405Z+", "2024010203040x"}) {
        EXPECT_FALSE(msFromGeneralizedTime(bad)) << bad;
    }
}

TEST(JournalCodec, QueriesByTimeAndAfterAnEntry) {
    auto byTime = request<ReadJournalRequest>(
        R"(a0 37 02 01 08 bf 41 31 a0 1b a1 19 1a 08 "BAY1MEAS" 1a 0d "LLN0$EventLog"
           a1 08 80 06 00 a8 8b 2e 39 13 a2 08 80 06 00 a8 8f 16 39 13)");
    EXPECT_EQ(byTime.journalName.domainId, "BAY1MEAS");
    EXPECT_EQ(byTime.journalName.itemId, "LLN0$EventLog");
    EXPECT_EQ(byTime.startingTimeMs, kT1);
    EXPECT_EQ(byTime.endingTimeMs, kT1 + 1000);
    EXPECT_FALSE(byTime.entryToStartAfter);

    auto after = request<ReadJournalRequest>(
        R"(a0 37 02 01 09 bf 41 31 a0 1b a1 19 1a 08 "BAY1MEAS" 1a 0d "LLN0$EventLog"
           a5 12 80 06 00 a8 8b 2e 39 13 81 08 00 00 00 00 00 00 00 05)");
    ASSERT_TRUE(after.entryToStartAfter);
    EXPECT_EQ(after.entryToStartAfter->timeMs, kT1);
    EXPECT_EQ(toHex(after.entryToStartAfter->entryId), "00 00 00 00 00 00 00 05");
    EXPECT_FALSE(after.startingTimeMs);
}

TEST(JournalCodec, EntriesCarryTheirIdTimeAndVariables) {
    auto answer = response<ReadJournalResponse>(kJournalResponse);
    ASSERT_EQ(answer.entries.size(), 1u);
    const JournalEntry& entry = answer.entries[0];
    EXPECT_EQ(toHex(entry.entryId), "00 00 00 00 00 00 00 05");
    EXPECT_EQ(entry.occurrenceTimeMs, kT1);
    ASSERT_EQ(entry.variables.size(), 2u);
    EXPECT_EQ(entry.variables[0].tag, "BAY1MEAS/GGIO1$ST$Ind1$stVal");
    EXPECT_EQ(entry.variables[0].value, MmsValue::boolean(true));
    EXPECT_EQ(entry.variables[1].tag, "ReasonCode");
    EXPECT_EQ(entry.variables[1].value.bitCount(), 7u);
    EXPECT_TRUE(entry.variables[1].value.bit(1));
    EXPECT_TRUE(answer.moreFollows);
}

TEST(JournalCodec, DamagedInput) {
    // A time of day of five octets, and one past midnight.
    EXPECT_EQ(
        failureOf(
            R"(a0 1e 02 01 08 bf 41 18 a0 0d a1 0b 1a 02 "LD" 1a 05 "L$Log" a1 07 80 05 00 00 00 00 00)"),
        Error::BadTime);
    EXPECT_EQ(
        failureOf(
            R"(a0 1f 02 01 08 bf 41 19 a0 0d a1 0b 1a 02 "LD" 1a 05 "L$Log" a1 08 80 06 05 26 5c 00 00 01)"),
        Error::BadTime);
    // A start that is neither a time nor an entry.
    EXPECT_EQ(failureOf(R"(a0 1b 02 01 08 bf 41 15 a0 0d a1 0b 1a 02 "LD" 1a 05 "L$Log" a1 04 82 02 00 00)"),
              Error::UnexpectedTag);
    // A variable without its value.
    EXPECT_EQ(failureOf(R"(a1 22 02 01 09 bf 41 1c a0 1a 30 18 80 01 01 a1 00 a2 11 80 04 00 00 00 00
                           a2 09 a1 07 30 05 80 03 "tag")"),
              Error::MissingElement);
    const Bytes whole = wire(kJournalResponse);
    for (size_t n = 0; n < whole.size(); ++n) {
        EXPECT_FALSE(decodePdu(ByteView(whole.data(), n)).ok()) << n;
    }
}

}  // namespace
