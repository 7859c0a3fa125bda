#pragma once

#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "iso/scheduler.h"
#include "server/data_model.h"

namespace iecstack::server {

// Makes a served model look alive: measured values drift around their start value and some status
// points toggle, each change with a fresh time stamp and good quality.
class ValueSimulation {
public:
    // Steps on `scheduler`, the server's own; without one, on a scheduler of its own.
    ValueSimulation(DataModel& model, iso::Scheduler& scheduler,
                    std::chrono::milliseconds period = std::chrono::milliseconds(500));
    explicit ValueSimulation(DataModel& model,
                             std::chrono::milliseconds period = std::chrono::milliseconds(500));
    ~ValueSimulation();

    void start();
    void stop();
    // One step, also usable without starting (tests).
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
    std::unique_ptr<iso::Scheduler> ownScheduler_;
    iso::Scheduler* scheduler_ = nullptr;
    std::unique_ptr<iso::TaskGroup> stepping_;  // while started

    void stepLater(iso::TaskGroup& steps);
};

}  // namespace iecstack::server
