#include "server/model_builder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "mapping/member_reference.h"
#include "scl/scl_loader.h"

namespace iecstack::server {
namespace {

using scl::AttributeDef;

// Order of the functional-constraint components inside a logical node, as devices present them.
const char* const kFcOrder[] = {"MX", "ST", "CO", "CF", "DC", "SP", "SG", "RP", "LG", "BR",
                                "GO", "GS", "SV", "SE", "EX", "SR", "OR", "BL", "MS", "US"};

// A DAType that contains itself would recurse forever; real types nest a handful of levels.
constexpr int kMaxTypeDepth = 16;
// Arrays in configuration files are small; this keeps a typo from allocating millions of nodes.
constexpr unsigned kMaxArrayCount = 10000;
// Setting groups a device may have: the group number is one octet on the wire.
constexpr unsigned kMaxSettingGroups = 255;

struct Refusal {
    int line;
    std::string problem;
};

std::unique_ptr<ModelNode> makeBasic(const std::string& name, const std::string& fc, BasicType type, int size,
                                     MmsValue value) {
    auto n = std::make_unique<ModelNode>();
    n->name = name;
    n->kind = ModelNode::Kind::Basic;
    n->basic = type;
    n->size = size;
    n->fc = fc;
    n->value = std::move(value);
    return n;
}

std::unique_ptr<ModelNode> makeStructure(const std::string& name, const std::string& fc) {
    auto n = std::make_unique<ModelNode>();
    n->name = name;
    n->fc = fc;
    return n;
}

// "A.phsA.cVal" -> A, phsA, cVal; an empty text has no parts.
std::vector<std::string> splitPath(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        size_t dot = text.find('.', start);
        parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts;
}

MmsValue emptyBits(int size) {
    return MmsValue::bitString(mms::BitString(static_cast<size_t>(std::abs(size))));
}

// Type and default value of a basic attribute type. Returns false for Struct and unknown types.
bool basicTypeOf(const std::string& bType, BasicType& type, int& size, MmsValue& value) {
    struct Entry {
        BasicType type;
        int size;
    };
    static const std::map<std::string, Entry> table = {
        {"BOOLEAN", {BasicType::Boolean, 0}},
        {"INT8", {BasicType::Integer, 8}},
        {"INT16", {BasicType::Integer, 16}},
        {"INT24", {BasicType::Integer, 32}},
        {"INT32", {BasicType::Integer, 32}},
        {"INT64", {BasicType::Integer, 64}},
        {"INT128", {BasicType::Integer, 64}},
        {"INT8U", {BasicType::Unsigned, 8}},
        {"INT16U", {BasicType::Unsigned, 16}},
        {"INT24U", {BasicType::Unsigned, 32}},
        {"INT32U", {BasicType::Unsigned, 32}},
        {"FLOAT32", {BasicType::Float, 32}},
        {"FLOAT64", {BasicType::Float, 64}},
        {"Enum", {BasicType::Integer, 8}},
        {"Dbpos", {BasicType::BitString, 2}},
        {"Tcmd", {BasicType::BitString, 2}},
        {"Quality", {BasicType::BitString, -13}},
        {"Timestamp", {BasicType::UtcTime, 0}},
        {"VisString32", {BasicType::VisibleString, -32}},
        {"VisString64", {BasicType::VisibleString, -64}},
        {"VisString65", {BasicType::VisibleString, -65}},
        {"VisString129", {BasicType::VisibleString, -129}},
        {"VisString255", {BasicType::VisibleString, -255}},
        {"ObjRef", {BasicType::VisibleString, -129}},
        {"Currency", {BasicType::VisibleString, -3}},
        {"Octet6", {BasicType::OctetString, -6}},
        {"Octet16", {BasicType::OctetString, -16}},
        {"Octet64", {BasicType::OctetString, -64}},
        {"EntryID", {BasicType::OctetString, 8}},
        {"Unicode255", {BasicType::MmsString, -255}},
        {"EntryTime", {BasicType::BinaryTime, 1}},
        {"Check", {BasicType::BitString, -2}},
        {"TrgOps", {BasicType::BitString, -6}},
        {"OptFlds", {BasicType::BitString, -10}},
        {"SvOptFlds", {BasicType::BitString, -5}},
        {"LogOptFlds", {BasicType::BitString, -2}},
    };
    auto it = table.find(bType);
    if (it == table.end()) {
        return false;
    }
    type = it->second.type;
    size = it->second.size;
    switch (type) {
        case BasicType::Boolean:
            value = MmsValue::boolean(false);
            break;
        case BasicType::Integer:
            value = MmsValue::integer(0);
            break;
        case BasicType::Unsigned:
            value = MmsValue::unsignedInteger(0);
            break;
        case BasicType::Float:
            value = size == 64 ? MmsValue::floatDouble(0) : MmsValue::floatSingle(0);
            break;
        case BasicType::BitString:
            value = emptyBits(size);
            break;
        case BasicType::OctetString:
            value = MmsValue::octetString(std::vector<uint8_t>(size > 0 ? size : 0, 0));
            break;
        case BasicType::VisibleString:
            value = MmsValue::visibleString("");
            break;
        case BasicType::MmsString:
            value = MmsValue::mmsString("");
            break;
        case BasicType::UtcTime:
            value = MmsValue::utcTime(0, 0, 0);
            break;
        case BasicType::BinaryTime:
            value = MmsValue::binaryTime(0, 0);
            break;
    }
    return true;
}

// A destination address of GOOSE and sampled values: MAC address, VLAN priority and id, application id.
std::unique_ptr<ModelNode> physicalAddress(const std::string& name, const std::string& fc) {
    auto node = makeStructure(name, fc);
    node->addChild(
        makeBasic("Addr", fc, BasicType::OctetString, 6, MmsValue::octetString(std::vector<uint8_t>(6, 0))));
    node->addChild(makeBasic("PRIORITY", fc, BasicType::Unsigned, 8, MmsValue::unsignedInteger(0)));
    node->addChild(makeBasic("VID", fc, BasicType::Unsigned, 16, MmsValue::unsignedInteger(0)));
    node->addChild(makeBasic("APPID", fc, BasicType::Unsigned, 16, MmsValue::unsignedInteger(0)));
    return node;
}

// Time attributes the file leaves unset (files cannot set them) read as the time the device started,
// not as 1970.
void stampUnsetTimes(ModelNode& node, const MmsValue& start) {
    if (node.kind == ModelNode::Kind::Basic) {
        if (node.basic == BasicType::UtcTime && node.value.utcTimeMs() == 0) {
            node.value = start;
        }
        return;
    }
    for (auto& child : node.children) {
        stampUnsetTimes(*child, start);
    }
}

class Builder {
public:
    // `allowEmpty`: an IED chosen by name may have a server without logical devices; it is served
    // with no domains, which clients must cope with.
    Builder(const scl::Document& doc, const scl::Ied& ied, bool allowEmpty)
        : doc_(doc), t_(doc.templates), ied_(ied), allowEmpty_(allowEmpty) {}

