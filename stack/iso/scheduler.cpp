#include "iso/scheduler.h"

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <condition_variable>
#include <mutex>

#include "scheduler_context.h"

namespace iecstack::iso {

Scheduler::Scheduler(size_t threads) : context_(std::make_unique<Context>()) {
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i) {
        context_->threads.emplace_back([this] { context_->io.run(); });
    }
}

Scheduler::~Scheduler() {
    context_->work.reset();
    context_->io.stop();
    for (std::thread& thread : context_->threads) {
        thread.join();
    }
}

struct TaskGroup::State {
    explicit State(asio::io_context& io) : strand(asio::make_strand(io)) {}

    // Runs `task` unless the group was closed; close() waits while one runs.
    void run(const std::function<void()>& task) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (closed) {
                return;
            }
            runningOn = std::this_thread::get_id();
        }
        task();
        std::lock_guard<std::mutex> lock(mutex);
        runningOn = std::thread::id();
        finished.notify_all();
    }

    asio::strand<asio::io_context::executor_type> strand;
    std::mutex mutex;
    std::condition_variable finished;
    bool closed = false;
    std::thread::id runningOn;  // the strand runs one task at a time
};

TaskGroup::TaskGroup(Scheduler& scheduler) : state_(std::make_shared<State>(scheduler.context().io)) {}

TaskGroup::~TaskGroup() {
    close();
}

void TaskGroup::post(std::function<void()> task) {
    asio::post(state_->strand, [state = state_, task = std::move(task)] { state->run(task); });
}

void TaskGroup::at(Clock::time_point when, std::function<void()> task) {
    auto timer = std::make_shared<asio::steady_timer>(state_->strand, when);
    timer->async_wait([timer, state = state_, task = std::move(task)](const std::error_code& error) {
        if (!error) {
            state->run(task);
        }
    });
}

void TaskGroup::close() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->closed = true;
    state_->finished.wait(lock, [this] {
        return state_->runningOn == std::thread::id() || state_->runningOn == std::this_thread::get_id();
    });
}

}  // namespace iecstack::iso
