#include "report_engine.h"
#include "server/mms_services.h"

namespace iecstack::server {

std::optional<mms::DataAccessError> MmsServices::writeControlBlock(ModelNode& attribute,
                                                                   const MmsValue& value, Session& session) {
    return reports_->write(attribute, value, session.shared_from_this());
}

}  // namespace iecstack::server
