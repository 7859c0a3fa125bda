// The simulator over real TCP on the loopback interface: the sample model served to our own
// initiator, PDU-size negotiation with continuation, several clients at once, and peers that
// misbehave while others are being served.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture.h"
#include "mms_test_client.h"
#include "server/simulated_server.h"

using namespace iecstack;
using namespace iecstack::server;
using namespace korvan::test;
using namespace std::chrono_literals;

namespace {

const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

std::unique_ptr<SimulatedServer> startSample(SimulatedServer::Options options = {}) {
    std::string error;
    auto ied = SimulatedServer::start(kSample, options, &error);
    EXPECT_TRUE(ied) << error;
    return ied;
}

mms::ReadRequest readOf(const std::string& domain, const std::string& item) {
    mms::ReadRequest r;
    r.spec = mms::VariableAccessSpec::list({{mms::ObjectName::domain(domain, item), {}}});
    return r;
}

mms::WriteRequest writeOf(const std::string& domain, const std::string& item, MmsValue value) {
    mms::WriteRequest w;
    w.spec = mms::VariableAccessSpec::list({{mms::ObjectName::domain(domain, item), {}}});
    w.data.push_back(std::move(value));
    return w;
}

std::optional<mms::ConfirmedResponseService> serviceOf(std::optional<mms::Pdu> pdu) {
    auto* r = pdu ? std::get_if<mms::ConfirmedResponse>(&*pdu) : nullptr;
    return r ? std::optional<mms::ConfirmedResponseService>(std::move(r->service)) : std::nullopt;
}

std::optional<MmsValue> readValue(MmsTestClient& client, const std::string& domain, const std::string& item) {
    auto s = serviceOf(client.request(readOf(domain, item)));
    if (!s || !std::holds_alternative<mms::ReadResponse>(*s)) {
        return std::nullopt;
    }
    const auto& results = std::get<mms::ReadResponse>(*s).results;
    return results.size() == 1 ? std::optional<MmsValue>(results[0]) : std::nullopt;
}

std::optional<mms::DataAccessError> writeValue(MmsTestClient& client, const std::string& item, MmsValue value,
                                               bool* answered) {
    auto s = serviceOf(client.request(writeOf("BAY1CTRL", item, std::move(value))));
    *answered = s && std::holds_alternative<mms::WriteResponse>(*s) &&
                std::get<mms::WriteResponse>(*s).results.size() == 1;
    return *answered ? std::get<mms::WriteResponse>(*s).results[0] : std::nullopt;
}

MmsValue operate(bool ctlVal) {
    return MmsValue::structure({MmsValue::boolean(ctlVal),
                                MmsValue::structure({MmsValue::integer(3), MmsValue::octetString({'t'})}),
                                MmsValue::unsignedInteger(1), MmsValue::utcTime(0, 0, 0),
                                MmsValue::boolean(false), MmsValue::bitString(mms::BitString(2))});
}

// A raw TCP connection for peers that do not follow the protocol.
int rawConnect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TEST(SimulatedServer, ServesTheSampleModelToAClient) {
    auto ied = startSample();
    ASSERT_TRUE(ied);
    auto client = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(client);
    EXPECT_EQ(client->pduSize(), 65000u);

    mms::GetNameListRequest domains;
    domains.objectClass = mms::ObjectClass::Domain;
    auto s = serviceOf(client->request(domains));
    ASSERT_TRUE(s && std::holds_alternative<mms::GetNameListResponse>(*s));
    EXPECT_EQ(std::get<mms::GetNameListResponse>(*s).identifiers,
              (std::vector<std::string>{"BAY1CTRL", "BAY1MEAS"}));

    auto identity = serviceOf(client->request(mms::IdentifyRequest{}));
    ASSERT_TRUE(identity && std::holds_alternative<mms::IdentifyResponse>(*identity));
    EXPECT_EQ(std::get<mms::IdentifyResponse>(*identity).vendorName, "Veltra") << "from the configured IED";
    EXPECT_EQ(std::get<mms::IdentifyResponse>(*identity).modelName, "BCU-110");

    auto power = readValue(*client, "BAY1MEAS", "MMXU1$MX$TotW$mag$f");
    ASSERT_TRUE(power);
    EXPECT_EQ(power->type(), MMS_FLOAT);
    EXPECT_FLOAT_EQ(static_cast<float>(power->toDouble()), 42800.0f);
    auto mode = readValue(*client, "BAY1CTRL", "LLN0$ST$Mod$stVal");
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->type(), MMS_INTEGER);
    EXPECT_EQ(mode->toInt64(), 1);  // the enumeration literal "on"
    auto breaker = readValue(*client, "BAY1CTRL", "XCBR1$ST$Pos$stVal");
    ASSERT_TRUE(breaker);
    EXPECT_EQ(breaker->type(), MMS_BIT_STRING);
    EXPECT_TRUE(breaker->bits().bit(0));
    EXPECT_FALSE(breaker->bits().bit(1));

