#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readplanner.h"

using iec61850::ReadPlanner;
using ReadIds = std::vector<ReadPlanner::ReadId>;

namespace {

// Variables of 20 characters in domain "LD", each taking 34 octets of a request.
std::string item(int n) {
    std::string name = "LLN0$ST$Attr" + std::to_string(n);
    name.resize(20, 'x');
    return name;
}

void addReads(ReadPlanner& planner, int count, const std::string& domain = "LD") {
    for (int i = 0; i < count; ++i) {
        planner.add(domain, item(i));
    }
}

ReadIds idsOf(const std::vector<ReadPlanner::Request>& requests) {
    ReadIds ids;
    for (const ReadPlanner::Request& request : requests) {
        ids.insert(ids.end(), request.reads.begin(), request.reads.end());
    }
    return ids;
}

ReadIds range(ReadPlanner::ReadId from, ReadPlanner::ReadId to) {
    ReadIds ids;
    for (ReadPlanner::ReadId id = from; id < to; ++id) {
        ids.push_back(id);
    }
    return ids;
}

std::vector<ReadPlanner::Request> drain(ReadPlanner& planner) {
    std::vector<ReadPlanner::Request> requests;
    while (auto request = planner.next()) {
        requests.push_back(*request);
    }
    return requests;
}

}  // namespace

// Packing: requests stay within the PDU, never mix domains, and take every read once in order.
TEST(ReadPlannerPacking, RequestsFitThePduAndKeepTheOrder) {
    // 32 octets of envelope, then 2 + 34 per variable: 10 variables fit 400 octets, 11 do not.
    ReadPlanner planner(400, 100);
    addReads(planner, 25);
    const auto requests = drain(planner);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].reads.size(), 10u);
    EXPECT_EQ(requests[1].reads.size(), 10u);
    EXPECT_EQ(requests[2].reads.size(), 5u);
    EXPECT_EQ(idsOf(requests), range(0, 25));
    EXPECT_EQ(requests[0].items.front(), item(0));
    EXPECT_EQ(requests[2].items.back(), item(24));
}

TEST(ReadPlannerPacking, AVariableLargerThanThePduStillGoesOutAlone) {
    ReadPlanner planner(64, 5);
    planner.add("LD", std::string(200, 'v'));
    planner.add("LD", "small");
    const auto requests = drain(planner);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].reads, ReadIds{0});
    EXPECT_EQ(requests[1].reads, ReadIds{1});
}

TEST(ReadPlannerPacking, OneDomainPerRequest) {
    ReadPlanner planner(65000, 5);
    addReads(planner, 3, "LD1");
    addReads(planner, 2, "LD2");
    addReads(planner, 1, "LD1");
    const auto requests = drain(planner);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].domain, "LD1");
    EXPECT_EQ(requests[0].reads.size(), 3u);
    EXPECT_EQ(requests[1].domain, "LD2");
    EXPECT_EQ(requests[2].domain, "LD1");
}

// Each read keeps its domain while earlier reads leave the window, reads without a request sit
// between domains, a request is sent again, and a domain comes back after another.
TEST(ReadPlannerPacking, ReadsKeepTheirDomainAsTheWindowMoves) {
    ReadPlanner planner(65000, 1);
    addReads(planner, 3, "LD1");
    planner.addFinished();
    addReads(planner, 2, "LD2");
    const auto first = planner.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->domain, "LD1");
    EXPECT_EQ(first->reads, range(0, 3));
    planner.answered(first->id);
    EXPECT_EQ(planner.finishedInOrder(), range(0, 4));
    const auto second = planner.next();
    ASSERT_TRUE(second);
    planner.busy(second->id);
    addReads(planner, 1, "LD1");
    addReads(planner, 1, "LD2");
    const auto again = planner.next();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->domain, "LD2");
    EXPECT_EQ(again->reads, range(4, 6));
    EXPECT_EQ(again->items, (std::vector<std::string>{item(0), item(1)}));
    planner.answered(again->id);
    EXPECT_EQ(planner.finishedInOrder(), range(4, 6));
    const auto back = planner.next();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->domain, "LD1");
    EXPECT_EQ(back->reads, range(6, 7));
    planner.answered(back->id);
    const auto last = planner.next();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->domain, "LD2");
    EXPECT_EQ(last->reads, range(7, 8));
    EXPECT_EQ(last->items, (std::vector<std::string>{item(0)}));
}

