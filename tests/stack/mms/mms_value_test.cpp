// The C view of MMS values and lists, as the engine and the report handler use it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "linked_list.h"
#include "mms/value.h"
#include "mms_value.h"

namespace {

using iecstack::mms::BitString;

TEST(MmsValueC, BitStringIntegerCountsBitZeroAsOne) {
    // Quality "invalid" is bit 1 of the string: the most significant bit but one of the first octet.
    MmsValue value = MmsValue::bitString(BitString(13, {0x40, 0x00}));
    EXPECT_EQ(MmsValue_getBitStringSize(&value), 13);
    EXPECT_EQ(MmsValue_getBitStringAsInteger(&value), 2u);
    EXPECT_FALSE(MmsValue_getBitStringBit(&value, 0));
    EXPECT_TRUE(MmsValue_getBitStringBit(&value, 1));
    EXPECT_FALSE(MmsValue_getBitStringBit(&value, 13));
    EXPECT_FALSE(MmsValue_getBitStringBit(&value, -1));

    MmsValue* built = MmsValue_newBitString(10);
    MmsValue_setBitStringBit(built, 9, true);
    MmsValue_setBitStringBit(built, 10, true);  // past the end: ignored
    EXPECT_EQ(MmsValue_getBitStringAsInteger(built), 512u);
    EXPECT_EQ(iecstack::mms::Value(*built).bits().octets(), (std::vector<uint8_t>{0x00, 0x40}));
    MmsValue_delete(built);
}

TEST(MmsValueC, PaddingBitsDoNotLeakIntoTheValue) {
    // A peer may send garbage in the unused bits; they must not become set bits.
    MmsValue value = MmsValue::bitString(BitString(6, {0x03}));
    EXPECT_EQ(MmsValue_getBitStringAsInteger(&value), 0u);
    EXPECT_EQ(value, MmsValue::bitString(BitString(6, {0x00})));
}

TEST(MmsValueC, ElementsBelongToTheirParentAndEndWithNull) {
    MmsValue* structure = MmsValue_newStructure();
    ASSERT_TRUE(MmsValue_appendElement(structure, MmsValue_newBoolean(true)));
    ASSERT_TRUE(MmsValue_appendElement(structure, MmsValue_newVisibleString("LD0/LLN0$Events")));
    EXPECT_EQ(MmsValue_getArraySize(structure), 2u);
    MmsValue* first = MmsValue_getElement(structure, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(MmsValue_getBoolean(first));
    EXPECT_STREQ(MmsValue_toString(MmsValue_getElement(structure, 1)), "LD0/LLN0$Events");
    EXPECT_EQ(MmsValue_getElement(structure, 2), nullptr);
    EXPECT_EQ(MmsValue_getElement(structure, -1), nullptr);
    EXPECT_EQ(MmsValue_getElement(first, 0), nullptr);
    // Appending to a scalar frees the element rather than leaking it (the leak checker watches).
    EXPECT_FALSE(MmsValue_appendElement(first, MmsValue_newBoolean(false)));
    MmsValue_delete(structure);  // frees the elements with it
    MmsValue_delete(nullptr);
}

TEST(MmsValueC, StringsAreZeroTerminatedAndOctetsAreNot) {
    MmsValue* text = MmsValue_newVisibleString("Events1");
    EXPECT_STREQ(MmsValue_toString(text), "Events1");
    EXPECT_EQ(MmsValue_getOctetStringSize(text), 0);
    MmsValue_delete(text);

    const uint8_t bytes[] = {0x00, 0x77, 0x00};
    MmsValue* octets = MmsValue_newOctetString(0, 3);
    MmsValue_setOctetString(octets, bytes, 3);
    EXPECT_EQ(MmsValue_getOctetStringSize(octets), 3);
    EXPECT_EQ(std::memcmp(MmsValue_getOctetStringBuffer(octets), bytes, 3), 0);
    EXPECT_EQ(MmsValue_toString(octets), nullptr);
    MmsValue_delete(octets);
}

TEST(MmsValueC, NumbersConvertAcrossIntegerUnsignedAndFloat) {
    MmsValue* negative = MmsValue_newIntegerFromInt32(-5);
    EXPECT_EQ(MmsValue_getType(negative), MMS_INTEGER);
    EXPECT_EQ(MmsValue_toInt64(negative), -5);
    EXPECT_DOUBLE_EQ(MmsValue_toDouble(negative), -5.0);
    MmsValue_delete(negative);

    MmsValue big = MmsValue::unsignedInteger(40000);
    EXPECT_EQ(MmsValue_toUint32(&big), 40000u);
    EXPECT_EQ(MmsValue_toInt64(&big), 40000);

    MmsValue single = MmsValue::floatSingle(-0.9161652f);
    EXPECT_FLOAT_EQ(static_cast<float>(MmsValue_toDouble(&single)), -0.9161652f);
    EXPECT_FALSE(single.isDoublePrecision());
    EXPECT_TRUE(MmsValue::floatDouble(1.0 / 3).isDoublePrecision());
}

TEST(MmsValueC, UtcTimeMillisecondsSurviveTheBinaryFraction) {
    // 05#27: 1796628044 s, fraction 0x7374bc, quality a0.
    MmsValue captured = MmsValue::utcTime(1796628044u, 0x7374bcu, 0xa0);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(&captured), 1796628044451ull);
    EXPECT_EQ(MmsValue_getUtcTimeQuality(&captured), 0xa0);
    // Every millisecond value must read back unchanged, or written time stamps drift by one.
    for (uint64_t ms : {0ull, 1ull, 499ull, 999ull, 1796628044451ull}) {
        MmsValue* value = MmsValue_newUtcTimeMs(ms, 0);
        EXPECT_EQ(MmsValue_getUtcTimeInMs(value), ms);
        MmsValue_delete(value);
    }
}

TEST(MmsValueC, BinaryTimeCountsDaysFrom1984) {
    // 09#36: 27531528 ms into day 15681 = 2026-12-07 07:38:51.528 UTC.
    MmsValue captured = MmsValue::binaryTime(27531528u, 15681);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(&captured), 1796629131528ull);
    MmsValue zero = MmsValue::binaryTime(0, 0);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(&zero), 441763200000ull);
    MmsValue* roundTrip = MmsValue_newBinaryTimeMs(1796629131528ull, true);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(roundTrip), 1796629131528ull);
    EXPECT_EQ(*roundTrip, captured);
    MmsValue_delete(roundTrip);
    MmsValue* timeOfDay = MmsValue_newBinaryTimeMs(1796629131528ull, false);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(timeOfDay), 27531528ull);
    MmsValue_delete(timeOfDay);
}