    std::unique_ptr<DataModel> build() {
        auto model = std::make_unique<DataModel>();
        model_ = model.get();
        model_->warnings = doc_.warnings;
        model->iedName = ied_.name;
        model->manufacturer = ied_.manufacturer;
        model->deviceType = ied_.type;
        std::vector<std::pair<const scl::LogicalDevice*, Domain*>> devices;
        for (const scl::AccessPoint& ap : ied_.accessPoints) {
            if (ap.hasServer) {
                applyAuthentication(ap.authentication);
            }
            for (const scl::LogicalDevice& ld : ap.logicalDevices) {
                std::string name = ld.ldName.empty() ? ied_.name + ld.inst : ld.ldName;
                if (name.size() > 64) {
                    fail(ld.line, "logical device name \"" + name + "\" is longer than 64 characters");
                    return nullptr;
                }
                if (!domainByInst_.emplace(ld.inst, name).second || model->domain(name)) {
                    fail(ld.line, "logical device \"" + ld.inst + "\" is defined twice");
                    return nullptr;
                }
                auto domain = std::make_unique<Domain>();
                domain->name = name;
                devices.emplace_back(&ld, domain.get());
                model->domains.push_back(std::move(domain));
            }
        }
        if (devices.empty() && !allowEmpty_) {
            fail(ied_.line, "IED \"" + ied_.name + "\" has no logical device to serve");
            return nullptr;
        }
        for (auto& [ld, domain] : devices) {
            addLogicalNode(*domain, ld->ln0);
            for (const scl::LogicalNode& ln : ld->lns) {
                addLogicalNode(*domain, ln);
            }
        }
        if (failure_) {
            return nullptr;
        }
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        // Clock synchronised, 10 significant fraction bits, as the simulation stamps its changes.
        const MmsValue start = MmsValue::utcTimeFromMs(
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()), 0x0a);
        for (auto& domain : model->domains) {
            for (auto& ln : domain->logicalNodes) {
                stampUnsetTimes(*ln, start);
            }
        }
        for (auto& [ld, domain] : devices) {
            addDataSets(*model, *domain, *ld, ld->ln0);
            for (const scl::LogicalNode& ln : ld->lns) {
                addDataSets(*model, *domain, *ld, ln);
            }
        }
        addReferencedLogs(*model);
        model->finish();
        return model;
    }

    // The first reason the model cannot be served; building stops short of a model after it.
    const std::optional<Refusal>& failure() const { return failure_; }

private:
    // Two elements of one name under one parent would leave all but the first out of reach.
    bool addNamed(ModelNode& parent, std::unique_ptr<ModelNode> child, int line) {
        if (parent.child(child->name) != nullptr) {
            fail(line, "\"" + child->name + "\" appears twice in its type");
            return false;
        }
        parent.addChild(std::move(child));
        return true;
    }

    void fail(int line, std::string problem) {
        if (!failure_) {
            failure_ = Refusal{line, std::move(problem)};
        }
    }

    // --- types -------------------------------------------------------------------------------

    std::unique_ptr<ModelNode> attributeElement(const AttributeDef& a, const std::string& name,
                                                const std::string& fc, int depth) {
        if (depth > kMaxTypeDepth) {
            fail(a.line, "attribute \"" + a.name + "\": types nest deeper than " +
                             std::to_string(kMaxTypeDepth) + " levels (a DAType that contains itself?)");
            return nullptr;
        }
        if (a.bType == "Struct") {
            auto it = t_.daTypes.find(a.type);
            if (it == t_.daTypes.end()) {
                fail(a.line, "attribute \"" + a.name + "\" refers to missing DAType \"" + a.type + "\"");
                return nullptr;
            }
            auto node = makeStructure(name, fc);
            for (const AttributeDef& bda : it->second.attributes) {
                auto child = attribute(bda, fc, depth + 1);
                if (!child || !addNamed(*node, std::move(child), bda.line)) {
                    return nullptr;
                }
            }
            return node;
        }
        if (a.bType == "PhyComAddr") {
            return physicalAddress(name, fc);
        }
        BasicType type;
        int size;
        MmsValue value;
        if (!basicTypeOf(a.bType, type, size, value)) {
            fail(a.line, "attribute \"" + a.name + "\" has unknown bType \"" + a.bType + "\"");
            return nullptr;
        }
        auto node = makeBasic(name, fc, type, size, std::move(value));
        if (a.bType == "Enum" || a.bType == "Dbpos" || a.bType == "Tcmd") {
            defOf_[node.get()] = &a;  // their values are literals that need the definition to parse
        }
        if (a.bType == "Enum") {
            node->allowedValues = enumerationOrdinals(a.type);
        }
        return node;
    }

