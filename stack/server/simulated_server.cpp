#include "server/simulated_server.h"

#include "server/mms_mapping.h"
#include "server/model_builder.h"

namespace iecstack::server {

std::unique_ptr<SimulatedServer> SimulatedServer::start(const std::string& sclPath, Options options,
                                                        std::string* error) {
    auto model = loadDataModel(sclPath, options.iedName);
    if (!model) {
        if (error) {
            *error = model.error().message;
        }
        return nullptr;
    }
    return start(std::move(*model), std::move(options), error);
}

std::unique_ptr<SimulatedServer> SimulatedServer::start(std::unique_ptr<DataModel> model, Options options,
                                                        std::string* error) {
    // A device configured for passwords is never served open; one configured without keeps admitting
    // everyone.
    if (model->requiresPassword && !options.server.password) {
        if (error) {
            *error =
                "IED \"" + model->iedName + "\" asks for password authentication and no password was given";
        }
        return nullptr;
    }
    if (!model->requiresPassword) {
        options.server.password.reset();
    }
    std::unique_ptr<SimulatedServer> s(new SimulatedServer);
    s->model_ = std::move(model);
    s->services_ = std::make_unique<MmsServices>(*s->model_, options.identity);
    s->services_->setMaxReadVariables(options.maxReadVariables);
    s->services_->setCommandTerminations(options.commandTerminations);
    if (!options.filesRoot.empty() && !s->services_->serveFiles(options.filesRoot, error)) {
        return nullptr;
    }
    s->server_ = std::make_unique<MmsServer>(*s->services_, options.server);
    if (!s->server_->start(error)) {
        return nullptr;
    }
    if (options.simulate) {
        s->simulation_ = std::make_unique<ValueSimulation>(*s->model_, s->services_->scheduler(),
                                                           options.simulationPeriod);
        s->simulation_->start();
    }
    return s;
}

SimulatedServer::~SimulatedServer() {
    stop();
}

void SimulatedServer::stop() {
    if (simulation_) {
        simulation_->stop();
    }
    if (server_) {
        server_->stop();
    }
}

bool SimulatedServer::setValue(const std::string& domain, const std::string& item, const MmsValue& value) {
    std::lock_guard<std::mutex> lock(model_->valueLock());
    ModelNode* node = model_->find(domain, item);
    if (!node || checkConformance(*node, value) != Conformance::Conforms) {
        return false;
    }
    storeValue(*model_, *node, value);
    return true;
}

std::optional<MmsValue> SimulatedServer::value(const std::string& domain, const std::string& item) const {
    std::lock_guard<std::mutex> lock(model_->valueLock());
    const ModelNode* node = model_->find(domain, item);
    return node ? std::optional<MmsValue>(valueOf(*node)) : std::nullopt;
}

}  // namespace iecstack::server
