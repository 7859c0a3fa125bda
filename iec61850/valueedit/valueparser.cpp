#include "valueparser.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

namespace valueedit {
namespace {

ParsedValue refused(std::string why) {
    return ParsedValue{nullptr, std::move(why)};
}

ParsedValue accepted(MmsValue* value) {
    return ParsedValue{ValuePtr(value), std::string()};
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The number inside the last parentheses of an enumeration as rendered ("On (1)"), or the text itself.
std::string enumerationCode(const std::string& text) {
    if (text.size() >= 3 && text.back() == ')') {
        const size_t open = text.rfind('(');
        if (open != std::string::npos) {
            return text.substr(open + 1, text.size() - open - 2);
        }
    }
    return text;
}

bool wholeInteger(const std::string& text, long long* out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    *out = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool wholeUnsigned(const std::string& text, unsigned long long* out) {
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    *out = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

// Declared widths beyond 64 bits are served as 64 (INT128 devices send 64-bit values).
int widthOf(int size) {
    return size <= 0 || size > 64 ? 64 : size;
}

ParsedValue integerValue(const std::string& text, int size) {
    long long v = 0;
    if (!wholeInteger(enumerationCode(text), &v)) {
        return refused("not an integer: \"" + text + "\"");
    }
    const int width = widthOf(size);
    const long long low = width == 64 ? std::numeric_limits<long long>::min() : -(1LL << (width - 1));
    const long long high = width == 64 ? std::numeric_limits<long long>::max() : (1LL << (width - 1)) - 1;
    if (v < low || v > high) {
        return refused("out of range " + std::to_string(low) + ".." + std::to_string(high));
    }
    return accepted(MmsValue_newIntegerFromInt64(v));
}

ParsedValue unsignedValue(const std::string& text, int size) {
    unsigned long long v = 0;
    if (!wholeUnsigned(text, &v)) {
        return refused("not an unsigned integer: \"" + text + "\"");
    }
    // Values are carried as 32-bit unsigned numbers here, as the API's constructor takes them.
    const int width = std::min(widthOf(size), 32);
    const unsigned long long high = (1ULL << width) - 1;
    if (v > high) {
        return refused("out of range 0.." + std::to_string(high));
    }
    return accepted(MmsValue_newUnsignedFromUint32(static_cast<uint32_t>(v)));
}

ParsedValue floatValue(const std::string& text, int formatWidth) {
    if (text.empty()) {
        return refused("not a number: \"\"");
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) {
        return refused("not a number: \"" + text + "\"");
    }
    if (formatWidth == 64) {
        return accepted(MmsValue_newDouble(v));
    }
    if (std::fabs(v) > std::numeric_limits<float>::max()) {
        return refused("too large for a 32-bit float");
    }
    return accepted(MmsValue_newFloat(static_cast<float>(v)));
}

// Whether `length` fits a type size: negative sizes are upper bounds, positive ones exact lengths.
bool fitsLength(int size, size_t length) {
    return size < 0 ? length <= static_cast<size_t>(-static_cast<long>(size))
                    : size == 0 || length == static_cast<size_t>(size);
}

std::string lengthRule(int size, const char* unit) {
    return size < 0 ? "at most " + std::to_string(-static_cast<long>(size)) + " " + unit
                    : "exactly " + std::to_string(size) + " " + unit;
}

size_t utf8Characters(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text) {
        count += (c & 0xC0) != 0x80;
    }
    return count;
}

ParsedValue visibleStringValue(const std::string& text, int size) {
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return refused("a visible string takes printable ASCII characters only");
        }
    }
    if (!fitsLength(size, text.size())) {
        return refused("text of " + std::to_string(text.size()) + " characters; the attribute takes " +
                       lengthRule(size, "characters"));
    }
    return accepted(MmsValue_newVisibleString(text.c_str()));
}

ParsedValue mmsStringValue(const std::string& text, int size) {
    if (text.find('\0') != std::string::npos || !fitsLength(size, utf8Characters(text))) {
        return refused("the attribute takes " + lengthRule(size, "characters"));
    }
    return accepted(MmsValue_newMmsString(text.c_str()));
}

ParsedValue bitStringValue(const std::string& text, int size) {
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'b' && text[1] != 'B')) {
        return refused("a bit string is written as 0b and its bits, first bit first");
    }
    std::string bits;
    for (size_t i = 2; i < text.size(); ++i) {
        if (text[i] == ' ' || text[i] == '_') {
            continue;
        }
        if (text[i] != '0' && text[i] != '1') {
            return refused("not a bit: '" + std::string(1, text[i]) + "'");
        }
        bits.push_back(text[i]);
    }
    if (bits.empty() || !fitsLength(size, bits.size())) {
        return refused(std::to_string(bits.size()) + " bits; the attribute takes " +
                       lengthRule(size, "bits"));
    }
    MmsValue* value = MmsValue_newBitString(static_cast<int>(bits.size()));
    for (size_t i = 0; i < bits.size(); ++i) {
        MmsValue_setBitStringBit(value, static_cast<int>(i), bits[i] == '1');
    }
    return accepted(value);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

ParsedValue octetStringValue(const std::string& text, int size) {
    std::string digits;
    const size_t start = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':' || c == '-') {
            continue;
        }
        if (hexDigit(c) < 0) {
            return refused("not a hexadecimal digit: '" + std::string(1, c) + "'");
        }
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0) {
        return refused("an odd number of hexadecimal digits");
    }
    std::vector<uint8_t> octets;
    for (size_t i = 0; i < digits.size(); i += 2) {
        octets.push_back(static_cast<uint8_t>(hexDigit(digits[i]) * 16 + hexDigit(digits[i + 1])));
    }
    if (!fitsLength(size, octets.size())) {
        return refused(std::to_string(octets.size()) + " octets; the attribute takes " +
                       lengthRule(size, "octets"));
    }
    const int count = static_cast<int>(octets.size());
    MmsValue* value = MmsValue_newOctetString(0, count);
    MmsValue_setOctetString(value, octets.data(), count);
    return accepted(value);
}

