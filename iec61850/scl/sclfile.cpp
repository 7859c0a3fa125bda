#include "sclfile.h"

#include "server/model_builder.h"

namespace korvan::scl {

namespace {

bool servesModel(const iecstack::scl::Ied& ied) {
    for (const auto& ap : ied.accessPoints) {
        if (ap.hasServer && !ap.logicalDevices.empty()) {
            return true;
        }
    }
    return false;
}

std::string ipAddressOf(const iecstack::scl::Document& document, const std::string& iedName) {
    for (const auto& connected : document.connectedAccessPoints) {
        if (connected.iedName == iedName && !connected.ipAddress.empty()) {
            return connected.ipAddress;
        }
    }
    return {};
}

}  // namespace

SclFile::SclFile(iecstack::scl::Document document)
    : document_(std::make_shared<const iecstack::scl::Document>(std::move(document))) {
    for (const auto& ied : document_->ieds) {
        if (servesModel(ied)) {
            ieds_.push_back({ied.name, ied.desc, ipAddressOf(*document_, ied.name)});
        }
    }
}

iecstack::Result<SclFile, LoadError> SclFile::open(const std::string& path) {
    auto document = iecstack::scl::loadSclFile(path);
    if (!document) {
        return document.error();
    }
    return SclFile(std::move(document).value());
}

iecstack::Result<SclFile, LoadError> SclFile::fromText(const std::string& text, const std::string& fileName) {
    auto document = iecstack::scl::loadSclText(text, fileName);
    if (!document) {
        return document.error();
    }
    return SclFile(std::move(document).value());
}

iecstack::Result<std::unique_ptr<iecstack::server::DataModel>, LoadError> SclFile::model(
    const std::string& iedName) const {
    auto built = iecstack::server::buildDataModel(*document_, iedName);
    if (!built) {
        return LoadError{built.error().message};
    }
    return std::move(built).value();
}

}  // namespace korvan::scl
