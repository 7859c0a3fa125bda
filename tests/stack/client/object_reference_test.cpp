#include "object_reference.h"

#include <gtest/gtest.h>

#include <string>

#include "functional_constraint.h"
#include "iec61850_client.h"

using iecstack::client::kMaxReferenceLength;
using iecstack::client::ObjectReference;

namespace {

TEST(ObjectReferenceTest, SplitsIntoDomainAndItemUnderAConstraint) {
    const auto ref = ObjectReference::parse("simpleIOGenericIO/GGIO1.AnIn1.mag.f");
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->domain, "simpleIOGenericIO");
    EXPECT_EQ(ref->logicalNode(), "GGIO1");
    EXPECT_EQ(ref->itemName("MX"), "GGIO1$MX$AnIn1$mag$f");
    EXPECT_EQ(ObjectReference::parse("LD0/LLN0")->itemName("ST"), "LLN0$ST");
}

TEST(ObjectReferenceTest, RefusesMalformedReferences) {
    for (const char* bad : {"", "LD0", "/LLN0.Mod", "LD0/", "LD0/LLN0..Mod", "LD0/.Mod", "LD0/LLN0.",
                            "LD0/LLN0$ST$Mod", "LD0/LLN0/Mod"}) {
        EXPECT_FALSE(ObjectReference::parse(bad)) << bad;
    }
}

TEST(ObjectReferenceTest, LongReferencesPassWholeUpToTheLimitAndAreRefusedBeyond) {
    // Well past the 129 characters some stacks cut references at.
    const std::string domain(64, 'D');
    std::string path = "LLN0";
    while (domain.size() + 1 + path.size() < 300) {
        path += ".Element";
    }
    const auto ref = ObjectReference::parse(domain + "/" + path);
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->domain, domain);
    EXPECT_EQ(ref->path, path);

    const std::string tooLong = domain + "/LLN0." + std::string(kMaxReferenceLength, 'x');
    EXPECT_FALSE(ObjectReference::parse(tooLong));
}

TEST(FunctionalConstraintTest, ReadsTheFirstTwoCharactersOnly) {
    EXPECT_EQ(FunctionalConstraint_fromString("ST"), IEC61850_FC_ST);
    EXPECT_EQ(FunctionalConstraint_fromString("GO"), IEC61850_FC_GO);
    EXPECT_EQ(FunctionalConstraint_fromString("MX]"), IEC61850_FC_MX);
    EXPECT_EQ(FunctionalConstraint_fromString("XX"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString("S"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString(nullptr), IEC61850_FC_NONE);
    EXPECT_STREQ(iecstack::client::functionalConstraintName(IEC61850_FC_BR), "BR");
    EXPECT_EQ(iecstack::client::functionalConstraintName(IEC61850_FC_ALL), nullptr);
}

}  // namespace
