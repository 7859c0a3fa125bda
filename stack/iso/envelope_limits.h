#pragma once

#include <cstddef>

namespace iecstack::iso {

// Session and presentation octets around one MMS PDU in the data phase, with room for long-form
// lengths and a transfer-syntax name: a unit may exceed the MMS PDU size by this much.
constexpr size_t kDataEnvelopeAllowance = 64;
// Association set-up units carry the initiate PDUs plus addressing and authentication.
constexpr size_t kMaxSetupUnitSize = 16384;

}  // namespace iecstack::iso
