// The value parser against type descriptions as devices give them: each basic type's accepted forms
// encode to the value the attribute takes, and what does not fit is refused before anything is sent.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mms/value.h"
#include "mms/variable_specification.h"
#include "valueparser.h"

namespace {

using iecstack::mms::TypeSpec;

TypeSpec basic(MmsType type, int32_t size = 0) {
    TypeSpec t;
    t.type = type;
    t.size = size;
    if (type == MMS_FLOAT) {
        t.formatWidth = static_cast<uint8_t>(size);
        t.exponentWidth = size == 64 ? 11 : 8;
        t.size = 0;
    }
    return t;
}

// The parsed value, or a failure naming the parser's reason.
MmsValue parsed(const std::string& text, const TypeSpec& type) {
    auto spec = iecstack::mms::makeVariableSpecification(type, "x");
    valueedit::ParsedValue result = valueedit::parseValue(text, spec.get());
    EXPECT_TRUE(result.value) << text << ": " << result.error;
    // The stack's own type check bounds an MMS string in octets, the parser in characters.
    const bool octetBound = type.type == MMS_STRING;
    EXPECT_TRUE(!result.value || octetBound ||
                MmsVariableSpecification_isValueOfType(spec.get(), result.value.get()))
        << text;
    return result.value ? *result.value : MmsValue::absent();
}

std::string refusal(const std::string& text, const TypeSpec& type) {
    auto spec = iecstack::mms::makeVariableSpecification(type, "x");
    valueedit::ParsedValue result = valueedit::parseValue(text, spec.get());
    EXPECT_FALSE(result.value) << text << " was accepted";
    return result.error;
}

TEST(ValueParser, NumbersAndBooleansWithinTheirWidths) {
    EXPECT_EQ(parsed("true", basic(MMS_BOOLEAN)), MmsValue::boolean(true));
    EXPECT_EQ(parsed(" 0 ", basic(MMS_BOOLEAN)), MmsValue::boolean(false));
    EXPECT_NE(refusal("yes", basic(MMS_BOOLEAN)), "");

    EXPECT_EQ(parsed("-128", basic(MMS_INTEGER, 8)), MmsValue::integer(-128));
    EXPECT_EQ(refusal("128", basic(MMS_INTEGER, 8)), "out of range -128..127");
    EXPECT_EQ(parsed("Sbo with normal security (2)", basic(MMS_INTEGER, 8)), MmsValue::integer(2))
        << "an enumeration as the tree shows it";
    EXPECT_EQ(parsed("-9223372036854775808", basic(MMS_INTEGER, 64)), MmsValue::integer(INT64_MIN));
    EXPECT_NE(refusal("12abc", basic(MMS_INTEGER, 32)), "");
    EXPECT_NE(refusal("99999999999999999999", basic(MMS_INTEGER, 64)), "");

    EXPECT_EQ(parsed("4294967295", basic(MMS_UNSIGNED, 32)), MmsValue::unsignedInteger(4294967295u));
    EXPECT_EQ(refusal("256", basic(MMS_UNSIGNED, 8)), "out of range 0..255");
    EXPECT_NE(refusal("-1", basic(MMS_UNSIGNED, 32)), "");

    EXPECT_EQ(parsed("50.5", basic(MMS_FLOAT, 32)), MmsValue::floatSingle(50.5f));
    EXPECT_EQ(parsed("1e300", basic(MMS_FLOAT, 64)), MmsValue::floatDouble(1e300));
    EXPECT_NE(refusal("1e300", basic(MMS_FLOAT, 32)), "");
    EXPECT_NE(refusal("nan", basic(MMS_FLOAT, 32)), "");
    EXPECT_NE(refusal("", basic(MMS_FLOAT, 32)), "");
}

TEST(ValueParser, StringsKeepTheirTextAndTheirBounds) {
    EXPECT_EQ(parsed(" with blanks ", basic(MMS_VISIBLE_STRING, -64)),
              MmsValue::visibleString(" with blanks "));
    EXPECT_NE(refusal(std::string(65, 'a'), basic(MMS_VISIBLE_STRING, -64)), "");
    EXPECT_NE(refusal("tab\there", basic(MMS_VISIBLE_STRING, -64)), "");
    EXPECT_NE(refusal("Grüße", basic(MMS_VISIBLE_STRING, -64)), "") << "a visible string is ASCII";
    EXPECT_EQ(parsed("Grüße", basic(MMS_STRING, -5)), MmsValue::mmsString("Grüße")) << "five characters";
    EXPECT_NE(refusal("Grüßen", basic(MMS_STRING, -5)), "");

    EXPECT_EQ(parsed("00:1a FF", basic(MMS_OCTET_STRING, -6)),
              MmsValue::octetString(std::vector<uint8_t>{0x00, 0x1a, 0xff}));
    EXPECT_EQ(parsed("0x0102030405060708", basic(MMS_OCTET_STRING, 8)).octets().size(), 8u);
    EXPECT_NE(refusal("010203", basic(MMS_OCTET_STRING, 8)), "") << "an EntryID is exactly eight octets";
    EXPECT_NE(refusal("0g", basic(MMS_OCTET_STRING, -6)), "");
    EXPECT_NE(refusal("abc", basic(MMS_OCTET_STRING, -6)), "");
}

TEST(ValueParser, BitStringsAreWrittenFirstBitFirst) {
    const MmsValue trgOps = parsed("0b011001", basic(MMS_BIT_STRING, -6));
    ASSERT_EQ(trgOps.bitCount(), 6u);
    EXPECT_FALSE(trgOps.bit(0));
    EXPECT_TRUE(trgOps.bit(1));
    EXPECT_TRUE(trgOps.bit(2));
    EXPECT_TRUE(trgOps.bit(5));
    EXPECT_EQ(parsed("0b00 0000 0000 000", basic(MMS_BIT_STRING, -13)).bitCount(), 13u);
    EXPECT_NE(refusal("0b00000000000000", basic(MMS_BIT_STRING, -13)), "") << "14 bits for a quality";
    EXPECT_NE(refusal("0b1", basic(MMS_BIT_STRING, 2)), "") << "a double point takes exactly two";
    EXPECT_NE(refusal("0110", basic(MMS_BIT_STRING, -6)), "");
    EXPECT_NE(refusal("0b012", basic(MMS_BIT_STRING, -6)), "");
}

TEST(ValueParser, TimesAreIsoInUtc) {
    const MmsValue utc = parsed("2026-12-07T14:03:00.250Z", basic(MMS_UTC_TIME));
    EXPECT_EQ(utc.utcTimeMs(), 1796652180250u);
    EXPECT_EQ(parsed("1970-01-01T00:00:01", basic(MMS_UTC_TIME)).utcTimeMs(), 1000u);
    TypeSpec withDate = basic(MMS_BINARY_TIME);
    withDate.binaryTimeWithDate = true;
    const MmsValue entryTime = parsed("2026-12-07T14:03:00.250Z", withDate);
    EXPECT_TRUE(entryTime.binaryTimeHasDate());
    EXPECT_NE(refusal("2026-04-31T00:00:00Z", basic(MMS_UTC_TIME)), "") << "no 31 April";
    EXPECT_NE(refusal("2026-12-07 14:03:00", basic(MMS_UTC_TIME)), "");
    EXPECT_NE(refusal("2026-12-07T14:03:00+01:00", basic(MMS_UTC_TIME)), "");
}

TEST(ValueParser, StructuresAndMissingTypesAreNotParsed) {
    TypeSpec structure;
    structure.type = MMS_STRUCTURE;
    structure.components.push_back({"f", basic(MMS_FLOAT, 32)});
    EXPECT_NE(refusal("1.0", structure), "");
    EXPECT_FALSE(valueedit::parseValue("1", nullptr).value);
}

}  // namespace
