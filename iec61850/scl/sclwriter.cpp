#include "sclwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "mapping/member_reference.h"
#include "scltemplates.h"

namespace korvan::scl {

namespace {

using iecstack::mms::TypeSpec;
using Attributes = std::vector<std::pair<std::string, std::string>>;

// Functional constraints whose values are not written as initial values: commands, and the edit
// buffer of settings, which a device answers only while someone edits.
const std::set<std::string> kUnsavedValueFcs = {"CO", "SE"};
// Functional constraints that hold control blocks rather than data objects.
const std::set<std::string> kBlockFcs = {"RP", "BR", "LG", "GO", "MS", "US"};

// --- enumerations ----------------------------------------------------------------------------

struct KnownEnum {
    const char* hint;
    std::vector<std::pair<int, const char*>> literals;
};

// Enumerations are served as 8-bit integers; the ones named here are certain from the attribute's
// name (and for the behaviour and health states, its data object's).
const KnownEnum* knownEnum(const std::string& dataObject, const std::string& attribute) {
    static const KnownEnum ctlModel{"CtlModels",
                                    {{0, "status-only"},
                                     {1, "direct-with-normal-security"},
                                     {2, "sbo-with-normal-security"},
                                     {3, "direct-with-enhanced-security"},
                                     {4, "sbo-with-enhanced-security"}}};
    static const KnownEnum sboClass{"SboClasses", {{0, "operate-once"}, {1, "operate-many"}}};
    static const KnownEnum orCat{"OrCat",
                                 {{0, "not-supported"},
                                  {1, "bay-control"},
                                  {2, "station-control"},
                                  {3, "remote-control"},
                                  {4, "automatic-bay"},
                                  {5, "automatic-station"},
                                  {6, "automatic-remote"},
                                  {7, "maintenance"},
                                  {8, "process"}}};
    static const KnownEnum behaviour{
        "Beh", {{1, "on"}, {2, "blocked"}, {3, "test"}, {4, "test/blocked"}, {5, "off"}}};
    static const KnownEnum health{"Health", {{1, "Ok"}, {2, "Warning"}, {3, "Alarm"}}};
    if (attribute == "ctlModel") {
        return &ctlModel;
    }
    if (attribute == "sboClass") {
        return &sboClass;
    }
    if (attribute == "orCat") {
        return &orCat;
    }
    if ((dataObject == "Mod" || dataObject == "Beh") && (attribute == "stVal" || attribute == "ctlVal")) {
        return &behaviour;
    }
    if (dataObject == "Health" && attribute == "stVal") {
        return &health;
    }
    return nullptr;
}

bool isInt(const TypeSpec& t, int bits) {
    return t.type == MMS_INTEGER && t.size == bits;
}
bool isTwoBitPosition(const TypeSpec& t) {
    return t.type == MMS_BIT_STRING && t.size == 2;
}
bool isQuality(const TypeSpec& t) {
    return t.type == MMS_BIT_STRING && t.size == -13;
}
const TypeSpec* component(const TypeSpec& t, const std::string& name) {
    if (t.type != MMS_STRUCTURE) {
        return nullptr;
    }
    for (const auto& c : t.components) {
        if (c.name == name) {
            return &c.type;
        }
    }
    return nullptr;
}

// A destination address of GOOSE and sampled values, which a file can only name by its basic type.
bool isPhysicalAddress(const TypeSpec& t) {
    if (t.type != MMS_STRUCTURE || t.components.size() != 4) {
        return false;
    }
    const auto& c = t.components;
    return c[0].name == "Addr" && c[0].type.type == MMS_OCTET_STRING && c[0].type.size == 6 &&
           c[1].name == "PRIORITY" && c[2].name == "VID" && c[3].name == "APPID";
}

// --- data objects as the parts show them -------------------------------------------------------

struct DoTree;

// A child of a data object: a data attribute of one constraint, or a sub data object.
struct Member {
    std::string name;
    bool sdo = false;
    std::string fc;               // attribute
    TypeSpec type;                // attribute
    std::shared_ptr<DoTree> sub;  // sub data object (the element's, when an array of them)
    int32_t count = 0;            // sub data objects in the array; 0 for one
};

struct DoTree {
    std::vector<Member> members;
    Member* find(const std::string& name) {
        for (auto& m : members) {
            if (m.name == name) {
                return &m;
            }
        }
        return nullptr;
    }
    const Member* find(const std::string& name) const { return const_cast<DoTree*>(this)->find(name); }
};

struct NodeTree {
    std::string name;
    std::vector<std::pair<std::string, std::shared_ptr<DoTree>>> dataObjects;  // in order of appearance
    std::shared_ptr<DoTree> find(const std::string& name) const {
        for (const auto& [n, tree] : dataObjects) {
            if (n == name) {
                return tree;
            }
        }
        return nullptr;
    }
};

class Writer {
public:
    Writer(const ModelSnapshot& snapshot, const SaveOptions& options)
        : snapshot_(snapshot), options_(options) {}

