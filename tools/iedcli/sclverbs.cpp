#include "sclverbs.h"

#include <cstdio>

#include "modelcompare.h"
#include "sclfile.h"
#include "sclwriter.h"
#include "session.h"

namespace iedcli {

namespace {

constexpr int kDifferent = 1;

}  // namespace

bool compareArgumentsFit(const std::vector<std::string>& arguments) {
    return arguments.size() == 1 || (arguments.size() == 3 && arguments[1] == "--ied");
}

int compareWithFile(IedConnection connection, const std::vector<std::string>& arguments) {
    const std::string& path = arguments.at(0);
    const std::string ied = arguments.size() == 3 ? arguments[2] : std::string();
    auto file = korvan::scl::SclFile::open(path);
    if (!file) {
        std::fprintf(stderr, "iedcli: %s\n", file.error().message.c_str());
        return kUsage;
    }
    auto model = file->model(ied);
    if (!model) {
        std::fprintf(stderr, "iedcli: %s\n", model.error().message.c_str());
        return kUsage;
    }
    auto device = korvan::scl::readSnapshot(connection);
    if (!device) {
        std::fprintf(stderr, "iedcli: reading the device failed at %s\n", device.error().message.c_str());
        return kUsage;
    }
    const auto differences = korvan::scl::compareModels(*device, korvan::scl::snapshotOf(**model));
    for (const auto& difference : differences) {
        std::printf("%s\n", korvan::scl::differenceLine(difference).c_str());
    }
    return differences.empty() ? kOk : kDifferent;
}

bool saveArgumentsFit(const std::vector<std::string>& arguments) {
    return (arguments.size() == 1 ||
            (arguments.size() == 3 && arguments[1] == "--ied" && !arguments[2].empty())) &&
           !arguments[0].empty();
}

int saveModelAsScl(IedConnection connection, const std::string& host, int port,
                   const std::vector<std::string>& arguments) {
    const std::string& path = arguments.at(0);
    korvan::scl::SaveOptions options;
    options.host = host;
    options.port = static_cast<uint16_t>(port);
    options.iedName = arguments.size() == 3 ? arguments[2] : std::string();
    auto snapshot = korvan::scl::readSnapshot(connection);
    if (!snapshot) {
        std::fprintf(stderr, "iedcli: reading the device failed at %s\n", snapshot.error().message.c_str());
        return kRefused;
    }
    auto saved = korvan::scl::sclTextOf(*snapshot, options);
    if (!saved) {
        std::fprintf(stderr, "iedcli: the model cannot be saved as SCL: %s\n", saved.error().message.c_str());
        return kRefused;
    }
    const std::string failure = korvan::scl::writeFileAtomically(path, saved->text);
    if (!failure.empty()) {
        std::fprintf(stderr, "iedcli: %s\n", failure.c_str());
        return kUsage;
    }
    for (const std::string& omission : saved->omissions) {
        std::fprintf(stderr, "iedcli: not saved: %s\n", omission.c_str());
    }
    std::printf("saved %zu logical device(s), %zu logical node(s), %zu type(s) to %s\n",
                saved->logicalDevices, saved->logicalNodes, saved->types, path.c_str());
    return kOk;
}

}  // namespace iedcli
