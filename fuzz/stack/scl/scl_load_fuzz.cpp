// Configuration files are hostile input too (they come from other tools and other people): loading
// ends in a document or a readable refusal, and every IED of a loaded document builds into a model
// or a readable refusal, whatever its templates say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scl/scl_loader.h"
#include "server/model_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace iecstack;
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto document = scl::loadSclText(text, "fuzz.scd");
    if (!document) {
        if (document.error().message.empty()) {
            std::abort();
        }
        return 0;
    }
    for (const scl::Ied& ied : document->ieds) {
        auto model = server::buildDataModel(*document, ied.name);
        if (!model && model.error().message.empty()) {
            std::abort();
        }
    }
    return 0;
}