    iecstack::Result<SavedModel, SaveError> run() {
        if (snapshot_.devices.empty()) {
            return SaveError{"the device has no logical device"};
        }
        checkNames();
        if (!error_.empty()) {
            return SaveError{error_};
        }
        nameDevices();
        for (const DeviceSnapshot& device : snapshot_.devices) {
            for (const NodeSnapshot& node : device.nodes) {
                trees_[device.name + '/' + node.name] = treeOf(device.name, node);
            }
        }
        pugi::xml_document doc;
        pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
        declaration.append_attribute("version") = "1.0";
        declaration.append_attribute("encoding") = "UTF-8";
        pugi::xml_node scl = doc.append_child("SCL");
        scl.append_attribute("xmlns") = "http://www.iec.ch/61850/2003/SCL";
        scl.append_attribute("version") = "2007";
        scl.append_attribute("revision") = "B";
        pugi::xml_node header = scl.append_child("Header");
        header.append_attribute("id") = iedName_.c_str();
        header.append_attribute("toolID") = "Korvan";
        header.append_attribute("nameStructure") = "IEDName";
        if (!options_.host.empty()) {
            pugi::xml_node subNetwork = scl.append_child("Communication").append_child("SubNetwork");
            subNetwork.append_attribute("name") = "Network";
            subNetwork.append_attribute("type") = "8-MMS";
            pugi::xml_node ap = subNetwork.append_child("ConnectedAP");
            ap.append_attribute("iedName") = iedName_.c_str();
            ap.append_attribute("apName") = "AP1";
            pugi::xml_node p = ap.append_child("Address").append_child("P");
            p.append_attribute("type") = "IP";
            p.text() = options_.host.c_str();
        }
        pugi::xml_node ied = scl.append_child("IED");
        ied.append_attribute("name") = iedName_.c_str();
        if (!options_.host.empty()) {
            const std::string desc =
                "Model read from " + options_.host +
                (options_.port != 0 ? ":" + std::to_string(options_.port) : std::string());
            ied.append_attribute("desc") = desc.c_str();
        }
        pugi::xml_node services = ied.append_child("Services");
        pugi::xml_node server = ied.append_child("AccessPoint");
        server.append_attribute("name") = "AP1";
        server = server.append_child("Server");
        server.append_child("Authentication").append_attribute("none") = "true";
        bool owner = false;
        for (const DeviceSnapshot& device : snapshot_.devices) {
            for (const DataSetSnapshot& set : device.dataSets) {
                dataSetNames_.insert(device.name + '/' + set.node + '.' + set.name);
            }
        }
        for (const DeviceSnapshot& device : snapshot_.devices) {
            writeDevice(server, device, owner);
        }
        if (!error_.empty()) {
            return SaveError{error_};
        }
        writeLogs();
        if (owner) {
            services.append_child("ReportSettings").append_attribute("owner") = "true";
        } else {
            ied.remove_child(services);
        }
        templates_.write(scl.append_child("DataTypeTemplates"));
        std::ostringstream out;
        doc.save(out, "  ", pugi::format_default | pugi::format_no_declaration, pugi::encoding_utf8);
        SavedModel saved;
        saved.text = out.str();
        saved.omissions = std::move(omissions_);
        saved.logicalDevices = snapshot_.devices.size();
        saved.logicalNodes = nodeCount_;
        saved.types = templates_.size();
        return saved;
    }

private:
    void fail(const std::string& why) {
        if (error_.empty()) {
            error_ = why;
        }
    }
    void omit(const std::string& what) {
        if (std::find(omissions_.begin(), omissions_.end(), what) == omissions_.end()) {
            omissions_.push_back(what);
        }
    }

    // --- names ----------------------------------------------------------------------------------

    // Names go into the file as the device gives them; a control character or a space in one would
    // make a file that no longer loads, or loads as something else.
    static bool plainName(const std::string& name) {
        if (name.empty()) {
            return false;
        }
        for (const char c : name) {
            const auto u = static_cast<unsigned char>(c);
            if (u <= 0x20 || u >= 0x7f) {
                return false;
            }
        }
        return true;
    }

    void checkTypeNames(const TypeSpec& t, const std::string& where) {
        if (t.type == MMS_ARRAY && !t.elementType.empty()) {
            checkTypeNames(t.elementType.front(), where);
        }
        for (const auto& c : t.components) {
            if (!plainName(c.name)) {
                fail(where + " has a component whose name a file cannot carry");
                return;
            }
            checkTypeNames(c.type, where + '.' + c.name);
        }
    }

    void checkNames() {
        for (const DeviceSnapshot& device : snapshot_.devices) {
            if (!plainName(device.name)) {
                fail("a logical device has a name a file cannot carry");
                return;
            }
            for (const NodeSnapshot& node : device.nodes) {
                if (!plainName(node.name)) {
                    fail("a logical node of " + device.name + " has a name a file cannot carry");
                    return;
                }
                for (const NodeSnapshot::Part& part : node.parts) {
                    checkTypeNames(part.type, device.name + '/' + node.name);
                }
            }
            for (const DataSetSnapshot& set : device.dataSets) {
                bool plain = plainName(set.name) && plainName(set.node);
                for (const std::string& member : set.members) {
                    plain = plain && plainName(member);
                }
                if (!plain) {
                    fail("a data set of " + device.name + " has a name a file cannot carry");
                    return;
                }
            }
        }
    }

    // A server names a logical device by the IED's name followed by the device's inst, unless the file
    // gives it a name of its own. The IED name is the common beginning of the device names where each
    // keeps something after it; otherwise every device is named in full.
    void nameDevices() {
        std::string prefix = options_.iedName;
        if (prefix.empty() && snapshot_.devices.size() > 1) {
            prefix = snapshot_.devices.front().name;
            for (const DeviceSnapshot& device : snapshot_.devices) {
                size_t common = 0;
                while (common < prefix.size() && common < device.name.size() &&
                       prefix[common] == device.name[common]) {
                    ++common;
                }
                prefix.resize(common);
            }
        }
        bool fits = !prefix.empty() && std::isalpha(static_cast<unsigned char>(prefix[0]));
        for (const DeviceSnapshot& device : snapshot_.devices) {
            fits = fits && device.name.size() > prefix.size() &&
                   device.name.compare(0, prefix.size(), prefix) == 0;
        }
        iedName_ = options_.iedName.empty() ? (fits ? prefix : std::string("IED")) : options_.iedName;
        for (const DeviceSnapshot& device : snapshot_.devices) {
            instOf_[device.name] = fits ? device.name.substr(prefix.size()) : device.name;
        }
        withLdName_ = !fits;
    }

    // "Q0XCBR1" is prefix "Q0", class "XCBR", instance "1"; the class is the four characters before
    // the instance number.
    static bool splitNodeName(const std::string& name, std::string& prefix, std::string& lnClass,
                              std::string& inst) {
        if (name == "LLN0") {
            prefix.clear();
            lnClass = name;
            inst.clear();
            return true;
        }
        size_t digits = name.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) {
            --digits;
        }
        if (digits == name.size() || digits < 4) {
            return false;
        }
        prefix = name.substr(0, digits - 4);
        lnClass = name.substr(digits - 4, 4);
        inst = name.substr(digits);
        return true;
    }

    // --- types ----------------------------------------------------------------------------------

    std::shared_ptr<NodeTree> treeOf(const std::string& device, const NodeSnapshot& node) {
        auto tree = std::make_shared<NodeTree>();
        tree->name = node.name;
        for (const NodeSnapshot::Part& part : node.parts) {
            if (kBlockFcs.count(part.fc) != 0 || part.type.type != MMS_STRUCTURE) {
                continue;
            }
            for (const auto& dataObject : part.type.components) {
                if (part.fc == "SP" && dataObject.name == "SGCB" && component(dataObject.type, "ActSG")) {
                    continue;
                }
                if (dataObject.type.type != MMS_STRUCTURE) {
                    fail(device + '/' + node.name + '.' + dataObject.name + '[' + part.fc +
                         "] is not a data object (no structure)");
                    continue;
                }
                std::shared_ptr<DoTree> doTree = tree->find(dataObject.name);
                if (!doTree) {
                    doTree = std::make_shared<DoTree>();
                    tree->dataObjects.emplace_back(dataObject.name, doTree);
                }
                merge(*doTree, dataObject.type, part.fc, device + '/' + node.name + '.' + dataObject.name);
            }
        }
        for (auto& entry : tree->dataObjects) {
            promote(*entry.second, device + '/' + node.name + '.' + entry.first);
        }
        return tree;
    }