    std::unique_ptr<ModelNode> attribute(const AttributeDef& a, const std::string& fc, int depth) {
        auto node = attributeWithoutTriggers(a, fc, depth);
        const uint8_t triggers = static_cast<uint8_t>((a.dchg ? ModelNode::kDataChange : 0) |
                                                      (a.qchg ? ModelNode::kQualityChange : 0) |
                                                      (a.dupd ? ModelNode::kDataUpdate : 0));
        if (node && triggers != 0) {
            markTriggers(*node, triggers);
        }
        return node;
    }

    // An attribute's trigger options hold for every basic attribute below it.
    static void markTriggers(ModelNode& node, uint8_t triggers) {
        node.triggers |= triggers;
        for (auto& child : node.children) {
            markTriggers(*child, triggers);
        }
    }

    std::unique_ptr<ModelNode> attributeWithoutTriggers(const AttributeDef& a, const std::string& fc,
                                                        int depth) {
        if (a.count == 0) {
            auto node = attributeElement(a, a.name, fc, depth);
            if (node && !a.values.empty()) {
                applyValues(*node, a.values, a.line);
            }
            return node;
        }
        if (a.count > kMaxArrayCount) {
            fail(a.line, "attribute \"" + a.name + "\" has count " + std::to_string(a.count) + " (at most " +
                             std::to_string(kMaxArrayCount) + ")");
            return nullptr;
        }
        auto array = makeStructure(a.name, fc);
        array->kind = ModelNode::Kind::Array;
        array->size = static_cast<int>(a.count);
        for (unsigned i = 0; i < a.count; ++i) {
            auto built = attributeElement(a, "", fc, depth);
            if (!built) {
                return nullptr;
            }
            ModelNode* element = array->addChild(std::move(built));
            if (i < a.values.size()) {
                applyValues(*element, {a.values[i]}, a.line);
            }
        }
        return array;
    }

    // The part of a data object (with its sub data objects) that carries functional constraint `fc`,
    // or null when it has nothing of that constraint.
    std::unique_ptr<ModelNode> dataObjectForFc(const std::string& typeId, const std::string& name,
                                               const std::string& fc, int depth, int line) {
        if (depth > kMaxTypeDepth) {
            fail(line, "data object \"" + name + "\": DOTypes nest deeper than " +
                           std::to_string(kMaxTypeDepth) + " levels (a DOType that contains itself?)");
            return nullptr;
        }
        auto it = t_.doTypes.find(typeId);
        if (it == t_.doTypes.end()) {
            fail(line, "data object \"" + name + "\" refers to missing DOType \"" + typeId + "\"");
            return nullptr;
        }
        auto node = makeStructure(name, fc);
        for (const scl::DoChild& c : it->second.children) {
            if (c.isSdo && c.sdoCount > 0) {
                if (c.sdoCount > kMaxArrayCount) {
                    fail(c.line, "SDO \"" + c.sdoName + "\" has count " + std::to_string(c.sdoCount));
                    return nullptr;
                }
                auto array = makeStructure(c.sdoName, fc);
                array->kind = ModelNode::Kind::Array;
                array->size = static_cast<int>(c.sdoCount);
                for (unsigned i = 0; i < c.sdoCount; ++i) {
                    auto element = dataObjectForFc(c.sdoType, "", fc, depth + 1, c.line);
                    if (!element) {
                        break;
                    }
                    array->addChild(std::move(element));
                }
                if (!array->children.empty()) {
                    node->addChild(std::move(array));
                }
            } else if (c.isSdo) {
                auto sdo = dataObjectForFc(c.sdoType, c.sdoName, fc, depth + 1, c.line);
                if (sdo && !addNamed(*node, std::move(sdo), c.line)) {
                    return nullptr;
                }
            } else if (c.attribute.fc == fc || (fc == "SG" && c.attribute.fc == "SE")) {
                // A setting edited under SE is also served under SG with the active group's value; a
                // file that declares it under SG as well keeps that declaration.
                if (fc == "SG" && c.attribute.fc == "SE" && node->child(c.attribute.name) != nullptr) {
                    continue;
                }
                auto child = attribute(c.attribute, fc, depth + 1);
                if (!child || !addNamed(*node, std::move(child), c.line)) {
                    return nullptr;
                }
            }
        }
        return node->children.empty() ? nullptr : std::move(node);
    }

    // Each data object is built once per functional constraint; a type known to carry nothing of a
    // constraint is not walked for it. A bit per entry of kFcOrder.
    static uint32_t constraintBit(const std::string& fc) {
        for (size_t i = 0; i < std::size(kFcOrder); ++i) {
            if (fc == kFcOrder[i]) {
                return 1u << i;
            }
        }
        return 0;
    }

    // The constraints a DOType's attributes carry, its sub data objects' included. Every constraint
    // when something below is missing, nests too deep or is too large, so that building the type
    // reports it as before.
    uint32_t constraintsOf(const std::string& typeId, int depth) {
        constexpr uint32_t kAll = ~0u;
        if (depth > kMaxTypeDepth) {
            return kAll;
        }
        if (const auto known = constraintsOf_.find(typeId); known != constraintsOf_.end()) {
            return known->second;
        }
        const auto it = t_.doTypes.find(typeId);
        uint32_t constraints = it == t_.doTypes.end() ? kAll : 0;
        if (it != t_.doTypes.end()) {
            for (const scl::DoChild& c : it->second.children) {
                if (c.isSdo) {
                    constraints |= c.sdoCount > kMaxArrayCount ? kAll : constraintsOf(c.sdoType, depth + 1);
                } else {
                    constraints |= constraintBit(c.attribute.fc);
                }
            }
        }
        constraintsOf_[typeId] = constraints;
        return constraints;
    }

