#include "scltemplates.h"

#include <cstdint>
#include <cstdio>

#include <pugixml.hpp>

namespace korvan::scl {

namespace {

// 64-bit FNV-1a: stable across runs and builds, unlike std::hash.
uint64_t fingerprint(const std::string& text) {
    uint64_t hash = 1469598103934665603ULL;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

// Every field with its length, so that no two different descriptions read the same.
void appendField(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

}  // namespace

std::string TemplateSet::add(const std::string& kind, const std::string& hint,
                             const std::vector<std::pair<std::string, std::string>>& attributes,
                             const std::vector<Child>& children) {
    std::string description;
    appendField(description, kind);
    for (const auto& [name, value] : attributes) {
        appendField(description, name);
        appendField(description, value);
    }
    for (const Child& child : children) {
        description += '|';
        appendField(description, child.element);
        for (const auto& [name, value] : child.attributes) {
            appendField(description, name);
            appendField(description, value);
        }
        appendField(description, child.text);
    }
    const auto known = byDescription_.find(description);
    if (known != byDescription_.end()) {
        return types_[known->second].id;
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%08llx",
                  static_cast<unsigned long long>(fingerprint(description) & 0xffffffffULL));
    std::string id = hint + '_' + hash;
    // Two descriptions sharing 32 bits of hash still get two ids; the first keeps the plain one.
    const size_t clashes = idsTaken_[id]++;
    if (clashes > 0) {
        id += '_' + std::to_string(clashes + 1);
    }
    byDescription_.emplace(std::move(description), types_.size());
    types_.push_back({kind, id, attributes, children});
    return id;
}

void TemplateSet::write(pugi::xml_node templates) const {
    for (const char* kind : {"LNodeType", "DOType", "DAType", "EnumType"}) {
        for (const Type& type : types_) {
            if (type.kind != kind) {
                continue;
            }
            pugi::xml_node element = templates.append_child(kind);
            element.append_attribute("id") = type.id.c_str();
            for (const auto& [name, value] : type.attributes) {
                element.append_attribute(name.c_str()) = value.c_str();
            }
            for (const Child& child : type.children) {
                pugi::xml_node c = element.append_child(child.element.c_str());
                for (const auto& [name, value] : child.attributes) {
                    c.append_attribute(name.c_str()) = value.c_str();
                }
                if (!child.text.empty()) {
                    c.text() = child.text.c_str();
                }
            }
        }
    }
}

}  // namespace korvan::scl
