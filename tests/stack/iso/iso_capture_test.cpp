// Every ISO-level PDU of the reference captures decodes, and where our encoders make the same
// choices as the capturing peers they reproduce the bytes exactly.
#include <gtest/gtest.h>

#include "capture.h"
#include "hex.h"
#include "iso/association_codec.h"
#include "iso/tpkt.h"
#include "iso_unwrap.h"

using namespace iecstack;
using namespace iecstack::iso;
using namespace korvan::test;

namespace {

const TpktRecord* recordAt(const CapturedConnection& connection, uint32_t frame) {
    for (const TpktRecord& record : connection.records) {
        if (record.frame == frame) {
            return &record;
        }
    }
    return nullptr;
}

// The session unit of a single-TPDU record (the DT header stripped).
Bytes unitOf(const TpktRecord& record) {
    auto tpdu = cotp::decodeTpdu(record.tpdu);
    EXPECT_TRUE(tpdu.ok());
    EXPECT_EQ(tpdu->kind, cotp::TpduKind::Data);
    EXPECT_TRUE(tpdu->endOfTsdu);
    return tpdu->data.toBytes();
}

// Rebuilds the whole TPKT stream of a unit the way our sending side frames it.
Bytes framed(const Bytes& unit) {
    return cotp::encodeDataTpkts(unit, 8192);
}

Bytes wire(const TpktRecord& record) {
    return encodeTpkt(record.tpdu);
}

CapturedConnection firstConnection(const std::string& name) {
    Capture capture = readCapture(referenceCapture(name));
    EXPECT_TRUE(capture.error.empty()) << capture.error;
    EXPECT_FALSE(capture.connections.empty());
    return capture.connections.empty() ? CapturedConnection{} : capture.connections.front();
}

}  // namespace

TEST(IsoCaptures, EveryCaptureUnwrapsToMmsPdus) {
    const auto paths = referenceCaptures();
    ASSERT_GE(paths.size(), 20u);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const Capture capture = readCapture(path);
        ASSERT_TRUE(capture.error.empty()) << capture.error;
        ASSERT_FALSE(capture.connections.empty());
        for (const CapturedConnection& connection : capture.connections) {
            const Conversation conversation = unwrapConnection(connection);
            EXPECT_TRUE(conversation.error.empty()) << conversation.error;
            ASSERT_GE(conversation.events.size(), 3u);
            EXPECT_EQ(conversation.events[0], "CR");
            EXPECT_EQ(conversation.events[1], "CC");
            EXPECT_EQ(conversation.events[2], "CONNECT");
            ASSERT_FALSE(conversation.initiateRequest.empty());
            EXPECT_EQ(conversation.initiateRequest[0], 0xa8);
            // The refused password association (19, first connection) ends without any answer.
            if (!conversation.initiateResponse.empty()) {
                EXPECT_EQ(conversation.initiateResponse[0], 0xa9);
            }
            for (const MmsRecord& record : conversation.pdus) {
                ASSERT_FALSE(record.pdu.empty());
            }
        }
    }
}

TEST(IsoCaptures, FramesAndDirectionsMatchTheCaptureNotes) {
    const auto association = readConversations("01-association.pcap");
    ASSERT_EQ(association.size(), 1u);
    const Conversation& c = association[0];
    EXPECT_EQ(c.requestFrame, 8u);
    EXPECT_EQ(c.responseFrame, 9u);
    const std::vector<std::string> events{"CR",   "CC",   "CONNECT", "ACCEPT", "DATA",
                                          "DATA", "DATA", "DATA",    "FINISH", "DISCONNECT"};
    EXPECT_EQ(c.events, events);
    ASSERT_NE(c.atFrame(14), nullptr);
    EXPECT_EQ(toHex(c.atFrame(14)->pdu), "8b 00");
    EXPECT_EQ(c.atFrame(14)->direction, Direction::ToServer);
    EXPECT_EQ(toHex(c.atFrame(15)->pdu), "8c 00");
    EXPECT_EQ(c.atFrame(15)->direction, Direction::ToClient);

    // Two associations in one file, interleaved in time.
    EXPECT_EQ(readConversations("15-control-refused.pcap").size(), 2u);

    const auto abort = readConversations("16-client-abort.pcap");
    EXPECT_EQ(abort[0].events.back(), "ABORT");
    // The server vanished without any ISO goodbye.
    const auto closed = readConversations("17-server-closes-connection.pcap");
    EXPECT_EQ(closed[0].events.back(), "DATA");
}

