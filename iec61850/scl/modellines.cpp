#include "modellines.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "mapping/member_reference.h"
#include "server/mms_mapping.h"

namespace korvan::scl {

namespace {

using iecstack::server::DataModel;
using iecstack::server::Domain;
using iecstack::server::ModelNode;

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

// The nodes one dotted path names (LN.DO.DA), over every functional constraint the path occurs under,
// in the order a directory lists them. A device's name list is sorted as a whole ("LN$FC$DO$DA"), so
// the directory shows a path's children constraint by constraint and, within one, by name; a name
// listed under several constraints is one element, shown with the first.
struct Group {
    std::vector<const ModelNode*> nodes;
    // Some constraint holds two elements of one name on this path (two report control blocks named
    // alike): a read reaches the first by name, which the path alone does not tell.
    bool ambiguous = false;
};

bool directoryLess(const ModelNode* a, const ModelNode* b) {
    if (a->fc != b->fc) {
        return iecstack::server::directoryOrderLess(a->fc, b->fc);
    }
    return iecstack::server::directoryOrderLess(a->name, b->name);
}

// One child name of a group: the constraint it shows with and every node it names.
struct Child {
    const std::string* name;
    const std::string* fc;
    Group group;
};

std::vector<Child> childrenOf(const Group& parent) {
    std::vector<const ModelNode*> all;
    for (const ModelNode* node : parent.nodes) {
        if (node->kind != ModelNode::Kind::Structure) {
            continue;  // array elements are reached by alternate access, never listed
        }
        for (const auto& child : node->children) {
            all.push_back(child.get());
        }
    }
    std::stable_sort(all.begin(), all.end(), directoryLess);
    std::vector<Child> children;
    std::unordered_map<std::string_view, size_t> byName;
    const bool oneParent = parent.nodes.size() == 1;
    for (const ModelNode* node : all) {
        // Siblings of one structure sort next to each other; only merged constraints need the map.
        size_t at = children.size();
        if (oneParent) {
            if (!children.empty() && *children.back().name == node->name) {
                at = children.size() - 1;
            }
        } else if (const auto known = byName.find(node->name); known != byName.end()) {
            at = known->second;
        } else {
            byName.emplace(node->name, at);
        }
        if (at == children.size()) {
            children.push_back({&node->name, &node->fc, {{}, parent.ambiguous}});
        }
        Group& group = children[at].group;
        for (const ModelNode* seen : group.nodes) {
            if (seen->fc == node->fc) {
                group.ambiguous = true;
            }
        }
        group.nodes.push_back(node);
    }
    return children;
}

class Walk {
public:
    Walk(const DataModel& model, std::vector<ModelLine>& out) : model_(model), out_(out) {}

