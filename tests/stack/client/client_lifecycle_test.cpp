// Connection life cycle and threading of the client API: time-outs, a peer that goes away, closing and
// destroying from the threads an engine uses.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "client_test_support.h"
#include "iec61850_client.h"
#include "scripted_peer.h"

namespace korvan::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kBoolean = "simpleIOGenericIO/GGIO1.SPCSO1.stVal";

// Counts closed-handler calls and lets a test wait for the first.
struct ClosedProbe {
    std::mutex mutex;
    std::condition_variable called;
    int calls = 0;
    IedConnection connection = nullptr;

    static void handler(void* parameter, IedConnection connection) {
        auto* probe = static_cast<ClosedProbe*>(parameter);
        std::lock_guard<std::mutex> lock(probe->mutex);
        ++probe->calls;
        probe->connection = connection;
        probe->called.notify_all();
    }
    bool waitForCall(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return called.wait_for(lock, timeout, [this] { return calls > 0; });
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

// A loopback port on which nothing listens (bound once, then released).
uint16_t unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool readsBoolean(IedConnection connection, IedClientError* error) {
    MmsValue* value = IedConnection_readObject(connection, error, kBoolean, IEC61850_FC_ST);
    const bool ok = value != nullptr && MmsValue_getType(value) == MMS_BOOLEAN;
    MmsValue_delete(value);
    return ok;
}

TEST(ClientLifecycleTest, ConnectingWhereNothingListensFailsFast) {
    ConnectionPtr connection(IedConnection_create());
    IedClientError error = IED_ERROR_OK;
    const auto start = Clock::now();
    IedConnection_connect(connection.get(), &error, "127.0.0.1", unusedPort());
    EXPECT_EQ(error, IED_ERROR_CONNECTION_REJECTED);
    EXPECT_LT(Clock::now() - start, 5s);  // far below the 10 s connect time-out
    EXPECT_EQ(IedConnection_getLogicalDeviceList(connection.get(), &error), nullptr);
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
}

TEST(ClientLifecycleTest, ServerThatAcceptsButNeverAssociatesTimesOut) {
    // A listening socket whose backlog completes the TCP handshake, but nobody ever answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);

    ConnectionPtr connection(IedConnection_create());
    IedConnection_setConnectTimeout(connection.get(), 300);
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", ntohs(address.sin_port));
    EXPECT_EQ(error, IED_ERROR_TIMEOUT);
    ::close(fd);
}

// A server that takes the association but answers no request is given up after one request time-out,
// not after one per request: the handler has run when the request returns, and every later request,
// directory answers the client knew included, fails at once without reaching the server.
TEST(ClientLifecycleTest, ServerThatAnswersNothingIsGivenUpAfterOneTimeOut) {
    ScriptedPeer peer("02-getnamelist.pcap");
    auto connection = connectTo(peer.port(), 300);
    IedClientError error = IED_ERROR_OK;
    LinkedList devices = IedConnection_getLogicalDeviceList(connection.get(), &error);
    ASSERT_EQ(error, IED_ERROR_OK);
    LinkedList_destroy(devices);
    ClosedProbe probe;
    IedConnection_installConnectionClosedHandler(connection.get(), ClosedProbe::handler, &probe);
    peer.setBehaviour(ScriptedPeer::Behaviour::Silent);

    EXPECT_FALSE(readsBoolean(connection.get(), &error));
    EXPECT_EQ(error, IED_ERROR_TIMEOUT);
    EXPECT_EQ(probe.count(), 1);
    EXPECT_EQ(probe.connection, connection.get());
    const int seen = peer.requestsSeen();
    EXPECT_FALSE(readsBoolean(connection.get(), &error));
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
    EXPECT_EQ(IedConnection_getLogicalDeviceList(connection.get(), &error), nullptr);
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
    EXPECT_EQ(peer.requestsSeen(), seen);
    connection.reset();
    EXPECT_EQ(probe.count(), 1);
}

// A slow server that is still talking keeps its association: a request that times out while answers
// to others arrive fails alone, and its late answer is not taken for the next request.
TEST(ClientLifecycleTest, SlowServerThatStillAnswersKeepsItsAssociation) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port(), 800);
    ClosedProbe probe;
    IedConnection_installConnectionClosedHandler(connection.get(), ClosedProbe::handler, &probe);
    peer.setBehaviour(ScriptedPeer::Behaviour::AnswerLate);  // one answer each half second, in order

