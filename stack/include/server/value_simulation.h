#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "server/data_model.h"

namespace iecstack::server {

// Makes a served model look alive: measured values drift around their start value and some status
// points toggle, each change with a fresh time stamp and good quality.
class ValueSimulation {
public:
    explicit ValueSimulation(DataModel& model,
                             std::chrono::milliseconds period = std::chrono::milliseconds(500));
    ~ValueSimulation();

    void start();
    void stop();
    // One step, also usable without the thread (tests).
    void step();

    size_t measurementCount() const { return measurements_.size(); }
    size_t statusCount() const { return statuses_.size(); }

private:
    struct Point {
        ModelNode* value;
        ModelNode* time;     // may be null
        ModelNode* quality;  // may be null
        double base;
        double band;  // the value stays within base +- band
    };

    DataModel& model_;
    std::chrono::milliseconds period_;
    std::vector<Point> measurements_;
    std::vector<Point> statuses_;
    size_t nextStatus_ = 0;
    unsigned steps_ = 0;
    std::mt19937 random_{61850};
    std::thread thread_;
    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

}  // namespace iecstack::server
