#include "mapping/member_reference.h"

#include <gtest/gtest.h>

namespace {

using iecstack::mapping::itemNameParts;
using iecstack::mapping::joinItemName;
using iecstack::mapping::memberReference;
using iecstack::mapping::variableReference;
using iecstack::mms::AccessSelection;
using iecstack::mms::ObjectName;
using iecstack::mms::VariableAccess;

TEST(MemberReferenceTest, ConstraintMovesToTheEnd) {
    EXPECT_EQ(memberReference("LD0", "GGIO1$ST$SPCSO1$stVal"), "LD0/GGIO1.SPCSO1.stVal[ST]");
    EXPECT_EQ(memberReference("LD0", "GGIO1$MX$AnIn1"), "LD0/GGIO1.AnIn1[MX]");
    EXPECT_EQ(memberReference("LD0", "GGIO1$MX"), "LD0/GGIO1.MX");
    // A server that writes the element into the name itself keeps it where it stands.
    EXPECT_EQ(memberReference("LD", "MHAI1$MX$HA$phsAHar(7)$cVal"), "LD/MHAI1.HA.phsAHar(7).cVal[MX]");
}

// The members of the harmonics data set of capture 06's server, as the reference client names them.
TEST(MemberReferenceTest, ArrayElementsAndTheirComponentsStayDistinct) {
    const char* item = "MHAI1$MX$HA$phsAHar";
    EXPECT_EQ(memberReference("LD", item, {AccessSelection::at(7)}), "LD/MHAI1.HA.phsAHar(7)[MX]");
    EXPECT_EQ(memberReference("LD", item, {AccessSelection::at(9), AccessSelection::named("cVal")}),
              "LD/MHAI1.HA.phsAHar(9).cVal[MX]");
    EXPECT_EQ(memberReference("LD", item,
                              {AccessSelection::at(11), AccessSelection::named("cVal"),
                               AccessSelection::named("mag"), AccessSelection::named("f")}),
              "LD/MHAI1.HA.phsAHar(11).cVal.mag.f[MX]");
    EXPECT_EQ(
        memberReference("LD", "GGIO1$MX$AnIn1", {AccessSelection::named("mag"), AccessSelection::named("f")}),
        "LD/GGIO1.AnIn1.mag.f[MX]");
    EXPECT_EQ(memberReference("LD", item, {AccessSelection::range(1, 3)}), "LD/MHAI1.HA.phsAHar(1..3)[MX]");
    EXPECT_EQ(memberReference("LD", item, {AccessSelection::all()}), "LD/MHAI1.HA.phsAHar(*)[MX]");
    // A malformed empty range from the wire must not wrap around.
    EXPECT_EQ(memberReference("LD", item, {AccessSelection::range(4294967295u, 0)}),
              "LD/MHAI1.HA.phsAHar(4294967295..4294967295)[MX]");
}

TEST(MemberReferenceTest, NamesWithoutADomainLiveInTheAskedOne) {
    VariableAccess inDomain{ObjectName::domain("OTHER", "LLN0$ST$Mod$stVal"), {}};
    VariableAccess vmd{ObjectName::vmd("LLN0$ST$Mod$stVal"), {AccessSelection::named("x")}};
    EXPECT_EQ(memberReference(inDomain, "LD"), "OTHER/LLN0.Mod.stVal[ST]");
    EXPECT_EQ(memberReference(vmd, "LD"), "LD/LLN0.Mod.stVal.x[ST]");
}

// Reports name their members by the MMS name; an element written as alternate access must land in the
// same text a server with the element in the name would send, or clients match the wrong member.
TEST(MemberReferenceTest, ReportDataReferencesKeepTheMmsName) {
    EXPECT_EQ(variableReference("LD", "GGIO1$ST$Ind1$stVal"), "LD/GGIO1$ST$Ind1$stVal");
    EXPECT_EQ(variableReference("LD", "MHAI1$MX$HA$phsAHar",
                                {AccessSelection::at(9), AccessSelection::named("cVal")}),
              "LD/MHAI1$MX$HA$phsAHar(9)$cVal");
    EXPECT_EQ(memberReference("LD", "MHAI1$MX$HA$phsAHar(9)$cVal"),
              memberReference("LD", "MHAI1$MX$HA$phsAHar",
                              {AccessSelection::at(9), AccessSelection::named("cVal")}));
}

TEST(MemberReferenceTest, ItemNamesSplitAtEveryDollarKeepingEmptyParts) {
    using Parts = std::vector<std::string_view>;
    EXPECT_EQ(itemNameParts("GGIO1$ST$Ind1"), (Parts{"GGIO1", "ST", "Ind1"}));
    EXPECT_EQ(itemNameParts("LLN0"), (Parts{"LLN0"}));
    EXPECT_EQ(itemNameParts(""), (Parts{""}));
    EXPECT_EQ(itemNameParts("$ST$$x$"), (Parts{"", "ST", "", "x", ""}));
    // Joined again, the parts give the name back, empty parts included.
    EXPECT_EQ(joinItemName({"", "ST", "", "x", ""}), "$ST$$x$");
    EXPECT_EQ(joinItemName({"LLN0"}), "LLN0");
}

}  // namespace