// "YYYY-MM-DDTHH:MM:SS[.fff][Z]" in UTC as milliseconds since 1970.
bool isoTime(const std::string& text, uint64_t* ms) {
    std::tm t{};
    int fractionDigits = 0;
    unsigned millis = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                    &t.tm_min, &t.tm_sec, &consumed) != 6 ||
        consumed != 19) {
        return false;
    }
    size_t i = 19;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (fractionDigits < 3) {
                millis = millis * 10 + static_cast<unsigned>(text[i] - '0');
            }
            ++fractionDigits;
        }
        if (fractionDigits == 0) {
            return false;
        }
        for (int k = fractionDigits; k < 3; ++k) {
            millis *= 10;
        }
    }
    if (i < text.size() && text[i] == 'Z') {
        ++i;
    }
    if (i != text.size() || t.tm_year < 1970 || t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 ||
        t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 60) {
        return false;
    }
    const int day = t.tm_mday;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const time_t seconds = timegm(&t);
    if (seconds < 0 || t.tm_mday != day) {
        return false;  // no such day (31 April)
    }
    *ms = static_cast<uint64_t>(seconds) * 1000 + millis;
    return true;
}

ParsedValue timeValue(const std::string& text, MmsType type, int size) {
    uint64_t ms = 0;
    if (!isoTime(text, &ms)) {
        return refused("not a time in UTC such as 2026-12-07T14:03:00.250Z: \"" + text + "\"");
    }
    if (type == MMS_UTC_TIME) {
        return accepted(MmsValue_newUtcTimeByMsTime(ms));
    }
    MmsValue* value = MmsValue_newBinaryTime(size == 4);
    MmsValue_setBinaryTime(value, ms);
    return accepted(value);
}

}  // namespace

ParsedValue parseValue(const std::string& input, MmsVariableSpecification* type) {
    if (type == nullptr) {
        return refused("the device gave no type for this attribute");
    }
    const int size = MmsVariableSpecification_getSize(type);
    const MmsType kind = MmsVariableSpecification_getType(type);
    // Strings keep their blanks; everything else may carry some around it.
    const std::string text =
        kind == MMS_VISIBLE_STRING || kind == MMS_STRING || kind == MMS_OCTET_STRING ? input : trimmed(input);
    switch (kind) {
        case MMS_BOOLEAN:
            if (text == "true" || text == "1") {
                return accepted(MmsValue_newBoolean(true));
            }
            if (text == "false" || text == "0") {
                return accepted(MmsValue_newBoolean(false));
            }
            return refused("not a boolean (true or false): \"" + text + "\"");
        case MMS_INTEGER:
            return integerValue(text, size);
        case MMS_UNSIGNED:
            return unsignedValue(text, size);
        case MMS_FLOAT:
            return floatValue(text, size);
        case MMS_VISIBLE_STRING:
            return visibleStringValue(text, size);
        case MMS_STRING:
            return mmsStringValue(text, size);
        case MMS_BIT_STRING:
            return bitStringValue(text, size);
        case MMS_OCTET_STRING:
            return octetStringValue(trimmed(text), size);
        case MMS_UTC_TIME:
        case MMS_BINARY_TIME:
            return timeValue(text, kind, size);
        case MMS_STRUCTURE:
        case MMS_ARRAY:
            return refused("a structure or array is written one attribute at a time");
        default:
            return refused("values of this type cannot be written here");
    }
}

std::string failureText(IedClientError error) {
    switch (error) {
        case IED_ERROR_OK:
            return "ok";
        case IED_ERROR_NOT_CONNECTED:
            return "not connected";
        case IED_ERROR_CONNECTION_LOST:
            return "connection lost";
        case IED_ERROR_TIMEOUT:
            return "no answer in time";
        case IED_ERROR_ACCESS_DENIED:
            return "object-access-denied";
        case IED_ERROR_OBJECT_DOES_NOT_EXIST:
            return "object-non-existent";
        case IED_ERROR_TYPE_INCONSISTENT:
            return "type-inconsistent";
        case IED_ERROR_TEMPORARILY_UNAVAILABLE:
            return "temporarily-unavailable";
        case IED_ERROR_OBJECT_VALUE_INVALID:
            return "object-value-invalid";
        case IED_ERROR_OBJECT_ACCESS_UNSUPPORTED:
            return "object-access-unsupported";
        case IED_ERROR_OBJECT_UNDEFINED:
            return "object-undefined";
        case IED_ERROR_INVALID_ADDRESS:
            return "invalid-address";
        case IED_ERROR_HARDWARE_FAULT:
            return "hardware-fault";
        case IED_ERROR_TYPE_UNSUPPORTED:
            return "type-unsupported";
        case IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT:
            return "object-attribute-inconsistent";
        case IED_ERROR_OBJECT_INVALIDATED:
            return "object-invalidated";
        case IED_ERROR_OBJECT_REFERENCE_INVALID:
            return "not a valid object reference";
        case IED_ERROR_UNEXPECTED_VALUE_RECEIVED:
        case IED_ERROR_MALFORMED_MESSAGE:
            return "the device's answer makes no sense";
        case IED_ERROR_SERVICE_NOT_SUPPORTED:
        case IED_ERROR_SERVICE_NOT_IMPLEMENTED:
            return "the device does not offer this service";
        case IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT:
            return "invalid argument";
        default:
            return "error " + std::to_string(static_cast<int>(error));
    }
}

}  // namespace valueedit
