// Our initiator and our responder over real TCP on the loopback interface, and each of them against
// peers that misbehave.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "capture.h"
#include "hex.h"
#include "iso/initiator_association.h"
#include "iso/responder.h"
#include "iso/tpkt.h"
#include "iso_unwrap.h"

using namespace iecstack;
using namespace iecstack::iso;
using namespace korvan::test;
using namespace std::chrono_literals;

namespace {

// Collects values from another thread and lets the test wait for them.
template <typename T>
class Mailbox {
public:
    void put(T value) {
        // Notified under the lock: the waiting test may destroy the mailbox as soon as it wakes.
        std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(value));
        changed_.notify_all();
    }
    std::optional<T> take(std::chrono::milliseconds timeout = 5s) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !items_.empty(); })) {
            return std::nullopt;
        }
        T value = std::move(items_.front());
        items_.pop_front();
        return value;
    }
    size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return items_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
};

struct CapturedInitiate {
    Bytes request;
    Bytes response;
};

const CapturedInitiate& initiate() {
    static const CapturedInitiate bytes = [] {
        const Conversation c = readConversations("01-association.pcap").at(0);
        return CapturedInitiate{c.initiateRequest, c.initiateResponse};
    }();
    return bytes;
}

// Answers every PDU with the same bytes prefixed by 0xa1, and records how the association ended.
class EchoHandler : public ResponderHandler {
public:
    EchoHandler(Mailbox<CloseReason>& closed, std::optional<std::string> password = std::nullopt,
                size_t maxPduSize = 0)
        : closed_(closed), password_(std::move(password)), maxPduSize_(maxPduSize) {}

    AssociateDecision onAssociate(const AssociateIndication& indication) override {
        AssociateDecision decision;
        if (password_ && indication.password != password_) {
            decision.accept = false;
            decision.diagnostic = acse::AssociateDiagnostic::AuthenticationFailure;
            return decision;
        }
        decision.initiateResponse = initiate().response;
        decision.maxPduSize = maxPduSize_;
        return decision;
    }
    void onPdu(ResponderAssociation& association, ByteView pdu) override {
        Bytes answer{0xa1};
        answer.insert(answer.end(), pdu.begin(), pdu.end());
        association.send(answer);
    }
    void onClosed(CloseReason reason, Error) override { closed_.put(reason); }

private:
    Mailbox<CloseReason>& closed_;
    std::optional<std::string> password_;
    size_t maxPduSize_;
};

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override { startServer(ListenerSettings{}); }
    void TearDown() override {
        if (listener) {
            listener->stop();
        }
    }

    void startServer(ListenerSettings settings, std::optional<std::string> password = std::nullopt,
                     size_t agreedPduSize = 0) {
        if (listener) {
            listener->stop();
        }
        settings.bindAddress = "127.0.0.1";
        settings.port = 0;
        listener = std::make_unique<ResponderListener>(
            settings,
            [this, password, agreedPduSize](const std::shared_ptr<ResponderAssociation>& association) {
                {
                    std::lock_guard<std::mutex> lock(associationsMutex);
                    associations.push_back(association);
                }
                return std::make_unique<EchoHandler>(serverClosed, password, agreedPduSize);
            });
        ASSERT_TRUE(listener->start().ok());
    }

    Result<std::unique_ptr<InitiatorAssociation>, Error> connectClient(InitiatorSettings settings = {}) {
        InitiatorAssociation::Handlers handlers;
        handlers.onPdu = [this](ByteView pdu) { clientPdus.put(pdu.toBytes()); };
        handlers.onClosed = [this](CloseReason reason, Error) { clientClosed.put(reason); };
        return InitiatorAssociation::connect("127.0.0.1", listener->port(), settings, initiate().request,
                                             handlers);
    }

    // Declared before the listener, so that they outlive its threads.
    Mailbox<std::string> listenerLog;
    Mailbox<CloseReason> serverClosed;
    Mailbox<Bytes> clientPdus;
    Mailbox<CloseReason> clientClosed;
    std::mutex associationsMutex;
    std::vector<std::shared_ptr<ResponderAssociation>> associations;
    std::unique_ptr<ResponderListener> listener;
};

