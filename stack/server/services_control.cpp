#include "server/mms_services.h"

#include <algorithm>
#include <optional>

#include "ber/writer.h"
#include "mms/codec.h"
#include "server/mms_mapping.h"
#include "service_support.h"

namespace iecstack::server {

using namespace detail;

void MmsServices::applyOperate(ModelNode& oper) {
    const ModelNode* ctlVal = oper.child("ctlVal");
    ModelNode* dataObject = oper.parent;
    ModelNode* ln = dataObject && dataObject->parent ? dataObject->parent->parent : nullptr;
    ModelNode* st = ln ? ln->child("ST") : nullptr;
    ModelNode* status = st ? st->child(dataObject->name) : nullptr;
    if (!ctlVal || !status) {
        return;
    }
    ModelNode* stVal = status->child("stVal");
    if (stVal && stVal->kind == ModelNode::Kind::Basic) {
        if (stVal->basic == BasicType::BitString && ctlVal->value.type() == MMS_BOOLEAN) {
            // A double point answers a boolean command with on (10) or off (01).
            mms::BitString pos(2);
            pos.setBit(0, ctlVal->value.boolValue());
            pos.setBit(1, !ctlVal->value.boolValue());
            model_.assign(*stVal, MmsValue::bitString(pos));
        } else if (checkConformance(*stVal, ctlVal->value) == Conformance::Conforms) {
            model_.assign(*stVal, ctlVal->value);
        }
    }
    if (ModelNode* t = status->child("t");
        t && t->kind == ModelNode::Kind::Basic && t->basic == BasicType::UtcTime) {
        auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        model_.assign(*t, MmsValue::utcTimeFromMs(static_cast<uint64_t>(now.count()), 0x0a));
    }
}

}  // namespace iecstack::server