    // --- values ------------------------------------------------------------------------------

    void applyValues(ModelNode& node, const std::vector<std::string>& texts, int line) {
        if (node.kind == ModelNode::Kind::Array) {
            for (size_t i = 0; i < texts.size() && i < node.children.size(); ++i) {
                applyValues(*node.children[i], {texts[i]}, line);
            }
            return;
        }
        if (node.kind != ModelNode::Kind::Basic || texts.empty()) {
            return;  // values of whole structures are not given in files
        }
        const std::string& text = texts.front();
        auto defIt = defOf_.find(&node);
        const AttributeDef* def = defIt != defOf_.end() ? defIt->second : nullptr;
        std::string bType = def ? def->bType : std::string();
        auto refuse = [&](const std::string& why) {
            fail(line, "value \"" + text + "\" of \"" + node.itemId() + "\" " + why);
        };
        char* end = nullptr;
        switch (node.basic) {
            case BasicType::Boolean:
                if (text == "true" || text == "1") {
                    node.value = MmsValue::boolean(true);
                } else if (text == "false" || text == "0") {
                    node.value = MmsValue::boolean(false);
                } else {
                    refuse("is not a boolean");
                }
                break;
            case BasicType::Integer: {
                if (bType == "Enum") {
                    auto et = t_.enumTypes.find(def->type);
                    if (et != t_.enumTypes.end()) {
                        for (const auto& [ord, literal] : et->second.values) {
                            if (literal == text) {
                                node.value = MmsValue::integer(ord);
                                return;
                            }
                        }
                    }
                }
                long long v = std::strtoll(text.c_str(), &end, 10);
                if (text.empty() || *end != '\0') {
                    if (bType == "Enum" && !t_.enumTypes.count(def->type)) {
                        break;  // enumeration without its type: served as a number, literal unknown
                    }
                    refuse(bType == "Enum" ? "is not a literal of EnumType \"" + def->type + "\""
                                           : "is not an integer");
                }
                node.value = MmsValue::integer(v);
                break;
            }
            case BasicType::Unsigned: {
                unsigned long long v = std::strtoull(text.c_str(), &end, 10);
                if (text.empty() || *end != '\0' || text[0] == '-') {
                    refuse("is not an unsigned integer");
                }
                node.value = MmsValue::unsignedInteger(v);
                break;
            }
            case BasicType::Float: {
                double v = std::strtod(text.c_str(), &end);
                if (text.empty() || *end != '\0') {
                    refuse("is not a number");
                }
                node.value =
                    node.size == 64 ? MmsValue::floatDouble(v) : MmsValue::floatSingle(static_cast<float>(v));
                break;
            }
            case BasicType::VisibleString:
            case BasicType::MmsString:
                if (node.size < 0 && text.size() > static_cast<size_t>(-node.size)) {
                    refuse("is longer than " + std::to_string(-node.size) + " characters");
                }
                node.value = node.basic == BasicType::MmsString ? MmsValue::mmsString(text)
                                                                : MmsValue::visibleString(text);
                break;
            case BasicType::OctetString:
                if (node.size < 0 && text.size() <= static_cast<size_t>(-node.size)) {
                    node.value = MmsValue::octetString(std::vector<uint8_t>(text.begin(), text.end()));
                }
                break;
            case BasicType::BitString:
                if (bType == "Dbpos" || bType == "Tcmd") {
                    static const std::map<std::string, int> codes = {{"intermediate-state", 0},
                                                                     {"off", 1},
                                                                     {"on", 2},
                                                                     {"bad-state", 3},
                                                                     {"stop", 0},
                                                                     {"lower", 1},
                                                                     {"higher", 2},
                                                                     {"reserved", 3}};
                    auto c = codes.find(text);
                    if (c == codes.end()) {
                        refuse("is not a position");
                        break;
                    }
                    mms::BitString bits(2);
                    bits.setBit(0, (c->second & 2) != 0);
                    bits.setBit(1, (c->second & 1) != 0);
                    node.value = MmsValue::bitString(bits);
                }
                break;  // quality, trigger and option flags keep their defaults
            case BasicType::UtcTime:
            case BasicType::BinaryTime:
                break;
        }
    }

    // Finds the nodes an instance path ("Mod.ctlModel", "A.phsA.cVal.mag.f", "vals[2]") names, in
    // every functional-constraint component of the logical node.
    void applyInstanceValue(ModelNode& ln, const scl::InstanceValue& iv) {
        const std::vector<std::string> parts = splitPath(iv.path);
        bool found = false;
        for (const auto& fcNode : ln.children) {
            ModelNode* node = fcNode.get();
            for (const std::string& part : parts) {
                std::string name = part;
                long index = -1;
                size_t bracket = part.find('[');
                if (bracket != std::string::npos) {
                    name = part.substr(0, bracket);
                    index = std::strtol(part.c_str() + bracket + 1, nullptr, 10);
                }
                node = node->kind == ModelNode::Kind::Structure ? node->child(name) : nullptr;
                if (node && index >= 0) {
                    bool inRange = node->kind == ModelNode::Kind::Array &&
                                   static_cast<size_t>(index) < node->children.size();
                    node = inRange ? node->children[index].get() : nullptr;
                }
                if (!node) {
                    break;
                }
            }
            if (node) {
                applyValues(*node, iv.values, iv.line);
                if (fcNode->name == "SG") {
                    applyGroupValues(*node, iv);
                }
                found = true;
            }
        }
        if (!found) {
            warn(iv.line, "instance value for \"" + iv.path + "\" names nothing in logical node " + ln.name +
                              "; ignored");
        }
    }

