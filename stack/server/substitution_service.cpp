#include "substitution_service.h"

#include <vector>

namespace iecstack::server {
namespace {

// Substitute attribute and the process attribute it stands for.
struct Replacement {
    const char* substitute;
    const char* process;
    bool quality;
};
constexpr Replacement kReplacements[] = {
    {"subVal", "stVal", false}, {"subMag", "mag", false}, {"subCMag", "cVal", false}, {"subQ", "q", true}};

// Quality's source bit: set while the value is substituted.
constexpr size_t kSourceSubstitutedBit = 10;

// The data object right below the functional-constraint component that `node` belongs to.
const ModelNode* dataObjectOf(const ModelNode& node) {
    const ModelNode* n = &node;
    while (n->parent != nullptr && n->parent->parent != nullptr && !n->parent->parent->fc.empty()) {
        n = n->parent;
    }
    return n->parent != nullptr && n->parent->parent != nullptr ? n : nullptr;
}

// The attribute `name` of the same data object under ST or MX.
ModelNode* processAttribute(const ModelNode& dataObject, const char* name) {
    const ModelNode* logicalNode = dataObject.parent->parent;
    for (const char* fc : {"ST", "MX"}) {
        const ModelNode* fcNode = logicalNode->child(fc);
        const ModelNode* twin = fcNode != nullptr ? fcNode->child(dataObject.name) : nullptr;
        if (ModelNode* attribute = twin != nullptr ? twin->child(name) : nullptr) {
            return attribute;
        }
    }
    return nullptr;
}

}  // namespace

void SubstitutionService::written(const ModelNode& attribute) {
    const ModelNode* dataObject = dataObjectOf(attribute);
    const ModelNode* subEna = dataObject != nullptr ? dataObject->child("subEna") : nullptr;
    if (subEna == nullptr || dataObject->fc != "SV") {
        return;
    }
    const bool enabled = subEna->value.boolValue();
    for (const Replacement& r : kReplacements) {
        const ModelNode* substitute = dataObject->child(r.substitute);
        ModelNode* process = processAttribute(*dataObject, r.process);
        if (substitute == nullptr || process == nullptr) {
            continue;
        }
        if (enabled) {
            hold(*process, *substitute, r.quality);
        } else {
            release(*process);
        }
    }
}

void SubstitutionService::hold(ModelNode& process, const ModelNode& substitute, bool quality) {
    if (process.kind != ModelNode::Kind::Basic) {
        for (size_t i = 0; i < process.children.size() && i < substitute.children.size(); ++i) {
            hold(*process.children[i], *substitute.children[i], quality);
        }
        return;
    }
    if (substitute.kind != ModelNode::Kind::Basic || substitute.value.type() != process.value.type()) {
        return;  // a type that does not match its process attribute substitutes nothing
    }
    if (quality && substitute.value.bitCount() > kSourceSubstitutedBit) {
        mms::BitString bits = substitute.value.bits();
        bits.setBit(kSourceSubstitutedBit, true);
        model_.hold(process, MmsValue::bitString(bits));
        return;
    }
    model_.hold(process, substitute.value);
}

void SubstitutionService::release(ModelNode& process) {
    for (auto& child : process.children) {
        release(*child);
    }
    if (process.kind == ModelNode::Kind::Basic) {
        model_.release(process);
    }
}

}  // namespace iecstack::server
