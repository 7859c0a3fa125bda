// Reading and writing report control blocks.

#include <new>

#include "client_connection.h"
#include "client_error.h"
#include "report_control_block.h"

namespace iecstack::client {

ClientReportControlBlock ClientConnection::readReportControlBlock(IedClientError* error,
                                                                  const char* rcbReference,
                                                                  ClientReportControlBlock update) {
    std::unique_ptr<sClientReportControlBlock> created;
    if (update == nullptr) {
        created.reset(sClientReportControlBlock::create(rcbReference));
        if (!created) {
            *error = IED_ERROR_OBJECT_REFERENCE_INVALID;
            return nullptr;
        }
    }
    sClientReportControlBlock& rcb = update != nullptr ? *update : *created;
    const auto association = current();
    if (!association) {
        *error = IED_ERROR_NOT_CONNECTED;
        return nullptr;
    }
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list(
        {mms::VariableAccess{mms::ObjectName::domain(rcb.domain, rcb.item), {}}});
    RequestOutcome outcome = request(*association, std::move(read));
    *error = outcome.error;
    if (outcome.error != IED_ERROR_OK) {
        return nullptr;
    }
    const auto* response = std::get_if<mms::ReadResponse>(&*outcome.response);
    if (response == nullptr || response->results.size() != 1) {
        *error = IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
        return nullptr;
    }
    const MmsValue& value = response->results.front();
    if (value.type() == MMS_DATA_ACCESS_ERROR) {
        *error = errorFromDataAccessError(value.accessError());
        return nullptr;
    }
    if (!rcb.takeValues(value)) {
        *error = IED_ERROR_TYPE_INCONSISTENT;
        return nullptr;
    }
    created.release();
    return &rcb;
}

void ClientConnection::writeReportControlBlock(IedClientError* error, ClientReportControlBlock rcb,
                                               uint32_t mask, bool singleRequest) {
    if (rcb == nullptr) {
        *error = IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT;
        return;
    }
    std::vector<mms::VariableAccess> variables;
    std::vector<MmsValue> values;
    for (RcbAttribute attribute : rcbWriteOrder()) {
        const MmsValue* value = rcb->get(attribute);
        if ((mask & rcbAttributeMask(attribute)) == 0 || value == nullptr) {
            continue;
        }
        variables.push_back(mms::VariableAccess{
            mms::ObjectName::domain(rcb->domain, rcb->item + "$" + rcbAttributeName(attribute)), {}});
        values.push_back(*value);
    }
    const auto association = current();
    if (!association) {
        *error = IED_ERROR_NOT_CONNECTED;
        return;
    }
    *error = IED_ERROR_OK;
    // One request for all, or one per attribute; the latter stops at the first refusal, so that a
    // block whose reservation failed is not enabled.
    const size_t perRequest = singleRequest ? variables.size() : 1;
    for (size_t first = 0; first < variables.size(); first += perRequest) {
        mms::WriteRequest write;
        for (size_t i = first; i < first + perRequest; ++i) {
            write.spec.variables.push_back(variables[i]);
            write.data.push_back(values[i]);
        }
        RequestOutcome outcome = request(*association, std::move(write));
        if (outcome.error != IED_ERROR_OK) {
            *error = outcome.error;
            return;
        }
        const auto* response = std::get_if<mms::WriteResponse>(&*outcome.response);
        if (response == nullptr || response->results.size() != perRequest) {
            *error = IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
            return;
        }
        for (const auto& result : response->results) {
            if (result) {
                *error = errorFromDataAccessError(*result);
                return;
            }
        }
    }
}

}  // namespace iecstack::client
