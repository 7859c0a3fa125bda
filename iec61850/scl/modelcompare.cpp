#include "modelcompare.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace korvan::scl {

namespace {

using iecstack::mms::TypeSpec;
using Kind = Difference::Kind;

// Report control block attributes whose configuration the file fixes.
const char* const kRcbConfiguration[] = {"DatSet", "RptID", "TrgOps", "IntgPd", "BufTm", "ConfRev"};

// Trigger options by name; bit 0 is reserved.
std::string triggerText(const MmsValue& bits) {
    static const char* const kNames[] = {"", "dchg", "qchg", "dupd", "period", "gi"};
    std::string text;
    for (size_t i = 1; i < bits.bitCount() && i < 6; ++i) {
        if (bits.bit(i)) {
            text += (text.empty() ? "" : " ") + std::string(kNames[i]);
        }
    }
    return text.empty() ? "none" : text;
}

template <typename T>
const T* findNamed(const std::vector<T>& items, const std::string& name) {
    for (const T& item : items) {
        if (item.name == name) {
            return &item;
        }
    }
    return nullptr;
}

const MmsValue* element(const MmsValue& value, size_t index) {
    return value.isContainer() && index < value.elements().size() ? &value.elements()[index] : nullptr;
}

// A report control block of one side: its type and value, and whether it is buffered.
struct Block {
    bool buffered = false;
    const TypeSpec* type = nullptr;
    const MmsValue* value = nullptr;
};

std::map<std::string, Block> blocksOf(const NodeSnapshot& node) {
    std::map<std::string, Block> blocks;
    for (const auto& part : node.parts) {
        if (part.fc != "RP" && part.fc != "BR") {
            continue;
        }
        for (size_t i = 0; i < part.type.components.size(); ++i) {
            const auto& component = part.type.components[i];
            blocks[component.name] = {part.fc == "BR", &component.type, element(part.value, i)};
        }
    }
    return blocks;
}

class Comparer {
public:
    explicit Comparer(std::vector<Difference>& out) : out_(out) {}

    void devices(const ModelSnapshot& device, const ModelSnapshot& file) {
        for (const auto& mine : device.devices) {
            const DeviceSnapshot* theirs = findNamed(file.devices, mine.name);
            if (theirs == nullptr) {
                add(Kind::OnlyInDevice, mine.name);
            } else {
                this->device(mine, *theirs);
            }
        }
        for (const auto& theirs : file.devices) {
            if (findNamed(device.devices, theirs.name) == nullptr) {
                add(Kind::OnlyInFile, theirs.name);
            }
        }
    }

private:
    void add(Kind kind, std::string reference, std::string detail = {}) {
        out_.push_back({kind, std::move(reference), std::move(detail)});
    }

    void device(const DeviceSnapshot& device, const DeviceSnapshot& file) {
        for (const auto& mine : device.nodes) {
            const NodeSnapshot* theirs = findNamed(file.nodes, mine.name);
            if (theirs == nullptr) {
                add(Kind::OnlyInDevice, device.name + '/' + mine.name);
            } else {
                node(device.name + '/' + mine.name, mine, *theirs);
            }
        }
        for (const auto& theirs : file.nodes) {
            if (findNamed(device.nodes, theirs.name) == nullptr) {
                add(Kind::OnlyInFile, device.name + '/' + theirs.name);
            }
        }
        dataSets(device, file);
    }

    void node(const std::string& ref, const NodeSnapshot& device, const NodeSnapshot& file) {
        std::set<std::string> fcs;
        for (const auto& part : device.parts) {
            fcs.insert(part.fc);
        }
        for (const auto& part : file.parts) {
            fcs.insert(part.fc);
        }
        static const TypeSpec kNone;
        static const MmsValue kNoValue;
        for (const std::string& fc : fcs) {
            if (fc == "RP" || fc == "BR") {
                continue;
            }
            const auto partOf = [&fc](const NodeSnapshot& node) -> const NodeSnapshot::Part* {
                for (const auto& part : node.parts) {
                    if (part.fc == fc) {
                        return &part;
                    }
                }
                return nullptr;
            };
            const NodeSnapshot::Part* mine = partOf(device);
            const NodeSnapshot::Part* theirs = partOf(file);
            components(ref, fc, mine ? mine->type : kNone, mine ? mine->value : kNoValue,
                       theirs ? theirs->type : kNone, theirs ? theirs->value : kNoValue);
        }
        reportControls(ref, device, file);
    }

