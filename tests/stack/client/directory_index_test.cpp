#include "directory_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using iecstack::client::DirectoryIndex;
using Names = std::vector<std::string>;

namespace {

// The shape a server lists: sorted case-insensitively, every level its own name, one data object
// ("Mod") under two constraints, control blocks under RP and BR, a GOOSE block under GO.
const Names kNames = {
    "GGIO1",
    "GGIO1$CF",
    "GGIO1$CF$Mod",
    "GGIO1$CF$Mod$ctlModel",
    "GGIO1$MX",
    "GGIO1$MX$AnIn1",
    "GGIO1$MX$AnIn1$mag",
    "GGIO1$MX$AnIn1$mag$f",
    "GGIO1$MX$AnIn1$q",
    "GGIO1$ST",
    "GGIO1$ST$Mod",
    "GGIO1$ST$Mod$q",
    "GGIO1$ST$Mod$stVal",
    "LLN0",
    "LLN0$BR",
    "LLN0$BR$Meas01",
    "LLN0$BR$Meas01$RptID",
    "LLN0$GO",
    "LLN0$GO$Gcb01",
    "LLN0$GO$Gcb01$GoID",
    "LLN0$RP",
    "LLN0$RP$Events01",
    "LLN0$RP$Events01$RptEna",
    "LLN0$RP$Events01$RptID",
    "LLN0$ST",
    "LLN0$ST$Beh",
    "LLN0$ST$Beh$stVal",
};

TEST(DirectoryIndexTest, LogicalNodesAndTheirElementsKeepServerOrder) {
    const DirectoryIndex index(kNames);
    EXPECT_EQ(index.logicalNodes(), (Names{"GGIO1", "LLN0"}));
    // A data object listed under two constraints is one data object, at its first place.
    EXPECT_EQ(*index.dataObjects("GGIO1"), (Names{"Mod", "AnIn1"}));
    // Control blocks are no data objects; GOOSE blocks belong to no list asked for here.
    EXPECT_EQ(*index.dataObjects("LLN0"), (Names{"Beh"}));
    EXPECT_EQ(*index.elementsUnder("LLN0", "RP"), (Names{"Events01"}));
    EXPECT_EQ(*index.elementsUnder("LLN0", "BR"), (Names{"Meas01"}));
    EXPECT_EQ(*index.elementsUnder("LLN0", "GO"), (Names{"Gcb01"}));
    EXPECT_TRUE(index.elementsUnder("GGIO1", "RP")->empty());
    EXPECT_EQ(index.elementsUnder("MMXU1", "RP"), nullptr);
    EXPECT_EQ(index.dataObjects("MMXU1"), nullptr);
}

TEST(DirectoryIndexTest, ChildrenCarryTheirConstraintAndMergeAcrossConstraints) {
    const DirectoryIndex index(kNames);
    EXPECT_EQ(*index.children("GGIO1.Mod"), (Names{"ctlModel[CF]", "q[ST]", "stVal[ST]"}));
    EXPECT_EQ(*index.children("GGIO1.AnIn1"), (Names{"mag[MX]", "q[MX]"}));
    EXPECT_EQ(*index.children("GGIO1.AnIn1.mag"), (Names{"f[MX]"}));
    EXPECT_EQ(*index.children("LLN0.Events01"), (Names{"RptEna[RP]", "RptID[RP]"}));
}

TEST(DirectoryIndexTest, LeafIsEmptyAndUnknownElementIsAbsent) {
    const DirectoryIndex index(kNames);
    ASSERT_NE(index.children("GGIO1.AnIn1.mag.f"), nullptr);
    EXPECT_TRUE(index.children("GGIO1.AnIn1.mag.f")->empty());
    EXPECT_EQ(index.children("GGIO1.AnIn2"), nullptr);
    EXPECT_EQ(index.children("GGIO1.AnIn1.mag.f.x"), nullptr);
    // The constraint level is no element of the object tree.
    EXPECT_EQ(index.children("GGIO1.MX"), nullptr);
}

TEST(DirectoryIndexTest, RepeatedNamesFromOverlappingContinuationAppearOnce) {
    Names names = kNames;
    names.insert(names.end(), {"GGIO1$ST$Mod$stVal", "LLN0"});
    const DirectoryIndex index(names);
    EXPECT_EQ(index.logicalNodes(), (Names{"GGIO1", "LLN0"}));
    EXPECT_EQ(*index.children("GGIO1.Mod"), (Names{"ctlModel[CF]", "q[ST]", "stVal[ST]"}));
}

// Long lists are kept apart from short ones differently: repeats must still appear once, in order,
// also when the list grows past the length where that changes.
TEST(DirectoryIndexTest, LongListsKeepEachNameOnceInOrder) {
    Names names{"GGIO1"};
    Names expected;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "Ind" + std::to_string(i);
        expected.push_back(name);
        names.insert(names.end(), {"GGIO1$ST$" + name, "GGIO1$ST$" + name + "$stVal"});
    }
    for (int i = 39; i >= 0; --i) {
        const std::string name = "Ind" + std::to_string(i);
        names.insert(names.end(), {"GGIO1$ST$" + name, "GGIO1$SV$" + name, "GGIO1$SV$" + name + "$stVal"});
    }
    Names children;
    for (int i = 0; i < 30; ++i) {
        children.push_back("a" + std::to_string(i) + "[ST]");
        names.push_back("GGIO1$ST$Ind0$a" + std::to_string(i));
    }
    names.push_back("GGIO1$ST$Ind0$a3");
    names.push_back("GGIO1$ST$Ind0$a25");
    const DirectoryIndex index(names);
    EXPECT_EQ(*index.dataObjects("GGIO1"), expected);
    EXPECT_EQ(*index.elementsUnder("GGIO1", "ST"), expected);
    EXPECT_EQ(*index.elementsUnder("GGIO1", "SV"), Names(expected.rbegin(), expected.rend()));
    children.insert(children.begin(), {"stVal[ST]", "stVal[SV]"});
    EXPECT_EQ(*index.children("GGIO1.Ind0"), children);
}

TEST(DirectoryIndexTest, OddNamesFromAServerDoNotBreakTheIndex) {
    const DirectoryIndex index(Names{"", "$ST$x", "LN1$$", "LN1$ST$$", "LN1$ST$DO$"});
    EXPECT_TRUE(index.logicalNodes().empty());
    EXPECT_NE(index.children("LN1.DO"), nullptr);
}

}  // namespace
