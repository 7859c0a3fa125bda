#pragma once
// What the transport needs of the scheduler: its Asio context, for sockets that send asynchronously.

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <thread>
#include <vector>

#include "iso/scheduler.h"

namespace iecstack::iso {

struct Scheduler::Context {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
    std::vector<std::thread> threads;
};

}  // namespace iecstack::iso