    // Each group's value of a setting, parsed as its type says; groups the file leaves out keep the
    // value it gives without a group.
    void applyGroupValues(ModelNode& node, const scl::InstanceValue& iv) {
        if (node.kind != ModelNode::Kind::Basic || iv.groupValues.empty()) {
            return;
        }
        const MmsValue common = node.value;
        for (const auto& [group, text] : iv.groupValues) {
            if (group > kMaxSettingGroups) {
                warn(iv.line, "value for setting group " + std::to_string(group) + " of \"" + iv.path +
                                  "\" is beyond the " + std::to_string(kMaxSettingGroups) +
                                  " groups served; ignored");
                continue;
            }
            if (node.groupValues.size() < group) {
                node.groupValues.resize(group, common);
            }
            applyValues(node, {text}, iv.line);
            node.groupValues[group - 1] = node.value;
            node.value = common;
        }
        if (!node.groupValues.empty()) {
            node.value = node.groupValues.front();
        }
    }

    // --- logical nodes -----------------------------------------------------------------------

    std::unique_ptr<ModelNode> reportControlBlock(const scl::ReportControl& rc, const std::string& name,
                                                  const std::string& domain, const scl::LogicalNode& ln,
                                                  bool preassigned) {
        const std::string fc = rc.buffered ? "BR" : "RP";
        auto rcb = makeStructure(name, fc);
        auto add = [&](const char* n, BasicType type, int size, MmsValue value) {
            rcb->addChild(makeBasic(n, fc, type, size, std::move(value)));
        };
        mms::BitString optFlds(10);
        optFlds.setBit(1, rc.optSeqNum);
        optFlds.setBit(2, rc.optTimeStamp);
        optFlds.setBit(3, rc.optReasonCode);
        optFlds.setBit(4, rc.optDataSet);
        optFlds.setBit(5, rc.optDataRef);
        // Served as configured for unbuffered blocks too; what a report carries is the report's business.
        optFlds.setBit(6, rc.optBufOvfl);
        optFlds.setBit(7, rc.optEntryId);
        optFlds.setBit(8, rc.optConfigRef);
        optFlds.setBit(9, rc.optSegmentation);
        mms::BitString trgOps(6);
        trgOps.setBit(1, rc.trgDchg);
        trgOps.setBit(2, rc.trgQchg);
        trgOps.setBit(3, rc.trgDupd);
        trgOps.setBit(4, rc.trgPeriod);
        trgOps.setBit(5, rc.trgGi);
        std::string datSet = rc.datSet.empty() ? std::string()
                                               : mapping::variableReference(
                                                     domain, mapping::joinItemName({ln.name(), rc.datSet}));
        std::string rptId = rc.rptId.empty() ? mapping::variableReference(
                                                   domain, mapping::joinItemName({ln.name(), fc, name}))
                                             : rc.rptId;

        add("RptID", BasicType::VisibleString, -129, MmsValue::visibleString(rptId));
        add("RptEna", BasicType::Boolean, 0, MmsValue::boolean(false));
        if (!rc.buffered) {
            // A block the configuration assigns to a client IED is reserved for it from the start.
            add("Resv", BasicType::Boolean, 0, MmsValue::boolean(preassigned));
        }
        add("DatSet", BasicType::VisibleString, -129, MmsValue::visibleString(datSet));
        add("ConfRev", BasicType::Unsigned, 32, MmsValue::unsignedInteger(rc.confRev));
        add("OptFlds", BasicType::BitString, -10, MmsValue::bitString(optFlds));
        add("BufTm", BasicType::Unsigned, 32, MmsValue::unsignedInteger(rc.bufTime));
        add("SqNum", BasicType::Unsigned, rc.buffered ? 16 : 8, MmsValue::unsignedInteger(0));
        add("TrgOps", BasicType::BitString, -6, MmsValue::bitString(trgOps));
        add("IntgPd", BasicType::Unsigned, 32, MmsValue::unsignedInteger(rc.intgPd));
        add("GI", BasicType::Boolean, 0, MmsValue::boolean(false));
        if (rc.buffered) {
            add("PurgeBuf", BasicType::Boolean, 0, MmsValue::boolean(false));
            add("EntryID", BasicType::OctetString, 8, MmsValue::octetString(std::vector<uint8_t>(8, 0)));
            add("TimeofEntry", BasicType::BinaryTime, 1, MmsValue::binaryTime(0, 0));
            add("ResvTms", BasicType::Integer, 16, MmsValue::integer(preassigned ? -1 : 0));
        }
        if (ied_.reportOwner) {
            add("Owner", BasicType::OctetString, -64, MmsValue::octetString({}));
        }
        return rcb;
    }

