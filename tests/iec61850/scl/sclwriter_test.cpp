// A device's model saved as a configuration file: the simulator serving the saved file must be
// discovered exactly as the device it was read from, for every file the simulator serves; and what a
// file cannot hold must be refused or left out, never written so that the file no longer loads.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "iec61850_client.h"
#include "modelsnapshot.h"
#include "sclfile.h"
#include "scltemplates.h"
#include "sclwriter.h"
#include "simulatorprocess.h"

using korvan::test::SimulatorProcess;
namespace fs = std::filesystem;

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What ieddump prints for the device on `port`.
std::string dump(uint16_t port) {
    const std::string command =
        std::string(KORVAN_IEDDUMP) + " 127.0.0.1 " + std::to_string(port) + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    char buffer[65536];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        out.append(buffer, n);
    }
    return out;
}

// The dump with time stamps set aside: the simulator sets them to its start.
std::vector<std::string> comparable(const std::string& dumpText) {
    static const std::regex time(R"(\d{4}[- ]\S*\s*\d\d:\d\d:\d\d)");
    std::vector<std::string> lines;
    std::istringstream in(dumpText);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) {
            fields.push_back(field);
        }
        if (fields.size() == 3 && fields[0] == "updateValue" && std::regex_search(fields[2], time)) {
            line = fields[0] + '\t' + fields[1] + "\t(time)";
        }
        lines.push_back(line);
    }
    return lines;
}

// The first line where two dumps part, for a readable failure.
std::string firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
        const std::string left = i < a.size() ? a[i] : "(end)";
        const std::string right = i < b.size() ? b[i] : "(end)";
        if (left != right) {
            return "line " + std::to_string(i + 1) + ":\n  device: " + left + "\n  saved:  " + right;
        }
    }
    return {};
}

korvan::scl::SavedModel saveFrom(uint16_t port, const std::string& path) {
    std::unique_ptr<std::remove_pointer_t<IedConnection>, void (*)(IedConnection)> connection(
        IedConnection_create(), IedConnection_destroy);
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", port);
    EXPECT_EQ(error, IED_ERROR_OK);
    korvan::scl::SaveOptions options;
    options.host = "127.0.0.1";
    options.port = port;
    auto saved = korvan::scl::saveDeviceModel(connection.get(), path, options);
    IedConnection_close(connection.get());
    EXPECT_TRUE(saved.ok()) << (saved.ok() ? "" : saved.error().message);
    return saved.ok() ? std::move(saved).value() : korvan::scl::SavedModel{};
}

struct Served {
    std::string path, ied;
};

void PrintTo(const Served& served, std::ostream* out) {
    *out << served.path << (served.ied.empty() ? "" : " IED " + served.ied);
}

