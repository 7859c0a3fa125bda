#include "functional_constraint.h"

namespace iecstack::client {

// Indexed by the enumeration value.
constexpr const char* kNames[] = {"ST", "MX", "SP", "SV", "CF", "DC", "SG", "SE", "SR", "OR",
                                  "BL", "EX", "CO", "US", "MS", "RP", "BR", "LG", "GO"};
constexpr int kNameCount = sizeof(kNames) / sizeof(kNames[0]);

const char* functionalConstraintName(FunctionalConstraint fc) {
    const int index = static_cast<int>(fc);
    return index >= 0 && index < kNameCount ? kNames[index] : nullptr;
}

}  // namespace iecstack::client

FunctionalConstraint FunctionalConstraint_fromString(const char* fcString) {
    if (fcString == nullptr || fcString[0] == '\0' || fcString[1] == '\0') {
        return IEC61850_FC_NONE;
    }
    for (int i = 0; i < iecstack::client::kNameCount; ++i) {
        const char* name = iecstack::client::kNames[i];
        if (fcString[0] == name[0] && fcString[1] == name[1]) {
            return static_cast<FunctionalConstraint>(i);
        }
    }
    return IEC61850_FC_NONE;
}
