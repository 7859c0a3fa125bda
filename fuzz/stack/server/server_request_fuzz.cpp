// The server's answer to whatever PDU a client sends, against the sample bay model: every PDU is
// answered or ignored, and neither the answer nor a report it causes exceeds the agreed PDU size. Writes change the model, as
// they would on a device, so later inputs meet a model that earlier ones changed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "server/mms_services.h"
#include "server/model_builder.h"

namespace {

using namespace iecstack;

struct Served {
    std::unique_ptr<server::DataModel> model;
    std::unique_ptr<server::MmsServices> services;
};

Served& served() {
    static Served instance = [] {
        Served s;
        auto model = server::loadDataModel(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd", "");
        if (!model) {
            std::fprintf(stderr, "sample model not loaded: %s\n", model.error().message.c_str());
            std::abort();
        }
        s.model = std::move(*model);
        s.services = std::make_unique<server::MmsServices>(*s.model, server::ServerIdentity{});
        return s;
    }();
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first octet picks one of the PDU sizes a client may have agreed to.
    static constexpr size_t kPduSizes[] = {65000, 4096, 512};
    if (size == 0) {
        return 0;
    }
    const size_t pduSize = kPduSizes[data[0] % 3];
    // A client of its own for every input, which leaves when its PDU is answered.
    const auto session = server::Session::detached(pduSize);
    session->beginRequest();
    const server::ServiceOutcome outcome = served().services->handle(*session, ByteView(data + 1, size - 1));
    session->finishRequest(outcome.response);
    served().services->associationEnded(*session);
    if (outcome.response.size() > pduSize) {
        std::abort();
    }
    for (const Bytes& report : session->sent()) {
        if (report.size() > pduSize) {
            std::abort();
        }
    }
    return 0;
}
