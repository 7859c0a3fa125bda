// The server's associations against each other: a client that stops reading holds up nobody else and
// is aborted, and the limit of outstanding requests turns the extra one away before it does anything
// while never refusing a request the client was entitled to send.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "iso/association_codec.h"
#include "iso/tpkt.h"
#include "mms_test_client.h"
#include "server/simulated_server.h"

using namespace iecstack;
using namespace iecstack::server;
using namespace korvan::test;
using namespace std::chrono_literals;

namespace {

const std::string kReportingModel =
    std::string(KORVAN_SOURCE_DIR) + "/tests/stack/server/reporting_model.icd";
const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

mms::WriteRequest writeOf(const std::string& domain, const std::string& item, MmsValue value) {
    mms::WriteRequest w;
    w.spec = mms::VariableAccessSpec::list({{mms::ObjectName::domain(domain, item), {}}});
    w.data.push_back(std::move(value));
    return w;
}

mms::ReadRequest readOf(const std::string& domain, const std::string& item) {
    mms::ReadRequest r;
    r.spec = mms::VariableAccessSpec::list({{mms::ObjectName::domain(domain, item), {}}});
    return r;
}

bool writeAccepted(std::optional<mms::Pdu> answer) {
    auto* response = answer ? std::get_if<mms::ConfirmedResponse>(&*answer) : nullptr;
    auto* write = response ? std::get_if<mms::WriteResponse>(&response->service) : nullptr;
    return write && write->results.size() == 1 && !write->results[0];
}

// A peer that associates over a raw socket with a tiny receive buffer, then sends but never reads.
class StalledPeer {
public:
    explicit StalledPeer(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        const int small = 2048;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            return;
        }
        iso::cotp::CotpConnect request;
        request.sourceRef = 1;
        request.tpduSizeCode = iso::cotp::kTpduSizeCode8192;
        request.callingTsap = {0, 1};
        request.calledTsap = {0, 1};
        mms::InitiateRequest initiate;
        initiate.parameters.localDetail = 65000;
        initiate.parameters.dataStructureNestingLevel = 10;
        associated_ =
            sendAll(iso::encodeTpkt(iso::cotp::encodeConnectionRequest(request))) && receiveTpkt() &&
            sendAll(iso::cotp::encodeDataTpkts(iso::encodeConnectUnit({}, mms::encodePdu(initiate)), 8192)) &&
            receiveTpkt();
    }
    ~StalledPeer() { ::close(fd_); }

    bool associated() const { return associated_; }
    bool send(const mms::ConfirmedRequestService& service) {
        const Bytes pdu = mms::encodePdu(mms::ConfirmedRequest{++invokeId_, service});
        return sendAll(iso::cotp::encodeDataTpkts(iso::encodeDataUnit(3, pdu), 8192));
    }

private:
    bool sendAll(const Bytes& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // One whole TPKT, during set-up only.
    bool receiveTpkt() {
        uint8_t header[4];
        if (::recv(fd_, header, 4, MSG_WAITALL) != 4) {
            return false;
        }
        std::vector<uint8_t> rest(static_cast<size_t>((header[2] << 8) | header[3]) - 4);
        return ::recv(fd_, rest.data(), rest.size(), MSG_WAITALL) == static_cast<ssize_t>(rest.size());
    }

    int fd_;
    bool associated_ = false;
    uint32_t invokeId_ = 0;
};

}  // namespace

// One client stops reading while the device reports to both. The other gets the report of every
// change, each before the next change is made, all the time the first is stalled; the stalled one is
// aborted once its queue passes the bound, and its buffered block keeps collecting for its return.
TEST(MmsServer, AClientThatStopsReadingHoldsUpNobodyAndIsAborted) {
    SimulatedServer::Options options;
    options.server.sendLimits.maxUnsentPdus = 200;
    options.server.sendLimits.stallTimeout = 60s;  // the PDU bound decides here
    options.server.maxOutstanding = 1000;
    std::string error;
    auto ied = SimulatedServer::start(kReportingModel, options, &error);
    ASSERT_TRUE(ied) << error;

    StalledPeer stalled(ied->port());
    ASSERT_TRUE(stalled.associated());
    ASSERT_TRUE(stalled.send(writeOf("RLD0", "LLN0$RP$Shared01$RptEna", MmsValue::boolean(true))));
    ASSERT_TRUE(stalled.send(writeOf("RLD0", "LLN0$BR$History$RptEna", MmsValue::boolean(true))));

    auto reader = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(reader);
    ASSERT_TRUE(
        writeAccepted(reader->request(writeOf("RLD0", "LLN0$RP$Shared02$RptEna", MmsValue::boolean(true)))));

    bool on = false;
    int changes = 0;
    for (; changes < 20000 && ied->server().counters().stalledPeers == 0; ++changes) {
        on = !on;
        ASSERT_TRUE(ied->setValue("RLD0", "GGIO1$ST$Ind1$stVal", MmsValue::boolean(on)));
        // Requests with sizeable answers fill the stalled peer's side faster than reports alone.
        for (int i = 0; i < 8; ++i) {
            stalled.send(readOf("RLD0", "LLN0"));  // fails once the server has aborted it
        }
        auto report = reader->next(5s);
        ASSERT_TRUE(report) << "no report for change " << changes << " while the other client is stalled";
        ASSERT_TRUE(std::holds_alternative<mms::UnconfirmedPdu>(*report));
    }
    ASSERT_EQ(ied->server().counters().stalledPeers, 1u)
        << "still not aborted after " << changes << " changes";

    // The buffered block is free again and kept what changed after the abort.
    for (int i = 0; i < 3; ++i) {
        on = !on;
        ASSERT_TRUE(ied->setValue("RLD0", "GGIO1$ST$Ind1$stVal", MmsValue::boolean(on)));
        ASSERT_TRUE(reader->next(5s));
    }
    auto returning = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(returning);
    for (int i = 0; i < 100 && ied->server().openConnections() > 2; ++i) {
        std::this_thread::sleep_for(10ms);  // the aborted association ends on its own thread
    }
    ASSERT_TRUE(writeAccepted(
        returning->request(writeOf("RLD0", "LLN0$BR$History$RptEna", MmsValue::boolean(true)))));
    for (int i = 0; i < 3; ++i) {
        auto report = returning->next(5s);
        ASSERT_TRUE(report) << "kept entry " << i << " not delivered";
        EXPECT_TRUE(std::holds_alternative<mms::UnconfirmedPdu>(*report));
    }
}

