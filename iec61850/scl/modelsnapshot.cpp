#include "modelsnapshot.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "mapping/member_reference.h"
#include "server/mms_mapping.h"

namespace korvan::scl {

namespace {

using iecstack::mms::TypeSpec;
using iecstack::server::directoryOrderLess;

ModelSnapshot fromModel(const iecstack::server::DataModel& model) {
    ModelSnapshot snapshot;
    std::lock_guard<std::mutex> lock(model.valueLock());
    for (const auto& domain : model.domains) {
        DeviceSnapshot device;
        device.name = domain->name;
        std::vector<const iecstack::server::ModelNode*> nodes;
        for (const auto& node : domain->logicalNodes) {
            nodes.push_back(node.get());
        }
        std::sort(nodes.begin(), nodes.end(),
                  [](const auto* a, const auto* b) { return directoryOrderLess(a->name, b->name); });
        for (const auto* node : nodes) {
            NodeSnapshot shot;
            shot.name = node->name;
            for (const auto& part : node->children) {
                shot.parts.push_back(
                    {part->name, iecstack::server::typeOf(*part), iecstack::server::valueOf(*part)});
            }
            std::sort(shot.parts.begin(), shot.parts.end(),
                      [](const auto& a, const auto& b) { return directoryOrderLess(a.fc, b.fc); });
            device.nodes.push_back(std::move(shot));
        }
        for (const auto& dataSet : domain->dataSets) {
            DataSetSnapshot set;
            const size_t dollar = dataSet.name.find('$');
            set.node = dataSet.name.substr(0, dollar);
            set.name = dollar == std::string::npos ? std::string() : dataSet.name.substr(dollar + 1);
            for (const auto& member : dataSet.members) {
                set.members.push_back(iecstack::mapping::memberReference(member.variable(), domain->name));
            }
            device.dataSets.push_back(std::move(set));
        }
        snapshot.devices.push_back(std::move(device));
    }
    return snapshot;
}

// The names of a list the library handed over; the list is released.
std::vector<std::string> takeNames(LinkedList list) {
    std::vector<std::string> names;
    if (list == nullptr) {
        return names;
    }
    for (LinkedList element = LinkedList_getNext(list); element != nullptr;
         element = LinkedList_getNext(element)) {
        if (const auto* name = static_cast<const char*>(LinkedList_getData(element))) {
            names.emplace_back(name);
        }
    }
    LinkedList_destroy(list);
    return names;
}

TypeSpec typeSpecOf(MmsVariableSpecification* spec, int depth = 0) {
    TypeSpec type;
    if (spec == nullptr || depth > 64) {
        return type;
    }
    type.type = MmsVariableSpecification_getType(spec);
    const int size = MmsVariableSpecification_getSize(spec);
    switch (type.type) {
        case MMS_STRUCTURE:
            for (int i = 0; i < size; ++i) {
                MmsVariableSpecification* child =
                    MmsVariableSpecification_getChildSpecificationByIndex(spec, i);
                const char* name = child ? MmsVariableSpecification_getName(child) : nullptr;
                type.components.push_back({name ? name : "", typeSpecOf(child, depth + 1)});
            }
            break;
        case MMS_ARRAY:
            type.size = size;
            type.elementType.push_back(
                typeSpecOf(MmsVariableSpecification_getArrayElementSpecification(spec), depth + 1));
            break;
        case MMS_FLOAT:
            type.formatWidth = static_cast<uint8_t>(size);
            type.exponentWidth = static_cast<uint8_t>(MmsVariableSpecification_getExponentWidth(spec));
            break;
        case MMS_BINARY_TIME:
            type.binaryTimeWithDate = size == 6;
            break;
        default:
            type.size = size;
            break;
    }
    return type;
}

struct Failure {
    std::string reference;
    IedClientError error;
};

class DeviceReader {
public:
    explicit DeviceReader(IedConnection connection) : connection_(connection) {}

    bool read(ModelSnapshot& out) {
        std::vector<std::string> devices;
        if (!names("the logical devices", IedConnection_getLogicalDeviceList(connection_, &error_),
                   devices)) {
            return false;
        }
        for (const std::string& name : devices) {
            DeviceSnapshot device;
            device.name = name;
            std::vector<std::string> nodes;
            if (!names(name, IedConnection_getLogicalDeviceDirectory(connection_, &error_, name.c_str()),
                       nodes)) {
                return false;
            }
            for (const std::string& node : nodes) {
                if (!readNode(name, node, device)) {
                    return false;
                }
            }
            out.devices.push_back(std::move(device));
        }
        return true;
    }

    std::string failure() const {
        return failedAt_ + ": " +
               (error_ == IED_ERROR_OK ? std::string("unexpected answer")
                                       : "error " + std::to_string(static_cast<int>(error_)));
    }

private:
    bool names(const std::string& what, LinkedList list, std::vector<std::string>& out) {
        out = takeNames(list);
        if (error_ != IED_ERROR_OK) {
            failedAt_ = what;
            return false;
        }
        return true;
    }

