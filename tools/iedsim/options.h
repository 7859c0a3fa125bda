#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace iedsim {

struct Options {
    std::string sclPath;
    std::string iedName;
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 102;
    bool simulate = false;
    bool noTermination = false;  // enhanced-security commands are never terminated
    unsigned simulationPeriodMs = 500;
    size_t maxPdu = 65000;
    unsigned latencyMs = 0;
    size_t maxConnections = 32;
    std::optional<uint64_t> silentAfter;  // answer nothing after this many requests
    unsigned maxOutstanding = 5;
    unsigned idleTimeoutMs = 0;
    unsigned maxReadVariables = 0;  // 0: any number per Read        // 0: associations may stay idle forever
    unsigned stallTimeoutMs = 10000;   // a client whose oldest unsent PDU waits longer is aborted
    unsigned maxUnsent = 1000;         // likewise a client with more PDUs unsent
    std::string filesRoot;          // served through the file services when set
    std::optional<std::string> password;  // for files that ask for password authentication
    std::optional<unsigned> generate;  // write a generated model of N logical nodes and exit
    bool help = false;
};

// Parses the command line (without the program name). Returns the problem on failure.
std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& options);

extern const char* const kUsage;

}  // namespace iedsim