    // The second request waits behind the first: its answer would come after a second, but the first
    // answer arrives while it waits.
    IedClientError firstError = IED_ERROR_UNKNOWN;
    std::thread first([&] { EXPECT_TRUE(readsBoolean(connection.get(), &firstError)); });
    while (peer.requestsSeen() == 0) {
        std::this_thread::sleep_for(1ms);
    }
    IedClientError error = IED_ERROR_OK;
    MmsValue* late = IedConnection_readObject(connection.get(), &error, "simpleIOGenericIO/GGIO1.Mod.stVal",
                                              IEC61850_FC_ST);
    first.join();
    EXPECT_EQ(firstError, IED_ERROR_OK);
    EXPECT_EQ(late, nullptr);
    EXPECT_EQ(error, IED_ERROR_TIMEOUT);

    peer.setBehaviour(ScriptedPeer::Behaviour::Answer);
    IedConnection_setRequestTimeout(connection.get(), 5000);
    EXPECT_TRUE(readsBoolean(connection.get(), &error));  // not the integer that comes in late
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(probe.count(), 0);
}

TEST(ClientLifecycleTest, ServerClosingMidRequestEndsTheRequestAtOnceAndCallsTheHandlerOnce) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port(), 20000);
    ClosedProbe probe;
    IedConnection_installConnectionClosedHandler(connection.get(), ClosedProbe::handler, &probe);
    peer.setBehaviour(ScriptedPeer::Behaviour::CloseOnRequest);

    IedClientError error = IED_ERROR_OK;
    const auto start = Clock::now();
    EXPECT_FALSE(readsBoolean(connection.get(), &error));
    EXPECT_EQ(error, IED_ERROR_CONNECTION_LOST);
    EXPECT_LT(Clock::now() - start, 10s);  // not the 20 s request time-out

    ASSERT_TRUE(probe.waitForCall(5s));
    EXPECT_EQ(probe.connection, connection.get());
    // Later requests fail at once without reaching the server.
    const int seen = peer.requestsSeen();
    const auto later = Clock::now();
    EXPECT_FALSE(readsBoolean(connection.get(), &error));
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
    EXPECT_LT(Clock::now() - later, 5s);  // not the 20 s request time-out
    EXPECT_EQ(peer.requestsSeen(), seen);
    IedConnection_close(connection.get());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(probe.count(), 1);
}

TEST(ClientLifecycleTest, ClosingByTheOwnerCallsNoHandlerAndAllowsAnotherConnect) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port());
    ClosedProbe probe;
    IedConnection_installConnectionClosedHandler(connection.get(), ClosedProbe::handler, &probe);
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", peer.port());
    EXPECT_EQ(error, IED_ERROR_ALREADY_CONNECTED);

    IedConnection_close(connection.get());
    EXPECT_FALSE(readsBoolean(connection.get(), &error));
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
    IedConnection_connect(connection.get(), &error, "127.0.0.1", peer.port());
    ASSERT_EQ(error, IED_ERROR_OK);
    EXPECT_TRUE(readsBoolean(connection.get(), &error));
    connection.reset();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(probe.count(), 0);
}