    // The constraints a node has parts under, from its directory.
    bool constraintsOf(const std::string& nodeRef, std::vector<std::string>& fcs) {
        std::vector<std::string> objects;
        if (!names(nodeRef,
                   IedConnection_getLogicalNodeDirectory(connection_, &error_, nodeRef.c_str(),
                                                         ACSI_CLASS_DATA_OBJECT),
                   objects)) {
            return false;
        }
        for (const std::string& object : objects) {
            std::vector<std::string> children;
            const std::string objectRef = nodeRef + '.' + object;
            if (!names(objectRef, IedConnection_getDataDirectoryFC(connection_, &error_, objectRef.c_str()),
                       children)) {
                return false;
            }
            for (const std::string& child : children) {
                if (child.size() >= 4 && child[child.size() - 4] == '[') {
                    fcs.push_back(child.substr(child.size() - 3, 2));
                }
            }
        }
        const std::pair<ACSIClass, const char*> blocks[] = {
            {ACSI_CLASS_URCB, "RP"}, {ACSI_CLASS_BRCB, "BR"},  {ACSI_CLASS_LCB, "LG"},
            {ACSI_CLASS_GoCB, "GO"}, {ACSI_CLASS_MSVCB, "MS"}, {ACSI_CLASS_USVCB, "US"}};
        for (const auto& [acsiClass, fc] : blocks) {
            std::vector<std::string> listed = takeNames(
                IedConnection_getLogicalNodeDirectory(connection_, &error_, nodeRef.c_str(), acsiClass));
            if (error_ == IED_ERROR_OK && !listed.empty()) {
                fcs.push_back(fc);
            }
            error_ = IED_ERROR_OK;  // a device that does not know the class has none
        }
        std::sort(fcs.begin(), fcs.end(), directoryOrderLess);
        fcs.erase(std::unique(fcs.begin(), fcs.end()), fcs.end());
        return true;
    }

    bool readNode(const std::string& deviceName, const std::string& nodeName, DeviceSnapshot& device) {
        const std::string nodeRef = deviceName + '/' + nodeName;
        NodeSnapshot node;
        node.name = nodeName;
        std::vector<std::string> fcs;
        if (!constraintsOf(nodeRef, fcs)) {
            return false;
        }
        for (const std::string& fc : fcs) {
            const FunctionalConstraint constraint = FunctionalConstraint_fromString(fc.c_str());
            NodeSnapshot::Part part;
            part.fc = fc;
            MmsVariableSpecification* spec =
                IedConnection_getVariableSpecification(connection_, &error_, nodeRef.c_str(), constraint);
            if (spec == nullptr) {
                failedAt_ = nodeRef + '[' + fc + ']';
                return false;
            }
            part.type = typeSpecOf(spec);
            MmsVariableSpecification_destroy(spec);
            std::unique_ptr<MmsValue, void (*)(MmsValue*)> value(
                IedConnection_readObject(connection_, &error_, nodeRef.c_str(), constraint), MmsValue_delete);
            if (value) {
                part.value = *value;
            } else {
                part.value = MmsValue::accessError(iecstack::mms::DataAccessError::ObjectAccessDenied);
            }
            error_ = IED_ERROR_OK;  // a part that cannot be read (settings outside an edit) is kept as such
            node.parts.push_back(std::move(part));
        }
        std::vector<std::string> dataSets;
        if (!names(nodeRef,
                   IedConnection_getLogicalNodeDirectory(connection_, &error_, nodeRef.c_str(),
                                                         ACSI_CLASS_DATA_SET),
                   dataSets)) {
            return false;
        }
        for (const std::string& name : dataSets) {
            DataSetSnapshot set{nodeName, name, {}};
            const std::string ref = nodeRef + '.' + name;
            bool deletable = false;
            if (!names(ref, IedConnection_getDataSetDirectory(connection_, &error_, ref.c_str(), &deletable),
                       set.members)) {
                return false;
            }
            device.dataSets.push_back(std::move(set));
        }
        device.nodes.push_back(std::move(node));
        return true;
    }

    IedConnection connection_;
    IedClientError error_ = IED_ERROR_OK;
    std::string failedAt_;
};

}  // namespace

ModelSnapshot snapshotOf(const iecstack::server::DataModel& model) {
    return fromModel(model);
}

iecstack::Result<ModelSnapshot, SnapshotError> readSnapshot(IedConnection connection) {
    ModelSnapshot snapshot;
    DeviceReader reader(connection);
    if (!reader.read(snapshot)) {
        return SnapshotError{reader.failure()};
    }
    return snapshot;
}

}  // namespace korvan::scl