    // A log control block under LG. Its log is kept by the device; LogRef names it, entries stay empty.
    std::unique_ptr<ModelNode> logControlBlock(const scl::LogControl& lc, const std::string& domain,
                                               const scl::LogicalNode& ln) {
        auto lcb = makeStructure(lc.name, "LG");
        auto add = [&](const char* n, BasicType type, int size, MmsValue value) {
            lcb->addChild(makeBasic(n, "LG", type, size, std::move(value)));
        };
        // General interrogation does not apply to logs: its bit stays clear whatever the file says.
        mms::BitString trgOps(6);
        trgOps.setBit(1, lc.trgDchg);
        trgOps.setBit(2, lc.trgQchg);
        trgOps.setBit(3, lc.trgDupd);
        trgOps.setBit(4, lc.trgPeriod);
        std::string logRef;
        if (!lc.logName.empty()) {
            auto logDomain = lc.ldInst.empty() ? domainByInst_.end() : domainByInst_.find(lc.ldInst);
            const std::string logLn = lc.lnClass.empty() ? "LLN0" : lc.prefix + lc.lnClass + lc.lnInst;
            logRef = mapping::variableReference(logDomain == domainByInst_.end() ? domain : logDomain->second,
                                                mapping::joinItemName({logLn, lc.logName}));
            logRefs_.emplace_back(logRef, lc.line);
        }
        std::string datSet = lc.datSet.empty() ? std::string()
                                               : mapping::variableReference(
                                                     domain, mapping::joinItemName({ln.name(), lc.datSet}));
        add("LogEna", BasicType::Boolean, 0, MmsValue::boolean(lc.logEna));
        add("LogRef", BasicType::VisibleString, -129, MmsValue::visibleString(logRef));
        add("DatSet", BasicType::VisibleString, -129, MmsValue::visibleString(datSet));
        add("OldEntrTm", BasicType::BinaryTime, 1, MmsValue::binaryTime(0, 0));
        add("NewEntrTm", BasicType::BinaryTime, 1, MmsValue::binaryTime(0, 0));
        add("OldEntr", BasicType::OctetString, 8, MmsValue::octetString(std::vector<uint8_t>(8, 0)));
        add("NewEntr", BasicType::OctetString, 8, MmsValue::octetString(std::vector<uint8_t>(8, 0)));
        add("TrgOps", BasicType::BitString, -6, MmsValue::bitString(trgOps));
        add("IntgPd", BasicType::Unsigned, 32, MmsValue::unsignedInteger(lc.intgPd));
        return lcb;
    }

    // A sampled-value control block under MS (multicast) or US (unicast). The samples themselves are
    // not sent; the block is there to be read and switched as a device's would be.
    std::unique_ptr<ModelNode> sampledValueControlBlock(const scl::SampledValueControl& sv,
                                                        const std::string& domain,
                                                        const scl::LogicalNode& ln) {
        const std::string fc = sv.multicast ? "MS" : "US";
        auto svcb = makeStructure(sv.name, fc);
        auto add = [&](const char* n, BasicType type, int size, MmsValue value) {
            svcb->addChild(makeBasic(n, fc, type, size, std::move(value)));
        };
        mms::BitString optFlds(5);
        optFlds.setBit(0, sv.optRefreshTime);
        optFlds.setBit(1, sv.optSampleSynchronized);
        optFlds.setBit(2, sv.optSampleRate);
        optFlds.setBit(3, sv.optDataSet);
        optFlds.setBit(4, sv.optSecurity);
        const std::string datSet =
            sv.datSet.empty()
                ? std::string()
                : mapping::variableReference(domain, mapping::joinItemName({ln.name(), sv.datSet}));
        add("SvEna", BasicType::Boolean, 0, MmsValue::boolean(false));
        if (!sv.multicast) {
            add("Resv", BasicType::Boolean, 0, MmsValue::boolean(false));
        }
        add(sv.multicast ? "MsvID" : "UsvID", BasicType::VisibleString, -129,
            MmsValue::visibleString(sv.smvId));
        add("DatSet", BasicType::VisibleString, -129, MmsValue::visibleString(datSet));
        add("ConfRev", BasicType::Unsigned, 32, MmsValue::unsignedInteger(sv.confRev));
        add("SmpRate", BasicType::Unsigned, 16, MmsValue::unsignedInteger(sv.smpRate));
        add("OptFlds", BasicType::BitString, 5, MmsValue::bitString(optFlds));
        add("SmpMod", BasicType::Integer, 8, MmsValue::integer(sv.smpMod));
        svcb->addChild(physicalAddress("DstAddress", fc));
        add("noASDU", BasicType::Unsigned, 16, MmsValue::unsignedInteger(sv.nofAsdu));
        return svcb;
    }

    // A log control block may name a log the file does not declare; it is kept all the same, so that
    // the block's entries have somewhere to go.
    void addReferencedLogs(DataModel& model) {
        for (const auto& [logRef, line] : logRefs_) {
            const size_t slash = logRef.find('/');
            Domain* domain = model.domain(logRef.substr(0, slash));
            const std::string journal = logRef.substr(slash + 1);
            if (domain == nullptr) {
                warn(line, "log control names log " + logRef + " of a logical device that does not exist");
                continue;
            }
            if (std::find(domain->journals.begin(), domain->journals.end(), journal) ==
                domain->journals.end()) {
                warn(line,
                     "log control names log " + logRef + ", which the file does not declare; it is kept");
                domain->journals.push_back(journal);
            }
        }
    }

    // LLN0$SP$SGCB. No group is selected for editing at start, so values under SE are not readable.
    static std::unique_ptr<ModelNode> settingGroupControlBlock(const scl::SettingControl& sc) {
        auto sgcb = makeStructure("SGCB", "SP");
        auto add = [&](const char* n, BasicType type, int size, MmsValue value) {
            sgcb->addChild(makeBasic(n, "SP", type, size, std::move(value)));
        };
        add("NumOfSG", BasicType::Unsigned, 8, MmsValue::unsignedInteger(sc.numOfSGs));
        add("ActSG", BasicType::Unsigned, 8, MmsValue::unsignedInteger(sc.actSG));
        add("EditSG", BasicType::Unsigned, 8, MmsValue::unsignedInteger(0));
        add("CnfEdit", BasicType::Boolean, 0, MmsValue::boolean(false));
        add("LActTm", BasicType::UtcTime, 0, MmsValue::utcTime(0, 0, 0));
        add("ResvTms", BasicType::Unsigned, 16, MmsValue::unsignedInteger(0));
        return sgcb;
    }