TEST(MmsValueC, WrongTypesAndNullAnswerNeutrally) {
    MmsValue* boolean = MmsValue_newBoolean(true);
    EXPECT_EQ(MmsValue_getBitStringSize(boolean), 0);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(boolean), 0u);
    EXPECT_EQ(MmsValue_getArraySize(boolean), 0u);
    EXPECT_EQ(MmsValue_getDataAccessError(boolean), -1);
    EXPECT_FALSE(MmsValue_getBoolean(nullptr));
    EXPECT_EQ(MmsValue_toString(nullptr), nullptr);
    MmsValue* error = MmsValue_newDataAccessError(10);
    EXPECT_EQ(MmsValue_getType(error), MMS_DATA_ACCESS_ERROR);
    EXPECT_EQ(MmsValue_getDataAccessError(error), 10);
    MmsValue* copy = MmsValue_clone(error);
    EXPECT_TRUE(MmsValue_equals(copy, error));
    EXPECT_FALSE(MmsValue_equals(copy, boolean));
    MmsValue_delete(copy);
    MmsValue_delete(error);
    MmsValue_delete(boolean);
}

TEST(LinkedListC, HeadCarriesNoDataAndDestroyFreesTheData) {
    LinkedList list = LinkedList_create();
    EXPECT_EQ(LinkedList_size(list), 0);
    EXPECT_EQ(LinkedList_getNext(list), nullptr);
    const char* names[] = {"BIGLD0", "BIGLD1", "simpleIOGenericIO"};
    for (const char* name : names) {
        char* copy = static_cast<char*>(std::malloc(std::strlen(name) + 1));
        std::strcpy(copy, name);
        LinkedList_add(list, copy);
    }
    EXPECT_EQ(LinkedList_getData(list), nullptr);
    EXPECT_EQ(LinkedList_size(list), 3);
    int i = 0;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
        EXPECT_STREQ(static_cast<const char*>(LinkedList_getData(e)), names[i++]);
    }
    EXPECT_EQ(i, 3);
    LinkedList_destroy(list);  // the leak checker fails the test if a name stays behind
    LinkedList_destroy(nullptr);
    EXPECT_EQ(LinkedList_size(nullptr), 0);
}

}  // namespace