// A plain TCP client for feeding the responder whatever a hostile peer might send.
class RawClient {
public:
    explicit RawClient(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient() { ::close(fd_); }
    bool connected() const { return connected_; }
    void send(const Bytes& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    bool readAtLeast(size_t count, std::chrono::milliseconds timeout) {
        Bytes received;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            uint8_t buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
            if (n <= 0) {
                return false;
            }
            received.insert(received.end(), buffer, buffer + n);
        }
        return received.size() >= count;
    }
    // Reads whatever arrives until the peer closes; false when it stays open past the time-out.
    bool readUntilClosed(std::chrono::milliseconds timeout, Bytes* received = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            uint8_t buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
            if (n <= 0) {
                return true;
            }
            if (received) {
                received->insert(received->end(), buffer, buffer + n);
            }
        }
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

Bytes wireOf(const std::string& capture, uint32_t frame) {
    const Capture c = readCapture(referenceCapture(capture));
    for (const TpktRecord& record : c.connections.at(0).records) {
        if (record.frame == frame) {
            return encodeTpkt(record.tpdu);
        }
    }
    ADD_FAILURE() << "no frame " << frame;
    return {};
}

}  // namespace

// --- our initiator with our responder ------------------------------------------------------------

TEST_F(ServerFixture, AssociateExchangeAndRelease) {
    auto client = connectClient();
    ASSERT_TRUE(client.ok()) << errorName(client.error());
    EXPECT_EQ((*client)->initiateResponse(), initiate().response);

    const Bytes conclude = fromHex("8b 00");
    ASSERT_TRUE((*client)->send(conclude).ok());
    auto answer = clientPdus.take();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(toHex(*answer), "a1 8b 00");

    EXPECT_TRUE((*client)->release(5s).ok());
    EXPECT_EQ(clientClosed.take(), CloseReason::Released);
    EXPECT_EQ(serverClosed.take(), CloseReason::Released);
    EXPECT_FALSE((*client)->send(conclude).ok());
    client->reset();
    EXPECT_EQ(clientClosed.size(), 0u) << "closed reported more than once";
    EXPECT_EQ(listener->counters().associationsAccepted, 1u);
}

TEST_F(ServerFixture, LargePdusAreSegmentedAndReassembled) {
    Bytes large(64000);
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<uint8_t>(i * 7);
    }
    // 8192 as both sides propose, then a responder that only takes the smallest class 0 TPDUs, which
    // the initiator must follow when it sends.
    for (uint8_t responderTpduSize : {uint8_t{0x0d}, uint8_t{0x07}}) {
        SCOPED_TRACE(static_cast<int>(responderTpduSize));
        ListenerSettings settings;
        settings.maxTpduSizeCode = responderTpduSize;
        startServer(settings);
        auto client = connectClient();
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE((*client)->send(large).ok());
        auto answer = clientPdus.take();
        ASSERT_TRUE(answer.has_value());
        ASSERT_EQ(answer->size(), large.size() + 1);
        EXPECT_TRUE(std::equal(large.begin(), large.end(), answer->begin() + 1));
    }
}

TEST_F(ServerFixture, NegotiatedPduSizeIsHonouredBothWays) {
    auto client = connectClient();
    ASSERT_TRUE(client.ok());
    (*client)->setMaxPduSize(2000);
    EXPECT_EQ((*client)->send(Bytes(2001, 0x55)).error(), Error::PduTooLarge);
    EXPECT_TRUE((*client)->isOpen());
    // The echo of a 2000-byte PDU is one byte too long for what the client now accepts.
    ASSERT_TRUE((*client)->send(Bytes(2000, 0x55)).ok());
    EXPECT_EQ(clientClosed.take(), CloseReason::ProtocolError);
    EXPECT_EQ(serverClosed.take(), CloseReason::ConnectionLost);
}

TEST_F(ServerFixture, ResponderHonoursTheSizeItsHandlerAgreed) {
    startServer(ListenerSettings{}, std::nullopt, 1000);
    auto client = connectClient();
    ASSERT_TRUE(client.ok());
    std::shared_ptr<ResponderAssociation> server;
    {
        std::lock_guard<std::mutex> lock(associationsMutex);
        server = associations.at(0);
    }
    EXPECT_EQ(server->maxPduSize(), 1000u);
    EXPECT_EQ(server->send(Bytes(1001, 0x55)).error(), Error::PduTooLarge);
    // The client did not honour the agreement: the server ends the association.
    ASSERT_TRUE((*client)->send(Bytes(1001, 0x55)).ok());
    EXPECT_EQ(serverClosed.take(), CloseReason::ProtocolError);
    EXPECT_EQ(clientClosed.take(), CloseReason::ConnectionLost);
}

