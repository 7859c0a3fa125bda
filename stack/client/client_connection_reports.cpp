// Reading and writing report control blocks.

#include <new>

#include "client_connection.h"
#include "client_error.h"
#include "mapping/member_reference.h"
#include "report_control_block.h"

namespace iecstack::client {

ClientReportControlBlock ClientConnection::readReportControlBlock(ClientError* error,
                                                                  const char* rcbReference,
                                                                  ClientReportControlBlock update) {
    std::unique_ptr<sClientReportControlBlock> created;
    if (update == nullptr) {
        created.reset(sClientReportControlBlock::create(rcbReference));
        if (!created) {
            *error = ClientError::ObjectReferenceInvalid;
            return nullptr;
        }
    }
    sClientReportControlBlock& rcb = update != nullptr ? *update : *created;
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return nullptr;
    }
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list(
        {mms::VariableAccess{mms::ObjectName::domain(rcb.domain, rcb.item), {}}});
    RequestOutcome outcome = request(*association, std::move(read));
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return nullptr;
    }
    const auto* response = std::get_if<mms::ReadResponse>(&*outcome.response);
    if (response == nullptr || response->results.size() != 1) {
        *error = ClientError::UnexpectedValueReceived;
        return nullptr;
    }
    const MmsValue& value = response->results.front();
    if (value.type() == MMS_DATA_ACCESS_ERROR) {
        *error = errorFromDataAccessError(value.accessError());
        return nullptr;
    }
    if (!rcb.takeValues(value)) {
        *error = ClientError::TypeInconsistent;
        return nullptr;
    }
    created.release();
    return &rcb;
}

void ClientConnection::writeReportControlBlock(ClientError* error, ClientReportControlBlock rcb,
                                               uint32_t mask, bool singleRequest) {
    if (rcb == nullptr) {
        *error = ClientError::InvalidArgument;
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
            mms::ObjectName::domain(rcb->domain,
                                    mapping::joinItemName({rcb->item, rcbAttributeName(attribute)})),
            {}});
        values.push_back(*value);
    }
    const auto association = current();
    if (!association) {
        *error = ClientError::NotConnected;
        return;
    }
    *error = ClientError::Ok;
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
        if (outcome.error != ClientError::Ok) {
            *error = outcome.error;
            return;
        }
        const auto* response = std::get_if<mms::WriteResponse>(&*outcome.response);
        if (response == nullptr || response->results.size() != perRequest) {
            *error = ClientError::UnexpectedValueReceived;
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