    // Adds the components one constraint shows of a data object. A name met under a second
    // constraint is a sub data object (an attribute has one constraint), except for settings, which a
    // device shows both as the active group's (SG) and the edit buffer's (SE).
    void merge(DoTree& tree, const TypeSpec& structure, const std::string& fc, const std::string& where) {
        for (const auto& c : structure.components) {
            Member* m = tree.find(c.name);
            if (m == nullptr) {
                Member member;
                member.name = c.name;
                member.fc = fc;
                member.type = c.type;
                tree.members.push_back(std::move(member));
                continue;
            }
            const std::string path = where + '.' + c.name;
            if (!m->sdo) {
                if (m->fc == fc) {
                    continue;
                }
                const bool settings = (m->fc == "SG" && fc == "SE") || (m->fc == "SE" && fc == "SG");
                if (settings && m->type == c.type) {
                    m->fc = "SE";  // served under SG as well
                    continue;
                }
                if (!makeSubObject(*m, path)) {
                    fail(path + " has a basic type under " + m->fc + " and " + fc +
                         "; a file cannot say that");
                    continue;
                }
            }
            mergeSubObject(*m, c.type, fc, path);
        }
    }

    bool makeSubObject(Member& m, const std::string& path) {
        const bool array = m.type.type == MMS_ARRAY && !m.type.elementType.empty();
        const TypeSpec& element = array ? m.type.elementType.front() : m.type;
        if (element.type != MMS_STRUCTURE) {
            return false;
        }
        auto sub = std::make_shared<DoTree>();
        merge(*sub, element, m.fc, path);
        m.sdo = true;
        m.count = array ? m.type.size : 0;
        m.sub = std::move(sub);
        m.fc.clear();
        m.type = TypeSpec();
        return true;
    }

    void mergeSubObject(Member& m, const TypeSpec& type, const std::string& fc, const std::string& path) {
        const bool array = type.type == MMS_ARRAY && !type.elementType.empty();
        const TypeSpec& element = array ? type.elementType.front() : type;
        if (element.type != MMS_STRUCTURE || (array ? type.size : 0) != m.count) {
            fail(path + " has different shapes under different constraints");
            return;
        }
        merge(*m.sub, element, fc, path);
    }

    // A structure with a quality of its own is a data object, not an attribute: attributes carry no
    // quality inside them.
    void promote(DoTree& tree, const std::string& where) {
        for (Member& m : tree.members) {
            if (!m.sdo) {
                const TypeSpec& element = m.type.type == MMS_ARRAY && !m.type.elementType.empty()
                                              ? m.type.elementType.front()
                                              : m.type;
                const TypeSpec* q = component(element, "q");
                if (q != nullptr && isQuality(*q)) {
                    makeSubObject(m, where + '.' + m.name);
                }
            }
            if (m.sdo) {
                promote(*m.sub, where + '.' + m.name);
            }
        }
    }

    // The class of a data object where its attributes leave no doubt; empty otherwise.
    static std::string classOf(const DoTree& tree) {
        auto attribute = [&tree](const char* name, const char* fc) -> const TypeSpec* {
            const Member* m = tree.find(name);
            return m != nullptr && !m->sdo && m->fc == fc ? &m->type : nullptr;
        };
        const TypeSpec* q = attribute("q", "ST");
        const TypeSpec* qMx = attribute("q", "MX");
        const TypeSpec* stVal = attribute("stVal", "ST");
        const TypeSpec* oper = attribute("Oper", "CO");
        const TypeSpec* ctlVal = oper ? component(*oper, "ctlVal") : nullptr;
        // A control model makes the object controllable, also one that is status-only and has no Oper.
        if (oper != nullptr || attribute("ctlModel", "CF") != nullptr) {
            if (ctlVal != nullptr && isTwoBitPosition(*ctlVal)) {
                return attribute("valWTr", "ST") != nullptr ? "BSC" : "";
            }
            if (stVal == nullptr || q == nullptr) {
                return "";
            }
            const bool boolCommand = ctlVal == nullptr || ctlVal->type == MMS_BOOLEAN;
            if (stVal->type == MMS_BOOLEAN && boolCommand) {
                return "SPC";
            }
            if (isTwoBitPosition(*stVal) && boolCommand) {
                return "DPC";
            }
            // A 32-bit state is an integer or an enumeration some tools write as one: not certain.
            if (isInt(*stVal, 8) && (ctlVal == nullptr || isInt(*ctlVal, 8))) {
                return "ENC";
            }
            return "";
        }
        if (stVal != nullptr && q != nullptr && isQuality(*q)) {
            return stVal->type == MMS_BOOLEAN ? "SPS"
                   : isTwoBitPosition(*stVal) ? "DPS"
                   : isInt(*stVal, 8)         ? "ENS"
                                              : "";
        }
        const TypeSpec* general = attribute("general", "ST");
        if (general != nullptr && general->type == MMS_BOOLEAN && q != nullptr) {
            return attribute("dirGeneral", "ST") != nullptr ? "ACD" : "ACT";
        }
        const TypeSpec* actVal = attribute("actVal", "ST");
        if (actVal != nullptr && isInt(*actVal, 64) && q != nullptr) {
            return "BCR";
        }
        if (qMx != nullptr && isQuality(*qMx)) {
            if (attribute("mag", "MX") != nullptr && attribute("cVal", "MX") == nullptr) {
                return "MV";
            }
            if (attribute("cVal", "MX") != nullptr && attribute("mag", "MX") == nullptr) {
                return "CMV";
            }
            return "";
        }
        if (attribute("vendor", "DC") && attribute("swRev", "DC") && attribute("configRev", "DC")) {
            return "LPL";
        }
        for (const char* fc : {"SP", "SG", "SE"}) {
            if (const TypeSpec* setVal = attribute("setVal", fc)) {
                return setVal->type == MMS_BOOLEAN ? "SPG" : isInt(*setVal, 32) ? "ING" : "";
            }
            if (attribute("setMag", fc) != nullptr) {
                return "ASG";
            }
        }
        // Three-phase values: sub data objects only, each a complex measured value.
        static const std::set<std::string> wye = {"phsA", "phsB", "phsC", "neut", "net", "res"};
        static const std::set<std::string> delta = {"phsAB", "phsBC", "phsCA"};
        bool allWye = !tree.members.empty(), allDelta = !tree.members.empty();
        for (const Member& m : tree.members) {
            if (m.sdo && m.count == 0 && classOf(*m.sub) == "CMV") {
                allWye = allWye && wye.count(m.name) != 0;
                allDelta = allDelta && delta.count(m.name) != 0;
            } else if (m.sdo || (m.fc != "DC" && m.fc != "EX" && m.fc != "CF")) {
                allWye = allDelta = false;
            }
        }
        return allWye && tree.find("phsA") ? "WYE" : allDelta && tree.find("phsAB") ? "DEL" : "";
    }

