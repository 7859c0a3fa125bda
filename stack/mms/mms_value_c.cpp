// The C facade of mms_value.h over the C++ value. Every function accepts null and then answers as
// for a value of no matching type, because the C callers check results, not arguments.
#include <cstring>
#include <new>

#include "mms/value.h"
#include "mms_value.h"

using iecstack::mms::BitString;
using iecstack::mms::DataAccessError;

namespace {

MmsValue* onHeap(MmsValue&& value) {
    return new (std::nothrow) MmsValue(std::move(value));
}

}  // namespace

extern "C" {

MmsType MmsValue_getType(const MmsValue* value) {
    return value != nullptr ? value->type() : MMS_DATA_ACCESS_ERROR;
}

bool MmsValue_getBoolean(const MmsValue* value) {
    return value != nullptr && value->boolValue();
}

int MmsValue_getBitStringSize(const MmsValue* value) {
    if (value == nullptr || value->type() != MMS_BIT_STRING) {
        return 0;
    }
    return static_cast<int>(value->bitCount());
}

uint32_t MmsValue_getBitStringAsInteger(const MmsValue* value) {
    if (value == nullptr || value->type() != MMS_BIT_STRING) {
        return 0;
    }
    return value->bitsAsUint32();
}

bool MmsValue_getBitStringBit(const MmsValue* value, int bitPos) {
    if (value == nullptr || value->type() != MMS_BIT_STRING || bitPos < 0) {
        return false;
    }
    return value->bit(static_cast<size_t>(bitPos));
}

int64_t MmsValue_toInt64(const MmsValue* value) {
    return value != nullptr ? value->toInt64() : 0;
}

uint32_t MmsValue_toUint32(const MmsValue* value) {
    return value != nullptr ? static_cast<uint32_t>(value->toUint64()) : 0;
}

double MmsValue_toDouble(const MmsValue* value) {
    return value != nullptr ? value->toDouble() : 0;
}

uint16_t MmsValue_getOctetStringSize(const MmsValue* value) {
    if (value == nullptr || value->type() != MMS_OCTET_STRING) {
        return 0;
    }
    const size_t size = value->octets().size();
    return static_cast<uint16_t>(size > 0xffff ? 0xffff : size);
}

uint8_t* MmsValue_getOctetStringBuffer(MmsValue* value) {
    if (value == nullptr || value->type() != MMS_OCTET_STRING) {
        return nullptr;
    }
    return value->octetData();
}

const char* MmsValue_toString(MmsValue* value) {
    if (value == nullptr || (value->type() != MMS_VISIBLE_STRING && value->type() != MMS_STRING)) {
        return nullptr;
    }
    return value->text().c_str();
}

uint64_t MmsValue_getUtcTimeInMs(const MmsValue* value) {
    return value != nullptr ? value->utcTimeMs() : 0;
}

uint64_t MmsValue_getBinaryTimeAsUtcMs(const MmsValue* value) {
    return value != nullptr ? value->binaryTimeMs() : 0;
}

MmsValue* MmsValue_getElement(const MmsValue* value, int index) {
    if (value == nullptr || !value->isContainer() || index < 0 ||
        static_cast<size_t>(index) >= value->elements().size()) {
        return nullptr;
    }
    const MmsValue& element = value->elements()[static_cast<size_t>(index)];
    if (element.isAbsent()) {
        return nullptr;
    }
    // The C interface hands out elements as mutable handles owned by the parent.
    return const_cast<MmsValue*>(&element);
}

uint32_t MmsValue_getArraySize(const MmsValue* value) {
    if (value == nullptr || !value->isContainer()) {
        return 0;
    }
    return static_cast<uint32_t>(value->elements().size());
}

MmsValue* MmsValue_newBoolean(bool value) {
    return onHeap(MmsValue::boolean(value));
}

MmsValue* MmsValue_newIntegerFromInt32(int32_t value) {
    return onHeap(MmsValue::integer(value));
}

void MmsValue_delete(MmsValue* value) {
    delete value;
}

MmsValue* MmsValue_newInteger64(int64_t value) {
    return onHeap(MmsValue::integer(value));
}

MmsValue* MmsValue_newUnsigned(uint32_t value) {
    return onHeap(MmsValue::unsignedInteger(value));
}

MmsValue* MmsValue_newFloat(float value) {
    return onHeap(MmsValue::floatSingle(value));
}

MmsValue* MmsValue_newDouble(double value) {
    return onHeap(MmsValue::floatDouble(value));
}

MmsValue* MmsValue_newVisibleString(const char* text) {
    return onHeap(MmsValue::visibleString(text != nullptr ? text : ""));
}

MmsValue* MmsValue_newMmsString(const char* text) {
    return onHeap(MmsValue::mmsString(text != nullptr ? text : ""));
}

MmsValue* MmsValue_newOctetString(int size, int maxSize) {
    (void)maxSize;  // lengths are checked where values are written, against the attribute's type
    return onHeap(MmsValue::octetString(std::vector<uint8_t>(size > 0 ? static_cast<size_t>(size) : 0, 0)));
}

void MmsValue_setOctetString(MmsValue* self, const uint8_t* buf, int size) {
    if (self == nullptr || self->type() != MMS_OCTET_STRING || size < 0 || (buf == nullptr && size > 0)) {
        return;
    }
    *self = MmsValue::octetString(std::vector<uint8_t>(buf, buf + size));
}

MmsValue* MmsValue_newIntegerFromInt64(int64_t integer) {
    return onHeap(MmsValue::integer(integer));
}

MmsValue* MmsValue_newUnsignedFromUint32(uint32_t integer) {
    return onHeap(MmsValue::unsignedInteger(integer));
}

MmsValue* MmsValue_newUtcTimeByMsTime(uint64_t timeval) {
    return onHeap(MmsValue::utcTimeFromMs(timeval, 0));
}

MmsValue* MmsValue_newBinaryTime(bool timeOfDay) {
    return onHeap(MmsValue::binaryTimeFromMs(0, !timeOfDay));
}

void MmsValue_setBinaryTime(MmsValue* self, uint64_t timestamp) {
    if (self != nullptr && self->type() == MMS_BINARY_TIME) {
        *self = MmsValue::binaryTimeFromMs(timestamp, self->binaryTimeHasDate());
    }
}

MmsValue* MmsValue_newBitString(int bitCount) {
    return onHeap(MmsValue::bitString(BitString(bitCount > 0 ? static_cast<size_t>(bitCount) : 0)));
}

void MmsValue_setBitStringBit(MmsValue* value, int bitPos, bool bit) {
    if (value != nullptr && value->type() == MMS_BIT_STRING && bitPos >= 0) {
        value->setBit(static_cast<size_t>(bitPos), bit);
    }
}

MmsValue* MmsValue_newUtcTimeMs(uint64_t msSinceEpoch, uint8_t quality) {
    return onHeap(MmsValue::utcTimeFromMs(msSinceEpoch, quality));
}

uint8_t MmsValue_getUtcTimeQuality(const MmsValue* value) {
    return value != nullptr ? value->utcTimeQuality() : 0;
}

MmsValue* MmsValue_newBinaryTimeMs(uint64_t msSinceEpoch, bool withDate) {
    return onHeap(MmsValue::binaryTimeFromMs(msSinceEpoch, withDate));
}

MmsValue* MmsValue_newStructure(void) {
    return onHeap(MmsValue::structure({}));
}

MmsValue* MmsValue_newArray(void) {
    return onHeap(MmsValue::array({}));
}

bool MmsValue_appendElement(MmsValue* container, MmsValue* element) {
    if (element == nullptr) {
        return false;
    }
    if (container == nullptr || !container->isContainer() || container == element) {
        delete element;
        return false;
    }
    container->elements().push_back(std::move(*element));
    delete element;
    return true;
}

MmsValue* MmsValue_newDataAccessError(int code) {
    return onHeap(MmsValue::accessError(static_cast<DataAccessError>(code & 0xff)));
}

int MmsValue_getDataAccessError(const MmsValue* value) {
    if (value == nullptr || value->type() != MMS_DATA_ACCESS_ERROR) {
        return -1;
    }
    return static_cast<int>(value->accessError());
}

MmsValue* MmsValue_clone(const MmsValue* value) {
    return value != nullptr ? onHeap(MmsValue(*value)) : nullptr;
}

bool MmsValue_equals(const MmsValue* a, const MmsValue* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    return *a == *b;
}

}  // extern "C"