TEST(ClientLifecycleTest, RequestsFromSeveralThreadsGetTheirOwnAnswers) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port());
    struct Case {
        const char* reference;
        FunctionalConstraint fc;
        MmsType type;
    };
    const std::vector<Case> cases = {
        {kBoolean, IEC61850_FC_ST, MMS_BOOLEAN},
        {"simpleIOGenericIO/GGIO1.Mod.stVal", IEC61850_FC_ST, MMS_INTEGER},
        {"simpleIOGenericIO/GGIO1.AnIn1.mag.f", IEC61850_FC_MX, MMS_FLOAT},
        {"simpleIOGenericIO/LLN0.NamPlt.vendor", IEC61850_FC_DC, MMS_VISIBLE_STRING},
        {"simpleIOGenericIO/GGIO1.AnIn1.t", IEC61850_FC_MX, MMS_UTC_TIME},
        {"simpleIOGenericIO/GGIO1.AnIn1", IEC61850_FC_MX, MMS_STRUCTURE}};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (const Case& c : cases) {
        threads.emplace_back([&, c] {
            for (int i = 0; i < 40; ++i) {
                IedClientError error = IED_ERROR_UNKNOWN;
                MmsValue* value = IedConnection_readObject(connection.get(), &error, c.reference, c.fc);
                if (value == nullptr || MmsValue_getType(value) != c.type) {
                    ++wrong;
                }
                MmsValue_delete(value);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
}

// What an engine does when an idle association is dropped: the handler only posts a notice; its own
// thread then destroys the handle while the receive thread may still be leaving the handler.
TEST(ClientLifecycleTest, DestroyRightAfterTheHandlerFromAnotherThread) {
    ScriptedPeer peer("05-read-types.pcap");
    for (int round = 0; round < 20; ++round) {
        ConnectionPtr connection = connectTo(peer.port());
        ClosedProbe probe;
        IedConnection_installConnectionClosedHandler(connection.get(), ClosedProbe::handler, &probe);
        peer.dropConnections();
        ASSERT_TRUE(probe.waitForCall(5s));
        connection.reset();
        EXPECT_EQ(probe.count(), 1);
    }
}

TEST(ClientLifecycleTest, DestroyInsideTheHandler) {
    ScriptedPeer peer("05-read-types.pcap");
    struct Destroyer {
        std::atomic<int> calls{0};
        static void handler(void* parameter, IedConnection connection) {
            auto* self = static_cast<Destroyer*>(parameter);
            IedConnection_destroy(connection);
            ++self->calls;
        }
    } destroyer;
    IedConnection connection = IedConnection_create();
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_connect(connection, &error, "127.0.0.1", peer.port());
    ASSERT_EQ(error, IED_ERROR_OK);
    IedConnection_installConnectionClosedHandler(connection, Destroyer::handler, &destroyer);
    peer.dropConnections();
    const auto deadline = Clock::now() + 5s;
    while (destroyer.calls == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(destroyer.calls, 1);
}

// Closing never waits long for a server that has stopped answering, whatever the request time-out;
// an abort from another thread ends a request that waits for such a server at once.
TEST(ClientLifecycleTest, ClosingASilentServerIsBounded) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port(), 30000);
    ClosedProbe probe;
    IedConnection_installConnectionClosedHandler(connection.get(), ClosedProbe::handler, &probe);
    peer.setBehaviour(ScriptedPeer::Behaviour::Silent);
    auto start = Clock::now();
    IedConnection_close(connection.get());
    EXPECT_LT(Clock::now() - start, 10s);  // not the 30 s request time-out

    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", peer.port());
    ASSERT_EQ(error, IED_ERROR_OK);
    const int seen = peer.requestsSeen();
    std::thread waiting([&] {
        IedClientError readError = IED_ERROR_OK;
        EXPECT_FALSE(readsBoolean(connection.get(), &readError));
        EXPECT_EQ(readError, IED_ERROR_NOT_CONNECTED);
    });
    while (peer.requestsSeen() == seen) {
        std::this_thread::sleep_for(1ms);
    }
    start = Clock::now();
    IedConnection_abort(connection.get(), &error);
    EXPECT_EQ(error, IED_ERROR_OK);
    waiting.join();
    EXPECT_LT(Clock::now() - start, 10s);
    connection.reset();
    EXPECT_EQ(probe.count(), 0);  // the owner ended both associations
}

}  // namespace
}  // namespace korvan::test
