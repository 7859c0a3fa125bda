#pragma once

#include <memory>
#include <optional>
#include <string>

#include "server/data_model.h"
#include "server/mms_server.h"
#include "server/mms_services.h"
#include "server/value_simulation.h"

namespace iecstack::server {

// A complete simulated device: a model loaded from a configuration file, served on a TCP port,
// optionally with moving values. Tests use it with port 0 on 127.0.0.1:
//
//   std::string error;
//   auto ied = SimulatedServer::start(path, {}, &error);   // ied->port() is the chosen port
//   ...
//   ied->stop();                                          // or let it go out of scope
class SimulatedServer {
public:
    struct Options {
        std::string iedName;  // which IED of a multi-IED file; empty when there is only one
        ServerOptions server = loopbackAnyPort();
        bool simulate = false;
        std::chrono::milliseconds simulationPeriod{500};
        ServerIdentity identity;
        size_t maxReadVariables = 0;  // see MmsServices::setMaxReadVariables
        bool commandTerminations = true;  // see MmsServices::setCommandTerminations
        std::string filesRoot;        // served through the file services when not empty

        static ServerOptions loopbackAnyPort() {
            ServerOptions o;
            o.port = 0;
            return o;
        }
    };

    // Null, with `error` set to a readable reason, when the file cannot be served.
    static std::unique_ptr<SimulatedServer> start(const std::string& sclPath, Options options,
                                                  std::string* error = nullptr);
    static std::unique_ptr<SimulatedServer> start(std::unique_ptr<DataModel> model, Options options,
                                                  std::string* error = nullptr);
    ~SimulatedServer();

    uint16_t port() const { return server_->port(); }
    DataModel& model() { return *model_; }
    MmsServer& server() { return *server_; }
    // Closes every connection and joins every thread; idempotent.
    void stop();
    // What tests change behind the clients' backs, as the process would: false when the variable does
    // not exist or the value does not fit its type.
    bool setValue(const std::string& domain, const std::string& item, const MmsValue& value);
    std::optional<MmsValue> value(const std::string& domain, const std::string& item) const;

private:
    SimulatedServer() = default;

    std::unique_ptr<DataModel> model_;
    std::unique_ptr<MmsServices> services_;
    std::unique_ptr<MmsServer> server_;
    std::unique_ptr<ValueSimulation> simulation_;
};

}  // namespace iecstack::server
