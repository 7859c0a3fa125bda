#include "request_tracker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using iecstack::client::ClientError;
using iecstack::client::RequestOutcome;
using iecstack::client::RequestTracker;
using namespace std::chrono_literals;

namespace {

RequestTracker::Clock::time_point in(std::chrono::milliseconds ms) {
    return RequestTracker::Clock::now() + ms;
}

RequestOutcome answer(uint32_t logicalStatus) {
    iecstack::mms::StatusResponse status;
    status.vmdLogicalStatus = logicalStatus;
    return RequestOutcome{ClientError::Ok, iecstack::mms::ConfirmedResponseService{status}};
}

int64_t statusOf(const RequestOutcome& outcome) {
    return std::get<iecstack::mms::StatusResponse>(*outcome.response).vmdLogicalStatus;
}

TEST(RequestTrackerTest, AnswersInAnyOrderReachTheThreadThatAsked) {
    RequestTracker tracker(8);
    constexpr int kThreads = 6;
    std::vector<uint32_t> ids(kThreads);
    ClientError error = ClientError::Ok;
    for (int i = 0; i < kThreads; ++i) {
        ids[i] = *tracker.begin(in(1s), &error);
    }
    std::vector<int64_t> received(kThreads, -1);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kThreads; ++i) {
        waiters.emplace_back([&, i] {
            const RequestOutcome outcome = tracker.wait(ids[i], in(5s));
            received[i] = outcome.error == ClientError::Ok ? statusOf(outcome) : -2;
        });
    }
    for (int i = kThreads - 1; i >= 0; --i) {
        EXPECT_TRUE(tracker.complete(ids[i], answer(100 + i)));
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(received[i], 100 + i);
    }
}

TEST(RequestTrackerTest, TimeOutFreesTheSlotAndALateAnswerGoesNowhere) {
    RequestTracker tracker(1);
    ClientError error = ClientError::Ok;
    const uint32_t id = *tracker.begin(in(1s), &error);
    EXPECT_EQ(tracker.wait(id, in(20ms)).error, ClientError::Timeout);
    EXPECT_FALSE(tracker.complete(id, answer(1)));
    // The only slot is free again, and the next request does not reuse the timed-out ID.
    const auto next = tracker.begin(in(1s), &error);
    ASSERT_TRUE(next);
    EXPECT_NE(*next, id);
}

TEST(RequestTrackerTest, CloseReleasesWaitersAtOnceAndRefusesLaterRequests) {
    RequestTracker tracker(5);
    ClientError error = ClientError::Ok;
    const uint32_t id = *tracker.begin(in(1s), &error);
    std::atomic<bool> returned{false};
    ClientError waited = ClientError::Ok;
    const auto start = RequestTracker::Clock::now();
    std::thread waiter([&] {
        waited = tracker.wait(id, in(30s)).error;
        returned = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned);
    tracker.close(ClientError::ConnectionLost);
    tracker.close(ClientError::Timeout);  // a second reason does not overwrite the first
    waiter.join();
    EXPECT_EQ(waited, ClientError::ConnectionLost);
    EXPECT_LT(RequestTracker::Clock::now() - start, 5s);
    EXPECT_FALSE(tracker.begin(in(30s), &error));
    EXPECT_EQ(error, ClientError::NotConnected);
}

TEST(RequestTrackerTest, RequestsBeyondTheAgreedNumberWaitForAFreeSlot) {
    RequestTracker tracker(1);
    ClientError error = ClientError::Ok;
    const uint32_t first = *tracker.begin(in(1s), &error);
    EXPECT_FALSE(tracker.begin(in(20ms), &error));
    EXPECT_EQ(error, ClientError::OutstandingCallLimitReached);

    std::optional<uint32_t> second;
    std::thread late([&] {
        ClientError lateError = ClientError::Ok;
        second = tracker.begin(in(5s), &lateError);
    });
    tracker.complete(first, answer(1));
    EXPECT_EQ(tracker.wait(first, in(1s)).error, ClientError::Ok);
    late.join();
    EXPECT_TRUE(second);
}

}  // namespace

// An asynchronous request learns its outcome exactly once, whichever of answer, time-out or loss of
// the association comes first, and never waits for a slot.
TEST(RequestTrackerTest, AsynchronousRequestsEndOnceAndNeverWaitForASlot) {
    RequestTracker tracker(2);
    std::vector<std::pair<uint32_t, ClientError>> ended;
    auto record = [&ended](uint32_t id, RequestOutcome outcome) { ended.emplace_back(id, outcome.error); };
    ClientError error = ClientError::Ok;
    const auto answered = tracker.beginAsync(in(5s), record, &error);
    const auto expiring = tracker.beginAsync(in(0ms), record, &error);
    ASSERT_TRUE(answered && expiring);
    EXPECT_FALSE(tracker.beginAsync(in(5s), record, &error));
    EXPECT_EQ(error, ClientError::OutstandingCallLimitReached);

    EXPECT_TRUE(tracker.complete(*answered, answer(1)));
    EXPECT_FALSE(tracker.complete(*answered, answer(2)));
    tracker.expire(RequestTracker::Clock::now());
    EXPECT_FALSE(tracker.complete(*expiring, answer(3)));  // late answer after the time-out

    const auto lost = tracker.beginAsync(in(5s), record, &error);
    ASSERT_TRUE(lost);
    tracker.close(ClientError::ConnectionLost);
    tracker.close(ClientError::ConnectionLost);
    EXPECT_EQ(ended, (std::vector<std::pair<uint32_t, ClientError>>{{*answered, ClientError::Ok},
                                                                    {*expiring, ClientError::Timeout},
                                                                    {*lost, ClientError::ConnectionLost}}));
    EXPECT_FALSE(tracker.beginAsync(in(5s), record, &error));
    EXPECT_EQ(error, ClientError::NotConnected);
}
