// Hostile bytes at every ISO level: each gives a named error, never a crash or an out-of-bounds read
// (these tests run under the sanitizers).
#include <gtest/gtest.h>

#include <algorithm>

#include "capture.h"
#include "hex.h"
#include "iso/association_codec.h"
#include "iso/tpkt.h"
#include "iso_unwrap.h"

using namespace iecstack;
using namespace iecstack::iso;
using namespace korvan::test;

namespace {

// The session units (DT header removed) of one capture's first connection, keyed by frame.
Bytes unitAt(const std::string& capture, uint32_t frame) {
    const Capture c = readCapture(referenceCapture(capture));
    for (const TpktRecord& record : c.connections.at(0).records) {
        if (record.frame == frame) {
            auto tpdu = cotp::decodeTpdu(record.tpdu);
            return tpdu->data.toBytes();
        }
    }
    ADD_FAILURE() << "no frame " << frame;
    return {};
}

size_t find(const Bytes& haystack, const std::string& hex) {
    const Bytes needle = fromHex(hex);
    auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    EXPECT_NE(at, haystack.end()) << hex;
    return static_cast<size_t>(at - haystack.begin());
}

Bytes connectUnit() {
    return unitAt("01-association.pcap", 8);
}
Bytes acceptUnit() {
    return unitAt("01-association.pcap", 9);
}

// Runs every decoder that could meet these bytes; the point is that none of them misbehaves.
void decodeEverything(ByteView bytes) {
    (void)cotp::decodeTpdu(bytes);
    (void)session::decodeSpdu(bytes);
    (void)decodeConnectUnit(bytes);
    (void)decodeAcceptUnit(bytes);
    (void)decodeDataPhaseUnit(bytes, 3);
    (void)presentation::decodeUserData(bytes);
    (void)presentation::decodeAbort(bytes);
    (void)acse::decodeAcse(bytes);
}

}  // namespace

// --- truncation ------------------------------------------------------------------------------------

TEST(IsoTruncated, EveryPrefixOfTheAssociationUnitsIsAnError) {
    for (const Bytes& unit : {connectUnit(), acceptUnit()}) {
        for (size_t length = 0; length < unit.size(); ++length) {
            const ByteView prefix(unit.data(), length);
            EXPECT_FALSE(unit == connectUnit() ? decodeConnectUnit(prefix).ok()
                                               : decodeAcceptUnit(prefix).ok())
                << "prefix of " << length << " bytes accepted";
        }
    }
}

TEST(IsoTruncated, DataAndReleasePrefixes) {
    const Bytes data = unitAt("01-association.pcap", 11);
    for (size_t length = 4; length < data.size(); ++length) {
        EXPECT_FALSE(decodeDataPhaseUnit(ByteView(data.data(), length), 3).ok()) << length;
    }
    EXPECT_EQ(session::decodeSpdu(fromHex("09")).error(), Error::BadSpdu);
    EXPECT_EQ(cotp::decodeTpdu(fromHex("11 e0 00 00 00 01 00")).error(), Error::BadTpdu);
    EXPECT_EQ(cotp::decodeTpdu(fromHex("02")).error(), Error::BadTpdu);
}

// --- lengths past the end ------------------------------------------------------------------------------

TEST(IsoLengths, LengthFieldsReachingPastTheirContainer) {
    // COTP length indicator beyond the TPDU, CR parameter beyond the header.
    EXPECT_EQ(cotp::decodeTpdu(fromHex("06 f0 80")).error(), Error::BadTpdu);
    EXPECT_EQ(cotp::decodeTpdu(fromHex("09 e0 00 00 00 01 00 c1 05 00 01")).error(), Error::BadTpdu);
    // Session LI beyond the unit, a parameter beyond the SPDU, the two-octet LI form too large.
    EXPECT_EQ(session::decodeSpdu(fromHex("0d 40 05 06")).error(), Error::BadSpdu);
    EXPECT_EQ(session::decodeSpdu(fromHex("09 04 c1 09 61 00")).error(), Error::BadSpdu);
    EXPECT_EQ(session::decodeSpdu(fromHex("09 ff ff ff c1 00")).error(), Error::BadSpdu);
    EXPECT_EQ(session::decodeSpdu(fromHex("01 00 01 08 00")).error(), Error::BadSpdu);
    // Presentation user data whose PDV list claims more than the PPDU holds.
    EXPECT_EQ(presentation::decodeUserData(fromHex("61 09 30 20 02 01 03 a0 02 8b 00")).error(),
              Error::BadPpdu);
    EXPECT_EQ(acse::decodeAcse(fromHex("62 05 80 01 00")).error(), Error::BadApdu);
}

TEST(IsoLengths, AbsurdSizesAreRefusedBeforeBuffering) {
    TpktFramer framer;
    framer.feed(fromHex("03 00 00 03"));
    EXPECT_EQ(framer.next().error(), Error::BadTpktLength);

    TpktFramer wrongVersion;
    wrongVersion.feed(fromHex("04 00 00 07 02 f0 80"));
    EXPECT_EQ(wrongVersion.next().error(), Error::BadTpktVersion);

    // A unit that keeps growing past the limit across TPDUs.
    cotp::TsduReassembler reassembler(100);
    const Bytes chunk(60, 0x55);
    cotp::Tpdu dt;
    dt.data = chunk;
    EXPECT_TRUE(reassembler.add(dt).ok());
    EXPECT_EQ(reassembler.add(dt).error(), Error::TsduTooLarge);
    EXPECT_EQ(reassembler.pending(), 0u) << "the partial unit must be dropped, not kept growing";
}

