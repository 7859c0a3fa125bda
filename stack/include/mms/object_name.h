#pragma once

#include <cstdint>
#include <string>

namespace iecstack::mms {

// The name of an MMS object: a VMD-wide name, a name inside a domain (a logical device), or a name
// that lives only as long as the association.
struct ObjectName {
    enum class Scope : uint8_t { Vmd, Domain, Association };

    Scope scope = Scope::Vmd;
    std::string domainId;  // Domain scope only
    std::string itemId;

    static ObjectName vmd(std::string item) { return ObjectName{Scope::Vmd, {}, std::move(item)}; }
    static ObjectName domain(std::string domainName, std::string item) {
        return ObjectName{Scope::Domain, std::move(domainName), std::move(item)};
    }
    static ObjectName association(std::string item) {
        return ObjectName{Scope::Association, {}, std::move(item)};
    }

    friend bool operator==(const ObjectName& a, const ObjectName& b) {
        return a.scope == b.scope && a.domainId == b.domainId && a.itemId == b.itemId;
    }
    friend bool operator!=(const ObjectName& a, const ObjectName& b) { return !(a == b); }
};

}  // namespace iecstack::mms