// Every file and IED the simulator serves among the test models.
std::vector<Served> servedModels() {
    std::vector<std::string> paths = {std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd"};
    for (const char* folder : {"/scl", "/models"}) {
        for (const auto& entry : fs::directory_iterator(std::string(KORVAN_TEST_DATA_DIR) + folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".icd" || ext == ".scd" || ext == ".cid") {
                paths.push_back(entry.path().string());
            }
        }
    }
    std::sort(paths.begin() + 1, paths.end());
    std::vector<Served> served;
    for (const std::string& path : paths) {
        auto file = korvan::scl::SclFile::open(path);
        if (!file) {
            continue;  // the broken files of the collection
        }
        for (const auto& ied : file->ieds()) {
            if (file->model(file->ieds().size() > 1 ? ied.name : std::string()).ok()) {
                served.push_back({path, file->ieds().size() > 1 ? ied.name : std::string()});
            }
        }
    }
    return served;
}

std::string servedName(const ::testing::TestParamInfo<Served>& info) {
    std::string name =
        fs::path(info.param.path).stem().string() + (info.param.ied.empty() ? "" : "_" + info.param.ied);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

std::vector<std::string> simulatorArguments(const Served& served) {
    return served.ied.empty() ? std::vector<std::string>{} : std::vector<std::string>{"--ied", served.ied};
}

class SclRoundTrip : public ::testing::TestWithParam<Served> {};

}  // namespace

// Serve, discover, save, serve the saved file, discover again: the same model, data sets, control
// blocks and configuration values. Catches any part of a model the file loses or changes on the way.
TEST_P(SclRoundTrip, SavedFileServesTheSameModel) {
    if (!SimulatorProcess::available()) {
        GTEST_SKIP() << "no simulator in this build";
    }
    const Served& served = GetParam();
    SimulatorProcess original;
    ASSERT_TRUE(original.start(served.path, simulatorArguments(served))) << original.errorText();
    const std::vector<std::string> before = comparable(dump(original.port()));
    ASSERT_GT(before.size(), 2u);
    const std::string saved = ::testing::TempDir() + "/roundtrip_" + servedName({served, 0}) + ".icd";
    const auto result = saveFrom(original.port(), saved);
    original.kill();
    EXPECT_TRUE(result.omissions.empty()) << result.omissions.front();

    SimulatorProcess again;
    ASSERT_TRUE(again.start(saved)) << again.errorText();
    const std::vector<std::string> after = comparable(dump(again.port()));
    EXPECT_TRUE(before == after) << firstDifference(before, after);
    // Saving what the saved file serves gives the same file: the type ids depend on nothing else.
    const std::string savedAgain = saved + ".again";
    saveFrom(again.port(), savedAgain);
    EXPECT_EQ(readText(savedAgain).substr(readText(savedAgain).find("<LDevice")),
              readText(saved).substr(readText(saved).find("<LDevice")));
    std::remove(saved.c_str());
    std::remove(savedAgain.c_str());
}

namespace {

using iecstack::scl::Document;
using iecstack::scl::DoType;

const iecstack::scl::LogicalNode* findNode(const Document& doc, const std::string& iedName,
                                           const std::string& ld, const std::string& ln) {
    for (const auto& ied : doc.ieds) {
        for (const auto& ap : ied.accessPoints) {
            for (const auto& device : ap.logicalDevices) {
                const std::string name = device.ldName.empty() ? ied.name + device.inst : device.ldName;
                if ((!iedName.empty() && ied.name != iedName) || name != ld) {
                    continue;
                }
                if (device.ln0.name() == ln) {
                    return &device.ln0;
                }
                for (const auto& node : device.lns) {
                    if (node.name() == ln) {
                        return &node;
                    }
                }
            }
        }
    }
    return nullptr;
}

// Every class and enumeration the saved types claim, checked against the original's type of the same
// data object or attribute; `claims` counts them.
void compareClaims(const Document& saved, const DoType& mine, const Document& original, const DoType& theirs,
                   const std::string& where, int& claims) {
    if (!mine.cdc.empty()) {
        ++claims;
        EXPECT_EQ(mine.cdc, theirs.cdc) << where;
    }
    for (const auto& child : mine.children) {
        for (const auto& other : theirs.children) {
            if (other.name() != child.name()) {
                continue;
            }
            if (child.isSdo && other.isSdo) {
                compareClaims(saved, saved.templates.doTypes.at(child.sdoType), original,
                              original.templates.doTypes.at(other.sdoType), where + '.' + child.name(),
                              claims);
            } else if (!child.isSdo && !other.isSdo && child.attribute.bType == "Enum") {
                ++claims;
                EXPECT_EQ(other.attribute.bType, "Enum") << where + '.' + child.name();
            }
        }
    }
}

}  // namespace

// Classes and enumerations are written only where the attributes leave no doubt: whatever the saved
// file claims, the original file says too. Catches an inference that guesses.
TEST_P(SclRoundTrip, ClassesAndEnumerationsAgreeWithTheOriginal) {
    const Served& served = GetParam();
    auto file = korvan::scl::SclFile::open(served.path);
    ASSERT_TRUE(file.ok());
    auto model = file->model(served.ied);
    ASSERT_TRUE(model.ok());
    auto saved = korvan::scl::sclTextOf(korvan::scl::snapshotOf(**model), {});
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    auto savedFile = korvan::scl::SclFile::fromText(saved->text, "saved.icd");
    ASSERT_TRUE(savedFile.ok()) << savedFile.error().message;
    const Document& mine = savedFile->document();
    const Document& theirs = file->document();
    int claims = 0;
    for (const auto& device : mine.ieds.front().accessPoints.front().logicalDevices) {
        const std::string ld = device.ldName.empty() ? mine.ieds.front().name + device.inst : device.ldName;
        std::vector<const iecstack::scl::LogicalNode*> nodes = {&device.ln0};
        for (const auto& node : device.lns) {
            nodes.push_back(&node);
        }
        for (const auto* node : nodes) {
            const auto* original = findNode(theirs, served.ied, ld, node->name());
            ASSERT_NE(original, nullptr) << ld << '/' << node->name();
            const auto& originalType = theirs.templates.lnodeTypes.at(original->lnType);
            for (const auto& dataObject : mine.templates.lnodeTypes.at(node->lnType).dataObjects) {
                for (const auto& other : originalType.dataObjects) {
                    if (other.name == dataObject.name) {
                        compareClaims(mine, mine.templates.doTypes.at(dataObject.type), theirs,
                                      theirs.templates.doTypes.at(other.type),
                                      ld + '/' + node->name() + '.' + dataObject.name, claims);
                    }
                }
            }
        }
    }
    RecordProperty("claims", claims);
    EXPECT_GT(claims, 0) << "nothing inferred: the comparison checked nothing";
}

INSTANTIATE_TEST_SUITE_P(TestModels, SclRoundTrip, ::testing::ValuesIn(servedModels()), servedName);

namespace {

korvan::scl::ModelSnapshot sampleSnapshot() {
    auto file = korvan::scl::SclFile::open(SimulatorProcess::sampleModel());
    EXPECT_TRUE(file.ok());
    auto model = file->model({});
    EXPECT_TRUE(model.ok());
    return korvan::scl::snapshotOf(**model);
}

// Whether `text` loads and builds as a server's model; the reason when not.
std::string loadProblem(const std::string& text) {
    auto file = korvan::scl::SclFile::fromText(text, "saved.icd");
    if (!file) {
        return file.error().message;
    }
    auto model = file->model({});
    return model ? std::string() : model.error().message;
}

korvan::scl::NodeSnapshot* node(korvan::scl::ModelSnapshot& snapshot, const std::string& name) {
    for (auto& device : snapshot.devices) {
        for (auto& n : device.nodes) {
            if (device.name + '/' + n.name == name) {
                return &n;
            }
        }
    }
    return nullptr;
}

// Replaces the value of `object`.`attribute` in the node's part `fc`.
bool replaceValue(korvan::scl::NodeSnapshot& n, const std::string& fc, const std::string& object,
                  const std::string& attribute, MmsValue value) {
    for (auto& part : n.parts) {
        for (size_t i = 0; part.fc == fc && i < part.type.components.size(); ++i) {
            const auto& objectType = part.type.components[i].type;
            for (size_t j = 0; part.type.components[i].name == object && j < objectType.components.size();
                 ++j) {
                if (objectType.components[j].name == attribute) {
                    auto objects = part.value.elements();
                    auto attributes = objects[i].elements();
                    attributes[j] = std::move(value);
                    objects[i] = MmsValue::structure(attributes);
                    part.value = MmsValue::structure(objects);
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace

// Types are told apart by their whole description: one structure is one type wherever it came from,
// and a difference in any name, type or attribute is another type.
TEST(SclTemplates, IdsFollowTheStructure) {
    using Child = korvan::scl::TemplateSet::Child;
    korvan::scl::TemplateSet set;
    const std::vector<Child> vector = {{"BDA", {{"name", "mag"}, {"bType", "FLOAT32"}}, {}},
                                       {"BDA", {{"name", "ang"}, {"bType", "FLOAT32"}}, {}}};
    const std::string first = set.add("DAType", "DA", {}, vector);
    EXPECT_EQ(set.add("DAType", "DA", {}, vector), first);
    korvan::scl::TemplateSet other;
    EXPECT_EQ(other.add("DAType", "DA", {}, vector), first) << "ids must not depend on what came before";

    std::vector<Child> renamed = vector;
    renamed[1].attributes[0].second = "angle";
    std::vector<Child> retyped = vector;
    retyped[1].attributes[1].second = "FLOAT64";
    std::vector<Child> reordered = {vector[1], vector[0]};
    const std::vector<std::string> ids = {first,
                                          set.add("DAType", "DA", {}, renamed),
                                          set.add("DAType", "DA", {}, retyped),
                                          set.add("DAType", "DA", {}, reordered),
                                          set.add("DOType", "DA", {}, vector),
                                          set.add("DOType", "DA", {{"cdc", "CMV"}}, vector)};
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    EXPECT_EQ(set.size(), ids.size());
}

// A name a file cannot give, or a logical device without LLN0, is refused with the place named
// rather than written into a file the simulator then refuses.
TEST(SclWriter, RefusesWhatAFileCannotHold) {
    auto unnamed = sampleSnapshot();
    node(unnamed, "BAY1CTRL/CSWI1")->name = "CSWI";
    auto refused = korvan::scl::sclTextOf(unnamed, {});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("BAY1CTRL/CSWI"), std::string::npos) << refused.error().message;

    auto headless = sampleSnapshot();
    node(headless, "BAY1MEAS/LLN0")->name = "LLN1";
    refused = korvan::scl::sclTextOf(headless, {});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("BAY1MEAS has no LLN0"), std::string::npos)
        << refused.error().message;

    auto garbled = sampleSnapshot();
    node(garbled, "BAY1CTRL/GGIO1")->name = "GG\x01IO1";
    refused = korvan::scl::sclTextOf(garbled, {});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("a name a file cannot carry"), std::string::npos)
        << refused.error().message;

    EXPECT_FALSE(korvan::scl::sclTextOf({}, {}).ok());
}

// What a device answers is not trusted to fit a file: a text with control characters, a text longer
// than its type, a block naming a data set elsewhere are left out and listed, and the file still loads.
TEST(SclWriter, LeavesOutDeviceValuesThatWouldBreakTheFile) {
    auto snapshot = sampleSnapshot();
    korvan::scl::NodeSnapshot* lln0 = node(snapshot, "BAY1CTRL/LLN0");
    ASSERT_NE(lln0, nullptr);
    ASSERT_TRUE(replaceValue(*lln0, "DC", "NamPlt", "vendor", MmsValue::visibleString("bad\x01text")));
    ASSERT_TRUE(
        replaceValue(*lln0, "BR", "PosRpt01", "DatSet", MmsValue::visibleString("BAY1MEAS/LLN0$Elsewhere")));
    ASSERT_TRUE(replaceValue(*lln0, "DC", "NamPlt", "swRev", MmsValue::visibleString(std::string(300, 'x'))));

    auto saved = korvan::scl::sclTextOf(snapshot, {});
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(loadProblem(saved->text), "");
    EXPECT_EQ(saved->text.find("bad\x01"), std::string::npos);
    ASSERT_EQ(saved->omissions.size(), 3u);
    std::string all;
    for (const auto& omission : saved->omissions) {
        all += omission + '\n';
    }
    EXPECT_NE(all.find("NamPlt.vendor"), std::string::npos) << all;
    EXPECT_NE(all.find("NamPlt.swRev"), std::string::npos) << all;
    EXPECT_NE(all.find("PosRpt01 names data set BAY1MEAS/LLN0$Elsewhere"), std::string::npos) << all;
}

// A save that cannot be written says so and leaves what was there; one that can replaces it whole.
TEST(SclWriter, WritesTheFileWholeOrNotAtAll) {
    const std::string folder = ::testing::TempDir() + "/sclwriter_files";
    fs::create_directories(folder);
    const std::string path = folder + "/model.icd";
    EXPECT_EQ(korvan::scl::writeFileAtomically(path, "first"), "");
    EXPECT_EQ(korvan::scl::writeFileAtomically(path, "second"), "");
    EXPECT_EQ(readText(path), "second");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read);
    EXPECT_NE(korvan::scl::writeFileAtomically(folder + "/missing/model.icd", "x"), "");
    if (::geteuid() != 0) {  // root writes into read-only folders
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_NE(korvan::scl::writeFileAtomically(path, "third"), "");
        fs::permissions(folder, fs::perms::owner_all);
        EXPECT_EQ(readText(path), "second");
    }
    size_t leftovers = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        leftovers += entry.path().filename() != "model.icd";
    }
    EXPECT_EQ(leftovers, 0u);
    fs::remove_all(folder);
}
