// iedcli against the simulator program on a loopback port: what each verb prints and its exit status,
// for values, blocks, setting groups and controls, and for the device's files and logs.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "closedport.h"
#include "simulatorprocess.h"

namespace {

using korvan::test::ClosedPort;
using korvan::test::SimulatorProcess;
namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string takeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return text;
}

std::string emptyFile(const char* pattern) {
    std::string path = std::string("/tmp/") + pattern;
    ::close(::mkstemp(path.data()));
    return path;
}

// Runs iedcli with `args`, no shell in between.
Outcome iedcli(const std::vector<std::string>& args) {
    const std::string outPath = emptyFile("iedcli_outXXXXXX");
    const std::string errPath = emptyFile("iedcli_errXXXXXX");
    std::vector<std::string> all{KORVAN_IEDCLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_TRUNC);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int raw = 0;
    ::waitpid(child, &raw, 0);
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = takeFile(outPath);
    run.err = takeFile(errPath);
    return run;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

std::vector<std::string> linesOf(const std::string& text) {
    return split(text, '\n');
}

std::vector<std::string> fieldsOf(const std::string& line) {
    return split(line, '\t');
}

class IedcliTest : public ::testing::Test {
protected:
    void SetUp() override { startWith({}); }
    void startWith(const std::vector<std::string>& options) {
        if (!SimulatorProcess::available()) {
            GTEST_SKIP() << "simulator not built";
        }
        ASSERT_TRUE(ied_.start(SimulatorProcess::sampleModel(), options)) << ied_.errorText();
        device_ = "127.0.0.1:" + std::to_string(ied_.port());
    }
    Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), device_);
        return iedcli(args);
    }
    std::string read(const std::string& reference, const std::string& fc) {
        return run({"read", reference, fc}).out;
    }

    SimulatorProcess ied_;
    std::string device_;
};

TEST(IedcliArguments, HelpListsTheVerbsAndBadArgumentsExitWithTwo) {
    const Outcome help = iedcli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* verb : {"read", "write", "rcb", "sg", "operate"}) {
        EXPECT_NE(help.out.find(std::string("  ") + verb), std::string::npos) << verb;
    }
    EXPECT_EQ(iedcli({}).status, 2);
    EXPECT_EQ(iedcli({"127.0.0.1", "erase", "x"}).status, 2);
    EXPECT_EQ(iedcli({"127.0.0.1:0", "read", "LD/LN.DO"}).status, 2);
    EXPECT_EQ(iedcli({"127.0.0.1:http", "read", "LD/LN.DO"}).status, 2);
    EXPECT_EQ(iedcli({"127.0.0.1", "write", "LD/LN.DO", "CF"}).status, 2);
}