    void addLogicalNode(Domain& domain, const scl::LogicalNode& ln) {
        auto typeIt = t_.lnodeTypes.find(ln.lnType);
        if (typeIt == t_.lnodeTypes.end()) {
            fail(ln.line, "logical node " + ln.name() + " refers to missing LNodeType \"" + ln.lnType + "\"");
            return;
        }
        const scl::LNodeType& type = typeIt->second;
        auto node = makeStructure(ln.name(), "");
        if (domain.nodeByName.count(node->name)) {
            fail(ln.line, "logical node " + node->name + " appears twice in " + domain.name);
            return;
        }
        std::set<std::string> dataSetNames;
        for (const scl::DataSet& ds : ln.dataSets) {
            dataSetNames.insert(ds.name);
        }
        for (const char* fc : kFcOrder) {
            auto fcNode = makeStructure(fc, fc);
            const uint32_t wanted = constraintBit(fc) | (fc == std::string("SG") ? constraintBit("SE") : 0);
            for (const scl::DoRef& d : type.dataObjects) {
                if ((constraintsOf(d.type, 0) & wanted) == 0) {
                    continue;  // nothing of this constraint below it
                }
                auto dataObject = dataObjectForFc(d.type, d.name, fc, 0, d.line);
                if (dataObject && !addNamed(*fcNode, std::move(dataObject), d.line)) {
                    return;
                }
            }
            for (const scl::ReportControl& rc : ln.reportControls) {
                if ((rc.buffered ? "BR" : "RP") != std::string(fc)) {
                    continue;
                }
                if (!rc.datSet.empty() && !dataSetNames.count(rc.datSet)) {
                    fail(rc.line, "report control \"" + rc.name + "\" refers to missing data set \"" +
                                      rc.datSet + "\"");
                    return;
                }
                if (!rc.indexed) {
                    fcNode->addChild(reportControlBlock(rc, rc.name, domain.name, ln, rc.preassigned > 0));
                    continue;
                }
                for (unsigned i = 1; i <= rc.maxInstances; ++i) {
                    char suffix[4];
                    std::snprintf(suffix, sizeof suffix, "%02u", i);
                    fcNode->addChild(
                        reportControlBlock(rc, rc.name + suffix, domain.name, ln, i <= rc.preassigned));
                }
            }
            if (fc == std::string("LG")) {
                for (const scl::LogControl& lc : ln.logControls) {
                    if (!lc.datSet.empty() && !dataSetNames.count(lc.datSet)) {
                        fail(lc.line, "log control \"" + lc.name + "\" refers to missing data set \"" +
                                          lc.datSet + "\"");
                        return;
                    }
                    fcNode->addChild(logControlBlock(lc, domain.name, ln));
                }
            } else if (fc == std::string("MS") || fc == std::string("US")) {
                for (const scl::SampledValueControl& sv : ln.sampledValueControls) {
                    if ((sv.multicast ? "MS" : "US") != std::string(fc)) {
                        continue;
                    }
                    if (!sv.datSet.empty() && !dataSetNames.count(sv.datSet)) {
                        fail(sv.line, "sampled value control \"" + sv.name +
                                          "\" refers to missing data set \"" + sv.datSet + "\"");
                        return;
                    }
                    fcNode->addChild(sampledValueControlBlock(sv, domain.name, ln));
                }
            } else if (fc == std::string("SP") && ln.settingControl) {
                fcNode->addChild(settingGroupControlBlock(*ln.settingControl));
            }
            if (!fcNode->children.empty()) {
                node->addChild(std::move(fcNode));
            }
        }
        for (const scl::InstanceValue& iv : ln.instanceValues) {
            applyInstanceValue(*node, iv);
        }
        for (const std::string& log : ln.logs) {
            domain.journals.push_back(mapping::joinItemName({node->name, log}));
        }
        domain.nodeByName[node->name] = node.get();
        domain.logicalNodes.push_back(std::move(node));
    }

    // Every access point is served on one port, so the strictest one decides. Only passwords are
    // checked; the other methods are named so that nobody believes they are in force.
    void applyAuthentication(const scl::Authentication& auth) {
        const bool password = !auth.none && auth.password;
        model_->requiresPassword = model_->requiresPassword || password;
        std::string unsupported;
        for (const auto& [asked, name] : {std::pair{auth.weak, "weak"}, std::pair{auth.strong, "strong"},
                                          std::pair{auth.certificate, "certificate"}}) {
            if (asked) {
                unsupported += (unsupported.empty() ? "" : ", ") + std::string(name);
            }
        }
        const std::string served =
            password ? "served with password authentication" : "served without authentication";
        if (!unsupported.empty()) {
            warn(auth.line, "authentication by " + unsupported + " is not supported; " + served);
        } else if (!auth.none && !auth.password) {
            warn(auth.line, "no authentication method is allowed; " + served);
        }
    }

    void warn(int line, const std::string& problem) {
        model_->warnings.push_back(doc_.fileName + ":" + std::to_string(line) + ": " + problem);
    }

