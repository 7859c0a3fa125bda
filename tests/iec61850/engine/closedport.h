#pragma once

#include <QtGlobal>

// A loopback TCP port that is bound but not listening, so a connect to it is refused, and that no
// other process (a simulator started by a test running in parallel) can take while this object lives.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    quint16 port() const { return number; }

private:
    int socketFd = -1;
    quint16 number = 0;
};