    bool answered = false;
    EXPECT_EQ(writeValue(*client, "GGIO1$CO$SPCSO2$Oper", operate(true), &answered), std::nullopt);
    EXPECT_TRUE(answered);
    auto status = readValue(*client, "BAY1CTRL", "GGIO1$ST$SPCSO2$stVal");
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->boolValue()) << "a direct operate shows in the status";
    EXPECT_TRUE(ied->setValue("BAY1CTRL", "GGIO1$ST$SPCSO2$stVal", MmsValue::boolean(false)));
    EXPECT_FALSE(ied->setValue("BAY1CTRL", "GGIO1$ST$SPCSO2$stVal", MmsValue::integer(0))) << "wrong type";
    EXPECT_FALSE(ied->value("BAY1CTRL", "GGIO1$ST$SPCSO2$stVal")->boolValue());
    EXPECT_FALSE(readValue(*client, "BAY1CTRL", "GGIO1$ST$SPCSO2$stVal")->boolValue())
        << "clients see the change";

    EXPECT_EQ(writeValue(*client, "GGIO1$CO$SPCSO1$Oper", operate(true), &answered),
              mms::DataAccessError::ObjectAccessDenied)
        << "status-only object";
    EXPECT_EQ(writeValue(*client, "GGIO1$ST$Ind1$stVal", MmsValue::boolean(true), &answered),
              mms::DataAccessError::ObjectAccessDenied);
    EXPECT_EQ(writeValue(*client, "LLN0$RP$IndRpt01$RptEna", MmsValue::integer(1), &answered),
              mms::DataAccessError::TypeInconsistent);
    EXPECT_EQ(writeValue(*client, "LLN0$RP$IndRpt01$RptID", MmsValue::visibleString(std::string(200, 'x')),
                         &answered),
              mms::DataAccessError::ObjectValueInvalid);
    EXPECT_EQ(writeValue(*client, "GGIO9$ST$Ind1$stVal", MmsValue::boolean(true), &answered),
              mms::DataAccessError::ObjectNonExistent);
    EXPECT_EQ(writeValue(*client, "LLN0$RP$IndRpt01$IntgPd", MmsValue::unsignedInteger(40000), &answered),
              std::nullopt);
    // A whole control block would overwrite ConfRev and SqNum, which only the device maintains.
    auto block = readValue(*client, "BAY1CTRL", "LLN0$RP$IndRpt02");
    ASSERT_TRUE(block);
    EXPECT_EQ(writeValue(*client, "LLN0$RP$IndRpt02", *block, &answered),
              mms::DataAccessError::ObjectAccessDenied);
    auto period = readValue(*client, "BAY1CTRL", "LLN0$RP$IndRpt01$IntgPd");
    ASSERT_TRUE(period);
    EXPECT_EQ(period->toUint64(), 40000u);

    auto concluded = client->exchange(mms::encodePdu(mms::ConcludeRequest{}));
    ASSERT_TRUE(concluded);
    EXPECT_TRUE(std::holds_alternative<mms::ConcludeResponse>(*concluded));
    EXPECT_TRUE(client->release());
}