    // Fills in the member's item, and the element and the path below it when the names lead into an
    // array: written into a name ("HA.phsAHar(7)") or given as the FCDA's ix, which selects an element
    // of the first array on the path. False (with a warning) when the ix has no array to apply to.
    bool placeMember(const DataModel& model, const scl::Fcda& f, DataSetDefinition::Member& member) {
        long ix = -1;
        if (!f.ix.empty()) {
            char* end = nullptr;
            ix = std::strtol(f.ix.c_str(), &end, 10);
            if (*end != '\0' || ix < 0) {
                warn(f.line, "data set member ix=\"" + f.ix + "\" is not an array index; left out");
                return false;
            }
        }
        std::vector<std::string> parts = splitPath(f.doName);
        for (std::string& part : splitPath(f.daName)) {
            parts.push_back(std::move(part));
        }
        for (const std::string& part : parts) {
            size_t paren = part.find('(');
            if (member.index >= 0) {
                member.components.push_back(part);
            } else if (paren != std::string::npos) {
                member.item = mapping::joinItemName({member.item, std::string_view(part).substr(0, paren)});
                member.index = std::atoi(part.c_str() + paren + 1);
            } else {
                member.item = mapping::joinItemName({member.item, part});
                if (ix >= 0) {
                    const ModelNode* node = model.find(member.domain, member.item);
                    if (node && node->kind == ModelNode::Kind::Array) {
                        member.index = static_cast<int>(std::min<long>(ix, INT32_MAX));
                    }
                }
            }
        }
        if (ix >= 0 && member.index < 0) {
            warn(f.line, "data set member " + member.domain + "/" + member.item + " has ix=\"" + f.ix +
                             "\" but is no array; left out");
            return false;
        }
        return true;
    }

    void addDataSets(const DataModel& model, Domain& domain, const scl::LogicalDevice& ld,
                     const scl::LogicalNode& ln) {
        for (const scl::DataSet& ds : ln.dataSets) {
            DataSetDefinition def;
            def.name = mapping::joinItemName({ln.name(), ds.name});
            for (const scl::Fcda& f : ds.members) {
                std::string ldInst = f.ldInst.empty() ? ld.inst : f.ldInst;
                auto dom = domainByInst_.find(ldInst);
                if (dom == domainByInst_.end()) {
                    warn(f.line, "data set \"" + ds.name + "\" member refers to unknown logical device \"" +
                                     ldInst + "\"; left out");
                    continue;
                }
                DataSetDefinition::Member member;
                member.domain = dom->second;
                member.item = mapping::joinItemName({f.prefix + f.lnClass + f.lnInst, f.fc});
                if (!placeMember(model, f, member)) {
                    continue;
                }
                if (!model.resolve(member)) {
                    warn(f.line, "data set \"" + ds.name + "\" member " + member.domain + "/" + member.item +
                                     (member.index >= 0 ? "(" + std::to_string(member.index) + ")" : "") +
                                     " does not exist; left out");
                    continue;
                }
                def.members.push_back(std::move(member));
            }
            domain.dataSets.push_back(std::move(def));
        }
    }

    const scl::Document& doc_;
    const scl::DataTypeTemplates& t_;
    const scl::Ied& ied_;
    bool allowEmpty_;
    DataModel* model_ = nullptr;
    std::optional<Refusal> failure_;
    std::map<std::string, std::string> domainByInst_;
    std::vector<std::pair<std::string, int>> logRefs_;  // what log control blocks name, with their line
    std::unordered_map<const ModelNode*, const AttributeDef*> defOf_;
    std::unordered_map<std::string, std::shared_ptr<const std::vector<int>>> ordinalsOf_;
    std::unordered_map<std::string, uint32_t> constraintsOf_;

    // Shared by every attribute of the enumeration; null when the file lacks its EnumType.
    std::shared_ptr<const std::vector<int>> enumerationOrdinals(const std::string& enumType) {
        auto known = ordinalsOf_.find(enumType);
        if (known != ordinalsOf_.end()) {
            return known->second;
        }
        std::shared_ptr<const std::vector<int>> ordinals;
        auto et = t_.enumTypes.find(enumType);
        if (et != t_.enumTypes.end()) {
            auto list = std::make_shared<std::vector<int>>();
            for (const auto& value : et->second.values) {
                list->push_back(value.first);
            }
            ordinals = std::move(list);
        }
        ordinalsOf_[enumType] = ordinals;
        return ordinals;
    }
};

bool servesSomething(const scl::Ied& ied) {
    for (const auto& ap : ied.accessPoints) {
        if (!ap.logicalDevices.empty()) {
            return true;
        }
    }
    return false;
}

}  // namespace

Result<std::unique_ptr<DataModel>, BuildError> buildDataModel(const scl::Document& document,
                                                              const std::string& iedName) {
    const scl::Ied* chosen = nullptr;
    std::string names;
    int candidates = 0;
    for (const scl::Ied& ied : document.ieds) {
        names += (names.empty() ? "" : ", ") + ied.name;
        if (!iedName.empty() ? ied.name == iedName : servesSomething(ied)) {
            chosen = &ied;
            ++candidates;
        }
    }
    if (!iedName.empty() && !chosen) {
        return BuildError{document.fileName + ": no IED named \"" + iedName + "\" (the file has: " + names +
                          ")"};
    }
    if (iedName.empty() && candidates != 1) {
        return BuildError{document.fileName + ": " +
                          (candidates == 0 ? std::string("no IED with a server")
                                           : "several IEDs (" + names + "); choose one with --ied NAME")};
    }
    Builder builder(document, *chosen, !iedName.empty());
    auto model = builder.build();
    if (const auto& refusal = builder.failure()) {
        return BuildError{document.fileName + ":" + std::to_string(refusal->line) + ": " + refusal->problem};
    }
    return model;
}

Result<std::unique_ptr<DataModel>, BuildError> loadDataModel(const std::string& sclPath,
                                                             const std::string& iedName) {
    auto document = scl::loadSclFile(sclPath);
    if (!document) {
        return BuildError{document.error().message};
    }
    return buildDataModel(*document, iedName);
}

}  // namespace iecstack::server
