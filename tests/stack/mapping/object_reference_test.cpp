#include "mapping/object_reference.h"

#include <gtest/gtest.h>

#include <string>

#include "mapping/member_reference.h"

using iecstack::mapping::kMaxReferenceLength;
using iecstack::mapping::memberReference;
using iecstack::mapping::ObjectReference;

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

// What the client asks for by reference comes back from the server under the same reference in
// directories and reports.
TEST(ObjectReferenceTest, ItemNamesComeBackAsTheSameReference) {
    for (const char* reference :
         {"LD0/GGIO1.SPCSO1.stVal", "LD0/LLN0.Mod", "IED1LD/MMXU1.PhV.phsA.cVal.mag.f"}) {
        const auto ref = ObjectReference::parse(reference);
        ASSERT_TRUE(ref) << reference;
        EXPECT_EQ(memberReference(ref->domain, ref->itemName("MX")), std::string(reference) + "[MX]");
    }
    const auto dataSet = ObjectReference::parse("LD0/LLN0.Events");
    EXPECT_EQ(dataSet->plainItemName(), "LLN0$Events");
    EXPECT_EQ(memberReference(dataSet->domain, dataSet->plainItemName()), "LD0/LLN0.Events");
    EXPECT_EQ(ObjectReference::parse("LD0/LLN0.BR.brcbEV01")->plainItemName(), "LLN0$BR$brcbEV01");
}

}  // namespace