TEST(IsoCaptures, SegmentedResponseIsReassembledAtItsLastFrame) {
    const auto conversations = readConversations("03b-getnamelist-continuation-large-model.pcap");
    ASSERT_EQ(conversations.size(), 1u);
    const MmsRecord* response = conversations[0].atFrame(29);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->pdu.size(), 64977u - 0u);
    // Nothing was delivered for the intermediate fragments.
    EXPECT_EQ(conversations[0].atFrame(15), nullptr);
    EXPECT_EQ(conversations[0].atFrame(27), nullptr);
}

// --- re-encoding ---------------------------------------------------------------------------------

TEST(IsoReencode, TransportConnectionMatchesTheInitiator) {
    const CapturedConnection connection = firstConnection("01-association.pcap");
    cotp::CotpConnect cr;
    cr.sourceRef = 1;
    cr.tpduSizeCode = cotp::kTpduSizeCode8192;
    cr.callingTsap = {0x00, 0x01};
    cr.calledTsap = {0x00, 0x01};
    EXPECT_EQ(toHex(encodeTpkt(cotp::encodeConnectionRequest(cr))), toHex(wire(*recordAt(connection, 4))));

    auto request = cotp::decodeTpdu(recordAt(connection, 4)->tpdu);
    ASSERT_TRUE(request.ok());
    EXPECT_EQ(request->kind, cotp::TpduKind::ConnectionRequest);
    // Our responder's answer to the captured request is the captured answer.
    auto confirm = cotp::confirmFor(request->connect, cotp::kTpduSizeCode8192);
    ASSERT_TRUE(confirm.ok());
    EXPECT_EQ(toHex(encodeTpkt(cotp::encodeConnectionConfirm(*confirm))),
              toHex(wire(*recordAt(connection, 6))));
    auto decoded = cotp::decodeTpdu(recordAt(connection, 6)->tpdu);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->kind, cotp::TpduKind::ConnectionConfirm);
    EXPECT_EQ(decoded->connect.tpduSizeCode, cotp::kTpduSizeCode8192);

    // Size negotiation: lowered to our maximum, absent means 128, classes above 0 are refused.
    EXPECT_EQ(cotp::confirmFor(request->connect, 0x0a)->tpduSizeCode, 0x0a);
    cotp::CotpConnect plain = request->connect;
    plain.tpduSizeCode.reset();
    EXPECT_EQ(cotp::confirmFor(plain, cotp::kTpduSizeCode8192)->tpduSizeCode, cotp::kDefaultTpduSizeCode);
    plain.classOption = 0x20;
    EXPECT_EQ(cotp::confirmFor(plain, cotp::kTpduSizeCode8192).error(), Error::UnsupportedClass);
}

TEST(IsoReencode, AssociationRequestAndResponseAreByteIdentical) {
    for (const char* name : {"01-association.pcap", "03a-getnamelist-continuation-small-pdu.pcap"}) {
        SCOPED_TRACE(name);
        const CapturedConnection connection = firstConnection(name);
        const Bytes request = unitOf(*recordAt(connection, 8));
        auto indication = decodeConnectUnit(request);
        ASSERT_TRUE(indication.ok()) << errorName(indication.error());
        EXPECT_EQ(indication->acseContextId, 1);
        EXPECT_EQ(indication->mmsContextId, 3);
        ASSERT_TRUE(indication->request.calling.has_value());
        EXPECT_EQ(indication->request.calling->aeQualifier, 12);
        EXPECT_FALSE(indication->request.password.has_value());

        AssociationParameters defaults;
        EXPECT_EQ(toHex(framed(encodeConnectUnit(defaults, indication->request.userData))),
                  toHex(wire(*recordAt(connection, 8))));

        const Bytes response = unitOf(*recordAt(connection, 9));
        auto confirmation = decodeAcceptUnit(response);
        ASSERT_TRUE(confirmation.ok()) << errorName(confirmation.error());
        EXPECT_EQ(confirmation->response.result, 0);
        EXPECT_EQ(toHex(framed(encodeAcceptUnit(*indication, confirmation->response))),
                  toHex(wire(*recordAt(connection, 9))));
    }
}

