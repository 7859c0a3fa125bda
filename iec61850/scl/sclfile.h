#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ber/result.h"
#include "scl/scl_document.h"
#include "scl/scl_loader.h"
#include "server/data_model.h"

namespace korvan::scl {

using iecstack::scl::LoadError;

// An IED of a configuration file as a person picks it from a list.
struct IedEntry {
    std::string name, description;
    // Of its first access point with an IP address in the Communication section; empty when none.
    std::string ipAddress;
};

// A configuration file (ICD, CID, SCD) opened for browsing, comparing and rehearsing. The models it
// gives are built by the same code that builds the simulator's, so a file shows offline exactly as a
// device serving it does.
class SclFile {
public:
    static iecstack::Result<SclFile, LoadError> open(const std::string& path);
    static iecstack::Result<SclFile, LoadError> fromText(const std::string& text,
                                                         const std::string& fileName);

    const std::string& fileName() const { return document_->fileName; }
    const iecstack::scl::Document& document() const { return *document_; }
    // The IEDs that serve a data model, in file order.
    const std::vector<IedEntry>& ieds() const { return ieds_; }
    // The model of one IED; `iedName` may be empty when the file serves exactly one.
    iecstack::Result<std::unique_ptr<iecstack::server::DataModel>, LoadError> model(
        const std::string& iedName) const;

private:
    explicit SclFile(iecstack::scl::Document document);

    std::shared_ptr<const iecstack::scl::Document> document_;
    std::vector<IedEntry> ieds_;
};

}  // namespace korvan::scl
