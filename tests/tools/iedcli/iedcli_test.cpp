// iedcli against the simulator on a loopback port: what each verb prints and its exit status.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "server/simulated_server.h"

namespace {

using iecstack::server::SimulatedServer;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

Outcome iedcli(const std::vector<std::string>& args) {
    std::string command = KORVAN_IEDCLI;
    for (const std::string& a : args) {
        std::string quoted = "'";
        for (char c : a) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        command += " " + quoted + "'";
    }
    char outPath[] = "/tmp/iedcli_outXXXXXX";
    char errPath[] = "/tmp/iedcli_errXXXXXX";
    ::close(::mkstemp(outPath));
    ::close(::mkstemp(errPath));
    const int raw = std::system((command + " >" + outPath + " 2>" + errPath).c_str());
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

class IedcliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ied_ = SimulatedServer::start(kSampleBay, SimulatedServer::Options{}, &error);
        ASSERT_TRUE(ied_) << error;
        device_ = "127.0.0.1:" + std::to_string(ied_->port());
    }
    Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), device_);
        return iedcli(args);
    }

    std::unique_ptr<SimulatedServer> ied_;
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
    EXPECT_EQ(iedcli({"127.0.0.1", "write", "LD/LN.DO", "CF"}).status, 2);
}

TEST(IedcliArguments, NoConnectionExitsWithTwoAndSaysWhy) {
    // A port nobody listens on: the simulator's, after it stopped.
    std::string error;
    auto ied = SimulatedServer::start(kSampleBay, SimulatedServer::Options{}, &error);
    ASSERT_TRUE(ied);
    const std::string address = "127.0.0.1:" + std::to_string(ied->port());
    ied.reset();
    const Outcome run = iedcli({address, "read", "BAY1CTRL/LLN0.Mod.stVal", "ST"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no connection"), std::string::npos) << run.err;
}

TEST_F(IedcliTest, ReadPrintsTheTreeTextUnderEachConstraint) {
    const Outcome one = run({"read", "BAY1MEAS/MMXU1.TotW.mag.f", "MX"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "BAY1MEAS/MMXU1.TotW.mag.f[MX]\t42800\n");

    const Outcome all = run({"read", "BAY1CTRL/LLN0.Mod"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("BAY1CTRL/LLN0.Mod.stVal[ST]\tOn (1)\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("BAY1CTRL/LLN0.Mod.ctlModel[CF]\tStatus only (0)\n"), std::string::npos) << all.out;

    const Outcome missing = run({"read", "BAY1CTRL/LLN0.Nothing", "ST"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("object-non-existent"), std::string::npos) << missing.err;
}

TEST_F(IedcliTest, WriteTypesTheValueAndReportsRefusals) {
    EXPECT_EQ(run({"write", "BAY1MEAS/MMXU1.TotW.db", "CF", "800"}).status, 0);
    EXPECT_EQ(run({"read", "BAY1MEAS/MMXU1.TotW.db", "CF"}).out, "BAY1MEAS/MMXU1.TotW.db[CF]\t800\n");

    const Outcome denied = run({"write", "BAY1CTRL/LLN0.Mod.stVal", "ST", "2"});
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.err.find("object-access-denied"), std::string::npos) << denied.err;
    EXPECT_EQ(std::count(denied.err.begin(), denied.err.end(), '\n'), 1) << "one line";

    const Outcome unfit = run({"write", "BAY1MEAS/MMXU1.TotW.db", "CF", "-1"});
    EXPECT_EQ(unfit.status, 2) << "a value the type cannot hold is not sent";
    EXPECT_EQ(run({"read", "BAY1MEAS/MMXU1.TotW.db", "CF"}).out, "BAY1MEAS/MMXU1.TotW.db[CF]\t800\n");
}

TEST_F(IedcliTest, RcbSetsTriggerOptionsAndIntegrityPeriod) {
    const Outcome set = run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt01", "TrgOps=0b010001", "IntgPd=3000"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("BAY1CTRL/LLN0.IndRpt01.IntgPd[RP]\t3000\n"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("BAY1CTRL/LLN0.IndRpt01.RptID[RP]\tBAY1/Indications\n"), std::string::npos);

    const Outcome wrong = run({"rcb", "BAY1CTRL/LLN0.RP.IndRpt01", "ConfRev=7"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(run({"rcb", "BAY1CTRL/LLN0.IndRpt01"}).status, 2);
}

TEST_F(IedcliTest, SgActivatesAndEditsGroups) {
    EXPECT_EQ(run({"sg", "activate", "2"}).status, 0);
    EXPECT_EQ(run({"read", "BAY1MEAS/PTOC1.OpDlTmms.setVal", "SG"}).out,
              "BAY1MEAS/PTOC1.OpDlTmms.setVal[SG]\t250\n");
    EXPECT_EQ(run({"sg", "BAY1MEAS", "edit", "2", "BAY1MEAS/PTOC1.OpDlTmms.setVal=275"}).status, 0);
    EXPECT_EQ(run({"read", "BAY1MEAS/PTOC1.OpDlTmms.setVal", "SG"}).out,
              "BAY1MEAS/PTOC1.OpDlTmms.setVal[SG]\t275\n");
    EXPECT_EQ(run({"sg", "activate", "3"}).status, 1);
    EXPECT_EQ(run({"sg", "confirm"}).status, 1) << "the edit ended with the call that made it";
    EXPECT_EQ(run({"sg", "BAY1CTRL", "activate", "1"}).status, 1) << "no setting groups there";
    EXPECT_EQ(run({"sg", "switch"}).status, 2);
}

TEST_F(IedcliTest, OperateSelectsWhereTheModelAsks) {
    EXPECT_EQ(run({"operate", "BAY1CTRL/GGIO1.SPCSO2", "true"}).status, 0);
    EXPECT_EQ(run({"read", "BAY1CTRL/GGIO1.SPCSO2.stVal", "ST"}).out, "BAY1CTRL/GGIO1.SPCSO2.stVal[ST]\t1\n");
    const Outcome sbo = run({"operate", "BAY1CTRL/GGIO1.SPCSO5", "true"});
    EXPECT_EQ(sbo.status, 0) << sbo.err;
    const Outcome statusOnly = run({"operate", "BAY1CTRL/GGIO1.SPCSO1", "true"});
    EXPECT_EQ(statusOnly.status, 1) << statusOnly.err;
    EXPECT_EQ(run({"operate", "BAY1CTRL/GGIO1.SPCSO2", "maybe"}).status, 2);
}

}  // namespace
