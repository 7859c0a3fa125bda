#pragma once
/* MMS values as the C client API sees them: an opaque handle with typed accessors.
 * C++ code of the stack uses the same object through mms/value.h (struct MmsValue). */

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    MMS_ARRAY = 0,
    MMS_STRUCTURE = 1,
    MMS_BOOLEAN = 2,
    MMS_BIT_STRING = 3,
    MMS_INTEGER = 4,
    MMS_UNSIGNED = 5,
    MMS_FLOAT = 6,
    MMS_OCTET_STRING = 7,
    MMS_VISIBLE_STRING = 8,
    MMS_GENERALIZED_TIME = 9,
    MMS_BINARY_TIME = 10,
    MMS_BCD = 11,
    MMS_OBJ_ID = 12,
    MMS_STRING = 13,
    MMS_UTC_TIME = 14,
    MMS_DATA_ACCESS_ERROR = 15
} MmsType;

typedef struct MmsValue MmsValue;

/* Inspection. Accessors given a value of another type return 0, false or null; numeric accessors
 * convert between integer, unsigned and float. */
MmsType MmsValue_getType(const MmsValue* value);
bool MmsValue_getBoolean(const MmsValue* value);
int MmsValue_getBitStringSize(const MmsValue* value);
/* Bit i of the string counts 2^i; only the first 32 bits are taken. */
uint32_t MmsValue_getBitStringAsInteger(const MmsValue* value);
bool MmsValue_getBitStringBit(const MmsValue* value, int bitPos);
int64_t MmsValue_toInt64(const MmsValue* value);
uint32_t MmsValue_toUint32(const MmsValue* value);
double MmsValue_toDouble(const MmsValue* value);
uint16_t MmsValue_getOctetStringSize(const MmsValue* value);
uint8_t* MmsValue_getOctetStringBuffer(MmsValue* value);
/* Zero-terminated text of a visible string or an MMS (UTF-8) string; null for other types. */
const char* MmsValue_toString(MmsValue* value);
uint64_t MmsValue_getUtcTimeInMs(const MmsValue* value);
/* A 4-byte binary time carries no date: the result is the time of day on 1970-01-01. */
uint64_t MmsValue_getBinaryTimeAsUtcMs(const MmsValue* value);
/* Element of a structure or array, owned by the parent; null past the end. The pointer stays valid
 * until the parent is changed or deleted. */
MmsValue* MmsValue_getElement(const MmsValue* value, int index);
/* Number of elements of an array or structure. */
uint32_t MmsValue_getArraySize(const MmsValue* value);

/* Construction and release. Every value returned by a constructor belongs to the caller. */
MmsValue* MmsValue_newBoolean(bool value);
MmsValue* MmsValue_newIntegerFromInt32(int32_t value);
void MmsValue_delete(MmsValue* value);

/* Further constructors and accessors of this stack. */
MmsValue* MmsValue_newInteger64(int64_t value);
MmsValue* MmsValue_newUnsigned(uint32_t value);
MmsValue* MmsValue_newFloat(float value);
MmsValue* MmsValue_newDouble(double value);
MmsValue* MmsValue_newVisibleString(const char* text);
/* An MMS string (UTF-8 text). */
MmsValue* MmsValue_newMmsString(const char* text);
/* An octet string of size zero octets; maxSize is not kept. */
MmsValue* MmsValue_newOctetString(int size, int maxSize);
/* Replaces the content of an octet string with size octets of buf. */
void MmsValue_setOctetString(MmsValue* self, const uint8_t* buf, int size);
MmsValue* MmsValue_newIntegerFromInt64(int64_t integer);
MmsValue* MmsValue_newUnsignedFromUint32(uint32_t integer);
/* UTC time from milliseconds since 1970-01-01, time quality 0. */
MmsValue* MmsValue_newUtcTimeByMsTime(uint64_t timeval);
/* Binary time of the 4-byte form (time of day only) or the 6-byte form with date, at 1970-01-01 00:00. */
MmsValue* MmsValue_newBinaryTime(bool timeOfDay);
/* Sets a binary time from milliseconds since 1970-01-01, keeping its form. */
void MmsValue_setBinaryTime(MmsValue* self, uint64_t timestamp);
/* A bit string of bitCount bits, all clear. */
MmsValue* MmsValue_newBitString(int bitCount);
void MmsValue_setBitStringBit(MmsValue* value, int bitPos, bool bit);
/* UTC time from milliseconds since 1970-01-01 with its time-quality byte. */
MmsValue* MmsValue_newUtcTimeMs(uint64_t msSinceEpoch, uint8_t quality);
uint8_t MmsValue_getUtcTimeQuality(const MmsValue* value);
/* Binary time in the 6-byte form (with date) or the 4-byte form (time of day only). */
MmsValue* MmsValue_newBinaryTimeMs(uint64_t msSinceEpoch, bool withDate);
MmsValue* MmsValue_newStructure(void);
MmsValue* MmsValue_newArray(void);
/* Moves element into the structure or array and frees the element handle; false (and element
 * deleted) when container is not a structure or array. Earlier getElement pointers become invalid. */
bool MmsValue_appendElement(MmsValue* container, MmsValue* element);
MmsValue* MmsValue_newDataAccessError(int code);
/* The DataAccessError code, or -1 when the value is not an error. */
int MmsValue_getDataAccessError(const MmsValue* value);
MmsValue* MmsValue_clone(const MmsValue* value);
bool MmsValue_equals(const MmsValue* a, const MmsValue* b);

#ifdef __cplusplus
}
#endif