    // The components of two structures of one constraint, by name.
    void components(const std::string& ref, const std::string& fc, const TypeSpec& device,
                    const MmsValue& deviceValue, const TypeSpec& file, const MmsValue& fileValue) {
        for (size_t i = 0; i < device.components.size(); ++i) {
            const auto& mine = device.components[i];
            const std::string childRef = ref + '.' + mine.name;
            const auto theirs = std::find_if(file.components.begin(), file.components.end(),
                                             [&mine](const auto& c) { return c.name == mine.name; });
            if (theirs == file.components.end()) {
                add(Kind::OnlyInDevice, childRef + '[' + fc + ']');
                continue;
            }
            const size_t j = static_cast<size_t>(theirs - file.components.begin());
            attribute(childRef, fc, mine.type, element(deviceValue, i), theirs->type, element(fileValue, j));
        }
        for (const auto& theirs : file.components) {
            if (std::none_of(device.components.begin(), device.components.end(),
                             [&theirs](const auto& c) { return c.name == theirs.name; })) {
                add(Kind::OnlyInFile, ref + '.' + theirs.name + '[' + fc + ']');
            }
        }
    }

    void attribute(const std::string& ref, const std::string& fc, const TypeSpec& device,
                   const MmsValue* deviceValue, const TypeSpec& file, const MmsValue* fileValue) {
        if (device.type == MMS_STRUCTURE && file.type == MMS_STRUCTURE) {
            static const MmsValue kNoValue;
            components(ref, fc, device, deviceValue ? *deviceValue : kNoValue, file,
                       fileValue ? *fileValue : kNoValue);
            return;
        }
        const std::string mine = typeText(device);
        const std::string theirs = typeText(file);
        if (mine != theirs) {
            add(Kind::Type, ref + '[' + fc + ']', "device " + mine + ", file " + theirs);
            return;
        }
        if ((fc == "CF" || fc == "DC") && deviceValue != nullptr && fileValue != nullptr &&
            deviceValue->type() != MMS_DATA_ACCESS_ERROR && fileValue->type() != MMS_DATA_ACCESS_ERROR &&
            *deviceValue != *fileValue) {
            add(Kind::Value, ref + '[' + fc + ']',
                "device " + valueText(*deviceValue) + ", file " + valueText(*fileValue));
        }
    }

    void reportControls(const std::string& ref, const NodeSnapshot& device, const NodeSnapshot& file) {
        const auto mine = blocksOf(device);
        const auto theirs = blocksOf(file);
        for (const auto& [name, block] : mine) {
            const std::string blockRef = ref + '.' + name;
            const auto other = theirs.find(name);
            if (other == theirs.end()) {
                add(Kind::OnlyInDevice, blockRef + (block.buffered ? "[BR]" : "[RP]"));
                continue;
            }
            if (block.buffered != other->second.buffered) {
                add(Kind::ReportControl, blockRef,
                    std::string("buffered: device ") + (block.buffered ? "yes" : "no") + ", file " +
                        (other->second.buffered ? "yes" : "no"));
            }
            for (const char* attribute : kRcbConfiguration) {
                const MmsValue* a = memberValue(block, attribute);
                const MmsValue* b = memberValue(other->second, attribute);
                if (a == nullptr && b == nullptr) {
                    continue;
                }
                if (a == nullptr || b == nullptr || *a != *b) {
                    const auto text = [attribute](const MmsValue* v) {
                        return v == nullptr                         ? std::string("none")
                               : std::string(attribute) == "TrgOps" ? triggerText(*v)
                                                                    : valueText(*v);
                    };
                    add(Kind::ReportControl, blockRef,
                        std::string(attribute) + ": device " + text(a) + ", file " + text(b));
                }
            }
        }
        for (const auto& [name, block] : theirs) {
            if (mine.count(name) == 0) {
                add(Kind::OnlyInFile, ref + '.' + name + (block.buffered ? "[BR]" : "[RP]"));
            }
        }
    }

    static const MmsValue* memberValue(const Block& block, const std::string& name) {
        if (block.type == nullptr || block.value == nullptr) {
            return nullptr;
        }
        for (size_t i = 0; i < block.type->components.size(); ++i) {
            if (block.type->components[i].name == name) {
                return element(*block.value, i);
            }
        }
        return nullptr;
    }

    void dataSets(const DeviceSnapshot& device, const DeviceSnapshot& file) {
        const auto find = [](const DeviceSnapshot& side,
                             const DataSetSnapshot& set) -> const DataSetSnapshot* {
            for (const auto& candidate : side.dataSets) {
                if (candidate.node == set.node && candidate.name == set.name) {
                    return &candidate;
                }
            }
            return nullptr;
        };
        for (const auto& mine : device.dataSets) {
            const std::string ref = device.name + '/' + mine.node + '.' + mine.name;
            const DataSetSnapshot* theirs = find(file, mine);
            if (theirs == nullptr) {
                add(Kind::OnlyInDevice, ref);
                continue;
            }
            bool memberDiffers = false;
            for (const std::string& member : mine.members) {
                if (std::find(theirs->members.begin(), theirs->members.end(), member) ==
                    theirs->members.end()) {
                    add(Kind::DataSet, ref, "member " + member + " only in the device");
                    memberDiffers = true;
                }
            }
            for (const std::string& member : theirs->members) {
                if (std::find(mine.members.begin(), mine.members.end(), member) == mine.members.end()) {
                    add(Kind::DataSet, ref, "member " + member + " only in the file");
                    memberDiffers = true;
                }
            }
            if (!memberDiffers && mine.members != theirs->members) {
                add(Kind::DataSet, ref, "the members are in another order");
            }
        }
        for (const auto& theirs : file.dataSets) {
            if (find(device, theirs) == nullptr) {
                add(Kind::OnlyInFile, file.name + '/' + theirs.node + '.' + theirs.name);
            }
        }
    }

