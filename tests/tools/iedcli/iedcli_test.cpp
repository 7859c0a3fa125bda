// iedcli against the simulator program on a loopback port: what each verb prints and its exit status.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "closedport.h"
#include "simulatorprocess.h"

namespace {

using korvan::test::ClosedPort;
using korvan::test::SimulatorProcess;

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

class IedcliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SimulatorProcess::available()) {
            GTEST_SKIP() << "simulator not built";
        }
        ASSERT_TRUE(ied_.start(SimulatorProcess::sampleModel())) << ied_.errorText();
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
#endif
