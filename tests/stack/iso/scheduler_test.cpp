// The server's executor: what its owners rely on when they go. A closed group runs nothing more, close()
// waits for a task under way (the owner's state may vanish right after), a task may close its own
// group without deadlock, and tasks of one group never overlap even on several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "iso/scheduler.h"

using namespace iecstack::iso;
using namespace std::chrono_literals;

namespace {

// Set once, waited for by another thread.
class Flag {
public:
    void set() {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    bool waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

}  // namespace

TEST(TaskGroup, CloseDropsPendingTasksAndWaitsForTheRunningOne) {
    Scheduler scheduler(2);
    TaskGroup group(scheduler);
    Flag started;
    Flag release;
    std::atomic<bool> finished{false};
    std::atomic<int> late{0};
    group.post([&] {
        started.set();
        release.waitFor(5s);
        finished = true;
    });
    group.at(TaskGroup::Clock::now() + 50ms, [&] { ++late; });
    ASSERT_TRUE(started.waitFor(5s));
    std::thread releaser([&] {
        std::this_thread::sleep_for(100ms);
        release.set();
    });
    group.close();
    EXPECT_TRUE(finished) << "close() returned while a task still ran";
    releaser.join();
    group.post([&] { ++late; });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(late, 0);
}

TEST(TaskGroup, ATaskMayCloseItsOwnGroup) {
    Scheduler scheduler(1);
    TaskGroup group(scheduler);
    Flag done;
    group.post([&] {
        group.close();
        done.set();
    });
    EXPECT_TRUE(done.waitFor(5s));
}

TEST(TaskGroup, TasksOfOneGroupNeverOverlapOnSeveralThreads) {
    Scheduler scheduler(4);
    TaskGroup group(scheduler);
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<int> ran{0};
    Flag done;
    const auto start = TaskGroup::Clock::now() + 20ms;
    for (int i = 0; i < 200; ++i) {
        auto task = [&] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            std::this_thread::yield();
            --running;
            if (++ran == 400) {
                done.set();
            }
        };
        group.at(start + std::chrono::microseconds(i % 7), task);
        group.post(task);
    }
    ASSERT_TRUE(done.waitFor(5s));
    group.close();
    EXPECT_FALSE(overlapped);
}