TEST(IsoFraming, TpktsSplitAtEveryByteBoundary) {
    const Bytes stream = fromHex(
        "03 00 00 16 02 f0 80 01 00 01 00 61 09 30 07 02 01 03 a0 02 8b 00"
        " 03 00 00 07 02 f0 80");
    TpktFramer framer;
    std::vector<Bytes> payloads;
    for (uint8_t byte : stream) {
        framer.feed(ByteView(&byte, 1));
        for (auto next = framer.next(); next.ok() && next->has_value(); next = framer.next()) {
            payloads.push_back(**next);
        }
    }
    ASSERT_EQ(payloads.size(), 2u);
    EXPECT_EQ(payloads[0].size(), 18u);
    EXPECT_EQ(toHex(payloads[1]), "02 f0 80");
    EXPECT_EQ(framer.buffered(), 0u);
}

// --- wrong tags and wrong PDUs ---------------------------------------------------------------------

TEST(IsoWrongPdus, WrongKindsAndContexts) {
    Bytes connect = connectUnit();
    // An ACCEPT where a CONNECT must come, and the reverse.
    EXPECT_EQ(decodeConnectUnit(acceptUnit()).error(), Error::UnexpectedSpdu);
    EXPECT_EQ(decodeAcceptUnit(connect).error(), Error::UnexpectedSpdu);
    EXPECT_EQ(session::decodeSpdu(fromHex("42 00")).error(), Error::UnexpectedSpdu);
    EXPECT_EQ(cotp::decodeTpdu(fromHex("02 10 80")).error(), Error::UnexpectedTpdu);

    // CP-type as a SEQUENCE instead of a SET.
    Bytes notASet = connect;
    notASet[find(connect, "31 81 99 a0 03")] = 0x30;
    EXPECT_EQ(decodeConnectUnit(notASet).error(), Error::BadPpdu);

    // The MMS abstract syntax changed (1.0.9506.2.1 -> .2.2): no MMS context left to accept.
    Bytes noMms = connect;
    noMms[find(connect, "28 ca 22 02 01") + 4] = 0x02;
    EXPECT_EQ(decodeConnectUnit(noMms).error(), Error::ContextRejected);

    // AARQ replaced by an unknown application tag.
    Bytes notAarq = connect;
    notAarq[find(connect, "60 55 a1 07")] = 0x65;
    EXPECT_EQ(decodeConnectUnit(notAarq).error(), Error::UnexpectedApdu);

    // MMS data in the ACSE context, and in one that was never proposed.
    EXPECT_EQ(decodeDataPhaseUnit(fromHex("01 00 01 00 61 09 30 07 02 01 01 a0 02 8b 00"), 3).error(),
              Error::UnknownContext);
    EXPECT_EQ(decodeDataPhaseUnit(fromHex("01 00 01 00 40 02 8b 00"), 3).error(), Error::BadPpdu);
}

TEST(IsoWrongPdus, NegativeAssociationResponse) {
    acse::AssociateResponse refusal;
    refusal.result = 1;
    refusal.diagnostic = static_cast<int64_t>(acse::AssociateDiagnostic::AuthenticationFailure);
    ConnectIndication indication;
    indication.contextResults = {presentation::ContextResult::Acceptance,
                                 presentation::ContextResult::Acceptance};
    const Bytes unit = encodeAcceptUnit(indication, refusal);
    auto decoded = decodeAcceptUnit(unit);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->response.result, 1);
    EXPECT_EQ(decoded->response.diagnostic, 13);
    EXPECT_TRUE(decoded->response.userData.empty());
}

// --- nesting ------------------------------------------------------------------------------------------

TEST(IsoNesting, DeeplyNestedElementsInsideTheConnectUnit) {
    // An unknown constructed element nested 10000 deep inside the AARQ's user information, where the
    // decoder has to walk to find the EXTERNAL.
    ber::Writer deep;
    for (int i = 0; i < 10000; ++i) {
        deep.begin(ber::ctxc(0));
    }
    for (int i = 0; i < 10000; ++i) {
        deep.end();
    }
    ber::Writer nestedAarq;
    nestedAarq.constructed(ber::application(0), [&] {
        nestedAarq.constructed(ber::ctxc(1), [&] {
            nestedAarq.oid(ber::tags::ObjectIdentifier, {1, 0, 9506, 2, 3});
        });
        nestedAarq.constructed(ber::ctxc(30), [&] { nestedAarq.raw(deep.bytes()); });
    });
    EXPECT_EQ(acse::decodeAcse(nestedAarq.bytes()).error(), Error::BadApdu);

    const Bytes cp = presentation::encodeConnect({}, nestedAarq.bytes());
    const Bytes unit = session::encodeConnect({}, cp);
    EXPECT_FALSE(decodeConnectUnit(unit).ok());
    // The presentation layer itself refuses nesting beyond its own few levels.
    ber::Writer deepCp;
    deepCp.constructed(ber::tags::Set, [&] { deepCp.raw(deep.bytes()); });
    EXPECT_EQ(presentation::decodeConnect(deepCp.bytes()).error(), Error::BadPpdu);
}

// --- mutations ---------------------------------------------------------------------------------------

TEST(IsoMutations, EverySingleByteChangeOfTheCapturedUnitsDecodesSafely) {
    // Not a statement about results, only that each mutated unit comes back as a value or an error.
    for (const Bytes& original : {connectUnit(), acceptUnit(), unitAt("16-client-abort.pcap", 11),
                                  unitAt("01-association.pcap", 17), unitAt("05-read-types.pcap", 66)}) {
        for (size_t i = 0; i < original.size(); ++i) {
            for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7f}, uint8_t{0x80}, uint8_t{0xff},
                                  static_cast<uint8_t>(original[i] ^ 0x20)}) {
                Bytes mutated = original;
                mutated[i] = value;
                decodeEverything(mutated);
            }
        }
    }
}
