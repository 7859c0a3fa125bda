#pragma once
// Clients' writes to sampled-value control blocks (MS multicast, US unicast) and what an ended
// association leaves of them. Not part of the public interface.

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "mms/data_access_error.h"
#include "server/data_model.h"
#include "server/session.h"

namespace iecstack::server {

// SvEna switches a block; the other settings change only while it is off, and ConfRev never. A unicast
// block belongs to the client that reserved or enabled it until that client lets go or its association
// ends. Every call expects the value lock held.
class SampledValueService {
public:
    explicit SampledValueService(DataModel& model) : model_(model) {}

    // Whether `node` lies in a sampled-value control block, or is one, or holds them.
    static bool concerns(const ModelNode& node);
    // A write of `node` (type already checked).
    std::optional<mms::DataAccessError> write(ModelNode& node, const MmsValue& value, const Session& client);
    // The client's unicast blocks are switched off and free again.
    void associationEnded(const Session& client);

private:
    DataModel& model_;
    std::unordered_map<ModelNode*, uint64_t> holders_;  // unicast block -> session id
};

}  // namespace iecstack::server