TEST(IedcliArguments, NoConnectionExitsWithTwoAndSaysWhy) {
    const ClosedPort closed;
    const Outcome run =
        iedcli({"127.0.0.1:" + std::to_string(closed.port()), "read", "LD/LLN0.Mod.stVal", "ST"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no connection"), std::string::npos) << run.err;
}

TEST_F(IedcliTest, ReadPrintsTheTreeTextUnderEachConstraint) {
    const Outcome one = run({"read", "BAY1CTRL/LLN0.Mod.ctlModel", "CF"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "BAY1CTRL/LLN0.Mod.ctlModel[CF]\tStatus only (0)\n");

    const Outcome all = run({"read", "BAY1CTRL/LLN0.Mod"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("BAY1CTRL/LLN0.Mod.stVal[ST]\t"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("BAY1CTRL/LLN0.Mod.ctlModel[CF]\tStatus only (0)\n"), std::string::npos)
        << all.out;

    const Outcome missing = run({"read", "BAY1CTRL/LLN0.Nothing", "ST"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("object-non-existent"), std::string::npos) << missing.err;
}

TEST_F(IedcliTest, WriteTypesTheValueAndReportsRefusals) {
    EXPECT_EQ(run({"write", "BAY1MEAS/MMXU1.TotW.db", "CF", "800"}).status, 0);
    EXPECT_EQ(read("BAY1MEAS/MMXU1.TotW.db", "CF"), "BAY1MEAS/MMXU1.TotW.db[CF]\t800\n");

    const Outcome denied = run({"write", "BAY1CTRL/LLN0.Mod.stVal", "ST", "2"});
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.err.find("object-access-denied"), std::string::npos) << denied.err;
    EXPECT_EQ(std::count(denied.err.begin(), denied.err.end(), '\n'), 1) << "one line";

    const Outcome unfit = run({"write", "BAY1MEAS/MMXU1.TotW.db", "CF", "-1"});
    EXPECT_EQ(unfit.status, 2) << "a value the type cannot hold is not sent";
    EXPECT_EQ(read("BAY1MEAS/MMXU1.TotW.db", "CF"), "BAY1MEAS/MMXU1.TotW.db[CF]\t800\n");
}

TEST_F(IedcliTest, RcbSetsTriggerOptionsAndIntegrityPeriodOrSaysWhyNot) {
    const Outcome set = run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt01", "TrgOps=0b010001", "IntgPd=3000"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("BAY1CTRL/LLN0.IndRpt01.IntgPd[RP]\t3000\n"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("BAY1CTRL/LLN0.IndRpt01.RptID[RP]\tBAY1/Indications\n"), std::string::npos);

    const Outcome wrong = run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt01", "ConfRev=7"});
    EXPECT_EQ(wrong.status, 1) << "ConfRev is the device's";
    EXPECT_EQ(run({"rcb", "BAY1CTRL/LLN0.IndRpt01"}).status, 2);
    EXPECT_EQ(run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt01", "IntgPd"}).status, 2);
}

TEST_F(IedcliTest, InterrogationPrintsTheReportItBrings) {
    const Outcome gi = run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt02", "RptEna=true", "GI=true"});
    ASSERT_EQ(gi.status, 0) << gi.err;
    const size_t report = gi.out.find("report\tBAY1/Indications\n");
    ASSERT_NE(report, std::string::npos) << gi.out;
    EXPECT_NE(gi.out.find("BAY1CTRL/GGIO1.Ind1.stVal[ST]\t0\n", report), std::string::npos) << gi.out;
    EXPECT_NE(gi.out.find("BAY1CTRL/GGIO1.ISCSO1.stVal[ST]\t"), std::string::npos) << "every member";
    EXPECT_NE(gi.out.find("BAY1CTRL/LLN0.IndRpt02.RptEna[RP]\t1\n", report), std::string::npos)
        << "the block after the report";
}

TEST_F(IedcliTest, SubstitutedValueIsReadAndReported) {
    EXPECT_EQ(run({"write", "BAY1CTRL/GGIO1.Ind1.subVal", "SV", "true"}).status, 0);
    EXPECT_EQ(run({"write", "BAY1CTRL/GGIO1.Ind1.subEna", "SV", "true"}).status, 0);
    EXPECT_EQ(read("BAY1CTRL/GGIO1.Ind1.stVal", "ST"), "BAY1CTRL/GGIO1.Ind1.stVal[ST]\t1\n");
    const Outcome gi = run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt01", "RptEna=true", "GI=true"});
    EXPECT_NE(gi.out.find("BAY1CTRL/GGIO1.Ind1.stVal[ST]\t1\n"), std::string::npos) << gi.out << gi.err;

    EXPECT_EQ(run({"write", "BAY1CTRL/GGIO1.Ind1.subEna", "SV", "false"}).status, 0);
    EXPECT_EQ(read("BAY1CTRL/GGIO1.Ind1.stVal", "ST"), "BAY1CTRL/GGIO1.Ind1.stVal[ST]\t0\n");
}

TEST_F(IedcliTest, SgActivatesAndEditsGroups) {
    EXPECT_EQ(run({"sg", "activate", "2"}).status, 0);
    EXPECT_EQ(read("BAY1MEAS/PTOC1.OpDlTmms.setVal", "SG"), "BAY1MEAS/PTOC1.OpDlTmms.setVal[SG]\t250\n");
    const Outcome edit = run({"sg", "BAY1MEAS", "edit", "2", "BAY1MEAS/PTOC1.OpDlTmms.setVal=275"});
    EXPECT_EQ(edit.status, 0) << edit.err;
    EXPECT_EQ(read("BAY1MEAS/PTOC1.OpDlTmms.setVal", "SG"), "BAY1MEAS/PTOC1.OpDlTmms.setVal[SG]\t275\n");
    EXPECT_EQ(run({"sg", "activate", "1"}).status, 0);
    EXPECT_EQ(read("BAY1MEAS/PTOC1.OpDlTmms.setVal", "SG"), "BAY1MEAS/PTOC1.OpDlTmms.setVal[SG]\t100\n");

    EXPECT_EQ(run({"sg", "activate", "3"}).status, 1) << "two groups";
    EXPECT_EQ(run({"sg", "confirm"}).status, 1) << "the edit ended with the call that made it";
    EXPECT_EQ(run({"sg", "BAY1CTRL", "activate", "1"}).status, 1) << "no setting groups there";
    EXPECT_EQ(run({"sg", "switch"}).status, 2);
    const Outcome refusedValue = run({"sg", "edit", "1", "BAY1MEAS/PTOC1.OpDlTmms.setVal=ten"});
    EXPECT_EQ(refusedValue.status, 2);
    EXPECT_EQ(run({"sg", "activate", "1"}).status, 0);
    EXPECT_EQ(read("BAY1MEAS/PTOC1.OpDlTmms.setVal", "SG"), "BAY1MEAS/PTOC1.OpDlTmms.setVal[SG]\t100\n")
        << "an edit that failed midway changed nothing";
}

TEST_F(IedcliTest, OperateSelectsWhereTheModelAsks) {
    EXPECT_EQ(run({"operate", "BAY1CTRL/GGIO1.SPCSO2", "true"}).status, 0);
    EXPECT_EQ(read("BAY1CTRL/GGIO1.SPCSO2.stVal", "ST"), "BAY1CTRL/GGIO1.SPCSO2.stVal[ST]\t1\n");
    const Outcome sbo = run({"operate", "BAY1CTRL/GGIO1.SPCSO3", "true"});
    EXPECT_EQ(sbo.status, 0) << sbo.err;
    const Outcome enhanced = run({"operate", "BAY1CTRL/GGIO1.SPCSO5", "true"});
    EXPECT_EQ(enhanced.status, 0) << enhanced.err;
    EXPECT_EQ(read("BAY1CTRL/GGIO1.SPCSO5.stVal", "ST"), "BAY1CTRL/GGIO1.SPCSO5.stVal[ST]\t1\n");
    const Outcome statusOnly = run({"operate", "BAY1CTRL/GGIO1.SPCSO1", "true"});
    EXPECT_EQ(statusOnly.status, 1) << statusOnly.err;
    EXPECT_EQ(run({"operate", "BAY1CTRL/GGIO1.SPCSO2", "maybe"}).status, 2);
}

// A copy of the sample record the simulator serves, so that a test may delete from it.
class IedcliFilesTest : public IedcliTest {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/iedcli_filesXXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        served_ = pattern;
        fs::copy(std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/files", served_,
                 fs::copy_options::recursive);
        char local[] = "/tmp/iedcli_localXXXXXX";
        ASSERT_NE(::mkdtemp(local), nullptr);
        local_ = local;
        startWith({"--files", served_});
    }
    void TearDown() override {
        fs::remove_all(served_);
        fs::remove_all(local_);
    }

    std::string served_;
    std::string local_;
};

const std::string kRecord = "/COMTRADE/BAY1_20261201_101500";

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(IedcliFilesTest, FilesListsGetFetchesAndRmDeletes) {
    const Outcome listing = run({"files", "/COMTRADE"});
    ASSERT_EQ(listing.status, 0) << listing.err;
    const std::string cfg = served_ + kRecord + ".cfg";
    EXPECT_NE(listing.out.find("BAY1_20261201_101500.cfg\t" + std::to_string(fs::file_size(cfg)) + "\t20"),
              std::string::npos)
        << listing.out;
    EXPECT_EQ(std::count(listing.out.begin(), listing.out.end(), '\n'), 3) << listing.out;

    const Outcome get = run({"get", kRecord + ".dat", local_});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(contentOf(local_ + "/BAY1_20261201_101500.dat"), contentOf(served_ + kRecord + ".dat"));
    EXPECT_EQ(run({"get", kRecord + ".cfg", local_ + "/renamed.cfg"}).status, 0);
    EXPECT_EQ(contentOf(local_ + "/renamed.cfg"), contentOf(cfg));

    EXPECT_EQ(run({"rm", kRecord + ".hdr"}).status, 0);
    EXPECT_FALSE(fs::exists(served_ + kRecord + ".hdr"));
    const Outcome again = run({"rm", kRecord + ".hdr"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(std::count(again.err.begin(), again.err.end(), '\n'), 1) << again.err;
}

TEST_F(IedcliFilesTest, NamesOutsideTheServedFolderAreRefusedAndChangeNothing) {
    const std::string outside = local_ + "/precious.txt";
    std::ofstream(outside) << "keep";
    const std::string escape = "/../" + fs::path(local_).filename().string() + "/precious.txt";
    EXPECT_EQ(run({"rm", escape}).status, 1);
    EXPECT_TRUE(fs::exists(outside));
    const Outcome get = run({"get", escape, local_ + "/copy.txt"});
    EXPECT_EQ(get.status, 1) << get.out;
    EXPECT_FALSE(fs::exists(local_ + "/copy.txt"));
    EXPECT_EQ(run({"get", "/COMTRADE/..", local_}).status, 2) << "no name to save under";
}

TEST_F(IedcliTest, ADownloadCutShortLeavesNoFile) {
    char served[] = "/tmp/iedcli_bigXXXXXX";
    ASSERT_NE(::mkdtemp(served), nullptr);
    {
        std::ofstream big(std::string(served) + "/big.dat", std::ios::binary);
        for (int i = 0; i < 1500000; ++i) {
            big.put(static_cast<char>(i % 253));
        }
    }
    // Answers a few of the file's hundreds of reads, then nothing.
    SimulatorProcess frozen;
    ASSERT_TRUE(frozen.start(SimulatorProcess::sampleModel(),
                             {"--files", served, "--max-pdu", "2000", "--silent-after", "8"}))
        << frozen.errorText();
    const std::string local = std::string(served) + "/copy.dat";
    const Outcome cut = iedcli({"127.0.0.1:" + std::to_string(frozen.port()), "get", "/big.dat", local});
    EXPECT_NE(cut.status, 0);
    EXPECT_FALSE(fs::exists(local));
    EXPECT_FALSE(fs::exists(local + ".part"));
    fs::remove_all(served);
}

TEST_F(IedcliTest, LogPrintsEntriesByTimeAndAfterAnEntry) {
    // Two operates of an output in the logged data set: two entries.
    ASSERT_EQ(run({"operate", "BAY1CTRL/GGIO1.SPCSO2", "true"}).status, 0);
    ASSERT_EQ(run({"operate", "BAY1CTRL/GGIO1.SPCSO2", "false"}).status, 0);
    const Outcome all = run({"log", "BAY1CTRL/LLN0$EventLog"});
    ASSERT_EQ(all.status, 0) << all.err;
    const std::vector<std::string> entries = linesOf(all.out);
    ASSERT_EQ(entries.size(), 2u) << all.out;
    const std::vector<std::string> first = fieldsOf(entries[0]);
    ASSERT_EQ(first.size(), 5u) << entries[0];
    EXPECT_EQ(first[1].size(), 16u) << "eight octets in hexadecimal";
    EXPECT_NE(first[2].find("SPCSO2"), std::string::npos) << first[2];
    EXPECT_EQ(first[3], "1");
    EXPECT_EQ(first[4], "data-change");
    EXPECT_EQ(fieldsOf(entries[1])[3], "0");

    const Outcome after = run({"log", "BAY1CTRL/LLN0$EventLog", "--after", first[1], "--time", first[0]});
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(linesOf(after.out), std::vector<std::string>{entries[1]});
    const Outcome range = run(
        {"log", "BAY1CTRL/LLN0$EventLog", "--from", "2000-01-01T00:00:00Z", "--to", "2000-01-02T00:00:00Z"});
    EXPECT_EQ(range.status, 0);
    EXPECT_EQ(range.out, "");

    EXPECT_EQ(run({"log", "BAY1CTRL/LLN0$NoLog"}).status, 1);
    EXPECT_EQ(run({"log", "BAY1CTRL/LLN0$EventLog", "--after", first[1]}).status, 2)
        << "an entry needs its time";
    EXPECT_EQ(run({"log", "BAY1CTRL/LLN0$EventLog", "--from", "yesterday"}).status, 2);
}

TEST_F(IedcliTest, ALogControlBlockTakesAnotherDataSetOnlyWhileOff) {
    const std::string block = "BAY1CTRL/LLN0.EventLog";
    const Outcome enabled = run({"write", block + ".DatSet", "LG", "BAY1CTRL/LLN0$Positions"});
    EXPECT_EQ(enabled.status, 1);
    EXPECT_NE(enabled.err.find("temporarily-unavailable"), std::string::npos) << enabled.err;
    EXPECT_EQ(run({"write", block + ".NewEntr", "LG", "0000000000000009"}).status, 1);
    EXPECT_EQ(run({"write", block + ".LogEna", "LG", "false"}).status, 0);
    EXPECT_EQ(run({"write", block + ".DatSet", "LG", "BAY1CTRL/LLN0$Nothing"}).status, 1);
    EXPECT_EQ(run({"write", block + ".DatSet", "LG", "BAY1CTRL/LLN0$Positions"}).status, 0);
    EXPECT_EQ(read(block + ".DatSet", "LG"), block + ".DatSet[LG]\tBAY1CTRL/LLN0$Positions\n");
}

}  // namespace

#ifdef KORVAN_WITH_SCL
TEST_F(IedcliTest, CompareListsTheDifferencesAndExitsByThem) {
    const Outcome equal = run({"compare", SimulatorProcess::sampleModel()});
    EXPECT_EQ(equal.status, 0) << equal.err;
    EXPECT_EQ(equal.out, "");

    std::ifstream in(SimulatorProcess::sampleModel(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string from = R"(<DAI name="operTimeout"><Val>5000</Val></DAI>)";
    ASSERT_NE(text.find(from), std::string::npos);
    text.replace(text.find(from), from.size(), R"(<DAI name="operTimeout"><Val>7000</Val></DAI>)");
    const std::string changed = emptyFile("iedcli_sclXXXXXX");
    std::ofstream(changed, std::ios::binary) << text;
    const Outcome different = run({"compare", changed, "--ied", "BAY1"});
    std::remove(changed.c_str());
    EXPECT_EQ(different.status, 1) << different.err;
    EXPECT_EQ(different.out, "value: BAY1CTRL/CSWI1.Pos.operTimeout[CF]: device 5000, file 7000\n");

    const Outcome missing = run({"compare", "/nonexistent/model.icd"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("/nonexistent/model.icd: cannot open the file"), std::string::npos)
        << missing.err;
    EXPECT_EQ(run({"compare", SimulatorProcess::sampleModel(), "--ied"}).status, 2);
}

// The saved file holds the values the device has now, not those it started with: a setting changed
// before saving is what the simulator serving the file answers, and the file compares equal to it.
TEST_F(IedcliTest, SaveSclWritesTheCurrentModelAsAFileTheSimulatorServes) {
    ASSERT_EQ(run({"write", "BAY1MEAS/MMXU1.TotW.db", "CF", "800"}).status, 0);
    const std::string path = ::testing::TempDir() + "/iedcli_saved.icd";
    const Outcome saved = run({"save-scl", path});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out.rfind("saved 2 logical device(s), ", 0), 0u) << saved.out;
    EXPECT_EQ(saved.err, "");

    SimulatorProcess served;
    ASSERT_TRUE(served.start(path)) << served.errorText();
    const std::string device = "127.0.0.1:" + std::to_string(served.port());
    EXPECT_EQ(iedcli({device, "read", "BAY1MEAS/MMXU1.TotW.db", "CF"}).out,
              "BAY1MEAS/MMXU1.TotW.db[CF]\t800\n");
    const Outcome same = iedcli({device, "compare", path});
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    std::remove(path.c_str());

    const Outcome unwritable = run({"save-scl", "/nonexistent/model.icd"});
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.err.find("cannot write /nonexistent/model.icd"), std::string::npos)
        << unwritable.err;
    EXPECT_EQ(run({"save-scl"}).status, 2);
    EXPECT_EQ(run({"save-scl", path, "--ied"}).status, 2);
}
#endif
