#pragma once

#include <cstdint>

namespace korvan::test {

// A loopback TCP port that is bound but not listening, so a connect to it is refused, and that no
// other process (a simulator started by a test running in parallel) can take while this object lives.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    uint16_t port() const { return number; }

private:
    int socketFd = -1;
    uint16_t number = 0;
};

}  // namespace korvan::test
