#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace iecstack::iso {

// The server role's executor: a small pool of threads runs every timed task (delayed answers,
// reporting, selection lapses, simulated values) and drives every association's sends, so that no
// feature keeps a thread of its own and no send waits for another peer.
class Scheduler {
public:
    using Clock = std::chrono::steady_clock;

    explicit Scheduler(size_t threads = 2);
    // Joins the threads; tasks still pending are dropped without running.
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    struct Context;
    Context& context() { return *context_; }

private:
    std::unique_ptr<Context> context_;
};

// The tasks of one owner. They run one at a time (tasks falling due together in no fixed order), and only
// while the group is open: close() (also the destructor) drops what is pending and waits for a running task,
// so the owner may go right after it. close() from inside one of the group's own tasks does not wait for it.
class TaskGroup {
public:
    using Clock = Scheduler::Clock;

    explicit TaskGroup(Scheduler& scheduler);
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    void post(std::function<void()> task);
    void at(Clock::time_point when, std::function<void()> task);
    void close();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace iecstack::iso
