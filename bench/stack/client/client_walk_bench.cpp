// Discovery walk through the client API against the simulator, for two generated models where the
// second is three times the first. A walk that answers directory calls from an index grows linearly
// (ratio near 3) and is bounded by the round trips of its reads; the figures put the time per read
// next to a bare TCP ping-pong on the same loopback.
//
// Usage: client_walk_bench [logical nodes of the small model, default 220, about 13,500 attributes]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "api_walk.h"
#include "iec61850_client.h"
#include "simulatorprocess.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct WalkFigures {
    korvan::test::WalkResult walk;
    double seconds = 0;
    double microsecondsPerRead = 0;  // a loop of reads of one attribute
};

bool runWalk(unsigned logicalNodes, WalkFigures* figures) {
    korvan::test::SimulatorProcess ied;
    if (!ied.startGenerated(logicalNodes)) {
        std::fprintf(stderr, "simulator: %s\n", ied.errorText().c_str());
        return false;
    }
    // Each walk runs on a fresh association, so every run fetches the names again; the best of a few runs
    // keeps other load on the machine out of the figures as far as possible.
    constexpr int kRuns = 3;
    figures->seconds = 0;
    figures->microsecondsPerRead = 0;
    for (int run = 0; run < kRuns; ++run) {
        IedConnection connection = IedConnection_create();
        IedClientError clientError = IED_ERROR_OK;
        IedConnection_connect(connection, &clientError, "127.0.0.1", ied.port());
        if (clientError != IED_ERROR_OK) {
            std::fprintf(stderr, "connect failed: %d\n", clientError);
            IedConnection_destroy(connection);
            return false;
        }
        const auto start = Clock::now();
        figures->walk = korvan::test::walkModel(connection);
        const double seconds = secondsSince(start);
        figures->seconds = run == 0 ? seconds : std::min(figures->seconds, seconds);

        // Reads alone, of one attribute of the first device.
        LinkedList devices = IedConnection_getLogicalDeviceList(connection, &clientError);
        const std::string reference =
            std::string(static_cast<const char*>(LinkedList_getData(LinkedList_getNext(devices)))) +
            "/LLN0.Mod.stVal";
        LinkedList_destroy(devices);
        constexpr int kReads = 5000;
        const auto readStart = Clock::now();
        for (int i = 0; i < kReads; ++i) {
            MmsValue_delete(
                IedConnection_readObject(connection, &clientError, reference.c_str(), IEC61850_FC_ST));
        }
        const double perRead = secondsSince(readStart) * 1e6 / kReads;
        figures->microsecondsPerRead = run == 0 ? perRead : std::min(figures->microsecondsPerRead, perRead);
        IedConnection_destroy(connection);
    }
    return figures->walk.error == IED_ERROR_OK;
}

// Round trips of a small message over a loopback TCP connection to an echo thread.
double pingPongMicroseconds(int rounds) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(listener, 1);
    socklen_t length = sizeof(address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    constexpr size_t kSize = 64;
    std::thread echo([listener, rounds] {
        const int peer = ::accept(listener, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        char buffer[kSize];
        for (int i = 0; i < rounds; ++i) {
            size_t got = 0;
            while (got < kSize) {
                const ssize_t n = ::recv(peer, buffer + got, kSize - got, 0);
                if (n <= 0) {
                    ::close(peer);
                    return;
                }
                got += static_cast<size_t>(n);
            }
            ::send(peer, buffer, kSize, 0);
        }
        ::close(peer);
    });
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    char buffer[kSize] = {};
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        ::send(client, buffer, kSize, 0);
        size_t got = 0;
        while (got < kSize) {
            const ssize_t n = ::recv(client, buffer + got, kSize - got, 0);
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
    }
    const double micro = secondsSince(start) * 1e6 / rounds;
    ::close(client);
    echo.join();
    ::close(listener);
    return micro;
}

void print(const char* label, unsigned logicalNodes, const WalkFigures& f) {
    std::printf(
        "%-5s %5u LNs: %7zu attributes read, %7zu directory calls, %3zu data sets, %4zu RCBs: "
        "best walk %.3f s (%.1f us per attribute); best read loop %.1f us per read\n",
        label, logicalNodes, f.walk.reads, f.walk.directoryCalls, f.walk.dataSets, f.walk.reportControlBlocks,
        f.seconds, f.seconds * 1e6 / static_cast<double>(f.walk.reads), f.microsecondsPerRead);
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned small = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 220;
    const unsigned large = small * 3;
    WalkFigures smallWalk;
    WalkFigures largeWalk;
    if (!runWalk(small, &smallWalk) || !runWalk(large, &largeWalk)) {
        std::fprintf(stderr, "walk failed: error %d at %s / %s\n", smallWalk.walk.error,
                     smallWalk.walk.failedReference.c_str(), largeWalk.walk.failedReference.c_str());
        return 1;
    }
    print("small", small, smallWalk);
    print("large", large, largeWalk);
    std::printf("ratio large/small: %.2f for %.2f times the attributes\n",
                largeWalk.seconds / smallWalk.seconds,
                static_cast<double>(largeWalk.walk.reads) / static_cast<double>(smallWalk.walk.reads));
    double ping = pingPongMicroseconds(20000);
    for (int run = 1; run < 3; ++run) {
        ping = std::min(ping, pingPongMicroseconds(20000));
    }
    std::printf(
        "bare TCP ping-pong on loopback: %.1f us per round trip; a read costs %.1f round trips, "
        "a walked attribute %.1f\n",
        ping, largeWalk.microsecondsPerRead / ping,
        largeWalk.seconds * 1e6 / static_cast<double>(largeWalk.walk.reads) / ping);
    return 0;
}
