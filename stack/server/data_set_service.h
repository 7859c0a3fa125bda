#pragma once
// Data sets that clients define and delete: persistent ones in a logical node of a domain, temporary
// ones that belong to one association. Not part of the public interface.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "mms/pdu.h"
#include "server/data_model.h"
#include "server/session.h"

namespace iecstack::server {

struct DataSetLimits {
    size_t maxMembers = 100;
    size_t maxPersistentPerDomain = 64;
    size_t maxTemporaryPerAssociation = 16;
    size_t maxNameLength = 64;  // the MMS item "LN$name", or the temporary name
};

// Every call expects the value lock held: reporting and reads look at the domains' data sets under it.
class DataSetService {
public:
    explicit DataSetService(DataModel& model, DataSetLimits limits = {}) : model_(model), limits_(limits) {}

    // Members must all exist; a name already taken is refused.
    mms::Pdu define(uint32_t invokeId, const mms::DefineNamedVariableListRequest& request,
                    const Session& client, std::string& summary);
    // Only client-made sets go, and none that a control block names as its DatSet.
    mms::Pdu remove(uint32_t invokeId, const mms::DeleteNamedVariableListRequest& request,
                    const Session& client, std::string& summary);
    // The set a name stands for in the eyes of `client`; null when there is none.
    const DataSetDefinition* find(const mms::ObjectName& name, const Session& client) const;
    // The client's temporary sets go with its association.
    void associationEnded(const Session& client);

private:
    // Whether a control block of the model (reports, logs, GOOSE, sampled values) names `reference`.
    bool namedByControlBlock(const std::string& reference) const;
    // The member a variable of a request stands for, if the model has it.
    bool memberOf(const mms::VariableAccess& variable, DataSetDefinition::Member* member) const;

    DataModel& model_;
    DataSetLimits limits_;
    std::unordered_map<uint64_t, std::vector<DataSetDefinition>> temporary_;  // by session id
};

}  // namespace iecstack::server
