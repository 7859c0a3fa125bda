#pragma once

#include <chrono>

namespace iecstack::iso {

// A point in time that several blocking steps share, so that a slow peer cannot stretch a time-out
// by answering each step just in time.
class Deadline {
public:
    static Deadline after(std::chrono::milliseconds duration) {
        return Deadline(std::chrono::steady_clock::now() + duration, false);
    }
    static Deadline never() { return Deadline({}, true); }

    // For poll(): -1 waits forever, 0 once the deadline has passed.
    int remainingMs() const {
        if (forever_) {
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(at_ - std::chrono::steady_clock::now())
                .count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

private:
    Deadline(std::chrono::steady_clock::time_point at, bool forever) : at_(at), forever_(forever) {}

    std::chrono::steady_clock::time_point at_;
    bool forever_;
};

}  // namespace iecstack::iso