    // The attributes a DA or BDA of type `t` is written with: bType, type and count.
    Attributes attributeType(const TypeSpec& t, const std::string& dataObject, const std::string& name,
                             const std::string& where) {
        if (t.type == MMS_ARRAY) {
            if (t.elementType.empty() || t.elementType.front().type == MMS_ARRAY || t.size <= 0) {
                fail(where + " is an array a file cannot describe");
                return {};
            }
            Attributes a = attributeType(t.elementType.front(), dataObject, name, where);
            a.emplace_back("count", std::to_string(t.size));
            return a;
        }
        if (t.type == MMS_STRUCTURE) {
            if (isPhysicalAddress(t)) {
                return {{"bType", "PhyComAddr"}};
            }
            std::vector<TemplateSet::Child> bdas;
            for (const auto& c : t.components) {
                Attributes a{{"name", c.name}};
                for (auto& pair : attributeType(c.type, dataObject, c.name, where + '.' + c.name)) {
                    a.push_back(std::move(pair));
                }
                bdas.push_back({"BDA", std::move(a), {}});
            }
            return {{"bType", "Struct"}, {"type", templates_.add("DAType", "DA", {}, bdas)}};
        }
        if (isInt(t, 8)) {
            if (const KnownEnum* known = knownEnum(dataObject, name)) {
                std::vector<TemplateSet::Child> values;
                for (const auto& [ord, literal] : known->literals) {
                    values.push_back({"EnumVal", {{"ord", std::to_string(ord)}}, literal});
                }
                return {{"bType", "Enum"}, {"type", templates_.add("EnumType", known->hint, {}, values)}};
            }
        }
        const std::string bType = basicType(t, name);
        if (bType.empty()) {
            fail(where + " has a type no basic type of a file stands for");
            return {};
        }
        return {{"bType", bType}};
    }

    static std::string basicType(const TypeSpec& t, const std::string& name) {
        switch (t.type) {
            case MMS_BOOLEAN:
                return "BOOLEAN";
            case MMS_INTEGER:
                return t.size == 8    ? "INT8"
                       : t.size == 16 ? "INT16"
                       : t.size == 32 ? "INT32"
                       : t.size == 64 ? "INT64"
                                      : "";
            case MMS_UNSIGNED:
                return t.size == 8 ? "INT8U" : t.size == 16 ? "INT16U" : t.size == 32 ? "INT32U" : "";
            case MMS_FLOAT:
                return t.formatWidth == 64 ? "FLOAT64" : t.formatWidth == 32 ? "FLOAT32" : "";
            case MMS_BIT_STRING:
                switch (t.size) {
                    case 2:
                        return name == "ctlVal" ? "Tcmd" : "Dbpos";
                    case -2:
                        return "Check";
                    case -5:
                        return "SvOptFlds";
                    case -6:
                        return "TrgOps";
                    case -10:
                        return "OptFlds";
                    case -13:
                        return "Quality";
                    default:
                        return "";
                }
            case MMS_VISIBLE_STRING:
                switch (t.size) {
                    case -3:
                        return "Currency";
                    case -32:
                    case -64:
                    case -65:
                    case -129:
                    case -255:
                        return "VisString" + std::to_string(-t.size);
                    default:
                        return "";
                }
            case MMS_STRING:
                return t.size == -255 ? "Unicode255" : "";
            case MMS_OCTET_STRING:
                return t.size == -6    ? "Octet6"
                       : t.size == -16 ? "Octet16"
                       : t.size == -64 ? "Octet64"
                       : t.size == 8   ? "EntryID"
                                       : "";
            case MMS_UTC_TIME:
                return "Timestamp";
            case MMS_BINARY_TIME:
                return "EntryTime";
            default:
                return "";
        }
    }

    // Report triggers are not part of a type description; a device reports a change of its status and
    // measured values and of their quality, and never of a time stamp alone.
    static void addTriggers(Attributes& a, const std::string& name, const std::string& fc) {
        if (fc != "ST" && fc != "MX") {
            return;
        }
        if (name == "q") {
            a.emplace_back("qchg", "true");
        } else if (name != "t" && name.compare(0, 4, "inst") != 0) {
            a.emplace_back("dchg", "true");
        }
    }

    std::string doTypeOf(const DoTree& tree, const std::string& dataObject, const std::string& where) {
        std::vector<TemplateSet::Child> children;
        for (const Member& m : tree.members) {
            if (m.sdo) {
                Attributes a{{"name", m.name}, {"type", doTypeOf(*m.sub, dataObject, where + '.' + m.name)}};
                if (m.count > 0) {
                    a.emplace_back("count", std::to_string(m.count));
                }
                children.push_back({"SDO", std::move(a), {}});
                continue;
            }
            Attributes a{{"name", m.name}, {"fc", m.fc}};
            for (auto& pair : attributeType(m.type, dataObject, m.name, where + '.' + m.name)) {
                a.push_back(std::move(pair));
            }
            addTriggers(a, m.name, m.fc);
            children.push_back({"DA", std::move(a), {}});
        }
        const std::string cdc = classOf(tree);
        return templates_.add("DOType", cdc.empty() ? "DO" : cdc,
                              cdc.empty() ? Attributes{} : Attributes{{"cdc", cdc}}, children);
    }

    std::string nodeTypeOf(const NodeTree& tree, const std::string& lnClass, const std::string& where) {
        std::vector<TemplateSet::Child> dataObjects;
        for (const auto& [name, doTree] : tree.dataObjects) {
            dataObjects.push_back(
                {"DO", {{"name", name}, {"type", doTypeOf(*doTree, name, where + '.' + name)}}, {}});
        }
        return templates_.add("LNodeType", lnClass, {{"lnClass", lnClass}}, dataObjects);
    }

    // --- values ---------------------------------------------------------------------------------

