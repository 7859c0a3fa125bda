#include "server/session.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace iecstack::server {
namespace {

// A session whose wire is a list, so the order of what went out can be checked.
struct RecordingSession {
    std::mutex mutex;
    std::vector<uint8_t> wire;  // the first octet of each PDU sent
    bool wireUp = true;
    std::shared_ptr<Session> session = std::make_shared<Session>(7, "peer", 1000, [this](ByteView pdu) {
        std::lock_guard<std::mutex> lock(mutex);
        if (wireUp) {
            wire.push_back(pdu[0]);
        }
        return wireUp;
    });
};

Bytes pdu(uint8_t first) {
    return Bytes{first};
}

// A refusal report sent while answering precedes the response; a report from another thread (a
// command that finished meanwhile) waits for the response, so it can never overtake it.
TEST(Session, ReportsFromTheAnsweringThreadGoFirstOthersWaitForTheResponse) {
    RecordingSession r;
    r.session->beginRequest();
    std::thread other([&] { EXPECT_TRUE(r.session->sendUnconfirmed(pdu(0xb1))); });
    other.join();
    EXPECT_TRUE(r.session->sendUnconfirmed(pdu(0xa3)));
    EXPECT_TRUE(r.session->finishRequest(pdu(0xa1)));
    EXPECT_EQ(r.wire, (std::vector<uint8_t>{0xa3, 0xa1, 0xb1}));

    // Between requests every thread sends at once.
    std::thread idle([&] { EXPECT_TRUE(r.session->sendUnconfirmed(pdu(0xb2))); });
    idle.join();
    EXPECT_EQ(r.wire.back(), 0xb2);
}

TEST(Session, NothingIsSentAfterTheAssociationEnded) {
    RecordingSession r;
    r.session->beginRequest();
    std::thread other([&] { r.session->sendUnconfirmed(pdu(0xb1)); });
    other.join();
    r.session->end();
    EXPECT_TRUE(r.session->ended());
    EXPECT_FALSE(r.session->sendUnconfirmed(pdu(0xa3)));
    EXPECT_FALSE(r.session->finishRequest(pdu(0xa1)));
    EXPECT_TRUE(r.wire.empty());

    RecordingSession broken;
    broken.wireUp = false;
    EXPECT_FALSE(broken.session->sendUnconfirmed(pdu(0xa3)));
}

TEST(Session, DetachedSessionKeepsWhatItWasAskedToSend) {
    auto session = Session::detached(512);
    EXPECT_EQ(session->maxPduSize(), 512u);
    session->sendUnconfirmed(pdu(0xa3));
    session->sendUnconfirmed(pdu(0xa4));
    ASSERT_EQ(session->sent().size(), 2u);
    EXPECT_EQ(session->sent()[1], pdu(0xa4));
}

}  // namespace
}  // namespace iecstack::server