// Small negotiated sizes force continuation: every name arrives exactly once, in order, and no
// response exceeds the size both sides agreed on.
TEST(SimulatedServer, NameListContinuationRespectsTheNegotiatedPduSize) {
    for (size_t cap : {size_t{4096}, size_t{16384}}) {
        SimulatedServer::Options options;
        options.server.maxPduSize = cap;
        auto ied = startSample(options);
        ASSERT_TRUE(ied);
        auto client = MmsTestClient::connect(ied->port(), 65000);
        ASSERT_TRUE(client);
        EXPECT_EQ(client->pduSize(), cap) << "the smaller of the two sizes";
        std::vector<std::string> names;
        mms::GetNameListRequest request;
        request.scope = mms::ObjectName::Scope::Domain;
        request.domainId = "BAY1CTRL";
        int responses = 0;
        for (bool more = true; more && responses < 100; ++responses) {
            auto s = serviceOf(client->request(request));
            ASSERT_TRUE(s && std::holds_alternative<mms::GetNameListResponse>(*s));
            EXPECT_LE(client->lastResponseSize(), cap);
            const auto& r = std::get<mms::GetNameListResponse>(*s);
            ASSERT_FALSE(r.identifiers.empty());
            names.insert(names.end(), r.identifiers.begin(), r.identifiers.end());
            request.continueAfter = r.identifiers.back();
            more = r.moreFollows;
        }
        EXPECT_EQ(names, ied->model().domain("BAY1CTRL")->variableNames);
        if (cap == 4096) {
            EXPECT_GT(responses, 1);
        }
    }
}

// An answer that cannot fit the agreed size is replaced by an error instead of being sent oversized
// (which the transport would refuse, leaving the client waiting); the association survives.
TEST(SimulatedServer, AnswersLargerThanThePduSizeAreRefusedNotSentOversized) {
    SimulatedServer::Options options;
    options.server.maxPduSize = 512;
    auto ied = startSample(options);
    ASSERT_TRUE(ied);
    auto client = MmsTestClient::connect(ied->port(), 512);
    ASSERT_TRUE(client);
    auto answer = client->request(readOf("BAY1CTRL", "LLN0"));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(std::holds_alternative<mms::ConfirmedError>(*answer));
    mms::GetVariableAccessAttributesRequest type;
    type.name = mms::ObjectName::domain("BAY1CTRL", "LLN0");
    answer = client->request(type);
    ASSERT_TRUE(answer) << "a type description too large for the PDU must still be answered";
    EXPECT_TRUE(std::holds_alternative<mms::ConfirmedError>(*answer));
    EXPECT_TRUE(readValue(*client, "BAY1CTRL", "GGIO1$ST$Ind1$stVal"));
}

TEST(SimulatedServer, ServesSeveralClientsAtOnce) {
    auto ied = startSample();
    ASSERT_TRUE(ied);
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            auto client = MmsTestClient::connect(ied->port());
            if (!client) {
                return;
            }
            bool answered = false;
            for (int i = 0; i < 30; ++i) {
                // Writers and readers on the same attributes: values stay whole under the lock.
                writeValue(*client, "LLN0$RP$IndRpt0" + std::to_string(c % 3 + 1) + "$IntgPd",
                           MmsValue::unsignedInteger(1000 + i), &answered);
                if (answered && readValue(*client, "BAY1MEAS", "MMXU1")) {
                    ++good;
                }
            }
            client->release();
        });
    }
    for (auto& t : clients) {
        t.join();
    }
    EXPECT_EQ(good.load(), 4 * 30);
}

// Silent peers, garbage, a peer that vanishes in the middle of a request and malformed MMS inside a
// proper association: the server drops or rejects each and keeps serving a well-behaved client.
TEST(SimulatedServer, HostilePeersDoNotDisturbOtherClients) {
    SimulatedServer::Options options;
    options.server.setupTimeout = 300ms;
    auto ied = startSample(options);
    ASSERT_TRUE(ied);
    auto good = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(good);

    int silent = rawConnect(ied->port());
    ASSERT_GE(silent, 0);

    int garbage = rawConnect(ied->port());
    ASSERT_GE(garbage, 0);
    const uint8_t junk[] = {0x03, 0x00, 0xff, 0xff, 0x02, 0xf0, 0x80, 0xde, 0xad, 0xbe, 0xef};
    ASSERT_EQ(::send(garbage, junk, sizeof junk, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof junk));

    int vanishing = rawConnect(ied->port());
    ASSERT_GE(vanishing, 0);
    // A connection request, then the first half of a TPKT announcing more, then gone.
    const uint8_t cr[] = {0x03, 0x00, 0x00, 0x16, 0x11, 0xe0, 0x00, 0x00, 0x00, 0x01, 0x00, 0xc0, 0x01, 0x0d,
                          0xc2, 0x02, 0x00, 0x01, 0xc1, 0x02, 0x00, 0x01, 0x03, 0x00, 0x01, 0x00, 0x02, 0xf0};
    ASSERT_EQ(::send(vanishing, cr, sizeof cr, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof cr));
    ::close(vanishing);

    // Malformed MMS inside an association: a Read whose length runs past the end, a structure
    // nested far deeper than any model, and an unknown PDU type. Each gets a reject.
    auto hostile = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(hostile);
    Bytes pastEnd = {0xa0, 0x0a, 0x02, 0x01, 0x01, 0xa4, 0x7f, 0xa1, 0x00};
    Bytes deep = {0xa0, 0x82, 0x01, 0x00, 0x02, 0x01, 0x02, 0xa5, 0x81, 0xf9};
    while (deep.size() < 4 + 256) {
        deep.push_back(0xa2);
        deep.push_back(static_cast<uint8_t>(0x7f));
    }
    for (const Bytes& pdu : {pastEnd, deep, Bytes{0xae, 0x00}}) {
        auto answer = hostile->exchange(pdu);
        ASSERT_TRUE(answer) << "no answer to a malformed PDU";
        EXPECT_TRUE(std::holds_alternative<mms::Reject>(*answer));
    }
    EXPECT_TRUE(readValue(*hostile, "BAY1CTRL", "LLN0$ST$Beh$stVal")) << "the association survives a reject";

    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(readValue(*good, "BAY1MEAS", "MMXU1$MX$Hz$mag$f"));
    }
    // The silent peer is dropped once its set-up time is over.
    char byte;
    timeval wait{2, 0};
    ::setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0) << "silent peer not dropped";
    ::close(silent);
    ::close(garbage);

    auto late = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(late) << "server no longer accepts associations";
    EXPECT_TRUE(readValue(*late, "BAY1CTRL", "GGIO1$ST$Ind2$stVal"));
    EXPECT_GE(ied->server().counters().setupFailures, 2u);
}

