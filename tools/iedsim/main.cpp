#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>
#include <optional>

#include "model_generator.h"
#include "options.h"
#include "server/model_builder.h"
#include "server/simulated_server.h"

namespace {

std::mutex outputLock;

void logLine(const std::string& line) {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
    std::lock_guard<std::mutex> lock(outputLock);
    std::printf("%s.%03d %s\n", stamp, static_cast<int>(ms), line.c_str());
    std::fflush(stdout);
}

// The IPv4 address of a name such as "localhost"; an address in dotted form stays as it is.
std::optional<std::string> ipv4Of(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(found);
    return ok ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace iecstack::server;
    iedsim::Options options;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (auto problem = iedsim::parseOptions(args, options)) {
        std::fprintf(stderr, "iedsim: %s\n%s", problem->c_str(), iedsim::kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(iedsim::kUsage, stdout);
        return 0;
    }
    if (options.generate) {
        std::string text = iedsim::generateModel(*options.generate);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }

    const std::optional<std::string> bindAddress = ipv4Of(options.bindAddress);
    if (!bindAddress) {
        std::fprintf(stderr,
                     "iedsim: cannot listen on %s: not an IPv4 address or a name this machine knows\n",
                     options.bindAddress.c_str());
        return 1;
    }
    options.bindAddress = *bindAddress;

    // Signals are taken by sigwait below; every thread started from here on inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto started = std::chrono::steady_clock::now();
    auto model = loadDataModel(options.sclPath, options.iedName);
    if (!model) {
        std::fprintf(stderr, "iedsim: %s\n", model.error().message.c_str());
        return 1;
    }
    for (const std::string& warning : (*model)->warnings) {
        std::fprintf(stderr, "iedsim: warning: %s\n", warning.c_str());
    }
    if ((*model)->requiresPassword && !options.password) {
        std::fprintf(stderr,
                     "iedsim: %s asks for password authentication (Authentication none=\"false\" "
                     "password=\"true\"); give the password clients must use with --password\n",
                     options.sclPath.c_str());
        return 1;
    }
    if (!(*model)->requiresPassword && options.password) {
        std::fprintf(stderr,
                     "iedsim: warning: %s does not ask for password authentication; --password is not "
                     "checked\n",
                     options.sclPath.c_str());
    }
    auto loadMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    logLine("model " + (*model)->iedName + ": " + std::to_string((*model)->domains.size()) +
            " logical devices, " + std::to_string((*model)->attributeCount()) + " attributes, loaded in " +
            std::to_string(loadMs.count()) + " ms");

    SimulatedServer::Options serverOptions;
    serverOptions.iedName = options.iedName;
    serverOptions.simulate = options.simulate;
    serverOptions.simulationPeriod = std::chrono::milliseconds(options.simulationPeriodMs);
    serverOptions.server.bindAddress = options.bindAddress;
    serverOptions.server.port = options.port;
    serverOptions.server.maxPduSize = options.maxPdu;
    serverOptions.server.responseDelay = std::chrono::milliseconds(options.latencyMs);
    serverOptions.server.maxConnections = options.maxConnections;
    serverOptions.server.silentAfterRequests = options.silentAfter;
    serverOptions.server.maxOutstanding = static_cast<int>(options.maxOutstanding);
    serverOptions.server.idleTimeout = std::chrono::milliseconds(options.idleTimeoutMs);
    serverOptions.maxReadVariables = options.maxReadVariables;
    serverOptions.server.sendLimits.stallTimeout = std::chrono::milliseconds(options.stallTimeoutMs);
    serverOptions.server.sendLimits.maxUnsentPdus = options.maxUnsent;
    serverOptions.commandTerminations = !options.noTermination;
    serverOptions.filesRoot = options.filesRoot;
    serverOptions.server.log = logLine;
    serverOptions.server.password = options.password;
    std::string error;
    auto server = SimulatedServer::start(std::move(*model), serverOptions, &error);
    if (!server) {
        std::fprintf(stderr, "iedsim: %s\n", error.c_str());
        return 1;
    }
    {
        std::lock_guard<std::mutex> lock(outputLock);
        std::printf("iedsim listening on %s:%u\n", options.bindAddress.c_str(), server->port());
        std::fflush(stdout);
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    logLine(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    server->stop();
    logLine("stopped");
    return 0;
}
