#include "server/data_model.h"

#include <algorithm>
#include <cctype>

#include "mapping/member_reference.h"

namespace iecstack::server {

ModelNode* ModelNode::child(const std::string& childName) const {
    for (const auto& c : children) {
        if (c->name == childName) {
            return c.get();
        }
    }
    return nullptr;
}

ModelNode* ModelNode::addChild(std::unique_ptr<ModelNode> node) {
    node->parent = this;
    children.push_back(std::move(node));
    return children.back().get();
}

std::string ModelNode::itemId() const {
    std::string id = name;
    const ModelNode* child = this;
    for (const ModelNode* p = parent; p; child = p, p = p->parent) {
        if (p->kind == Kind::Array) {
            size_t index = 0;
            while (index < p->children.size() && p->children[index].get() != child) {
                ++index;
            }
            const std::string element = p->name + "(" + std::to_string(index) + ")";
            id = id.empty() ? element : mapping::joinItemName({element, id});
        } else if (!p->name.empty()) {
            id = mapping::joinItemName({p->name, id});
        }
    }
    return id;
}

size_t ModelNode::attributeCount() const {
    if (kind == Kind::Basic) {
        return 1;
    }
    size_t n = 0;
    for (const auto& c : children) {
        n += c->attributeCount();
    }
    return n;
}

namespace {

// '$' separates the levels of a name and ranks below everything, so that a node's children follow it
// directly. Within a level: other characters by their code, then A a B b ... Z z, then '_', then digits.
struct OrderKeys {
    uint8_t key[256];
    OrderKeys() {
        uint8_t other = 1;
        for (int c = 0; c < 256; ++c) {
            if (c == '$') {
                key[c] = 0;
            } else if (std::isupper(c)) {
                key[c] = static_cast<uint8_t>(kLetters + 2 * (c - 'A'));
            } else if (std::islower(c)) {
                key[c] = static_cast<uint8_t>(kLetters + 2 * (c - 'a') + 1);
            } else if (c == '_') {
                key[c] = kLetters + 52;
            } else if (std::isdigit(c)) {
                key[c] = static_cast<uint8_t>(kLetters + 53 + (c - '0'));
            } else {
                key[c] = other++;
            }
        }
    }
    // 256 codes less '$', 52 letters, '_' and 10 digits leave 192 others, keyed 1 to 192.
    static constexpr uint8_t kLetters = 193;
};

// Sorting large models compares millions of characters; a table keeps that cheap.
const OrderKeys kOrder;

void collectNames(const ModelNode& node, const std::string& prefix, std::vector<std::string>& out) {
    std::string name = prefix.empty() ? node.name : mapping::joinItemName({prefix, node.name});
    out.push_back(name);
    if (node.kind != ModelNode::Kind::Structure) {
        return;  // array elements are reached by alternate access only
    }
    for (const auto& c : node.children) {
        collectNames(*c, name, out);
    }
}

}  // namespace

bool directoryOrderLess(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        uint8_t ka = kOrder.key[static_cast<unsigned char>(a[i])];
        uint8_t kb = kOrder.key[static_cast<unsigned char>(b[i])];
        if (ka != kb) {
            return ka < kb;
        }
    }
    return a.size() < b.size();
}

void DataModel::finish() {
    std::sort(domains.begin(), domains.end(),
              [](const auto& a, const auto& b) { return directoryOrderLess(a->name, b->name); });
    for (auto& d : domains) {
        d->variableNames.clear();
        for (const auto& ln : d->logicalNodes) {
            collectNames(*ln, "", d->variableNames);
        }
        std::sort(d->variableNames.begin(), d->variableNames.end(), directoryOrderLess);
        std::sort(d->dataSets.begin(), d->dataSets.end(),
                  [](const auto& a, const auto& b) { return directoryOrderLess(a.name, b.name); });
        std::sort(d->journals.begin(), d->journals.end(), directoryOrderLess);
        d->journals.erase(std::unique(d->journals.begin(), d->journals.end()), d->journals.end());
    }
}

const Domain* DataModel::domain(const std::string& name) const {
    for (const auto& d : domains) {
        if (d->name == name) {
            return d.get();
        }
    }
    return nullptr;
}

Domain* DataModel::domain(const std::string& name) {
    return const_cast<Domain*>(static_cast<const DataModel*>(this)->domain(name));
}

ModelNode* DataModel::find(const std::string& domainName, const std::string& itemId) const {
    const Domain* d = domain(domainName);
    if (!d) {
        return nullptr;
    }
    const std::vector<std::string_view> parts = mapping::itemNameParts(itemId);
    auto it = d->nodeByName.find(std::string(parts.front()));
    if (it == d->nodeByName.end()) {
        return nullptr;
    }
    ModelNode* node = it->second;
    for (size_t i = 1; i < parts.size(); ++i) {
        if (node->kind != ModelNode::Kind::Structure) {
            return nullptr;
        }
        node = node->child(std::string(parts[i]));
        if (!node) {
            return nullptr;
        }
    }
    return node;
}

mms::VariableAccess DataSetDefinition::Member::variable() const {
    mms::VariableAccess access{mms::ObjectName::domain(domain, item), {}};
    if (index >= 0) {
        access.path.push_back(mms::AccessSelection::at(static_cast<uint32_t>(index)));
        for (const auto& c : components) {
            access.path.push_back(mms::AccessSelection::named(c));
        }
    }
    return access;
}

ModelNode* DataModel::resolve(const DataSetDefinition::Member& member) const {
    ModelNode* node = find(member.domain, member.item);
    if (!node || member.index < 0) {
        return node;
    }
    if (node->kind != ModelNode::Kind::Array || static_cast<size_t>(member.index) >= node->children.size()) {
        return nullptr;
    }
    node = node->children[member.index].get();
    for (const std::string& c : member.components) {
        node = node->kind == ModelNode::Kind::Structure ? node->child(c) : nullptr;
        if (!node) {
            return nullptr;
        }
    }
    return node;
}

const DataSetDefinition* DataModel::dataSet(const std::string& domainName, const std::string& name) const {
    const Domain* d = domain(domainName);
    if (!d) {
        return nullptr;
    }
    for (const auto& ds : d->dataSets) {
        if (ds.name == name) {
            return &ds;
        }
    }
    return nullptr;
}

size_t DataModel::attributeCount() const {
    size_t n = 0;
    for (const auto& d : domains) {
        for (const auto& ln : d->logicalNodes) {
            n += ln->attributeCount();
        }
    }
    return n;
}

void DataModel::assign(ModelNode& attribute, MmsValue value) {
    if (attribute.processValue) {
        *attribute.processValue = std::move(value);
        return;
    }
    show(attribute, std::move(value));
}

void DataModel::hold(ModelNode& attribute, MmsValue shown) {
    if (!attribute.processValue) {
        attribute.processValue = std::make_unique<MmsValue>(attribute.value);
    }
    show(attribute, std::move(shown));
}

void DataModel::release(ModelNode& attribute) {
    if (auto process = std::move(attribute.processValue)) {
        show(attribute, std::move(*process));
    }
}

void DataModel::show(ModelNode& attribute, MmsValue value) {
    const bool changed = attribute.value != value;
    attribute.value = std::move(value);
    for (const auto& [id, observer] : observers_) {
        observer(attribute, changed);
    }
}

int DataModel::addValueObserver(ValueObserver observer) {
    observers_.emplace_back(nextObserverId_, std::move(observer));
    return nextObserverId_++;
}

void DataModel::removeValueObserver(int id) {
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const auto& entry) { return entry.first == id; }),
                     observers_.end());
}

}  // namespace iecstack::server