// Stopping the device while a client is associated ends that association from the server side.
TEST(SimulatedServer, StopClosesConnectedClients) {
    auto ied = startSample();
    ASSERT_TRUE(ied);
    auto client = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(client);
    ied->stop();
    EXPECT_TRUE(client->waitClosed(5s));
    ied->stop();  // a second stop is harmless
}

// A client that associates (with the bytes a real client sent in capture 01), starts a request and
// vanishes halfway through it: its association ends, the server goes on serving.
TEST(SimulatedServer, ClientVanishingMidRequestLeavesTheServerServing) {
    auto ied = startSample();
    ASSERT_TRUE(ied);
    Capture capture = readCapture(referenceCapture("01-association.pcap"));
    ASSERT_EQ(capture.error, "");
    ASSERT_FALSE(capture.connections.empty());
    std::vector<Bytes> setup;  // CR and the association request, framed again as TPKTs
    for (const TpktRecord& r : capture.connections[0].from(Direction::ToServer)) {
        Bytes tpkt = {0x03, 0x00, static_cast<uint8_t>((r.tpdu.size() + 4) >> 8),
                      static_cast<uint8_t>(r.tpdu.size() + 4)};
        tpkt.insert(tpkt.end(), r.tpdu.begin(), r.tpdu.end());
        setup.push_back(tpkt);
        if (setup.size() == 2) {
            break;
        }
    }
    ASSERT_EQ(setup.size(), 2u);
    for (int round = 0; round < 3; ++round) {
        int fd = rawConnect(ied->port());
        ASSERT_GE(fd, 0);
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        uint8_t buffer[4096];
        for (const Bytes& tpkt : setup) {
            ASSERT_EQ(::send(fd, tpkt.data(), tpkt.size(), MSG_NOSIGNAL), static_cast<ssize_t>(tpkt.size()));
            ASSERT_GT(::recv(fd, buffer, sizeof buffer, 0), 0) << "no answer to the association set-up";
        }
        // The start of a data TPKT announcing 200 octets, of which only a dozen arrive.
        const uint8_t half[] = {0x03, 0x00, 0x00, 0xc8, 0x02, 0xf0, 0x80, 0x01, 0x00, 0x01, 0x00, 0x61};
        ASSERT_EQ(::send(fd, half, sizeof half, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof half));
        ::close(fd);
    }
    for (int i = 0; i < 100 && ied->server().openConnections() > 0; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(ied->server().openConnections(), 0u) << "vanished clients still hold their connections";
    auto client = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(client);
    EXPECT_TRUE(readValue(*client, "BAY1MEAS", "MMXU1$MX$Hz$mag$f"));
}

// Peers that abuse the device: more connections than its limit are turned away at once while the
// admitted ones are served, and bytes of theirs never reach the log raw.
TEST(SimulatedServer, ConnectionLimitAndLogStandUpToAbusivePeers) {
    SimulatedServer::Options options;
    options.server.maxConnections = 2;
    std::mutex logMutex;
    std::vector<std::string> log;
    options.server.log = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(logMutex);
        log.push_back(line);
    };
    auto ied = startSample(options);
    ASSERT_TRUE(ied);
    auto first = MmsTestClient::connect(ied->port());
    auto second = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(MmsTestClient::connect(ied->port()));
    EXPECT_EQ(ied->server().counters().connectionsOverLimit, 1u);

    const std::string hostile = std::string("BAY1\x1b[2J\r\nfake line\0\xff\\", 22);
    EXPECT_TRUE(first->request(readOf(hostile, "LLN0$ST$Beh$stVal")));
    EXPECT_TRUE(readValue(*second, "BAY1CTRL", "LLN0$ST$Beh$stVal"));
    first.reset();
    second.reset();
    ied->stop();

    std::lock_guard<std::mutex> lock(logMutex);
    bool sawHostileName = false;
    for (const std::string& line : log) {
        for (const char c : line) {
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "raw byte in log line: " << line;
        }
        sawHostileName |= line.find("BAY1\\x1b[2J\\x0d\\x0afake line\\x00\\xff\\\\") != std::string::npos;
    }
    EXPECT_TRUE(sawHostileName);
}

