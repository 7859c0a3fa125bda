#include "sclverbs.h"

#include <cstdio>

#include "modelcompare.h"
#include "sclfile.h"
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

}  // namespace iedcli