TEST_F(ServerFixture, UnsolicitedPdusArriveBetweenResponses) {
    auto client = connectClient();
    ASSERT_TRUE(client.ok());
    std::shared_ptr<ResponderAssociation> server;
    {
        std::lock_guard<std::mutex> lock(associationsMutex);
        ASSERT_EQ(associations.size(), 1u);
        server = associations[0];
    }
    // Reports from another thread while responses are being sent.
    std::thread reporter([&] {
        for (int i = 0; i < 50; ++i) {
            auto sent = server->send(fromHex("a3 02 a0 00"));
            EXPECT_TRUE(sent.ok()) << errorName(sent.error());
        }
    });
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE((*client)->send(fromHex("a0 03 02 01 01")).ok());
    }
    reporter.join();
    size_t reports = 0, responses = 0;
    for (int i = 0; i < 100; ++i) {
        auto pdu = clientPdus.take();
        ASSERT_TRUE(pdu.has_value());
        (*pdu)[0] == 0xa3 ? ++reports : ++responses;
    }
    EXPECT_EQ(reports, 50u);
    EXPECT_EQ(responses, 50u);
}

TEST_F(ServerFixture, EndingPathsReportOnceOnEachSide) {
    {
        auto client = connectClient();
        ASSERT_TRUE(client.ok());
        (*client)->abort();
        EXPECT_EQ(clientClosed.take(), CloseReason::LocalAbort);
        EXPECT_EQ(serverClosed.take(), CloseReason::PeerAborted);
    }
    {
        auto client = connectClient();
        ASSERT_TRUE(client.ok());
        client->reset();  // destruction closes without a goodbye
        EXPECT_EQ(clientClosed.take(), CloseReason::LocalClose);
        EXPECT_EQ(serverClosed.take(), CloseReason::ConnectionLost);
    }
    {
        auto client = connectClient();
        ASSERT_TRUE(client.ok());
        listener->stop();  // the server goes away under a connected client
        EXPECT_EQ(serverClosed.take(), CloseReason::LocalClose);
        EXPECT_EQ(clientClosed.take(), CloseReason::ConnectionLost);
        EXPECT_EQ((*client)->send(fromHex("8b 00")).error(), Error::NotConnected);
        EXPECT_EQ((*client)->release(1s).error(), Error::NotConnected);
    }
    EXPECT_EQ(clientClosed.size(), 0u);
    EXPECT_EQ(serverClosed.size(), 0u);
}

TEST_F(ServerFixture, RefusedPasswordIsAuthenticationFailed) {
    startServer(ListenerSettings{}, std::string("secret"));
    InitiatorSettings settings;
    settings.parameters.password = "wrong";
    auto refused = connectClient(settings);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), Error::AuthenticationFailed);
    EXPECT_EQ(serverClosed.take(), CloseReason::LocalClose);

    settings.parameters.password = "secret";
    auto accepted = connectClient(settings);
    ASSERT_TRUE(accepted.ok());
    EXPECT_EQ(listener->counters().associationsRefused, 1u);
    EXPECT_EQ(listener->counters().associationsAccepted, 1u);
}

// --- the responder against hostile clients --------------------------------------------------------