// With answers held back by a latency, the client may have one request outstanding. A write and an
// operate beyond that are rejected and have no effect at all.
TEST(MmsServer, RequestsOverTheOutstandingLimitChangeNothing) {
    SimulatedServer::Options options;
    options.server.responseDelay = 300ms;
    options.server.maxOutstanding = 1;
    std::string error;
    auto ied = SimulatedServer::start(kSample, options, &error);
    ASSERT_TRUE(ied) << error;
    const auto rptIdBefore = ied->value("BAY1MEAS", "LLN0$RP$MeasUrcb01$RptID");
    const auto positionBefore = ied->value("BAY1CTRL", "GGIO1$ST$SPCSO2$stVal");
    ASSERT_TRUE(rptIdBefore && positionBefore);

    auto client = MmsTestClient::connect(ied->port());
    ASSERT_TRUE(client);
    const MmsValue operate =
        MmsValue::structure({MmsValue::boolean(!positionBefore->boolValue()),
                             MmsValue::structure({MmsValue::integer(3), MmsValue::octetString({'t'})}),
                             MmsValue::unsignedInteger(1), MmsValue::utcTime(0, 0, 0),
                             MmsValue::boolean(false), MmsValue::bitString(mms::BitString(2))});
    const std::vector<mms::ConfirmedRequestService> requests = {
        readOf("BAY1MEAS", "LLN0$RP$MeasUrcb01$RptID"),
        writeOf("BAY1MEAS", "LLN0$RP$MeasUrcb01$RptID", MmsValue::visibleString("changed")),
        writeOf("BAY1CTRL", "GGIO1$CO$SPCSO2$Oper", operate)};
    for (uint32_t id = 1; id <= requests.size(); ++id) {
        ASSERT_TRUE(client->association().send(mms::encodePdu(mms::ConfirmedRequest{id, requests[id - 1]})));
    }
    std::vector<uint32_t> rejected;
    for (size_t i = 0; i < requests.size(); ++i) {
        auto pdu = client->next(5s);
        ASSERT_TRUE(pdu);
        if (auto* reject = std::get_if<mms::Reject>(&*pdu)) {
            EXPECT_EQ(reject->reason,
                      static_cast<int64_t>(mms::RequestRejectReason::MaxServicesOutstandingExceeded));
            rejected.push_back(reject->originalInvokeId.value_or(0));
        }
    }
    EXPECT_EQ(rejected, (std::vector<uint32_t>{2, 3}));
    std::this_thread::sleep_for(400ms);  // past the latency, had anything been carried out
    EXPECT_EQ(ied->value("BAY1MEAS", "LLN0$RP$MeasUrcb01$RptID")->text(), rptIdBefore->text());
    EXPECT_EQ(ied->value("BAY1CTRL", "GGIO1$ST$SPCSO2$stVal")->boolValue(), positionBefore->boolValue());
}

// A request sent the moment the answer to the previous one arrives is within the limit: the answer
// stops counting as soon as it starts to leave.
TEST(MmsServer, ARequestSentAsTheAnswerArrivesIsNeverRejected) {
    for (const auto latency : {0ms, 1ms}) {
        SimulatedServer::Options options;
        options.server.responseDelay = latency;
        options.server.maxOutstanding = 1;
        std::string error;
        auto ied = SimulatedServer::start(kSample, options, &error);
        ASSERT_TRUE(ied) << error;
        auto client = MmsTestClient::connect(ied->port());
        ASSERT_TRUE(client);
        for (int i = 0; i < 300; ++i) {
            auto answer = client->request(readOf("BAY1MEAS", "MMXU1$MX$TotW$mag$f"));
            ASSERT_TRUE(answer);
            ASSERT_TRUE(std::holds_alternative<mms::ConfirmedResponse>(*answer))
                << "request " << i << " with latency " << latency.count() << " ms was turned away";
        }
    }
}
