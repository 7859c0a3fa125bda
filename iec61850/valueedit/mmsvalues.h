#pragma once
// Constructors the parser needs, under the names of the client API the build uses: libiec61850's, or
// this stack's own where they differ.

#include <cstdint>

#include "iec61850_client.h"

namespace valueedit {

inline MmsValue* newInteger(int64_t value) {
#if defined(KORVAN_USE_LIBIEC61850)
    return MmsValue_newIntegerFromInt64(value);
#else
    return MmsValue_newInteger64(value);
#endif
}

inline MmsValue* newUnsigned(uint32_t value) {
#if defined(KORVAN_USE_LIBIEC61850)
    return MmsValue_newUnsignedFromUint32(value);
#else
    return MmsValue_newUnsigned(value);
#endif
}

inline MmsValue* newOctetString(const uint8_t* octets, int count) {
#if defined(KORVAN_USE_LIBIEC61850)
    MmsValue* value = MmsValue_newOctetString(0, count);
    MmsValue_setOctetString(value, octets, count);
    return value;
#else
    return MmsValue_newOctetString(octets, static_cast<uint16_t>(count));
#endif
}

inline MmsValue* newUtcTime(uint64_t msSinceEpoch) {
#if defined(KORVAN_USE_LIBIEC61850)
    return MmsValue_newUtcTimeByMsTime(msSinceEpoch);
#else
    return MmsValue_newUtcTimeMs(msSinceEpoch, 0);
#endif
}

inline MmsValue* newBinaryTime(uint64_t msSinceEpoch, bool withDate) {
#if defined(KORVAN_USE_LIBIEC61850)
    MmsValue* value = MmsValue_newBinaryTime(!withDate);
    MmsValue_setBinaryTime(value, msSinceEpoch);
    return value;
#else
    return MmsValue_newBinaryTimeMs(msSinceEpoch, withDate);
#endif
}

}  // namespace valueedit