TEST(IsoReencode, PasswordAuthenticationRequest) {
    Capture capture = readCapture(referenceCapture("19-association-password-auth.pcap"));
    ASSERT_EQ(capture.connections.size(), 2u);
    const struct {
        const CapturedConnection& connection;
        uint32_t frame;
        const char* password;
    } cases[] = {{capture.connections[0], 8, "wrongpass"}, {capture.connections[1], 19, "user1@testpw"}};
    for (const auto& c : cases) {
        const Bytes unit = unitOf(*recordAt(c.connection, c.frame));
        auto indication = decodeConnectUnit(unit);
        ASSERT_TRUE(indication.ok());
        EXPECT_EQ(indication->request.password, std::string(c.password));
        AssociationParameters parameters;
        parameters.password = c.password;
        EXPECT_EQ(toHex(framed(encodeConnectUnit(parameters, indication->request.userData))),
                  toHex(wire(*recordAt(c.connection, c.frame))));
    }
}

TEST(IsoReencode, ReleaseAndAbortUnits) {
    const CapturedConnection association = firstConnection("01-association.pcap");
    EXPECT_EQ(toHex(framed(encodeReleaseRequestUnit(1))), toHex(wire(*recordAt(association, 17))));
    EXPECT_EQ(toHex(framed(encodeReleaseResponseUnit(1))), toHex(wire(*recordAt(association, 18))));
    const Bytes releaseRequest = unitOf(*recordAt(association, 17));
    auto request = decodeDataPhaseUnit(releaseRequest, 3);
    ASSERT_TRUE(request.ok());
    EXPECT_EQ(request->kind, UnitKind::ReleaseRequest);
    const Bytes releaseResponse = unitOf(*recordAt(association, 18));
    auto response = decodeDataPhaseUnit(releaseResponse, 3);
    EXPECT_EQ(response->kind, UnitKind::ReleaseResponse);

    const CapturedConnection aborted = firstConnection("16-client-abort.pcap");
    EXPECT_EQ(toHex(framed(encodeAbortUnit(1))), toHex(wire(*recordAt(aborted, 11))));
    const Bytes abortUnit = unitOf(*recordAt(aborted, 11));
    auto abort = decodeDataPhaseUnit(abortUnit, 3);
    EXPECT_EQ(abort->kind, UnitKind::Abort);
}

TEST(IsoReencode, EveryDataPhaseFrameOfEveryCapture) {
    // Includes the 64977-byte response of 03b, which must come out as the same eight TPDUs.
    size_t units = 0;
    for (const std::string& path : referenceCaptures()) {
        SCOPED_TRACE(path);
        const Capture capture = readCapture(path);
        for (const CapturedConnection& connection : capture.connections) {
            Bytes pending[2];
            cotp::TsduReassembler reassembler[2]{cotp::TsduReassembler(1 << 20),
                                                 cotp::TsduReassembler(1 << 20)};
            for (const TpktRecord& record : connection.records) {
                const int side = record.direction == Direction::ToServer ? 0 : 1;
                auto tpdu = cotp::decodeTpdu(record.tpdu);
                ASSERT_TRUE(tpdu.ok());
                if (tpdu->kind != cotp::TpduKind::Data) {
                    continue;
                }
                const Bytes frame = wire(record);
                pending[side].insert(pending[side].end(), frame.begin(), frame.end());
                auto unit = reassembler[side].add(*tpdu);
                ASSERT_TRUE(unit.ok());
                if (!unit->has_value()) {
                    continue;
                }
                auto incoming = decodeDataPhaseUnit(**unit, 3);
                if (incoming.ok() && incoming->kind == UnitKind::Data) {
                    EXPECT_EQ(toHex(framed(encodeDataUnit(3, incoming->mmsPdu))), toHex(pending[side]))
                        << "frame " << record.frame;
                    ++units;
                }
                pending[side].clear();
            }
        }
    }
    EXPECT_GT(units, 300u);
}

TEST(IsoReencode, SessionLengthsAbove254UseTheThreeOctetForm) {
    // Long AP titles or passwords push the CONNECT past one-octet lengths.
    const Bytes userData(300, 0x5a);
    const Bytes spdu = session::encodeConnect({}, userData);
    EXPECT_EQ(toHex(ByteView(spdu.data(), 4)), "0d ff 01 44");
    auto decoded = session::decodeSpdu(spdu);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->userData, ByteView(userData));
    EXPECT_EQ(toHex(decoded->callingSelector), "00 01");
}