TEST_F(ServerFixture, HostileClientsAreDroppedWhileOthersAreServed) {
    ListenerSettings settings;
    settings.setupTimeout = 1s;
    settings.log = [this](const std::string& line) { listenerLog.put(line); };
    startServer(settings);
    auto good = connectClient();
    ASSERT_TRUE(good.ok());

    RawClient garbage(listener->port());
    ASSERT_TRUE(garbage.connected());
    garbage.send(fromHex("47 45 54 20 2f 20 48 54 54 50 2f 31 2e 31 0d 0a"));  // "GET / HTTP/1.1"
    EXPECT_TRUE(garbage.readUntilClosed(5s));

    RawClient silent(listener->port());
    EXPECT_TRUE(silent.readUntilClosed(5s)) << "a silent client must be dropped after the set-up time-out";

    // A huge announced TPKT that never completes is a client that stalls mid-PDU.
    RawClient stalled(listener->port());
    stalled.send(fromHex("03 00 ff ff 02 f0"));
    EXPECT_TRUE(stalled.readUntilClosed(5s));

    RawClient wrongFirst(listener->port());
    wrongFirst.send(wireOf("01-association.pcap", 11));  // data before any connection request
    EXPECT_TRUE(wrongFirst.readUntilClosed(5s));

    ASSERT_TRUE((*good)->send(fromHex("8b 00")).ok());
    EXPECT_TRUE(clientPdus.take().has_value());
    EXPECT_EQ(listener->counters().setupFailures, 4u);
    // Each rejected peer leaves a line naming why.
    std::string lines;
    for (int i = 0; i < 4; ++i) {
        lines += listenerLog.take().value_or("(missing)") + "\n";
    }
    EXPECT_NE(lines.find("BadTpktVersion"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Timeout"), std::string::npos) << lines;
    EXPECT_NE(lines.find("UnexpectedTpdu"), std::string::npos) << lines;
    EXPECT_EQ(serverClosed.size(), 0u) << "no handler exists for connections that never associated";
}

TEST_F(ServerFixture, ClientVanishingOrSendingGarbageAfterAssociation) {
    // Associates with captured bytes, sends `tail`, and optionally waits for the server to hang up;
    // the raw client then vanishes.
    auto replay = [this](const Bytes& tail, bool waitForClose) {
        RawClient raw(listener->port());
        raw.send(wireOf("01-association.pcap", 4));
        raw.send(wireOf("01-association.pcap", 8));
        EXPECT_TRUE(raw.readAtLeast(22 + 143, 5s)) << "no confirm and association response";
        raw.send(tail);
        return !waitForClose || raw.readUntilClosed(5s);
    };
    // Half of a data TPKT, then the connection drops.
    Bytes half = wireOf("01-association.pcap", 11);
    half.resize(half.size() / 2);
    replay(half, false);
    EXPECT_EQ(serverClosed.take(), CloseReason::ConnectionLost);

    EXPECT_TRUE(replay(fromHex("ff ff ff ff ff ff ff ff"), true));
    EXPECT_EQ(serverClosed.take(), CloseReason::ProtocolError);
    // A well-framed unit in a context that was never negotiated.
    EXPECT_TRUE(replay(fromHex("03 00 00 16 02 f0 80 01 00 01 00 61 09 30 07 02 01 07 a0 02 8b 00"), true));
    EXPECT_EQ(serverClosed.take(), CloseReason::ProtocolError);
    EXPECT_EQ(listener->counters().protocolErrors, 2u);
}

TEST_F(ServerFixture, ConnectionsBeyondTheLimitAreClosed) {
    ListenerSettings settings;
    settings.maxConnections = 1;
    startServer(settings);
    auto first = connectClient();
    ASSERT_TRUE(first.ok());
    auto second = connectClient();
    EXPECT_FALSE(second.ok());
    EXPECT_EQ(listener->counters().connectionsOverLimit, 1u);
    ASSERT_TRUE((*first)->send(fromHex("8b 00")).ok());
    EXPECT_TRUE(clientPdus.take().has_value());
}

// --- the initiator against misbehaving servers ------------------------------------------------------

namespace {

// Accepts one connection and runs `script` on its descriptor.
class RawServer {
public:
    explicit RawServer(std::function<void(int fd)> script) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(listenFd_, 1);
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, script] {
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd >= 0) {
                script(fd);
                ::close(fd);
            }
        });
    }
    ~RawServer() {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
    }
    uint16_t port() const { return port_; }

    // Reads one TPKT (a test peer trusts its input).
    static Bytes readTpkt(int fd) {
        Bytes tpkt(4);
        if (::recv(fd, tpkt.data(), 4, MSG_WAITALL) != 4) {
            return {};
        }
        tpkt.resize(tpkt[2] << 8 | tpkt[3]);
        ::recv(fd, tpkt.data() + 4, tpkt.size() - 4, MSG_WAITALL);
        return tpkt;
    }
    static void send(int fd, const Bytes& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

private:
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

Result<std::unique_ptr<InitiatorAssociation>, Error> connectTo(uint16_t port, Mailbox<CloseReason>& closed,
                                                               std::chrono::milliseconds timeout = 2s) {
    InitiatorSettings settings;
    settings.associateTimeout = timeout;
    InitiatorAssociation::Handlers handlers;
    handlers.onClosed = [&closed](CloseReason reason, Error) { closed.put(reason); };
    return InitiatorAssociation::connect("127.0.0.1", port, settings, initiate().request, handlers);
}

}  // namespace

