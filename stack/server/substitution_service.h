#pragma once

#include "server/data_model.h"

namespace iecstack::server {

// Substitution of a data object's process value: with subEna true the object shows subVal (subMag,
// subCMag) and subQ with the quality's source bit saying "substituted", in reads and reports alike;
// with subEna false it shows the process value again. Every call expects the value lock held.
class SubstitutionService {
public:
    explicit SubstitutionService(DataModel& model) : model_(model) {}

    // After a client stored `attribute` under SV: enables, updates or ends the substitution of its data
    // object as its subEna now says.
    void written(const ModelNode& attribute);

private:
    void hold(ModelNode& process, const ModelNode& substitute, bool quality);
    void release(ModelNode& process);

    DataModel& model_;
};

}  // namespace iecstack::server