    std::vector<Difference>& out_;
};

std::string hex(const iecstack::ByteView& bytes) {
    std::string text;
    char digits[3];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

}  // namespace

std::vector<Difference> compareModels(const ModelSnapshot& device, const ModelSnapshot& file) {
    std::vector<Difference> differences;
    Comparer(differences).devices(device, file);
    return differences;
}

const char* kindName(Difference::Kind kind) {
    switch (kind) {
        case Kind::OnlyInDevice:
            return "only in the device";
        case Kind::OnlyInFile:
            return "only in the file";
        case Kind::Type:
            return "type";
        case Kind::DataSet:
            return "data set";
        case Kind::ReportControl:
            return "report control";
        case Kind::Value:
            return "value";
    }
    return "";
}

std::string differenceLine(const Difference& difference) {
    std::string line = std::string(kindName(difference.kind)) + ": " + difference.reference;
    if (!difference.detail.empty()) {
        line += ": " + difference.detail;
    }
    return line;
}

std::string valueText(const MmsValue& value) {
    char number[64];
    switch (value.type()) {
        case MMS_BOOLEAN:
            return value.boolValue() ? "true" : "false";
        case MMS_INTEGER:
            return std::to_string(value.toInt64());
        case MMS_UNSIGNED:
            return std::to_string(value.toUint64());
        case MMS_FLOAT:
            std::snprintf(number, sizeof number, "%.*g", value.isDoublePrecision() ? 17 : 9,
                          value.toDouble());
            return number;
        case MMS_BIT_STRING: {
            std::string bits;
            for (size_t i = 0; i < value.bitCount(); ++i) {
                bits += value.bit(i) ? '1' : '0';
            }
            return bits;
        }
        case MMS_VISIBLE_STRING:
        case MMS_STRING:
        case MMS_GENERALIZED_TIME:
            return '"' + value.text() + '"';
        case MMS_OCTET_STRING:
            return hex(value.octets());
        case MMS_UTC_TIME:
        case MMS_BINARY_TIME:
            return std::to_string(value.type() == MMS_UTC_TIME ? value.utcTimeMs() : value.binaryTimeMs()) +
                   " ms";
        case MMS_STRUCTURE:
        case MMS_ARRAY: {
            std::string text = value.type() == MMS_ARRAY ? "[" : "{";
            for (size_t i = 0; i < value.elements().size(); ++i) {
                text += (i == 0 ? "" : ", ") + valueText(value.elements()[i]);
            }
            return text + (value.type() == MMS_ARRAY ? "]" : "}");
        }
        case MMS_DATA_ACCESS_ERROR:
            return "access error " + std::to_string(static_cast<int>(value.accessError()));
        default:
            return "?";
    }
}

std::string typeText(const TypeSpec& type) {
    const std::string size = std::to_string(type.size);
    switch (type.type) {
        case MMS_BOOLEAN:
            return "BOOLEAN";
        case MMS_INTEGER:
            return "INT" + size;
        case MMS_UNSIGNED:
            return "INT" + size + "U";
        case MMS_FLOAT:
            return "FLOAT" + std::to_string(type.formatWidth);
        case MMS_BIT_STRING:
            return "BIT STRING(" + size + ")";
        case MMS_OCTET_STRING:
            return "OCTET STRING(" + size + ")";
        case MMS_VISIBLE_STRING:
            return "VISIBLE STRING(" + size + ")";
        case MMS_STRING:
            return "UNICODE STRING(" + size + ")";
        case MMS_UTC_TIME:
            return "UTC TIME";
        case MMS_BINARY_TIME:
            return type.binaryTimeWithDate ? "BINARY TIME(6)" : "BINARY TIME(4)";
        case MMS_STRUCTURE:
            return "STRUCTURE";
        case MMS_ARRAY:
            return "ARRAY(" + size + ") OF " +
                   (type.elementType.empty() ? "?" : typeText(type.elementType.front()));
        default:
            return "TYPE " + std::to_string(static_cast<int>(type.type));
    }
}

}  // namespace korvan::scl
