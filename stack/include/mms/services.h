#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "mms/data_access_error.h"
#include "mms/file_services.h"
#include "mms/journal.h"
#include "mms/object_name.h"
#include "mms/type_description.h"
#include "mms/value.h"
#include "mms/variable_access.h"

namespace iecstack::mms {

// The kinds of object GetNameList can list; the numbers are those on the wire.
enum class ObjectClass : uint8_t {
    NamedVariable = 0,
    ScatteredAccess = 1,
    NamedVariableList = 2,
    NamedType = 3,
    Semaphore = 4,
    EventCondition = 5,
    EventAction = 6,
    EventEnrollment = 7,
    Journal = 8,
    Domain = 9,
    ProgramInvocation = 10,
    OperatorStation = 11,
};

struct GetNameListRequest {
    ObjectClass objectClass = ObjectClass::NamedVariable;
    ObjectName::Scope scope = ObjectName::Scope::Vmd;
    std::string domainId;  // Domain scope only
    // The last name of the previous response, to ask for the names after it.
    std::optional<std::string> continueAfter;
};

struct GetNameListResponse {
    std::vector<std::string> identifiers;
    // Absent on the wire means true: the responder leaves it out while names remain.
    bool moreFollows = true;
};

struct ReadRequest {
    std::optional<bool> specWithResult;
    VariableAccessSpec spec;
};

struct ReadResponse {
    // Echoed by the responder when the request asked for it.
    std::optional<VariableAccessSpec> spec;
    // One per variable, in request order: a Data value or an MMS_DATA_ACCESS_ERROR value.
    std::vector<MmsValue> results;
};

struct WriteRequest {
    VariableAccessSpec spec;
    std::vector<MmsValue> data;
};

struct WriteResponse {
    // One per variable: empty for success, otherwise why the write failed.
    std::vector<std::optional<DataAccessError>> results;
};

struct GetVariableAccessAttributesRequest {
    ObjectName name;
};

struct GetVariableAccessAttributesResponse {
    bool mmsDeletable = false;
    TypeSpec type;
};

struct GetNamedVariableListAttributesRequest {
    ObjectName name;
};

struct GetNamedVariableListAttributesResponse {
    bool mmsDeletable = false;
    std::vector<VariableAccess> variables;
};

struct DefineNamedVariableListRequest {
    ObjectName name;
    std::vector<VariableAccess> variables;
};

struct DefineNamedVariableListResponse {};

struct DeleteNamedVariableListRequest {
    enum class Scope : uint8_t { Specific = 0, AssociationSpecific = 1, Domain = 2, Vmd = 3 };
    std::optional<Scope> scope;  // absent means Specific
    std::vector<ObjectName> names;
    std::optional<std::string> domainName;
};

struct DeleteNamedVariableListResponse {
    uint32_t numberMatched = 0;
    uint32_t numberDeleted = 0;
};

struct IdentifyRequest {};

struct IdentifyResponse {
    std::string vendorName;
    std::string modelName;
    std::string revision;
};

struct StatusRequest {
    bool extendedDerivation = false;
};

struct StatusResponse {
    int64_t vmdLogicalStatus = 0;
    int64_t vmdPhysicalStatus = 0;
};

// A service this stack does not handle. A request of this kind is answered with a reject
// (unrecognized-service); the element is kept as received.
struct UnsupportedService {
    uint32_t tagNumber = 0;
    Bytes encoded;
};

struct InformationReport {
    VariableAccessSpec spec;
    std::vector<MmsValue> results;
};

}  // namespace iecstack::mms
