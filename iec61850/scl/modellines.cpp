#include "modellines.h"

#include <unordered_set>

#include "directory_index.h"
#include "mapping/member_reference.h"
#include "server/mms_mapping.h"

namespace korvan::scl {

namespace {

using iecstack::client::DirectoryIndex;
using iecstack::server::DataModel;
using iecstack::server::Domain;

// Names a reference cannot carry are left out, as the walk leaves them out.
bool isAddressable(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '.' || c == '/' || c == '$' || c == '[' || c == ']') {
            return false;
        }
    }
    return true;
}

// "stVal[ST]" -> "[ST]"; "" when the name carries no constraint.
std::string fcOf(const std::string& listed) {
    const size_t n = listed.size();
    if (n >= 4 && listed[n - 4] == '[' && listed[n - 1] == ']') {
        return listed.substr(n - 4);
    }
    return {};
}

class Walk {
public:
    Walk(const DataModel& model, std::vector<ModelLine>& out) : model_(model), out_(out) {}

    void device(const Domain& domain) {
        if (!isAddressable(domain.name)) {
            return;
        }
        out_.push_back({domain.name, domain.name, {}, 1, false, {}});
        const DirectoryIndex index(domain.variableNames);
        for (const std::string& node : index.logicalNodes()) {
            if (isAddressable(node)) {
                logicalNode(domain, index, node);
            }
        }
    }

private:
    void logicalNode(const Domain& domain, const DirectoryIndex& index, const std::string& node) {
        const std::string nodeRef = domain.name + '/' + node;
        out_.push_back({node, nodeRef, {}, 2, false, {}});
        if (const auto* objects = index.dataObjects(node)) {
            dataLines(domain, index, *objects, node, nodeRef, 3);
        }
        const std::string prefix = node + '$';
        for (const auto& dataSet : domain.dataSets) {
            if (dataSet.name.size() <= prefix.size() || dataSet.name.compare(0, prefix.size(), prefix) != 0) {
                continue;
            }
            const std::string name = dataSet.name.substr(prefix.size());
            if (!isAddressable(name)) {
                continue;
            }
            const std::string dataSetRef = nodeRef + '.' + name;
            out_.push_back({name, dataSetRef, {}, 3, false, {}});
            for (const auto& member : dataSet.members) {
                const std::string listed = iecstack::mapping::memberReference(member.variable(), domain.name);
                const std::string fc = fcOf(listed);
                const std::string shown = listed.substr(0, listed.size() - fc.size());
                out_.push_back({shown, dataSetRef + '.' + shown, fc, 4, false, {}});
            }
        }
        for (const char* blocks : {"RP", "BR"}) {
            if (const auto* names = index.elementsUnder(node, blocks)) {
                dataLines(domain, index, *names, node, nodeRef, 3);
            }
        }
    }

    // `listed` are the children of the element at `path` (dotted, without the device) as the
    // directory lists them; a name listed under a second constraint is shown once, under the first.
    void dataLines(const Domain& domain, const DirectoryIndex& index, const std::vector<std::string>& listed,
                   const std::string& path, const std::string& parentRef, int layer) {
        std::unordered_set<std::string> handled;
        for (const std::string& entry : listed) {
            const std::string fc = fcOf(entry);
            const std::string name = entry.substr(0, entry.size() - fc.size());
            if (!handled.insert(name).second || !isAddressable(name)) {
                continue;
            }
            const std::string childPath = path + '.' + name;
            const std::string ref = parentRef + '.' + name;
            const size_t at = out_.size();
            out_.push_back({name, ref, fc, layer, false, {}});
            const auto* children = index.children(childPath);
            if (children != nullptr && !children->empty()) {
                dataLines(domain, index, *children, childPath, ref, layer + 1);
            } else {
                readValue(domain, childPath, out_[at]);
            }
        }
    }

    // What a read of the attribute gives; the walk does not read objects, the select attribute, or
    // settings outside an edit.
    void readValue(const Domain& domain, const std::string& path, ModelLine& line) const {
        if (line.layer <= 3 || line.fc.size() != 4 || line.fc == "[SE]" || line.name == "SBO") {
            return;
        }
        const size_t dot = path.find('.');
        std::string item = path.substr(0, dot) + '$' + line.fc.substr(1, 2) + path.substr(dot);
        for (char& c : item) {
            c = c == '.' ? '$' : c;
        }
        const iecstack::server::ModelNode* node = model_.find(domain.name, item);
        if (node == nullptr) {
            return;
        }
        std::lock_guard<std::mutex> lock(model_.valueLock());
        line.value = iecstack::server::valueOf(*node);
        line.hasValue = true;
    }

    const DataModel& model_;
    std::vector<ModelLine>& out_;
};

}  // namespace

std::vector<ModelLine> discoveryLines(const DataModel& model) {
    std::vector<ModelLine> lines;
    Walk walk(model, lines);
    for (const auto& domain : model.domains) {
        walk.device(*domain);
    }
    return lines;
}

}  // namespace korvan::scl
