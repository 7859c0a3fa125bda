#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "namelist.h"

using iec61850::NameList;

// Every name must come back exactly and in order: lengths that need more than one octet, names
// longer than a block, empty names, names that share a start with the one before (or are the start of
// it, or the same, or share a start longer than 127 octets), and names that fill blocks up to their last
// octet. A name cut or shifted by one octet would plan a different model.
TEST(NameList, NamesComeBackExactlyAndInOrder) {
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i) {
        names.push_back("LN" + std::to_string(i % 97) + "$ST$Ind" + std::to_string(i) + "$stVal");
    }
    names.insert(names.begin() + 5, std::string(127, 'a'));
    names.insert(names.begin() + 6, std::string(128, 'b'));
    names.insert(names.begin() + 7, std::string());
    names.insert(names.begin() + 100, std::string(70000, 'c'));
    names.insert(names.begin() + 101, std::string(200000, 'd'));
    names.push_back(std::string(16384, 'e'));
    for (const char* name :
         {"LLN0$ST", "LLN0$ST$Mod", "LLN0$ST", "LLN0$ST", "LLN0", "", "LLN0$ST$Mod$q", "X"}) {
        names.push_back(name);
    }
    names.push_back(std::string(300, 'f') + "1");
    names.push_back(std::string(300, 'f') + "2");
    names.push_back(std::string(200, 'f'));
    names.push_back(std::string(70000, 'f') + "3");
    NameList list;
    for (const std::string& name : names) {
        list.append(name);
        EXPECT_EQ(list.back(), name);
    }
    ASSERT_EQ(list.size(), names.size());
    std::string storage = "left over";
    const std::vector<std::string_view> views = list.names(&storage);
    ASSERT_EQ(views.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(views[i], names[i]) << i;
    }
}

TEST(NameList, ReleasedListIsEmptyAndUsableAgain) {
    NameList list;
    EXPECT_TRUE(list.empty());
    std::string storage;
    EXPECT_TRUE(list.names(&storage).empty());
    list.append("GGIO10");
    list.release();
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(list.names(&storage).empty());
    // Nothing of the released names is shared with the first name after them.
    list.append("GGIO1");
    EXPECT_EQ(list.back(), "GGIO1");
    EXPECT_EQ(list.names(&storage), (std::vector<std::string_view>{"GGIO1"}));
}
