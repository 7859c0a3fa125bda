// Prints how long the simulator needs to load and serve generated models of growing size, from
// about 1,000 to beyond 100,000 attributes: loading, a full directory walk with continuation, and
// reads of whole logical nodes.
#include <chrono>
#include <cstdio>

#include "mms/codec.h"
#include "model_generator.h"
#include "scl/scl_loader.h"
#include "server/mms_services.h"
#include "server/model_builder.h"

using namespace iecstack;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
    std::printf("%8s %10s %10s %12s %14s %14s\n", "nodes", "attributes", "load ms", "names", "directory ms",
                "LN reads/s");
    for (unsigned nodes : {20u, 200u, 1700u, 3500u}) {
        std::string text = iedsim::generateModel(nodes);
        auto start = Clock::now();
        auto doc = scl::loadSclText(text, "generated.icd");
        auto model = doc.ok() ? server::buildDataModel(*doc, "") : server::BuildError{doc.error().message};
        double loadMs = msSince(start);
        if (!model.ok()) {
            std::printf("%u nodes: %s\n", nodes, model.error().message.c_str());
            return 1;
        }
        server::DataModel& m = **model;
        server::MmsServices services(m, {});

        start = Clock::now();
        size_t names = 0;
        uint32_t invoke = 0;
        for (const auto& d : m.domains) {
            mms::GetNameListRequest request;
            request.scope = mms::ObjectName::Scope::Domain;
            request.domainId = d->name;
            for (bool more = true; more;) {
                Bytes bytes = mms::encodePdu(services.answer({++invoke, request}, 65000));
                auto decoded = mms::decodePdu(bytes);
                const auto& r =
                    std::get<mms::GetNameListResponse>(std::get<mms::ConfirmedResponse>(*decoded).service);
                names += r.identifiers.size();
                more = r.moreFollows;
                request.continueAfter = r.identifiers.back();
            }
        }
        double directoryMs = msSince(start);

        start = Clock::now();
        unsigned reads = 0;
        const auto& first = *m.domains.front();
        while (msSince(start) < 300) {
            for (const auto& ln : first.logicalNodes) {
                mms::ReadRequest read;
                read.spec =
                    mms::VariableAccessSpec::list({{mms::ObjectName::domain(first.name, ln->name), {}}});
                mms::encodePdu(services.answer({++invoke, read}, 65000));
                ++reads;
            }
        }
        double readsPerSecond = reads / (msSince(start) / 1000.0);
        std::printf("%8u %10zu %10.0f %12zu %14.0f %14.0f\n", nodes, m.attributeCount(), loadMs, names,
                    directoryMs, readsPerSecond);
    }
    return 0;
}
