#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "mms/variable_access.h"
#include "server/model_node.h"

namespace iecstack::server {

// A named variable list of a domain, as configured.
struct DataSetDefinition {
    std::string name;  // "LLN0$Events"
    // A member is a variable or component; a member inside an array names the array as `item`, the
    // element as `index` and the path below the element as `components`.
    struct Member {
        std::string domain, item;
        int index = -1;
        std::vector<std::string> components;

        // The member as directories and reports name it: the variable, narrowed to the element and
        // the path below it by an alternate access.
        mms::VariableAccess variable() const;
    };
    std::vector<Member> members;
    // Defined by a client, which may delete it again; the configured ones stay.
    bool deletable = false;
};

// One logical device, served as one domain.
struct Domain {
    std::string name;
    std::vector<std::unique_ptr<ModelNode>> logicalNodes;  // configuration order
    std::unordered_map<std::string, ModelNode*> nodeByName;
    std::vector<DataSetDefinition> dataSets;  // in directory order; clients add and delete (value lock)
    // Every variable name of the domain in directory order; built once by finish().
    std::vector<std::string> variableNames;
    // The logs kept in this domain ("LLN0$EventLog"), in directory order.
    std::vector<std::string> journals;
};

// The served data model of one IED. Structure is fixed after building; values change under valueLock().
class DataModel {
public:
    std::string iedName;
    std::string manufacturer, deviceType;          // as configured; what Identify reports
    std::vector<std::unique_ptr<Domain>> domains;  // directory order
    // Parts of the configuration that were left out ("file:line: problem"): values for attributes the
    // types do not have, data set members that do not exist. Real files carry such leftovers.
    std::vector<std::string> warnings;
    // The configuration admits only clients that give the device's password when they associate.
    bool requiresPassword = false;

    // Sorts the directories and builds the flattened name lists. Call once after building.
    void finish();

    const Domain* domain(const std::string& name) const;
    Domain* domain(const std::string& name);
    // Any variable or component by item identifier ("LLN0", "GGIO1$MX$AnIn1$mag$f"); null if unknown.
    ModelNode* find(const std::string& domainName, const std::string& itemId) const;
    ModelNode* resolve(const DataSetDefinition::Member& member) const;
    const DataSetDefinition* dataSet(const std::string& domainName, const std::string& name) const;

    size_t attributeCount() const;

    std::mutex& valueLock() const { return valueLock_; }

    // Every store into a basic attribute goes through assign (caller holds the value lock), so that
    // whoever watches values (reporting, logging) sees each one: observers run under the value lock,
    // in the order they were added, told whether the value differs from before, and must not block.
    // Adding and removing also happen under the value lock.
    using ValueObserver = std::function<void(const ModelNode& attribute, bool changed)>;
    int addValueObserver(ValueObserver observer);
    void removeValueObserver(int id);
    void assign(ModelNode& attribute, MmsValue value);
    // Substitution: from hold on, the attribute shows `shown` and assign keeps what the process gives
    // aside; release shows the process value again. Both notify the observer as assign does.
    void hold(ModelNode& attribute, MmsValue shown);
    void release(ModelNode& attribute);

private:
    void show(ModelNode& attribute, MmsValue value);

    mutable std::mutex valueLock_;
    std::vector<std::pair<int, ValueObserver>> observers_;
    int nextObserverId_ = 1;
};

// The one order of every name list the server sends: level by level, a node's children right after
// it; within a level A a B b ... Z z, then '_', then digits, other characters before letters.
bool directoryOrderLess(const std::string& a, const std::string& b);

}  // namespace iecstack::server