// With a response delay, requests sent back to back are answered side by side up to the agreed number
// of outstanding calls (a handler that slept the delay would serialise them), and a client that sends
// more than it agreed gets a reject for the extra one instead of a silent wait.
TEST(SimulatedServer, AnswersOutstandingCallsSideBySideAndRejectsMoreThanAgreed) {
    SimulatedServer::Options options;
    options.server.responseDelay = 300ms;
    options.server.maxOutstanding = 2;
    auto ied = startSample(options);
    ASSERT_TRUE(ied);
    auto client = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(client);
    for (uint32_t id = 1; id <= 3; ++id) {
        ASSERT_TRUE(client->association().send(
            mms::encodePdu(mms::ConfirmedRequest{id, readOf("BAY1MEAS", "MMXU1$MX$TotW$mag$f")})));
    }
    // The reject is sent after the same delay as the answers and so arrives in the order of the requests.
    std::vector<uint32_t> answered;
    std::optional<uint32_t> rejected;
    for (int i = 0; i < 3; ++i) {
        auto pdu = client->next(5s);
        ASSERT_TRUE(pdu);
        if (auto* r = std::get_if<mms::ConfirmedResponse>(&*pdu)) {
            answered.push_back(r->invokeId);
        } else if (auto* reject = std::get_if<mms::Reject>(&*pdu)) {
            EXPECT_EQ(reject->reason,
                      static_cast<int64_t>(mms::RequestRejectReason::MaxServicesOutstandingExceeded));
            rejected = reject->originalInvokeId;
        }
    }
    EXPECT_EQ(answered, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(rejected, 3u);
}

// Devices drop associations that stay idle; the simulator does too when asked, and only then.
TEST(SimulatedServer, AbortsAnAssociationIdleForLongerThanTheIdleTimeout) {
    SimulatedServer::Options options;
    options.server.idleTimeout = 300ms;
    auto ied = startSample(options);
    ASSERT_TRUE(ied);
    auto idle = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(idle);
    EXPECT_TRUE(idle->waitClosed(10s));

    auto busy = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(busy);
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(readValue(*busy, "BAY1MEAS", "MMXU1$MX$TotW$mag$f")) << "request " << i;
    }
}

// Associations that stay idle cannot hold the connection limit for ever once an idle time-out is set:
// they are dropped and the next client gets in.
TEST(SimulatedServer, IdleAssociationsAreDroppedAndFreeTheConnectionLimit) {
    SimulatedServer::Options options;
    options.server.maxConnections = 1;
    options.server.idleTimeout = 300ms;
    auto ied = startSample(options);
    ASSERT_TRUE(ied);
    auto idle = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(idle);
    EXPECT_FALSE(MmsTestClient::connect(ied->port()));
    EXPECT_TRUE(idle->waitClosed(10s));
    // The server's side of it ends a moment after the client sees it go.
    for (int i = 0; i < 1000 && ied->server().openConnections() != 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    auto next = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(next) << "the idle association still holds the only connection";
    EXPECT_TRUE(readValue(*next, "BAY1CTRL", "LLN0$ST$Beh$stVal"));
}
