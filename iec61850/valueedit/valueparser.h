#pragma once

#include <memory>
#include <string>

#include "iec61850_client.h"

namespace valueedit {

struct MmsValueDeleter {
    void operator()(MmsValue* value) const { MmsValue_delete(value); }
};
using ValuePtr = std::unique_ptr<MmsValue, MmsValueDeleter>;

// A value typed from the device's description of the attribute, or why the text is not one.
struct ParsedValue {
    ValuePtr value;     // null when the text does not fit the type
    std::string error;  // one line for the user, empty with a value
};

// Turns what a user typed into the value an attribute of type `type` takes, checking what the type
// bounds so that a write the device would certainly refuse is never sent:
//   boolean          true, false, 1 or 0
//   integer          decimal within the width; also an enumeration as shown ("Sbo with normal security (2)")
//   unsigned         decimal within the width
//   float            decimal or exponent form, finite
//   visible string   the text itself, printable ASCII, at most as long as the type allows
//   MMS string       the text itself (UTF-8), at most as many characters as the type allows
//   bit string       0b and the bits, first bit first ("0b0000000000000" for a quality)
//   octet string     hexadecimal octets, optionally separated by blanks, ':' or '-'
//   UTC / binary time  ISO 8601 in UTC: 2026-12-07T14:03:00.250Z (the Z and the fraction may be left out)
// Structures and arrays are written attribute by attribute and have no text form.
ParsedValue parseValue(const std::string& text, MmsVariableSpecification* type);

// The cause of a failed request in words, as "Write fail: REF: CAUSE" and iedcli show it.
std::string failureText(IedClientError error);

}  // namespace valueedit
