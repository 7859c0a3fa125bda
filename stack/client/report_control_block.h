#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "iec61850_client.h"
#include "mms/value.h"

namespace iecstack::client {

// The attributes a report control block can have, in the order of the parameter mask bits.
enum class RcbAttribute : uint8_t {
    RptId,
    RptEna,
    Resv,
    DatSet,
    ConfRev,
    OptFlds,
    BufTm,
    SqNum,
    TrgOps,
    IntgPd,
    GI,
    PurgeBuf,
    EntryId,
    TimeOfEntry,
    ResvTms,
    Owner,
};
constexpr size_t kRcbAttributeCount = 16;

// The attribute's component name on the wire ("TimeofEntry" is spelt that way).
const char* rcbAttributeName(RcbAttribute attribute);
uint32_t rcbAttributeMask(RcbAttribute attribute);

// The order in which a mask's attributes are written one request at a time: the reservation first,
// the configuration next, then the enable, and a general interrogation last, once reports flow.
const std::vector<RcbAttribute>& rcbWriteOrder();

}  // namespace iecstack::client

// The client's copy of one report control block: what ClientReportControlBlock points to. An attribute
// the block does not have (or that was never read or set) is empty.
struct sClientReportControlBlock {
    std::string reference;  // "LD/LN.RP.name" as given
    std::string domain;     // "LD"
    std::string item;       // "LN$RP$name"
    bool buffered = false;
    std::array<std::optional<MmsValue>, iecstack::client::kRcbAttributeCount> attributes;

    // Null for a reference that is not "LD/LN.RP.name" or "LD/LN.BR.name".
    static sClientReportControlBlock* create(const char* rcbReference);

    const MmsValue* get(iecstack::client::RcbAttribute attribute) const;
    void set(iecstack::client::RcbAttribute attribute, MmsValue value);
    // Takes the attributes of a whole block as read. The elements come in the block's own order, some
    // of which a server may leave out; they are placed by their types. False when they do not fit.
    bool takeValues(const MmsValue& whole);
};
