#include "api_walk.h"

#include <unordered_set>
#include <vector>

namespace korvan::test {

namespace {

class Walker {
public:
    explicit Walker(IedConnection connection) : connection_(connection) {}

    WalkResult run() {
        for (const std::string& device :
             names(IedConnection_getLogicalDeviceList(connection_, &error_), "")) {
            ++result_.logicalDevices;
            for (const std::string& node : names(
                     IedConnection_getLogicalDeviceDirectory(connection_, &error_, device.c_str()), device)) {
                ++result_.logicalNodes;
                walkNode(device + "/" + node);
            }
        }
        return result_;
    }

private:
    void walkNode(const std::string& nodeRef) {
        for (const std::string& dataObject :
             names(IedConnection_getLogicalNodeDirectory(connection_, &error_, nodeRef.c_str(),
                                                         ACSI_CLASS_DATA_OBJECT),
                   nodeRef)) {
            walkElement(nodeRef + "." + dataObject, IEC61850_FC_NONE);
        }
        for (const std::string& dataSet :
             names(IedConnection_getLogicalNodeDirectory(connection_, &error_, nodeRef.c_str(),
                                                         ACSI_CLASS_DATA_SET),
                   nodeRef)) {
            ++result_.dataSets;
            const std::string dataSetRef = nodeRef + "." + dataSet;
            result_.dataSetMembers +=
                names(IedConnection_getDataSetDirectory(connection_, &error_, dataSetRef.c_str(), nullptr),
                      dataSetRef)
                    .size();
        }
        for (ACSIClass acsiClass : {ACSI_CLASS_URCB, ACSI_CLASS_BRCB}) {
            for (const std::string& block : names(
                     IedConnection_getLogicalNodeDirectory(connection_, &error_, nodeRef.c_str(), acsiClass),
                     nodeRef)) {
                ++result_.reportControlBlocks;
                walkElement(nodeRef + "." + block, IEC61850_FC_NONE);
            }
        }
    }

    // One directory call per element; an element without children is an attribute and is read.
    void walkElement(const std::string& reference, FunctionalConstraint fc) {
        const std::vector<std::string> children =
            names(IedConnection_getDataDirectoryFC(connection_, &error_, reference.c_str()), reference);
        if (children.empty()) {
            IedClientError error = IED_ERROR_OK;
            MmsValue* value = IedConnection_readObject(connection_, &error, reference.c_str(), fc);
            ++result_.reads;
            if (value == nullptr || MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
                ++result_.failedReads;
            }
            MmsValue_delete(value);
            return;
        }
        std::unordered_set<std::string> seen;
        for (const std::string& child : children) {
            const size_t bracket = child.find('[');
            const std::string name = child.substr(0, bracket);
            if (!seen.insert(name).second) {
                continue;  // listed again under a second constraint: walked once, as the engine does
            }
            const FunctionalConstraint childFc =
                bracket == std::string::npos ? IEC61850_FC_NONE
                                             : FunctionalConstraint_fromString(child.c_str() + bracket + 1);
            walkElement(reference + "." + name, childFc);
        }
    }

    std::vector<std::string> names(LinkedList list, const std::string& reference) {
        ++result_.directoryCalls;
        std::vector<std::string> result;
        if (list == nullptr) {
            if (result_.error == IED_ERROR_OK) {
                result_.error = error_;
                result_.failedReference = reference;
            }
            return result;
        }
        for (LinkedList element = LinkedList_getNext(list); element != nullptr;
             element = LinkedList_getNext(element)) {
            result.emplace_back(static_cast<const char*>(LinkedList_getData(element)));
        }
        LinkedList_destroy(list);
        return result;
    }

    IedConnection connection_;
    IedClientError error_ = IED_ERROR_OK;
    WalkResult result_;
};

}  // namespace

WalkResult walkModel(IedConnection connection) {
    return Walker(connection).run();
}

}  // namespace korvan::test