    // False when `step` asked to stop.
    bool device(const Domain& domain, size_t& done, size_t total, const WalkStep& step) {
        if (!isAddressable(domain.name)) {
            done += domain.logicalNodes.size();
            return !step || step(done, total);
        }
        out_.push_back({domain.name, domain.name, {}, 1, false, {}});
        std::vector<const ModelNode*> nodes;
        for (const auto& node : domain.logicalNodes) {
            nodes.push_back(node.get());
        }
        std::stable_sort(nodes.begin(), nodes.end(), [](const ModelNode* a, const ModelNode* b) {
            return iecstack::server::directoryOrderLess(a->name, b->name);
        });
        for (size_t i = 0; i < nodes.size(); ++i) {
            if ((i == 0 || nodes[i - 1]->name != nodes[i]->name) && isAddressable(nodes[i]->name)) {
                logicalNode(domain, *nodes[i]);
            }
            ++done;
            if (step && !step(done, total)) {
                return false;
            }
        }
        return true;
    }

private:
    void logicalNode(const Domain& domain, const ModelNode& node) {
        const std::string nodeRef = domain.name + '/' + node.name;
        out_.push_back({node.name, nodeRef, {}, 2, false, {}});
        Group constraints;
        for (const auto& fc : node.children) {
            constraints.nodes.push_back(fc.get());
        }
        const std::vector<Child> elements = childrenOf(constraints);
        // Control blocks of reports and GOOSE are no data objects; report blocks follow the data sets.
        const auto isBlock = [](const std::string& fc) { return fc == "RP" || fc == "BR" || fc == "GO"; };
        // Each list keeps the order its own constraints give, which a name listed under another
        // constraint first must not change.
        const auto listedUnder = [&elements](const auto& counts) {
            std::vector<std::pair<const ModelNode*, const Child*>> keyed;
            for (const Child& element : elements) {
                for (const ModelNode* n : element.group.nodes) {
                    if (counts(n->fc)) {
                        keyed.emplace_back(n, &element);
                        break;
                    }
                }
            }
            std::stable_sort(keyed.begin(), keyed.end(),
                             [](const auto& a, const auto& b) { return directoryLess(a.first, b.first); });
            std::vector<const Child*> listed;
            for (const auto& entry : keyed) {
                listed.push_back(entry.second);
            }
            return listed;
        };
        const std::vector<const Child*> objects =
            listedUnder([&](const std::string& fc) { return !isBlock(fc); });
        // Lock once per node rather than once per attribute: offline nobody else writes values.
        std::lock_guard<std::mutex> lock(model_.valueLock());
        dataLines(domain, objects, node.name, nodeRef, 3);
        const std::string prefix = node.name + '$';
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
            dataLines(domain, listedUnder([blocks](const std::string& fc) { return fc == blocks; }),
                      node.name, nodeRef, 3);
        }
    }

    // `listed` are the children of the element at `path` (dotted, without the device) in directory
    // order. Below the logical node a child shows its constraint ("stVal" with "[ST]").
    void dataLines(const Domain& domain, const std::vector<const Child*>& listed, const std::string& path,
                   const std::string& parentRef, int layer) {
        for (const Child* child : listed) {
            const std::string& name = *child->name;
            if (!isAddressable(name)) {
                continue;
            }
            const std::string fc = layer <= 3 ? std::string() : '[' + *child->fc + ']';
            const std::string childPath = path + '.' + name;
            const std::string ref = parentRef + '.' + name;
            const size_t at = out_.size();
            out_.push_back({name, ref, fc, layer, false, {}});
            const std::vector<Child> children = childrenOf(child->group);
            if (!children.empty()) {
                std::vector<const Child*> next;
                next.reserve(children.size());
                for (const Child& c : children) {
                    next.push_back(&c);
                }
                dataLines(domain, next, childPath, ref, layer + 1);
            } else {
                readValue(domain, childPath, *child, out_[at]);
            }
        }
    }

    // What a read of the attribute gives; the walk does not read objects, the select attribute, or
    // settings outside an edit. The caller holds the value lock.
    void readValue(const Domain& domain, const std::string& path, const Child& child, ModelLine& line) const {
        if (line.layer <= 3 || line.fc.size() != 4 || line.fc == "[SE]" || line.name == "SBO") {
            return;
        }
        const iecstack::server::ModelNode* node = child.group.nodes.front();
        if (child.group.ambiguous) {
            const size_t dot = path.find('.');
            std::string item = path.substr(0, dot) + '$' + line.fc.substr(1, 2) + path.substr(dot);
            for (char& c : item) {
                c = c == '.' ? '$' : c;
            }
            node = model_.find(domain.name, item);
            if (node == nullptr) {
                return;
            }
        }
        line.value = iecstack::server::valueOf(*node);
        line.hasValue = true;
    }

    const DataModel& model_;
    std::vector<ModelLine>& out_;
};

}  // namespace

std::vector<ModelLine> discoveryLines(const DataModel& model) {
    return discoveryLines(model, WalkStep());
}

std::vector<ModelLine> discoveryLines(const DataModel& model, const WalkStep& step) {
    std::vector<ModelLine> lines;
    Walk walk(model, lines);
    size_t total = 0;
    for (const auto& domain : model.domains) {
        total += domain->logicalNodes.size();
    }
    size_t done = 0;
    for (const auto& domain : model.domains) {
        if (!walk.device(*domain, done, total, step)) {
            break;
        }
    }
    return lines;
}

}  // namespace korvan::scl