// Names are kept packed while the window moves on: every request still names what was added for its
// reads, whatever was handed back before, with reads of other lengths and without a request between.
TEST(ReadPlannerPacking, NamesStayRightAsTheWindowMovesOn) {
    ReadPlanner planner(2000, 3);
    std::vector<std::string> names;  // by read id; empty for reads without a request
    const auto addSome = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const size_t n = names.size();
            if (n % 97 == 0) {
                planner.addFinished();
                names.emplace_back();
                continue;
            }
            std::string name = "LN" + std::to_string(n) + "$MX$" + std::string(n % 41, 'a' + char(n % 26));
            planner.add("LD", name);
            names.push_back(name);
        }
    };
    ReadPlanner::ReadId returned = 0;
    for (int round = 0; round < 40; ++round) {
        addSome(150);
        while (planner.hasQueued()) {
            auto requests = drain(planner);
            // Answered last first, so that reads finish out of order before they are handed back.
            for (auto request = requests.rbegin(); request != requests.rend(); ++request) {
                ASSERT_EQ(request->reads.size(), request->items.size());
                for (size_t i = 0; i < request->reads.size(); ++i) {
                    EXPECT_EQ(request->items[i], names[static_cast<size_t>(request->reads[i])]);
                }
                planner.answered(request->id);
            }
            for (const ReadPlanner::ReadId id : planner.finishedInOrder()) {
                EXPECT_EQ(id, returned++);
            }
        }
    }
    EXPECT_EQ(returned, names.size());
    EXPECT_TRUE(planner.idle());
}

TEST(ReadPlannerPacking, WorkIsSpreadOverTheAgreedRequestsAndNoMore) {
    ReadPlanner planner(65000, 4);
    addReads(planner, 1000);
    const auto requests = drain(planner);
    ASSERT_EQ(requests.size(), 4u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.reads.size(), 250u);
    }
    EXPECT_EQ(planner.inFlight(), 4);
    // A fifth request waits for an answer.
    planner.add("LD", item(0));
    EXPECT_FALSE(planner.next());
    planner.answered(requests[0].id);
    ASSERT_TRUE(planner.next());
}

TEST(ReadPlannerPacking, NoRequestHoldsMoreThanTheVariableLimit) {
    ReadPlanner planner(1 << 30, 1);
    addReads(planner, ReadPlanner::kMaxVariablesPerRequest + 1);
    const auto first = planner.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(static_cast<int>(first->reads.size()), ReadPlanner::kMaxVariablesPerRequest);
}

// Refusals: a refused request is split, the smaller size holds for later requests, and a refused single
// read ends without taking the others with it.
TEST(ReadPlannerRefusal, RefusedRequestsAreSplitDownToSingleReads) {
    ReadPlanner planner(65000, 1);
    addReads(planner, 4);
    ReadIds finished;
    while (auto request = planner.next()) {
        if (request->reads.size() > 1) {
            EXPECT_TRUE(planner.refused(request->id).empty());
        } else {
            const ReadIds answered = planner.answered(request->id);
            finished.insert(finished.end(), answered.begin(), answered.end());
        }
    }
    EXPECT_EQ(finished, range(0, 4));
    EXPECT_EQ(planner.variablesPerRequest(), 1);
    EXPECT_TRUE(planner.idle());
}

TEST(ReadPlannerRefusal, TheSmallerSizeIsRemembered) {
    ReadPlanner planner(65000, 1);
    addReads(planner, 8);
    const auto large = planner.next();
    ASSERT_TRUE(large);
    EXPECT_EQ(large->reads.size(), 8u);
    planner.refused(large->id);
    const auto half = planner.next();
    ASSERT_TRUE(half);
    EXPECT_EQ(half->reads, range(0, 4));
    planner.answered(half->id);
    const auto rest = planner.next();
    ASSERT_TRUE(rest);
    planner.answered(rest->id);
    // Later reads of the association get the smaller size from the start.
    addReads(planner, 8);
    const auto later = planner.next();
    ASSERT_TRUE(later);
    EXPECT_EQ(later->reads.size(), 4u);
}

TEST(ReadPlannerRefusal, ARefusedSingleReadFinishesWithoutItsNeighbours) {
    ReadPlanner planner(65000, 5);
    planner.add("LD", "a");
    const auto single = planner.next();
    ASSERT_TRUE(single);
    EXPECT_EQ(planner.refused(single->id), ReadIds{0});
    EXPECT_TRUE(planner.idle());
}

