#include "report_control_block.h"

#include <new>

#include "mapping/object_reference.h"

namespace iecstack::client {
namespace {

struct AttributeInfo {
    RcbAttribute attribute;
    const char* name;
    MmsType type;
};

constexpr AttributeInfo kAttributes[kRcbAttributeCount] = {
    {RcbAttribute::RptId, "RptID", MMS_VISIBLE_STRING},
    {RcbAttribute::RptEna, "RptEna", MMS_BOOLEAN},
    {RcbAttribute::Resv, "Resv", MMS_BOOLEAN},
    {RcbAttribute::DatSet, "DatSet", MMS_VISIBLE_STRING},
    {RcbAttribute::ConfRev, "ConfRev", MMS_UNSIGNED},
    {RcbAttribute::OptFlds, "OptFlds", MMS_BIT_STRING},
    {RcbAttribute::BufTm, "BufTm", MMS_UNSIGNED},
    {RcbAttribute::SqNum, "SqNum", MMS_UNSIGNED},
    {RcbAttribute::TrgOps, "TrgOps", MMS_BIT_STRING},
    {RcbAttribute::IntgPd, "IntgPd", MMS_UNSIGNED},
    {RcbAttribute::GI, "GI", MMS_BOOLEAN},
    {RcbAttribute::PurgeBuf, "PurgeBuf", MMS_BOOLEAN},
    {RcbAttribute::EntryId, "EntryID", MMS_OCTET_STRING},
    {RcbAttribute::TimeOfEntry, "TimeofEntry", MMS_BINARY_TIME},
    {RcbAttribute::ResvTms, "ResvTms", MMS_INTEGER},
    {RcbAttribute::Owner, "Owner", MMS_OCTET_STRING},
};

using A = RcbAttribute;
const std::vector<RcbAttribute> kUnbufferedOrder = {A::RptId,   A::RptEna,  A::Resv,  A::DatSet,
                                                    A::ConfRev, A::OptFlds, A::BufTm, A::SqNum,
                                                    A::TrgOps,  A::IntgPd,  A::GI,    A::Owner};
const std::vector<RcbAttribute> kBufferedOrder = {
    A::RptId,  A::RptEna, A::DatSet,   A::ConfRev, A::OptFlds,     A::BufTm,   A::SqNum, A::TrgOps,
    A::IntgPd, A::GI,     A::PurgeBuf, A::EntryId, A::TimeOfEntry, A::ResvTms, A::Owner};

}  // namespace

const char* rcbAttributeName(RcbAttribute attribute) {
    return kAttributes[static_cast<size_t>(attribute)].name;
}

uint32_t rcbAttributeMask(RcbAttribute attribute) {
    return 1u << static_cast<unsigned>(attribute);
}

const std::vector<RcbAttribute>& rcbWriteOrder() {
    static const std::vector<RcbAttribute> order = {
        A::Resv,     A::ResvTms, A::RptId,   A::DatSet, A::OptFlds,     A::BufTm, A::TrgOps, A::IntgPd,
        A::PurgeBuf, A::EntryId, A::ConfRev, A::SqNum,  A::TimeOfEntry, A::Owner, A::RptEna, A::GI};
    return order;
}

}  // namespace iecstack::client

using iecstack::client::RcbAttribute;

sClientReportControlBlock* sClientReportControlBlock::create(const char* rcbReference) {
    const auto ref = iecstack::mapping::ObjectReference::parse(rcbReference == nullptr ? "" : rcbReference);
    if (!ref) {
        return nullptr;
    }
    // "LN.RP.name": exactly three parts, the middle one the constraint.
    const size_t first = ref->path.find('.');
    const size_t second = first == std::string::npos ? first : ref->path.find('.', first + 1);
    if (second == std::string::npos || ref->path.find('.', second + 1) != std::string::npos) {
        return nullptr;
    }
    const std::string fc = ref->path.substr(first + 1, second - first - 1);
    if (fc != "RP" && fc != "BR") {
        return nullptr;
    }
    auto* rcb = new (std::nothrow) sClientReportControlBlock();
    if (rcb == nullptr) {
        return nullptr;
    }
    rcb->reference = rcbReference;
    rcb->domain = ref->domain;
    rcb->item = ref->plainItemName();
    rcb->buffered = fc == "BR";
    return rcb;
}

const MmsValue* sClientReportControlBlock::get(RcbAttribute attribute) const {
    const auto& slot = attributes[static_cast<size_t>(attribute)];
    return slot ? &*slot : nullptr;
}

void sClientReportControlBlock::set(RcbAttribute attribute, MmsValue value) {
    attributes[static_cast<size_t>(attribute)] = std::move(value);
}

bool sClientReportControlBlock::takeValues(const MmsValue& whole) {
    if (whole.type() != MMS_STRUCTURE) {
        return false;
    }
    const auto& order = buffered ? iecstack::client::kBufferedOrder : iecstack::client::kUnbufferedOrder;
    decltype(attributes) taken;
    size_t next = 0;
    for (const MmsValue& element : whole.elements()) {
        while (next < order.size() &&
               iecstack::client::kAttributes[static_cast<size_t>(order[next])].type != element.type()) {
            ++next;
        }
        if (next == order.size()) {
            return false;
        }
        taken[static_cast<size_t>(order[next++])] = element;
    }
    attributes = std::move(taken);
    return true;
}
