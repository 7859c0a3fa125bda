#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "listedchildren.h"
#include "objectreference.h"

namespace {

using Names = std::vector<std::string>;

// The children the walk shows, by name, with the names split as the walk splits them.
Names shownOf(const Names& children) {
    std::vector<std::string_view> shown;
    for (const std::string& child : children) {
        shown.push_back(iec61850::listedWithoutFc(child));
    }
    Names picked;
    for (const size_t i : iec61850::childrenToShow(children, shown)) {
        picked.push_back(children[i]);
    }
    return picked;
}

// Short lists are scanned and long ones go through sets: both must pick the same children.
Names padded(Names children, size_t to) {
    for (size_t i = children.size(); i < to; ++i) {
        children.push_back("pad" + std::to_string(i) + "[ST]");
    }
    return children;
}

}  // namespace

// A name under a second constraint would give a second line with the same reference.
TEST(ListedChildren, NameUnderTwoConstraintsShownOnceUnderTheFirst) {
    for (const size_t size : {size_t(0), size_t(100)}) {
        const Names shown = shownOf(padded({"stVal[ST]", "q[ST]", "stVal[SV]", "q[MX]", "t[ST]"}, size));
        EXPECT_EQ(Names(shown.begin(), shown.begin() + 3), (Names{"stVal[ST]", "q[ST]", "t[ST]"})) << size;
    }
}

// The SE value belongs to the group being edited; reading it outside an edit fails.
TEST(ListedChildren, SettingShownUnderSgWhicheverComesFirst) {
    for (const size_t size : {size_t(0), size_t(100)}) {
        const Names shown = shownOf(padded({"setVal[SE]", "other[SE]", "setVal[SG]", "x[CF]"}, size));
        EXPECT_EQ(Names(shown.begin(), shown.begin() + 3), (Names{"other[SE]", "setVal[SG]", "x[CF]"}))
            << size;
    }
}

TEST(ListedChildren, EmptyAndUnconstrainedNames) {
    EXPECT_TRUE(shownOf({}).empty());
    EXPECT_EQ(shownOf({"a", "a", "b[XX]", "b"}), (Names{"a", "b[XX]"}));
}

// The octet forms must split exactly as the QString forms the rest of the engine uses.
TEST(ListedNames, SplitAsTheQStringForms) {
    for (const std::string name : {"stVal[ST]", "stVal", "stVal[st]", "stVal[STX]", "a[ST]b[MX]", "x[QQ]",
                                   "[ST]", "ab]", "[SV]tail"}) {
        const QString q = QString::fromStdString(name);
        EXPECT_EQ(iec61850::listedFc(name), iec61850::extractFc(q)) << name;
        EXPECT_EQ(QString::fromStdString(std::string(iec61850::listedWithoutFc(name))),
                  iec61850::withoutFc(q))
            << name;
    }
    EXPECT_TRUE(iec61850::isAscii("LD0/LLN0.Mod"));
    EXPECT_FALSE(iec61850::isAscii("Ind\xc3\xa9"));
}

// A read goes out under the names these give; they must match the QByteArray forms exactly.
TEST(ListedNames, MmsNamesIntoBuffersMatch) {
    for (const char* ref : {"LD0/LLN0.Mod.stVal", "LD0/LLN0", "/LLN0.Mod", "LD0/.Mod", "LD0.x/LN.a.b",
                            "LD0/LN.a.b.c.d", "LD0", "LD\xc3\xa9/LN.\xc3\xa9.x"}) {
        for (const char* fc : {"[ST]", "[MX]", "", "[S]"}) {
            QByteArray domain;
            QByteArray item;
            std::string domainText = "stale";
            std::string itemText = "stale";
            const QString reference = QString::fromUtf8(ref);
            const bool named = iec61850::mmsNameOf(reference, fc, &domain, &item);
            EXPECT_EQ(iec61850::mmsNameOf(reference, fc, &domainText, &itemText), named) << ref << fc;
            if (named) {
                EXPECT_EQ(domainText, domain.toStdString()) << ref << fc;
                EXPECT_EQ(itemText, item.toStdString()) << ref << fc;
            }
        }
    }
}

// A device's names by logical node: a sorted list keeps its order and each node gets its run; a list
// that is not sorted is grouped with each node's names in their listed order, so a node's index sees
// the names a whole device's index would, in the same order.
TEST(ListedNames, GroupedByLogicalNode) {
    using Runs = std::unordered_map<std::string_view, std::pair<size_t, size_t>>;
    const auto namesOf = [](const std::vector<std::string_view>& names, const Runs& runs,
                            std::string_view node) {
        std::vector<std::string_view> of;
        const auto run = runs.find(node);
        if (run != runs.end()) {
            of.assign(names.begin() + std::ptrdiff_t(run->second.first),
                      names.begin() + std::ptrdiff_t(run->second.second));
        }
        return of;
    };
    std::vector<std::string_view> sorted{"CSWI1", "CSWI1$ST", "CSWI1$ST$Pos", "LLN0", "LLN0$ST", "XCBR1$CO"};
    const std::vector<std::string_view> before = sorted;
    Runs runs;
    iec61850::groupByNode(&sorted, &runs);
    EXPECT_EQ(sorted, before);
    EXPECT_EQ(runs.size(), 3u);
    EXPECT_EQ(namesOf(sorted, runs, "CSWI1"),
              (std::vector<std::string_view>{"CSWI1", "CSWI1$ST", "CSWI1$ST$Pos"}));
    EXPECT_EQ(namesOf(sorted, runs, "XCBR1"), (std::vector<std::string_view>{"XCBR1$CO"}));

    std::vector<std::string_view> mixed{"LLN0$ST", "CSWI1$ST$Pos", "LLN0", "",
                                        "CSWI1",   "LLN0$ST$Mod",  "$x",   "CSWI1$CF"};
    iec61850::groupByNode(&mixed, &runs);
    EXPECT_EQ(mixed.size(), 8u);
    EXPECT_EQ(namesOf(mixed, runs, "LLN0"),
              (std::vector<std::string_view>{"LLN0$ST", "LLN0", "LLN0$ST$Mod"}));
    EXPECT_EQ(namesOf(mixed, runs, "CSWI1"),
              (std::vector<std::string_view>{"CSWI1$ST$Pos", "CSWI1", "CSWI1$CF"}));
    EXPECT_EQ(namesOf(mixed, runs, ""), (std::vector<std::string_view>{"", "$x"}));
    EXPECT_TRUE(namesOf(mixed, runs, "XCBR1").empty());

    std::vector<std::string_view> none;
    iec61850::groupByNode(&none, &runs);
    EXPECT_TRUE(runs.empty());
}