// Requests in flight: lowered when the device has enough, raised again once it keeps up, never above
// what was agreed.
TEST(ReadPlannerInFlight, BusyLowersTheLimitAndSuccessesRaiseItAgain) {
    ReadPlanner planner(65000, 5);
    addReads(planner, 500);
    auto requests = drain(planner);
    ASSERT_EQ(requests.size(), 5u);
    planner.busy(requests[4].id);
    EXPECT_EQ(planner.inFlightLimit(), 4);
    EXPECT_TRUE(planner.hasQueued());
    EXPECT_FALSE(planner.next());

    int rounds = 0;
    while (planner.inFlightLimit() < 5 && rounds++ < 100) {
        for (const auto& request : requests) {
            planner.answered(request.id);
        }
        addReads(planner, 500);
        requests = drain(planner);
    }
    EXPECT_EQ(planner.inFlightLimit(), 5);
    EXPECT_LE(rounds, 3);
    for (int i = 0; i < 20; ++i) {
        for (const auto& request : requests) {
            planner.answered(request.id);
        }
        addReads(planner, 500);
        requests = drain(planner);
    }
    EXPECT_EQ(planner.inFlightLimit(), 5);
    EXPECT_LE(planner.inFlight(), 5);
}

TEST(ReadPlannerInFlight, BusyRequestsAreSentAgainInTheirPlace) {
    ReadPlanner planner(65000, 2);
    addReads(planner, 400);
    const auto first = planner.next();
    const auto second = planner.next();
    ASSERT_TRUE(first && second);
    planner.busy(first->id);
    EXPECT_EQ(planner.inFlightLimit(), 1);
    planner.answered(second->id);
    const auto again = planner.next();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->reads.front(), first->reads.front());
}

TEST(ReadPlannerInFlight, OtherRequestsShareTheLimit) {
    ReadPlanner planner(65000, 2);
    EXPECT_TRUE(planner.takeSlot());
    EXPECT_TRUE(planner.takeSlot());
    EXPECT_FALSE(planner.takeSlot());
    addReads(planner, 3);
    EXPECT_FALSE(planner.next());
    planner.slotBusy();
    EXPECT_EQ(planner.inFlightLimit(), 1);
    EXPECT_FALSE(planner.next());
    planner.slotAnswered();
    EXPECT_TRUE(planner.next());
}

TEST(ReadPlannerInFlight, OutcomesOfUnknownRequestsChangeNothing) {
    ReadPlanner planner(65000, 2);
    addReads(planner, 2);
    const auto request = planner.next();
    ASSERT_TRUE(request);
    planner.answered(request->id);
    EXPECT_TRUE(planner.answered(request->id).empty());
    planner.busy(request->id);
    EXPECT_TRUE(planner.failed(request->id).empty());
    EXPECT_EQ(planner.inFlight(), 0);
    EXPECT_EQ(planner.inFlightLimit(), 2);
}

// Order: reads come back in the order they were added, whatever order their requests are answered in.
TEST(ReadPlannerOrder, FinishedReadsComeBackInTheOrderAdded) {
    ReadPlanner planner(400, 3);
    addReads(planner, 30);
    const auto requests = drain(planner);
    ASSERT_EQ(requests.size(), 3u);
    planner.answered(requests[2].id);
    planner.failed(requests[1].id);
    EXPECT_TRUE(planner.finishedInOrder().empty());
    planner.answered(requests[0].id);
    EXPECT_EQ(planner.finishedInOrder(), range(0, 30));
    EXPECT_TRUE(planner.finishedInOrder().empty());
    EXPECT_EQ(planner.firstUnreturned(), planner.nextId());
}

TEST(ReadPlannerOrder, ReadsWithoutARequestKeepTheirPlace) {
    ReadPlanner planner(65000, 1);
    planner.add("LD", "a");
    const ReadPlanner::ReadId nothing = planner.addFinished();
    planner.add("LD", "b");
    EXPECT_TRUE(planner.finishedInOrder().empty());
    const auto request = planner.next();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->items, (std::vector<std::string>{"a", "b"}));
    planner.answered(request->id);
    EXPECT_EQ(planner.finishedInOrder(), (ReadIds{0, nothing, 2}));
}

TEST(ReadPlannerOrder, ASplitRequestKeepsItsReadsInOrder) {
    ReadPlanner planner(65000, 1);
    addReads(planner, 6);
    const auto whole = planner.next();
    ASSERT_TRUE(whole);
    planner.refused(whole->id);
    ReadIds sent;
    while (auto part = planner.next()) {
        sent.insert(sent.end(), part->reads.begin(), part->reads.end());
        planner.answered(part->id);
    }
    EXPECT_EQ(sent, range(0, 6));
    EXPECT_EQ(planner.finishedInOrder(), range(0, 6));
}
