// A device compared with its configuration file: the simulator serves a file, or a copy of it changed
// in one place, and the comparison must find exactly that change.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "iec61850_client.h"
#include "modelcompare.h"
#include "sclfile.h"
#include "simulatorprocess.h"

using korvan::scl::Difference;
using korvan::test::SimulatorProcess;

namespace {

const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The sample with one piece of text replaced, written next to the test's working folder.
std::string changedCopy(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = readText(kSample);
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    const std::string path = ::testing::TempDir() + "/" + name + ".icd";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

korvan::scl::ModelSnapshot fileSnapshot(const std::string& path, const std::string& ied = {}) {
    auto file = korvan::scl::SclFile::open(path);
    EXPECT_TRUE(file.ok()) << (file.ok() ? "" : file.error().message);
    auto model = file->model(ied);
    EXPECT_TRUE(model.ok()) << (model.ok() ? "" : model.error().message);
    return korvan::scl::snapshotOf(**model);
}

korvan::scl::ModelSnapshot deviceSnapshot(const SimulatorProcess& simulator) {
    std::unique_ptr<std::remove_pointer_t<IedConnection>, void (*)(IedConnection)> connection(
        IedConnection_create(), IedConnection_destroy);
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", simulator.port());
    EXPECT_EQ(error, IED_ERROR_OK);
    auto snapshot = korvan::scl::readSnapshot(connection.get());
    EXPECT_TRUE(snapshot.ok()) << (snapshot.ok() ? "" : snapshot.error().message);
    IedConnection_close(connection.get());
    return snapshot.ok() ? std::move(snapshot).value() : korvan::scl::ModelSnapshot{};
}

// The differences of the device serving `served` from the sample file, one line each.
std::vector<std::string> differencesServing(const std::string& served) {
    SimulatorProcess simulator;
    if (!simulator.start(served)) {
        ADD_FAILURE() << simulator.errorText();
        return {"not served"};
    }
    std::vector<std::string> lines;
    for (const Difference& difference : compareModels(deviceSnapshot(simulator), fileSnapshot(kSample))) {
        lines.push_back(differenceLine(difference));
    }
    return lines;
}

}  // namespace

TEST(ModelCompare, DeviceServingItsOwnFileIsEqualToIt) {
    if (!SimulatorProcess::available()) {
        GTEST_SKIP() << "no simulator in this build";
    }
    for (const std::string& path :
         {kSample, std::string(KORVAN_TEST_DATA_DIR) + "/scl/iec61850bean-sample01.icd",
          std::string(KORVAN_TEST_DATA_DIR) + "/models/complex_array.icd"}) {
        SimulatorProcess simulator;
        ASSERT_TRUE(simulator.start(path)) << simulator.errorText();
        const auto differences = compareModels(deviceSnapshot(simulator), fileSnapshot(path));
        EXPECT_TRUE(differences.empty()) << path << ": " << differenceLine(differences.front());
    }
}

TEST(ModelCompare, EachKindOfChangeIsFoundWhereItWasMade) {
    if (!SimulatorProcess::available()) {
        GTEST_SKIP() << "no simulator in this build";
    }
    struct Change {
        const char* name;
        std::string from, to;
        std::vector<std::string> expected;
    };
    const std::vector<Change> changes = {
        {"node removed",
         R"(<LN lnClass="CILO" lnType="BAY_CILO" inst="1" prefix="">)",
         R"(<LN lnClass="CILO" lnType="BAY_CILO" inst="9" prefix="">)",
         {"only in the device: BAY1CTRL/CILO9", "only in the file: BAY1CTRL/CILO1"}},
        {"data set member dropped",
         R"(<FCDA ldInst="CTRL" lnClass="XCBR" lnInst="1" doName="OpCnt" daName="stVal" fc="ST"/>)",
         "",
         {"data set: BAY1CTRL/LLN0.Positions: member BAY1CTRL/XCBR1.OpCnt.stVal[ST] only in the file"}},
        {"type changed",
         R"(<DA name="stVal" bType="INT32" fc="ST" dchg="true"/>)",
         R"(<DA name="stVal" bType="INT16" fc="ST" dchg="true"/>)",
         {"type: BAY1CTRL/XCBR1.OpCnt.stVal[ST]: device INT16, file INT32"}},
        {"trigger options changed",
         R"(<TrgOps dchg="true" qchg="true" period="true" gi="true"/>)",
         R"(<TrgOps dchg="true" period="true" gi="true"/>)",
         {"report control: BAY1CTRL/LLN0.PosRpt01: TrgOps: device dchg period gi, file dchg qchg period gi",
          "report control: BAY1CTRL/LLN0.PosRpt02: TrgOps: device dchg period gi, file dchg qchg period gi"}},
        {"configuration value changed",
         R"(<DAI name="sboTimeout"><Val>30000</Val></DAI>)",
         R"(<DAI name="sboTimeout"><Val>20000</Val></DAI>)",
         {"value: BAY1CTRL/CSWI1.Pos.sboTimeout[CF]: device 20000, file 30000"}},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        EXPECT_EQ(differencesServing(changedCopy(change.name, change.from, change.to)), change.expected);
    }
}
