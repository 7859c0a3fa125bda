#include <gtest/gtest.h>

#include <QString>

#include <string>
#include <vector>

#include "discoverywalk.h"

using iec61850::PlannedLines;
using iec61850::WalkEntry;

namespace {

std::string text(const QString& s) {
    return s.toStdString();
}

}  // namespace

// Every line gives back the reference and the name it was planned with, whether the name is the end of
// the reference or not, in any script, and after the room left over has been given back.
TEST(PlannedLines, ReferencesAndNamesComeBackAsPlanned) {
    struct Line {
        QString ref;
        QString shown;
    };
    const std::vector<Line> planned = {
        {"LD0", "LD0"},
        {"LD0/GGIO1", "GGIO1"},
        {"LD0/GGIO1.Ind\u00e91", "Ind\u00e91"},
        {"LD0/GGIO1.Ind\u00e91.stVal", "stVal"},
        {"totalLayers < layer", "orphan"},  // the name is not the end of its reference
        {"LD0/GGIO1.Mod", ""},              // an empty name
        {"LD0/GGIO1.\u03a9.x", "\u03a9.y"},
    };
    PlannedLines lines;
    std::vector<int> at;
    for (const Line& line : planned) {
        WalkEntry entry;
        entry.fc = "[ST]";
        at.push_back(lines.add(entry, line.ref, line.shown));
        WalkEntry failure;
        failure.kind = WalkEntry::Kind::Failure;
        lines.add(failure);
    }
    ASSERT_EQ(lines.size(), static_cast<int>(2 * planned.size()));
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < planned.size(); ++i) {
            const WalkEntry& entry = lines.at(at[i]);
            const QString ref = lines.reference(entry);
            EXPECT_EQ(text(ref), text(planned[i].ref));
            EXPECT_EQ(text(lines.shown(entry, ref)), text(planned[i].shown));
            EXPECT_EQ(text(entry.fc), "[ST]");
            EXPECT_EQ(lines.at(at[i] + 1).kind, WalkEntry::Kind::Failure);
            EXPECT_TRUE(lines.reference(lines.at(at[i] + 1)).isEmpty());
        }
        lines.squeeze();
    }
    lines.release();
    EXPECT_TRUE(lines.isEmpty());
}