    // The text a file gives for a value of type `t`; false for what a file cannot set (times,
    // quality) or what would not load back.
    bool valueText(const TypeSpec& t, const MmsValue& v, const std::string& dataObject,
                   const std::string& name, const std::string& where, std::string& out) {
        if (v.type() != t.type) {
            return false;
        }
        char number[64];
        switch (t.type) {
            case MMS_BOOLEAN:
                out = v.boolValue() ? "true" : "false";
                return true;
            case MMS_INTEGER:
                if (const KnownEnum* known = isInt(t, 8) ? knownEnum(dataObject, name) : nullptr) {
                    for (const auto& [ord, literal] : known->literals) {
                        if (ord == v.toInt64()) {
                            out = literal;
                            return true;
                        }
                    }
                }
                out = std::to_string(v.toInt64());
                return true;
            case MMS_UNSIGNED:
                out = std::to_string(v.toUint64());
                return true;
            case MMS_FLOAT:
                std::snprintf(number, sizeof number, "%.*g", v.isDoublePrecision() ? 17 : 9, v.toDouble());
                out = number;
                return true;
            case MMS_VISIBLE_STRING:
            case MMS_STRING:
            case MMS_OCTET_STRING: {
                const std::string text =
                    t.type == MMS_OCTET_STRING ? std::string(v.octets().begin(), v.octets().end()) : v.text();
                if (t.type == MMS_OCTET_STRING && !t.variableLength()) {
                    return false;  // fixed-length octets keep the default a file gives them
                }
                if (t.variableLength() && text.size() > t.maxLength()) {
                    omit("value of " + where + " (longer than its type allows)");
                    return false;
                }
                for (const char c : text) {
                    const auto u = static_cast<unsigned char>(c);
                    if (u < 0x20 || u == 0x7f || (u >= 0x80 && t.type != MMS_STRING)) {
                        omit("value of " + where + " (holds characters a file cannot carry)");
                        return false;
                    }
                }
                out = text;
                return true;
            }
            case MMS_BIT_STRING:
                if (t.size == 2 && v.bitCount() == 2) {
                    static const char* const positions[] = {"intermediate-state", "off", "on", "bad-state"};
                    static const char* const steps[] = {"stop", "lower", "higher", "reserved"};
                    const int code = (v.bit(0) ? 2 : 0) | (v.bit(1) ? 1 : 0);
                    out = name == "ctlVal" ? steps[code] : positions[code];
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

    struct Instance {
        std::string element, name, ix;
        std::vector<std::pair<unsigned, std::string>> values;  // setting group (0: none), text
        std::vector<Instance> children;
        Instance& child(const std::string& e, const std::string& n, const std::string& i) {
            for (Instance& c : children) {
                if (c.name == n && c.ix == i) {
                    return c;
                }
            }
            children.push_back({e, n, i, {}, {}});
            return children.back();
        }
    };

    void collectValues(Instance& parent, const std::string& element, const std::string& name,
                       const std::string& ix, const TypeSpec& t, const MmsValue& v,
                       const std::string& dataObject, const std::string& where, unsigned group) {
        if (t.type == MMS_STRUCTURE) {
            if (v.type() != MMS_STRUCTURE || v.elements().size() != t.components.size()) {
                return;
            }
            Instance& node = parent.child(element, name, ix);
            for (size_t i = 0; i < t.components.size(); ++i) {
                const auto& c = t.components[i];
                collectValues(node, "SDI", c.name, {}, c.type, v.elements()[i], dataObject,
                              where + '.' + c.name, group);
            }
            return;
        }
        if (t.type == MMS_ARRAY) {
            if (v.type() != MMS_ARRAY || t.elementType.empty()) {
                return;
            }
            for (size_t i = 0; i < v.elements().size(); ++i) {
                collectValues(parent, "SDI", name, std::to_string(i), t.elementType.front(), v.elements()[i],
                              dataObject, where + '(' + std::to_string(i) + ')', group);
            }
            return;
        }
        std::string text;
        if (!valueText(t, v, dataObject, name, where + '[' + valueFc_ + ']', text)) {
            return;
        }
        Instance& leaf = parent.child("DAI", name, ix);
        leaf.values.emplace_back(0, text);
        if (group > 0) {
            leaf.values.emplace_back(group, text);
        }
    }

    static void writeInstance(pugi::xml_node parent, const Instance& instance) {
        pugi::xml_node node = parent.append_child(instance.element.c_str());
        node.append_attribute("name") = instance.name.c_str();
        if (!instance.ix.empty()) {
            node.append_attribute("ix") = instance.ix.c_str();
        }
        for (const auto& [group, text] : instance.values) {
            pugi::xml_node val = node.append_child("Val");
            if (group > 0) {
                val.append_attribute("sGroup") = group;
            }
            val.text() = text.c_str();
        }
        for (const Instance& child : instance.children) {
            writeInstance(node, child);
        }
    }

    // --- control blocks -------------------------------------------------------------------------

    struct Block {
        std::string name;
        std::map<std::string, MmsValue> fields;
        const MmsValue* field(const std::string& n) const {
            auto it = fields.find(n);
            return it == fields.end() ? nullptr : &it->second;
        }
        bool flag(const std::string& n) const {
            const MmsValue* v = field(n);
            return v != nullptr && v->boolValue();
        }
        uint64_t number(const std::string& n) const {
            const MmsValue* v = field(n);
            return v != nullptr && (v->type() == MMS_UNSIGNED || v->type() == MMS_INTEGER) ? v->toUint64()
                                                                                           : 0;
        }
        int64_t signedNumber(const std::string& n) const {
            const MmsValue* v = field(n);
            return v != nullptr && v->type() == MMS_INTEGER ? v->toInt64() : 0;
        }
        std::string text(const std::string& n) const {
            const MmsValue* v = field(n);
            return v != nullptr && v->type() == MMS_VISIBLE_STRING ? v->text() : std::string();
        }
        bool bit(const std::string& n, size_t i) const {
            const MmsValue* v = field(n);
            return v != nullptr && v->type() == MMS_BIT_STRING && v->bit(i);
        }
    };

    static std::vector<Block> blocksOf(const NodeSnapshot& node, const std::string& fc) {
        std::vector<Block> blocks;
        for (const NodeSnapshot::Part& part : node.parts) {
            if (part.fc != fc || part.type.type != MMS_STRUCTURE || part.value.type() != MMS_STRUCTURE ||
                part.value.elements().size() != part.type.components.size()) {
                continue;
            }
            for (size_t i = 0; i < part.type.components.size(); ++i) {
                const auto& c = part.type.components[i];
                const MmsValue& v = part.value.elements()[i];
                Block block{c.name, {}};
                if (c.type.type == MMS_STRUCTURE && v.type() == MMS_STRUCTURE &&
                    v.elements().size() == c.type.components.size()) {
                    for (size_t j = 0; j < c.type.components.size(); ++j) {
                        block.fields.emplace(c.type.components[j].name, v.elements()[j]);
                    }
                }
                blocks.push_back(std::move(block));
            }
        }
        return blocks;
    }

    static const char* boolText(bool b) { return b ? "true" : "false"; }

    // The data set a block names, when it is one of the node's own (a file can name no other).
    std::string dataSetOf(const Block& block, const std::string& device, const NodeSnapshot& node,
                          const std::string& where) {
        const std::string reference = block.text("DatSet");
        if (reference.empty()) {
            return {};
        }
        for (const char separator : {'$', '.'}) {
            const std::string prefix = device + '/' + node.name + separator;
            if (reference.compare(0, prefix.size(), prefix) == 0) {
                const std::string name = reference.substr(prefix.size());
                if (dataSetNames_.count(device + '/' + node.name + '.' + name) != 0) {
                    return name;
                }
            }
        }
        omit(where + " names data set " + reference +
             ", which is not one of its logical node's; saved without it");
        return {};
    }

    struct ReportConfig {
        bool buffered = false;
        std::string datSet, rptId;
        uint64_t confRev = 0, bufTime = 0, intgPd = 0;
        std::string optFields, triggers;
        bool operator==(const ReportConfig& o) const {
            return buffered == o.buffered && datSet == o.datSet && rptId == o.rptId && confRev == o.confRev &&
                   bufTime == o.bufTime && intgPd == o.intgPd && optFields == o.optFields &&
                   triggers == o.triggers;
        }
    };

    void writeReportControls(pugi::xml_node ln, const std::string& device, const NodeSnapshot& node,
                             bool& owner) {
        struct Instance {
            std::string name;
            ReportConfig config;
            bool reserved = false;
        };
        std::vector<Instance> instances;
        for (const char* fc : {"RP", "BR"}) {
            for (const Block& block : blocksOf(node, fc)) {
                const std::string where = device + '/' + node.name + '.' + block.name;
                Instance instance;
                instance.name = block.name;
                ReportConfig& c = instance.config;
                c.buffered = std::string(fc) == "BR";
                c.datSet = dataSetOf(block, device, node, where);
                c.rptId = block.text("RptID");
                // A block reporting under its own reference needs no RptID in the file.
                if (c.rptId == iecstack::mapping::variableReference(
                                   device, iecstack::mapping::joinItemName({node.name, fc, block.name}))) {
                    c.rptId.clear();
                }
                c.confRev = block.number("ConfRev");
                c.bufTime = block.number("BufTm");
                c.intgPd = block.number("IntgPd");
                for (size_t i = 1; i < 10; ++i) {
                    c.optFields += block.bit("OptFlds", i) ? '1' : '0';
                }
                for (size_t i = 1; i < 6; ++i) {
                    c.triggers += block.bit("TrgOps", i) ? '1' : '0';
                }
                // A block kept for a client from the start shows as reserved with nobody holding it.
                instance.reserved = c.buffered ? block.signedNumber("ResvTms") == -1 : block.flag("Resv");
                owner = owner || block.field("Owner") != nullptr;
                instances.push_back(std::move(instance));
            }
        }
        // Instances "Name01".."NameNN" of one configuration are one indexed block of N instances.
        for (size_t i = 0; i < instances.size();) {
            const std::string& first = instances[i].name;
            size_t count = 1;
            std::string base;
            if (first.size() > 2 && first.compare(first.size() - 2, 2, "01") == 0) {
                base = first.substr(0, first.size() - 2);
                bool reservedRun = instances[i].reserved;
                while (i + count < instances.size() && count < 99) {
                    const Instance& next = instances[i + count];
                    char expected[4];
                    std::snprintf(expected, sizeof expected, "%02zu", count + 1);
                    if (next.name != base + expected || !(next.config == instances[i].config) ||
                        (next.reserved && !reservedRun)) {
                        break;
                    }
                    reservedRun = next.reserved;
                    ++count;
                }
            }
            // An RptID of the block's own reference differs per instance, so it groups as "none".
            const ReportConfig& c = instances[i].config;
            pugi::xml_node rc = ln.append_child("ReportControl");
            rc.append_attribute("name") = (base.empty() ? first : base).c_str();
            if (!c.datSet.empty()) {
                rc.append_attribute("datSet") = c.datSet.c_str();
            }
            rc.append_attribute("intgPd") = std::to_string(c.intgPd).c_str();
            if (!c.rptId.empty()) {
                rc.append_attribute("rptID") = c.rptId.c_str();
            }
            rc.append_attribute("confRev") = std::to_string(c.confRev).c_str();
            rc.append_attribute("buffered") = boolText(c.buffered);
            rc.append_attribute("bufTime") = std::to_string(c.bufTime).c_str();
            if (base.empty()) {
                rc.append_attribute("indexed") = "false";
            }
            pugi::xml_node trg = rc.append_child("TrgOps");
            const char* const triggerNames[] = {"dchg", "qchg", "dupd", "period", "gi"};
            for (size_t k = 0; k < 5; ++k) {
                trg.append_attribute(triggerNames[k]) = boolText(c.triggers[k] == '1');
            }
            pugi::xml_node opt = rc.append_child("OptFields");
            const char* const optionNames[] = {"seqNum",  "timeStamp", "reasonCode", "dataSet",     "dataRef",
                                               "bufOvfl", "entryID",   "configRef",  "segmentation"};
            for (size_t k = 0; k < 9; ++k) {
                opt.append_attribute(optionNames[k]) = boolText(c.optFields[k] == '1');
            }
            pugi::xml_node enabled = rc.append_child("RptEnabled");
            enabled.append_attribute("max") = static_cast<unsigned>(count);
            for (size_t k = 0; k < count && instances[i + k].reserved; ++k) {
                // The client it is kept for is not visible over the association.
                pugi::xml_node client = enabled.append_child("ClientLN");
                client.append_attribute("desc") = "kept for a client when the model was read";
                client.append_attribute("iedName") = "CLIENT";
                client.append_attribute("ldInst") = "LD0";
                client.append_attribute("lnClass") = "IHMI";
                client.append_attribute("lnInst") = "1";
            }
            i += count;
        }
    }

    void writeLogControls(pugi::xml_node ln, const std::string& device, const NodeSnapshot& node) {
        for (const Block& block : blocksOf(node, "LG")) {
            const std::string where = device + '/' + node.name + '.' + block.name;
            pugi::xml_node lc = ln.append_child("LogControl");
            lc.append_attribute("name") = block.name.c_str();
            const std::string datSet = dataSetOf(block, device, node, where);
            if (!datSet.empty()) {
                lc.append_attribute("datSet") = datSet.c_str();
            }
            lc.append_attribute("intgPd") = std::to_string(block.number("IntgPd")).c_str();
            // LogRef is "LD/LN$Log"; the log lives in that logical node.
            const std::string logRef = block.text("LogRef");
            const size_t slash = logRef.find('/');
            const size_t dollar = logRef.find('$', slash == std::string::npos ? 0 : slash);
            if (!logRef.empty()) {
                const std::string logDevice =
                    slash == std::string::npos ? std::string() : logRef.substr(0, slash);
                const std::string logNode = dollar == std::string::npos
                                                ? std::string()
                                                : logRef.substr(slash + 1, dollar - slash - 1);
                const std::string logName =
                    dollar == std::string::npos ? std::string() : logRef.substr(dollar + 1);
                std::string prefix, lnClass, lnInst;
                if (instOf_.count(logDevice) == 0 || logName.empty() ||
                    !splitNodeName(logNode, prefix, lnClass, lnInst) ||
                    trees_.count(logDevice + '/' + logNode) == 0) {
                    omit(where + " logs into " + logRef +
                         ", which is not a log of this device; saved without it");
                } else {
                    lc.append_attribute("ldInst") = instOf_[logDevice].c_str();
                    lc.append_attribute("prefix") = prefix.c_str();
                    lc.append_attribute("lnClass") = lnClass.c_str();
                    lc.append_attribute("lnInst") = lnInst.c_str();
                    lc.append_attribute("logName") = logName.c_str();
                    logs_[logDevice + '/' + logNode].insert(logName);
                }
            }
            lc.append_attribute("logEna") = boolText(block.flag("LogEna"));
            pugi::xml_node trg = lc.append_child("TrgOps");
            const char* const triggerNames[] = {"dchg", "qchg", "dupd", "period", "gi"};
            for (size_t k = 0; k < 5; ++k) {
                trg.append_attribute(triggerNames[k]) = boolText(block.bit("TrgOps", k + 1));
            }
        }
    }

    void writeSampledValueControls(pugi::xml_node ln, const std::string& device, const NodeSnapshot& node) {
        for (const char* fc : {"MS", "US"}) {
            const bool multicast = std::string(fc) == "MS";
            for (const Block& block : blocksOf(node, fc)) {
                const std::string where = device + '/' + node.name + '.' + block.name;
                pugi::xml_node sv = ln.append_child("SampledValueControl");
                sv.append_attribute("name") = block.name.c_str();
                const std::string datSet = dataSetOf(block, device, node, where);
                if (!datSet.empty()) {
                    sv.append_attribute("datSet") = datSet.c_str();
                }
                sv.append_attribute("smvID") = block.text(multicast ? "MsvID" : "UsvID").c_str();
                sv.append_attribute("confRev") = std::to_string(block.number("ConfRev")).c_str();
                sv.append_attribute("smpRate") = std::to_string(block.number("SmpRate")).c_str();
                sv.append_attribute("nofASDU") = std::to_string(block.number("noASDU")).c_str();
                sv.append_attribute("multicast") = boolText(multicast);
                static const char* const modes[] = {"SmpPerPeriod", "SmpPerSec", "SecPerSmp"};
                const int64_t mode = block.signedNumber("SmpMod");
                sv.append_attribute("smpMod") = modes[mode >= 0 && mode < 3 ? mode : 0];
                // The destination goes with the communication section's SMV addresses, which the
                // simulator does not take; one that is set is named rather than silently lost.
                const MmsValue* destination = block.field("DstAddress");
                if (destination != nullptr && destination->type() == MMS_STRUCTURE &&
                    !destination->elements().empty() &&
                    destination->elements()[0].type() == MMS_OCTET_STRING) {
                    const auto address = destination->elements()[0].octets();
                    if (std::any_of(address.begin(), address.end(), [](uint8_t b) { return b != 0; })) {
                        omit(where + ".DstAddress");
                    }
                }
                pugi::xml_node opts = sv.append_child("SmvOpts");
                const char* const optionNames[] = {"refreshTime", "sampleSynchronized", "sampleRate",
                                                   "dataSet", "security"};
                for (size_t k = 0; k < 5; ++k) {
                    opts.append_attribute(optionNames[k]) = boolText(block.bit("OptFlds", k));
                }
            }
        }
    }

    // --- devices and nodes ----------------------------------------------------------------------

    // The number of the active setting group of a logical device, 0 when it has none.
    static unsigned activeGroup(const DeviceSnapshot& device) {
        for (const NodeSnapshot& node : device.nodes) {
            if (node.name != "LLN0") {
                continue;
            }
            for (const Block& block : blocksOf(node, "SP")) {
                if (block.name == "SGCB") {
                    return static_cast<unsigned>(block.number("ActSG"));
                }
            }
        }
        return 0;
    }

    void writeDevice(pugi::xml_node server, const DeviceSnapshot& device, bool& owner) {
        pugi::xml_node ld = server.append_child("LDevice");
        ld.append_attribute("inst") = instOf_[device.name].c_str();
        if (withLdName_) {
            ld.append_attribute("ldName") = device.name.c_str();
        }
        const auto lln0 = std::find_if(device.nodes.begin(), device.nodes.end(),
                                       [](const NodeSnapshot& n) { return n.name == "LLN0"; });
        if (lln0 == device.nodes.end()) {
            fail("logical device " + device.name + " has no LLN0, which a file requires");
            return;
        }
        const unsigned group = activeGroup(device);
        writeNode(ld, device, *lln0, group, owner);
        for (const NodeSnapshot& node : device.nodes) {
            if (&node != &*lln0) {
                writeNode(ld, device, node, group, owner);
            }
        }
    }

    void writeNode(pugi::xml_node ld, const DeviceSnapshot& device, const NodeSnapshot& node, unsigned group,
                   bool& owner) {
        const std::string where = device.name + '/' + node.name;
        std::string prefix, lnClass, inst;
        if (!splitNodeName(node.name, prefix, lnClass, inst)) {
            fail("logical node " + where + " has a name a file cannot give (class and instance number)");
            return;
        }
        ++nodeCount_;
        const bool isLln0 = node.name == "LLN0";
        pugi::xml_node ln = ld.append_child(isLln0 ? "LN0" : "LN");
        ln.append_attribute("lnClass") = lnClass.c_str();
        ln.append_attribute("inst") = inst.c_str();
        if (!prefix.empty()) {
            ln.append_attribute("prefix") = prefix.c_str();
        }
        ln.append_attribute("lnType") = nodeTypeOf(*trees_.at(where), lnClass, where).c_str();
        for (const DataSetSnapshot& set : device.dataSets) {
            if (set.node == node.name) {
                writeDataSet(ln, device.name, set);
            }
        }
        writeReportControls(ln, device.name, node, owner);
        writeLogControls(ln, device.name, node);
        Instance values;
        for (const NodeSnapshot::Part& part : node.parts) {
            if (part.fc == "GO") {
                omit(where + ": GOOSE control blocks");
            }
            if (kUnsavedValueFcs.count(part.fc) != 0 || kBlockFcs.count(part.fc) != 0 ||
                part.type.type != MMS_STRUCTURE || part.value.type() != MMS_STRUCTURE ||
                part.value.elements().size() != part.type.components.size()) {
                continue;
            }
            for (size_t i = 0; i < part.type.components.size(); ++i) {
                const auto& c = part.type.components[i];
                if (part.fc == "SP" && c.name == "SGCB") {
                    continue;
                }
                valueFc_ = part.fc;
                collectValues(values, "DOI", c.name, {}, c.type, part.value.elements()[i], c.name,
                              where + '.' + c.name, part.fc == "SG" ? group : 0);
            }
        }
        for (const Instance& doi : values.children) {
            writeInstance(ln, doi);
        }
        // Logs are written once every node's log control blocks have named them.
        pendingLogs_.emplace_back(ln, where);
        writeSampledValueControls(ln, device.name, node);
        for (const Block& block : blocksOf(node, "SP")) {
            if (block.name != "SGCB") {
                continue;
            }
            if (!isLln0) {
                omit(where + ".SGCB (setting groups are kept in LLN0 only)");
                continue;
            }
            pugi::xml_node sc = ln.append_child("SettingControl");
            sc.append_attribute("numOfSGs") = std::to_string(block.number("NumOfSG")).c_str();
            sc.append_attribute("actSG") = std::to_string(block.number("ActSG")).c_str();
        }
    }

    // "LD/LN.DO.SDO.DA[FC]": the data object's part of the path is its name and its sub data objects.
    void writeDataSet(pugi::xml_node ln, const std::string& device, const DataSetSnapshot& set) {
        pugi::xml_node ds = ln.append_child("DataSet");
        ds.append_attribute("name") = set.name.c_str();
        for (const std::string& member : set.members) {
            const std::string where = device + '/' + set.node + '.' + set.name + " member " + member;
            const size_t slash = member.find('/');
            const size_t bracket = member.rfind('[');
            if (slash == std::string::npos || bracket == std::string::npos || bracket < slash ||
                member.back() != ']' || member.find("..") != std::string::npos ||
                member.find('*') != std::string::npos) {
                omit("data set " + where + " (not a reference a file can give)");
                continue;
            }
            const std::string memberDevice = member.substr(0, slash);
            const std::string fc = member.substr(bracket + 1, member.size() - bracket - 2);
            const std::string path = member.substr(slash + 1, bracket - slash - 1);
            const size_t dot = path.find('.');
            const std::string nodeName = path.substr(0, dot);
            std::string prefix, lnClass, lnInst;
            if (instOf_.count(memberDevice) == 0 || !splitNodeName(nodeName, prefix, lnClass, lnInst)) {
                omit("data set " + where + " (outside this device)");
                continue;
            }
            std::vector<std::string> parts;
            for (size_t start = dot; start != std::string::npos;) {
                const size_t next = path.find('.', start + 1);
                parts.push_back(
                    path.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1));
                start = next;
            }
            std::string doName, daName;
            auto nodeTree =
                trees_.count(memberDevice + '/' + nodeName) ? trees_[memberDevice + '/' + nodeName] : nullptr;
            std::shared_ptr<DoTree> tree =
                nodeTree && !parts.empty() ? nodeTree->find(parts.front()) : nullptr;
            for (size_t i = 0; i < parts.size(); ++i) {
                const std::string plain = parts[i].substr(0, parts[i].find('('));
                const Member* sub = i > 0 && tree ? tree->find(plain) : nullptr;
                const bool inObject = i == 0 || (daName.empty() && sub != nullptr && sub->sdo);
                std::string& target = inObject ? doName : daName;
                target += (target.empty() ? "" : ".") + parts[i];
                if (i > 0) {
                    tree = sub != nullptr && sub->sdo ? sub->sub : nullptr;
                }
            }
            pugi::xml_node fcda = ds.append_child("FCDA");
            fcda.append_attribute("ldInst") = instOf_[memberDevice].c_str();
            fcda.append_attribute("prefix") = prefix.c_str();
            fcda.append_attribute("lnClass") = lnClass.c_str();
            fcda.append_attribute("lnInst") = lnInst.c_str();
            if (!doName.empty()) {
                fcda.append_attribute("doName") = doName.c_str();
            }
            if (!daName.empty()) {
                fcda.append_attribute("daName") = daName.c_str();
            }
            fcda.append_attribute("fc") = fc.c_str();
        }
    }

    // Log elements go after the node's data, where a file keeps them.
    void writeLogs() {
        for (auto& [ln, where] : pendingLogs_) {
            auto logs = logs_.find(where);
            if (logs == logs_.end()) {
                continue;
            }
            pugi::xml_node after = ln.last_child();
            while (after && (std::string(after.name()) == "SampledValueControl" ||
                             std::string(after.name()) == "SettingControl")) {
                after = after.previous_sibling();
            }
            for (const std::string& name : logs->second) {
                pugi::xml_node log = after ? ln.insert_child_after("Log", after) : ln.prepend_child("Log");
                log.append_attribute("name") = name.c_str();
                after = log;
            }
        }
    }

    const ModelSnapshot& snapshot_;
    const SaveOptions& options_;
    std::string iedName_;
    std::map<std::string, std::string> instOf_;  // logical device name -> inst
    bool withLdName_ = false;
    std::map<std::string, std::shared_ptr<NodeTree>> trees_;  // "LD/LN"
    std::set<std::string> dataSetNames_;                      // "LD/LN.Set"
    std::map<std::string, std::set<std::string>> logs_;       // "LD/LN" -> log names
    std::vector<std::pair<pugi::xml_node, std::string>> pendingLogs_;
    TemplateSet templates_;
    std::vector<std::string> omissions_;
    std::string error_;
    size_t nodeCount_ = 0;
    std::string valueFc_;  // of the part whose values are being collected
};

}  // namespace

iecstack::Result<SavedModel, SaveError> sclTextOf(const ModelSnapshot& snapshot, const SaveOptions& options) {
    return Writer(snapshot, options).run();
}

std::string writeFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    std::string failure;
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0 && failure.empty()) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            failure = std::strerror(errno);
            break;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    // mkstemp makes the file private; a model file is an ordinary document.
    if (failure.empty() && ::fchmod(fd, 0644) != 0) {
        failure = std::strerror(errno);
    }
    if (failure.empty() && ::fsync(fd) != 0) {
        failure = std::strerror(errno);
    }
    if (::close(fd) != 0 && failure.empty()) {
        failure = std::strerror(errno);
    }
    if (failure.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = std::strerror(errno);
    }
    if (!failure.empty()) {
        ::unlink(temporary.c_str());
        return "cannot write " + path + ": " + failure;
    }
    return {};
}

iecstack::Result<SavedModel, SaveError> saveDeviceModel(IedConnection connection, const std::string& path,
                                                        const SaveOptions& options) {
    auto snapshot = readSnapshot(connection);
    if (!snapshot) {
        return SaveError{"reading the device failed at " + snapshot.error().message};
    }
    auto saved = sclTextOf(*snapshot, options);
    if (!saved) {
        return saved;
    }
    const std::string failure = writeFileAtomically(path, saved->text);
    if (!failure.empty()) {
        return SaveError{failure};
    }
    return saved;
}

}  // namespace korvan::scl