TEST(InitiatorAgainstScriptedServers, SetUpFailuresAreNamedErrors) {
    Mailbox<CloseReason> closed;
    {
        RawServer silent([](int fd) {
            RawServer::readTpkt(fd);
            RawServer::readTpkt(fd);  // returns once the client gives up and closes
        });
        EXPECT_EQ(connectTo(silent.port(), closed, 200ms).error(), Error::Timeout);
    }
    {
        RawServer garbage([](int fd) {
            RawServer::readTpkt(fd);
            RawServer::send(fd, fromHex("48 54 54 50 2f 31 2e 31 20 34 30 30"));
        });
        EXPECT_EQ(connectTo(garbage.port(), closed).error(), Error::BadTpktVersion);
    }
    {
        // As the password example server does on a wrong password: TCP closes, no answer.
        const Bytes cc = wireOf("01-association.pcap", 6);
        RawServer refusing([&cc](int fd) {
            RawServer::readTpkt(fd);
            RawServer::send(fd, cc);
            RawServer::readTpkt(fd);
        });
        EXPECT_EQ(connectTo(refusing.port(), closed).error(), Error::ConnectionClosed);
    }
    {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);  // a port nobody listens on
        EXPECT_EQ(connectTo(ntohs(address.sin_port), closed).error(), Error::ConnectFailed);
    }
    EXPECT_EQ(closed.size(), 0u) << "no association, no close report";
}

TEST(InitiatorAgainstScriptedServers, ServerVanishingMidPduOrSendingGarbage) {
    const Bytes cc = wireOf("01-association.pcap", 6);
    const Bytes accept = wireOf("01-association.pcap", 9);
    Bytes report = wireOf("09-report-unbuffered.pcap", 36);
    for (const Bytes& tail :
         {Bytes(report.begin(), report.begin() + report.size() / 2), fromHex("03 00 00 02")}) {
        Mailbox<CloseReason> closed;
        RawServer server([&](int fd) {
            RawServer::readTpkt(fd);
            RawServer::send(fd, cc);
            RawServer::readTpkt(fd);
            RawServer::send(fd, accept);
            RawServer::send(fd, tail);
        });
        auto client = connectTo(server.port(), closed);
        ASSERT_TRUE(client.ok()) << errorName(client.error());
        auto reason = closed.take();
        ASSERT_TRUE(reason.has_value());
        EXPECT_TRUE(*reason == CloseReason::ConnectionLost || *reason == CloseReason::ProtocolError);
        EXPECT_FALSE((*client)->isOpen());
        client->reset();
        EXPECT_EQ(closed.size(), 0u);
    }
}

TEST(InitiatorAgainstScriptedServers, ReleaseStartedByThePeerIsAnswered) {
    const Bytes cc = wireOf("01-association.pcap", 6);
    const Bytes accept = wireOf("01-association.pcap", 9);
    const Bytes finish = wireOf("01-association.pcap", 17);
    Bytes answer;
    Mailbox<CloseReason> closed;
    {
        RawServer server([&](int fd) {
            RawServer::readTpkt(fd);
            RawServer::send(fd, cc);
            RawServer::readTpkt(fd);
            RawServer::send(fd, accept);
            RawServer::send(fd, finish);
            answer = RawServer::readTpkt(fd);
        });
        auto client = connectTo(server.port(), closed);
        ASSERT_TRUE(client.ok());
        EXPECT_EQ(closed.take(), CloseReason::Released);
        EXPECT_EQ((*client)->send(fromHex("8b 00")).error(), Error::NotConnected);
    }
    EXPECT_EQ(toHex(answer), toHex(wireOf("01-association.pcap", 18)));
}

TEST(InitiatorAgainstScriptedServers, SendsNoTpduLargerThanTheConfirmAllows) {
    Bytes cc = wireOf("01-association.pcap", 6);
    ASSERT_EQ(toHex(ByteView(cc.data() + 11, 3)), "c0 01 0d");
    cc[13] = 0x07;  // 128-octet TPDUs
    const Bytes accept = wireOf("01-association.pcap", 9);
    std::vector<Bytes> received;
    Mailbox<CloseReason> closed;
    {
        RawServer server([&](int fd) {
            auto readUnit = [fd, &received] {
                received.clear();
                for (Bytes tpkt = RawServer::readTpkt(fd); !tpkt.empty(); tpkt = RawServer::readTpkt(fd)) {
                    received.push_back(tpkt);
                    if (tpkt[6] == 0x80) {
                        break;
                    }
                }
            };
            RawServer::readTpkt(fd);
            RawServer::send(fd, cc);
            readUnit();  // the association request, itself segmented already
            RawServer::send(fd, accept);
            readUnit();
        });
        auto client = connectTo(server.port(), closed);
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE((*client)->send(Bytes(1000, 0x42)).ok());
    }
    ASSERT_GT(received.size(), 1u);
    for (const Bytes& tpkt : received) {
        EXPECT_LE(tpkt.size(), 4u + 128u);
    }
}
