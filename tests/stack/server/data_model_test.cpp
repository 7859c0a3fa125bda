// Building the served model from configuration files: the mapping of data objects onto functional
// constraints, control blocks, initial values, the choice of IED and the refusals, the directory
// order, the write checks and the value simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "scl/scl_loader.h"
#include "server/mms_mapping.h"
#include "server/mms_services.h"
#include "server/model_builder.h"
#include "server/value_simulation.h"

using namespace iecstack;
using namespace iecstack::server;

namespace {

const std::string kScl = std::string(KORVAN_TEST_DATA_DIR) + "/scl/";

const char* const kDevice = R"(<?xml version="1.0"?>
<SCL xmlns="http://www.iec.ch/61850/2003/SCL">
  <IED name="IED">
    <AccessPoint name="AP"><Server><LDevice inst="LD">
      <LN0 lnClass="LLN0" lnType="L0" inst="">
        <DataSet name="DS">
          <FCDA ldInst="LD" prefix="Q1" lnClass="GGIO" lnInst="1" doName="Ind" daName="stVal" fc="ST"/>
          <FCDA ldInst="LD" lnClass="GGIO" lnInst="1" doName="Gone" fc="ST"/>
        </DataSet>
        <ReportControl name="B" datSet="DS" confRev="2" buffered="true"><RptEnabled max="2"/></ReportControl>
        <ReportControl name="U" datSet="DS" indexed="false"/>
        <DOI name="Mod"><DAI name="stVal"><Val>off</Val></DAI><DAI name="nothing"><Val>1</Val></DAI></DOI>
      </LN0>
      <LN lnClass="GGIO" lnType="G" inst="1" prefix="Q1">
        <DOI name="Ind"><DAI name="vals"><Val>7</Val></DAI></DOI>
      </LN>
    </LDevice></Server></AccessPoint>
  </IED>
  <DataTypeTemplates>
    <LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/></LNodeType>
    <LNodeType id="G" lnClass="GGIO"><DO name="Ind" type="I"/><DO name="W" type="W"/></LNodeType>
    <DOType id="M" cdc="ENC">
      <DA name="stVal" bType="Enum" type="E" fc="ST"><Val>on</Val></DA>
      <DA name="ctlModel" bType="Enum" type="E" fc="CF"/>
    </DOType>
    <DOType id="I" cdc="SPS">
      <DA name="stVal" bType="BOOLEAN" fc="ST"><Val>true</Val></DA>
      <DA name="q" bType="Quality" fc="ST"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="vals" bType="INT8" fc="CF" count="3"><Val>1</Val><Val>2</Val></DA>
    </DOType>
    <DOType id="W" cdc="WYE"><SDO name="phsA" type="C"/><SDO name="phsB" type="C"/></DOType>
    <DOType id="C" cdc="CMV">
      <DA name="cVal" bType="Struct" type="V" fc="MX"/>
      <DA name="t" bType="Timestamp" fc="MX"/>
      <DA name="units" bType="Struct" type="U" fc="CF"/>
    </DOType>
    <DAType id="V"><BDA name="mag" bType="Struct" type="A"/></DAType>
    <DAType id="A"><BDA name="f" bType="FLOAT32"/></DAType>
    <DAType id="U"><BDA name="SIUnit" bType="Enum" type="E"/></DAType>
    <EnumType id="E"><EnumVal ord="1">on</EnumVal><EnumVal ord="5">off</EnumVal></EnumType>
  </DataTypeTemplates>
</SCL>
)";

Result<std::unique_ptr<DataModel>, BuildError> build(const std::string& text, const std::string& ied = "") {
    auto doc = scl::loadSclText(text, "device.icd");
    if (!doc.ok()) {
        return BuildError{doc.error().message};
    }
    return buildDataModel(*doc, ied);
}

std::string refusal(const std::string& text) {
    auto model = build(text);
    return model.ok() ? std::string("built") : model.error().message;
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    text.replace(text.find(what), what.size(), with);
    return text;
}

std::vector<std::string> childNames(const ModelNode* node) {
    std::vector<std::string> names;
    for (const auto& c : node->children) {
        names.push_back(c->name);
    }
    return names;
}

}  // namespace

TEST(DataModel, SplitsDataObjectsByFunctionalConstraint) {
    auto model = build(kDevice);
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    ASSERT_NE(m.domain("IEDLD"), nullptr);
    EXPECT_EQ(childNames(m.find("IEDLD", "Q1GGIO1")), (std::vector<std::string>{"MX", "ST", "CF"}))
        << "model order of the constraints, not alphabetical";
    EXPECT_EQ(childNames(m.find("IEDLD", "Q1GGIO1$MX$W")), (std::vector<std::string>{"phsA", "phsB"}));
    EXPECT_EQ(childNames(m.find("IEDLD", "Q1GGIO1$CF$W$phsA")), (std::vector<std::string>{"units"}));
    ModelNode* f = m.find("IEDLD", "Q1GGIO1$MX$W$phsB$cVal$mag$f");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->itemId(), "Q1GGIO1$MX$W$phsB$cVal$mag$f");
    EXPECT_EQ(m.find("IEDLD", "Q1GGIO1$ST$W"), nullptr) << "no empty structures for constraints a DO lacks";
    EXPECT_EQ(m.find("IEDLD", "Q1GGIO1$ST$Ind$stVal$x"), nullptr);
    EXPECT_EQ(m.find("IEDLD", "Q1GGIO1$"), nullptr);
    EXPECT_EQ(m.find("NOPE", "Q1GGIO1"), nullptr);
}

TEST(DataModel, AppliesInitialValuesFromTemplatesAndInstances) {
    auto model = build(kDevice);
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    EXPECT_EQ(m.find("IEDLD", "LLN0$ST$Mod$stVal")->value.toInt64(), 5)
        << "instance value wins over the template";
    EXPECT_TRUE(m.find("IEDLD", "Q1GGIO1$ST$Ind$stVal")->value.boolValue());
    ModelNode* vals = m.find("IEDLD", "Q1GGIO1$CF$Ind$vals");
    ASSERT_EQ(vals->kind, ModelNode::Kind::Array);
    ASSERT_EQ(vals->children.size(), 3u);
    EXPECT_EQ(vals->children[0]->value.toInt64(), 7) << "the instance value replaces the first element";
    EXPECT_EQ(vals->children[1]->value.toInt64(), 2);
    EXPECT_EQ(vals->children[2]->value.toInt64(), 0);
    EXPECT_EQ(vals->children[2]->itemId(), "Q1GGIO1$CF$Ind$vals(2)");
    EXPECT_EQ(m.find("IEDLD", "Q1GGIO1$ST$Ind$q")->value.bits().bitCount(), 13u);
    // Leftovers of real files are reported, not fatal.
    ASSERT_EQ(m.warnings.size(), 2u);
    EXPECT_EQ(
        m.warnings[0],
        "device.icd:12: instance value for \"Mod.nothing\" names nothing in logical node LLN0; ignored");
    EXPECT_NE(m.warnings[1].find("device.icd:8: data set \"DS\" member IEDLD/GGIO1$ST$Gone"),
              std::string::npos);
}

TEST(DataModel, BuildsReportControlBlocksWithTheirStandardAttributes) {
    auto model = build(kDevice);
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    EXPECT_EQ(childNames(m.find("IEDLD", "LLN0$BR")), (std::vector<std::string>{"B01", "B02"}));
    EXPECT_EQ(childNames(m.find("IEDLD", "LLN0$RP")), (std::vector<std::string>{"U"})) << "not indexed";
    EXPECT_EQ(childNames(m.find("IEDLD", "LLN0$BR$B01")),
              (std::vector<std::string>{"RptID", "RptEna", "DatSet", "ConfRev", "OptFlds", "BufTm", "SqNum",
                                        "TrgOps", "IntgPd", "GI", "PurgeBuf", "EntryID", "TimeofEntry",
                                        "ResvTms"}));
    EXPECT_EQ(childNames(m.find("IEDLD", "LLN0$RP$U")),
              (std::vector<std::string>{"RptID", "RptEna", "Resv", "DatSet", "ConfRev", "OptFlds", "BufTm",
                                        "SqNum", "TrgOps", "IntgPd", "GI"}));
    EXPECT_EQ(m.find("IEDLD", "LLN0$BR$B02$DatSet")->value.text(), "IEDLD/LLN0$DS");
    EXPECT_EQ(m.find("IEDLD", "LLN0$BR$B02$ConfRev")->value.toUint64(), 2u);
    EXPECT_EQ(m.find("IEDLD", "LLN0$BR$B01$SqNum")->size, 16);
    EXPECT_EQ(m.find("IEDLD", "LLN0$RP$U$SqNum")->size, 8);
    const DataSetDefinition* ds = m.dataSet("IEDLD", "LLN0$DS");
    ASSERT_NE(ds, nullptr);
    ASSERT_EQ(ds->members.size(), 1u) << "the missing member is left out";
    EXPECT_EQ(ds->members[0].item, "Q1GGIO1$ST$Ind$stVal");
}

TEST(DataModel, RefusesModelsThatCannotBeServed) {
    EXPECT_EQ(refusal(replaced(kDevice, "lnType=\"G\"", "lnType=\"Z\"")),
              "device.icd:14: logical node Q1GGIO1 refers to missing LNodeType \"Z\"");
    EXPECT_EQ(refusal(replaced(kDevice, "<Val>true</Val>", "<Val>maybe</Val>")),
              "device.icd:27: value \"maybe\" of \"stVal\" is not a boolean");
    EXPECT_EQ(
        refusal(replaced(kDevice, "<Val>off</Val>", "<Val>sideways</Val>")),
        "device.icd:12: value \"sideways\" of \"LLN0$ST$Mod$stVal\" is not a literal of EnumType \"E\"");
    EXPECT_EQ(refusal(replaced(kDevice, "bType=\"FLOAT32\"", "bType=\"FLOAT99\"")),
              "device.icd:39: attribute \"f\" has unknown bType \"FLOAT99\"");
    // A type that contains itself must end in a refusal, not in endless recursion.
    EXPECT_NE(refusal(replaced(kDevice, "<BDA name=\"f\" bType=\"FLOAT32\"/>",
                               "<BDA name=\"a\" bType=\"Struct\" type=\"A\"/>"))
                  .find("nest deeper than 16 levels"),
              std::string::npos);
    EXPECT_NE(
        refusal(replaced(kDevice, "<SDO name=\"phsB\" type=\"C\"/>", "<SDO name=\"again\" type=\"W\"/>"))
            .find("nest deeper than 16 levels"),
        std::string::npos);
    EXPECT_EQ(refusal(replaced(kDevice, "count=\"3\"", "count=\"4000000\"")),
              "device.icd:30: attribute \"vals\" has count 4000000 (at most 10000)");
    EXPECT_EQ(refusal(replaced(kDevice, "datSet=\"DS\" indexed", "datSet=\"XX\" indexed")),
              "device.icd:11: report control \"U\" refers to missing data set \"XX\"");
}

TEST(DataModel, ServesTheThirdPartyFilesAndChoosesIedsByName) {
    for (const char* file :
         {"iec61850bean-sample-model.icd", "iec61850bean-sample01.icd", "iec61850bean-testModel.icd"}) {
        auto model = loadDataModel(kScl + file, "");
        EXPECT_TRUE(model.ok()) << file << ": " << (model.ok() ? "" : model.error().message);
    }
    for (auto [file, ied] : {std::pair{"openscd-valid2003.scd", "IED1"},
                             {"openscd-valid2007B4.scd", "IED1"},
                             {"openscd-reportcontrol.scd", "IED4"}}) {
        auto model = loadDataModel(kScl + file, ied);
        ASSERT_TRUE(model.ok()) << file << ": " << (model.ok() ? "" : model.error().message);
        EXPECT_EQ((*model)->iedName, ied);
        EXPECT_GT((*model)->attributeCount(), 50u);
    }
    auto ambiguous = loadDataModel(kScl + "openscd-reportcontrol.scd", "");
    ASSERT_FALSE(ambiguous.ok());
    EXPECT_NE(ambiguous.error().message.find("several IEDs (IED2, IED3, IED4, IED5, IED6, IED7)"),
              std::string::npos);
    auto unknown = loadDataModel(kScl + "openscd-valid2003.scd", "IED9");
    ASSERT_FALSE(unknown.ok());
    EXPECT_NE(unknown.error().message.find("no IED named \"IED9\" (the file has: IED1, IED2, IED3)"),
              std::string::npos);
    auto broken = loadDataModel(kScl + "openscd-valid2007B4.scd", "IED2");
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(
        broken.error().message,
        kScl +
            "openscd-valid2007B4.scd:255: logical node THARDE1 refers to missing LNodeType \"Dummy.THARDE\"");
}

// Members inside an array, given as ix or written into the name, as capture 06's server serves them:
// the directory names each element with its path, and a read of the set gives each part.
TEST(DataModel, DataSetMembersReachIntoArrayElements) {
    auto model = loadDataModel(std::string(KORVAN_TEST_DATA_DIR) + "/models/complex_array.icd", "");
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    EXPECT_TRUE(m.warnings.empty()) << m.warnings.front();
    const DataSetDefinition* ds = m.dataSet("testComplexArray", "MHAI1$TestMHAI");
    ASSERT_NE(ds, nullptr);
    ASSERT_EQ(ds->members.size(), 5u);
    using Path = std::vector<std::string>;
    const std::pair<int, Path> expected[] = {
        {7, {}}, {8, {}}, {9, {"cVal"}}, {10, {"cVal", "mag"}}, {11, {"cVal", "mag", "f"}}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(ds->members[i].item, "MHAI1$MX$HA$phsAHar");
        EXPECT_EQ(ds->members[i].index, expected[i].first);
        EXPECT_EQ(ds->members[i].components, expected[i].second);
    }

    MmsServices services(m, ServerIdentity{});
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::named(mms::ObjectName::domain("testComplexArray", "MHAI1$TestMHAI"));
    mms::Pdu answer = services.answer(mms::ConfirmedRequest{1, read}, 65000);
    const auto* response = std::get_if<mms::ConfirmedResponse>(&answer);
    ASSERT_NE(response, nullptr);
    const auto& results = std::get<mms::ReadResponse>(response->service).results;
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[0].elements().size(), 3u) << "cVal, q, t of element 7";
    EXPECT_FLOAT_EQ(results[0].elements()[0].elements()[0].elements()[0].toDouble(), 219.9f);
    EXPECT_EQ(results[2].elements().size(), 2u) << "mag and ang of element 9";
    EXPECT_EQ(results[3].elements().size(), 1u) << "f of element 10";
    EXPECT_FLOAT_EQ(results[4].toDouble(), 220.3f);

    // An ix where the names lead to no array is a leftover of the file, not an element of something.
    auto misplaced =
        build(replaced(kDevice, R"(lnClass="GGIO" lnInst="1" doName="Gone" fc="ST")",
                       R"(prefix="Q1" lnClass="GGIO" lnInst="1" doName="Ind" daName="q" ix="2" fc="ST")"));
    ASSERT_TRUE(misplaced.ok()) << misplaced.error().message;
    EXPECT_EQ((*misplaced)->warnings.back(),
              "device.icd:8: data set member IEDLD/Q1GGIO1$ST$Ind$q has ix=\"2\" but is no array; left out");
    auto element =
        build(replaced(kDevice, R"(lnClass="GGIO" lnInst="1" doName="Gone" fc="ST")",
                       R"(prefix="Q1" lnClass="GGIO" lnInst="1" doName="Ind" daName="vals" ix="1" fc="CF")"));
    ASSERT_TRUE(element.ok()) << element.error().message;
    const auto& members = (*element)->dataSet("IEDLD", "LLN0$DS")->members;
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[1].item, "Q1GGIO1$CF$Ind$vals");
    EXPECT_EQ(members[1].index, 1);
}

namespace {

// A device with a log, setting groups, a GOOSE-style address and report options left to their defaults.
const char* const kServiceBlocks = R"(<SCL><IED name="S"><AccessPoint name="A"><Server><LDevice inst="LD">
  <LN0 lnClass="LLN0" lnType="L0" inst="">
    <DataSet name="DS"><FCDA lnClass="LLN0" doName="Mod" daName="stVal" fc="ST"/></DataSet>
    <ReportControl name="U" datSet="DS" indexed="false"><OptFields seqNum="true" entryID="true"/></ReportControl>
    <ReportControl name="B" datSet="DS" indexed="false" buffered="true"><OptFields bufOvfl="false"/></ReportControl>
    <LogControl name="Log1" datSet="DS" logName="Events" intgPd="5000"><TrgOps dchg="true" gi="false"/></LogControl>
    <SettingControl numOfSGs="3" actSG="2"/>
  </LN0>
</LDevice></Server></AccessPoint></IED>
<DataTypeTemplates>
  <LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/><DO name="Set" type="G"/></LNodeType>
  <DOType id="M" cdc="ENC">
    <DA name="stVal" bType="INT32" fc="ST"/><DA name="t" bType="Timestamp" fc="ST"/>
    <DA name="dst" bType="PhyComAddr" fc="CF"/>
  </DOType>
  <DOType id="G" cdc="ASG"><DA name="setMag" bType="INT32" fc="SE"/><DA name="setVal" bType="INT32" fc="SG"/></DOType>
</DataTypeTemplates></SCL>)";

MmsValue readItem(MmsServices& services, const std::string& domain, const std::string& item) {
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list({{mms::ObjectName::domain(domain, item), {}}});
    mms::Pdu answer = services.answer(mms::ConfirmedRequest{1, read}, 65000);
    const auto* response = std::get_if<mms::ConfirmedResponse>(&answer);
    return response ? std::get<mms::ReadResponse>(response->service).results.at(0)
                    : MmsValue::accessError(mms::DataAccessError::HardwareFault);
}

}  // namespace

// Blocks served as the reference devices serve them: the log control block under LG, the setting
// group control block under SP, report options with their defaults, addresses as structures.
TEST(DataModel, ServesLogAndSettingGroupControlBlocksAndTheDefaultsOfDevices) {
    const auto before = std::chrono::system_clock::now();
    auto model = build(kServiceBlocks);
    const auto after = std::chrono::system_clock::now();
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;

    EXPECT_EQ(childNames(m.find("SLD", "LLN0$LG$Log1")),
              (std::vector<std::string>{"LogEna", "LogRef", "DatSet", "OldEntrTm", "NewEntrTm", "OldEntr",
                                        "NewEntr", "TrgOps", "IntgPd"}));
    EXPECT_TRUE(m.find("SLD", "LLN0$LG$Log1$LogEna")->value.boolValue());
    EXPECT_EQ(m.find("SLD", "LLN0$LG$Log1$LogRef")->value.text(), "SLD/LLN0$Events");
    EXPECT_EQ(m.find("SLD", "LLN0$LG$Log1$DatSet")->value.text(), "SLD/LLN0$DS");
    EXPECT_EQ(m.find("SLD", "LLN0$LG$Log1$TrgOps")->value.bitsAsUint32(), 1u << 1) << "dchg only";
    EXPECT_EQ(m.find("SLD", "LLN0$LG$Log1$IntgPd")->value.toUint64(), 5000u);
    EXPECT_EQ(typeOf(*m.find("SLD", "LLN0$LG$Log1$OldEntrTm")).type, MMS_BINARY_TIME);

    EXPECT_EQ(childNames(m.find("SLD", "LLN0$SP")), (std::vector<std::string>{"SGCB"}));
    EXPECT_EQ(childNames(m.find("SLD", "LLN0$SP$SGCB")),
              (std::vector<std::string>{"NumOfSG", "ActSG", "EditSG", "CnfEdit", "LActTm", "ResvTms"}));
    EXPECT_EQ(m.find("SLD", "LLN0$SP$SGCB$NumOfSG")->value.toUint64(), 3u);
    EXPECT_EQ(m.find("SLD", "LLN0$SP$SGCB$ActSG")->value.toUint64(), 2u);
    EXPECT_EQ(m.find("SLD", "LLN0$SP$SGCB$EditSG")->value.toUint64(), 0u);

    // bufOvfl is set unless turned off, and entryID stays for unbuffered blocks.
    const MmsValue& unbuffered = m.find("SLD", "LLN0$RP$U$OptFlds")->value;
    EXPECT_TRUE(unbuffered.bit(1) && unbuffered.bit(6) && unbuffered.bit(7));
    EXPECT_FALSE(m.find("SLD", "LLN0$BR$B$OptFlds")->value.bit(6));

    const ModelNode* address = m.find("SLD", "LLN0$CF$Mod$dst");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(childNames(address), (std::vector<std::string>{"Addr", "PRIORITY", "VID", "APPID"}));
    EXPECT_EQ(typeOf(*address->child("Addr")).size, 6);
    EXPECT_EQ(typeOf(*address->child("VID")).size, 16);

    // Time stamps the file cannot set show when the device started.
    const auto ms = [](auto t) {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
    };
    const uint64_t t = m.find("SLD", "LLN0$ST$Mod$t")->value.utcTimeMs();
    EXPECT_GE(t + 1, ms(before)) << "the time keeps its 24-bit fraction only";
    EXPECT_LE(t, ms(after));
}

// Values under SE answer an error until a client selects a group for editing, and then to every other
// client; SG values are readable by all.
TEST(DataModel, EditedSettingsAreReadableOnlyByTheClientEditingAGroup) {
    auto model = build(kServiceBlocks);
    ASSERT_TRUE(model.ok()) << model.error().message;
    MmsServices services(**model, ServerIdentity{});
    EXPECT_EQ(readItem(services, "SLD", "LLN0$SE$Set$setMag").accessError(),
              mms::DataAccessError::TemporarilyUnavailable);
    EXPECT_EQ(readItem(services, "SLD", "LLN0$SE").accessError(),
              mms::DataAccessError::TemporarilyUnavailable);
    EXPECT_EQ(readItem(services, "SLD", "LLN0$SG$Set$setVal").type(), MMS_INTEGER);

    auto editor = Session::detached();
    mms::WriteRequest select;
    select.spec =
        mms::VariableAccessSpec::list({{mms::ObjectName::domain("SLD", "LLN0$SP$SGCB$EditSG"), {}}});
    select.data = {MmsValue::unsignedInteger(1)};
    services.answer(mms::ConfirmedRequest{2, select}, *editor);
    mms::ReadRequest read;
    read.spec = mms::VariableAccessSpec::list({{mms::ObjectName::domain("SLD", "LLN0$SE$Set$setMag"), {}}});
    mms::Pdu answer = services.answer(mms::ConfirmedRequest{3, read}, *editor);
    const auto* response = std::get_if<mms::ConfirmedResponse>(&answer);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(std::get<mms::ReadResponse>(response->service).results.at(0).type(), MMS_INTEGER);
    EXPECT_EQ(readItem(services, "SLD", "LLN0$SE$Set$setMag").accessError(),
              mms::DataAccessError::TemporarilyUnavailable);
}

// The order the captured devices and the reference server list names in: a variable before its
// components, upper case before lower case of the same letter, then '_', then digits compared as text.
TEST(DataModel, DirectoryOrderFollowsTheDevices) {
    std::vector<std::pair<std::string, std::string>> ordered = {
        {"GGIO_FSCC1", "GGIO1"},
        {"GGIO_FSCC1", "GGIO1$ST$Ind1"},
        {"Pos$ctlVal", "PosA"},
        {"Ab", "aA"},
        {"aZ", "B"},
        {"z", "_"},
        {"LD_9", "LD0"},
        {"-x", "A"},
        {"LLN0$SE", "LLN0$SG"},
        {"GGIO1", "GGIO10"},
        {"GGIO10", "GGIO2"},
        {"GGIO1$CF", "GGIO10"},
        {"T", "Test"},
        {"Check", "ctlNum"},
        {"ctlVal", "origin"},
        {"EventsRCBPreConf01", "EventsRCB01"},
        {"EventsIndexed03", "EventsRCBPreConf01"},
        {"LLN0$BR$EventsBRCB01$TrgOps", "LLN0$BR$Measurements01"},
    };
    for (const auto& [a, b] : ordered) {
        EXPECT_TRUE(directoryOrderLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(directoryOrderLess(b, a)) << b << " < " << a;
    }
    EXPECT_FALSE(directoryOrderLess("same", "same"));
}

TEST(DataModel, WriteChecksCompareShapeTypesAndSizes) {
    auto model = build(kDevice);
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    const ModelNode& quality = *m.find("IEDLD", "Q1GGIO1$ST$Ind$q");
    EXPECT_EQ(checkConformance(quality, MmsValue::bitString(mms::BitString(13))), Conformance::Conforms);
    EXPECT_EQ(checkConformance(quality, MmsValue::bitString(mms::BitString(14))), Conformance::ValueInvalid)
        << "a bit string of another length is a value the attribute does not allow";
    const ModelNode& element = *m.find("IEDLD", "Q1GGIO1$CF$Ind$vals")->children[0];
    EXPECT_EQ(checkConformance(element, MmsValue::integer(-128)), Conformance::Conforms);
    EXPECT_EQ(checkConformance(element, MmsValue::integer(300)), Conformance::ValueInvalid) << "INT8";
    EXPECT_EQ(checkConformance(element, MmsValue::unsignedInteger(3)), Conformance::TypeMismatch);
    const ModelNode& entryId = *m.find("IEDLD", "LLN0$BR$B01$EntryID");
    EXPECT_EQ(checkConformance(entryId, MmsValue::octetString(std::vector<uint8_t>(8))),
              Conformance::Conforms);
    EXPECT_EQ(checkConformance(entryId, MmsValue::octetString(std::vector<uint8_t>(7))),
              Conformance::ValueInvalid);
    const ModelNode& cVal = *m.find("IEDLD", "Q1GGIO1$MX$W$phsA$cVal");
    EXPECT_EQ(checkConformance(cVal, MmsValue::structure({MmsValue::structure({MmsValue::floatSingle(1)})})),
              Conformance::Conforms);
    EXPECT_EQ(checkConformance(cVal, MmsValue::structure({MmsValue::floatSingle(1)})),
              Conformance::TypeMismatch);
    EXPECT_EQ(checkConformance(cVal, MmsValue::structure({})), Conformance::TypeMismatch);
}

TEST(DataModel, SimulationMovesMeasurementsAndTogglesStatusWithTimeStamps) {
    auto model = build(kDevice);
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    ValueSimulation simulation(m);
    EXPECT_EQ(simulation.measurementCount(), 2u);
    EXPECT_EQ(simulation.statusCount(), 1u);
    ModelNode* f = m.find("IEDLD", "Q1GGIO1$MX$W$phsA$cVal$mag$f");
    ModelNode* t = m.find("IEDLD", "Q1GGIO1$MX$W$phsA$t");
    ModelNode* stVal = m.find("IEDLD", "Q1GGIO1$ST$Ind$stVal");
    const double before = f->value.toDouble();
    for (int i = 0; i < 4; ++i) {
        simulation.step();
    }
    EXPECT_NE(f->value.toDouble(), before);
    EXPECT_GT(t->value.utcTimeMs(), 1700000000000u) << "the time stamp follows the change";
    EXPECT_FALSE(stVal->value.boolValue()) << "toggled from its initial true";
    EXPECT_GT(m.find("IEDLD", "Q1GGIO1$ST$Ind$t")->value.utcTimeMs(), 1700000000000u);
    simulation.start();
    simulation.stop();
}

// A simulated bay looks healthy over hours: every measurement stays in a band around its start value
// that suits its quantity, and still moves.
TEST(DataModel, SimulatedMeasurementsStayInRealisticBands) {
    const std::string sample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";
    auto model = loadDataModel(sample, "");
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    struct Watched {
        const char* item;
        double band;  // absolute, around the start value
        double start = 0, lowest = 0, highest = 0;
        ModelNode* node = nullptr;
    };
    std::vector<Watched> watched{{"MMXU1$MX$Hz$mag$f", 0.2}, {"MMXU1$MX$PhV$phsA$cVal$mag$f", 0}};
    for (Watched& w : watched) {
        w.node = m.find("BAY1MEAS", w.item);
        ASSERT_NE(w.node, nullptr) << w.item;
        w.start = w.lowest = w.highest = w.node->value.toDouble();
    }
    watched[1].band = watched[1].start * 0.02;  // a few percent of a voltage
    ValueSimulation simulation(m);
    // Two hours at the simulator's pace of two steps a second.
    for (int i = 0; i < 14400; ++i) {
        simulation.step();
        for (Watched& w : watched) {
            const double v = w.node->value.toDouble();
            w.lowest = std::min(w.lowest, v);
            w.highest = std::max(w.highest, v);
        }
    }
    for (const Watched& w : watched) {
        EXPECT_GE(w.lowest, w.start - w.band - 1e-3) << w.item;
        EXPECT_LE(w.highest, w.start + w.band + 1e-3) << w.item;
        EXPECT_GT(w.highest - w.lowest, w.band / 2) << w.item << " should move visibly";
    }
}

// The interlocking's releases are the user's to set: a simulation that flipped them would refuse the
// commands of a control test at random. The bay's other status points still toggle.
TEST(DataModel, SimulationLeavesTheInterlockingReleasesAlone) {
    const std::string sample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";
    auto model = loadDataModel(sample, "");
    ASSERT_TRUE(model.ok()) << model.error().message;
    DataModel& m = **model;
    ModelNode* enaOpn = m.find("BAY1CTRL", "CILO1$ST$EnaOpn$stVal");
    ModelNode* enaCls = m.find("BAY1CTRL", "CILO1$ST$EnaCls$stVal");
    ASSERT_TRUE(enaOpn && enaCls);
    ValueSimulation simulation(m);
    ASSERT_GT(simulation.statusCount(), 0u);
    const MmsValue openBefore = enaOpn->value;
    const MmsValue closeBefore = enaCls->value;
    // Every status point has had its turn twice.
    for (size_t i = 0; i < simulation.statusCount() * 8 + 8; ++i) {
        simulation.step();
        ASSERT_EQ(enaOpn->value, openBefore) << "after step " << i;
        ASSERT_EQ(enaCls->value, closeBefore) << "after step " << i;
    }
}

// A device whose server holds no logical device is served empty when asked for by name; clients must
// cope with such devices. Without a name nothing suggests it is the one meant.
TEST(DataModel, EmptyServerIsServedOnlyWhenChosenByName) {
    const std::string empty =
        R"(<SCL><IED name="E"><AccessPoint name="A"><Server/></AccessPoint></IED></SCL>)";
    auto doc = scl::loadSclText(empty, "empty.icd");
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    auto named = buildDataModel(*doc, "E");
    ASSERT_TRUE(named.ok()) << named.error().message;
    EXPECT_TRUE((*named)->domains.empty());
    auto unnamed = buildDataModel(*doc, "");
    ASSERT_FALSE(unnamed.ok());
    EXPECT_EQ(unnamed.error().message, "empty.icd: no IED with a server");
}

// A data object is only walked for the functional constraints its type carries; a type below it that is
// missing or too large is still refused, even when nothing below it carries any constraint.
TEST(DataModel, FaultsBelowADataObjectAreFoundWhateverConstraintsItCarries) {
    const std::string bothSdos = "<SDO name=\"phsA\" type=\"C\"/><SDO name=\"phsB\" type=\"C\"/>";
    EXPECT_EQ(refusal(replaced(kDevice, bothSdos, "<SDO name=\"phsA\" type=\"Gone\"/>")),
              "device.icd:32: data object \"phsA\" refers to missing DOType \"Gone\"");
    EXPECT_EQ(
        refusal(replaced(replaced(kDevice, bothSdos, "<SDO name=\"phsA\" type=\"N\" count=\"4000000\"/>"),
                         "<DAType id=\"V\">", "<DOType id=\"N\" cdc=\"X\"/><DAType id=\"V\">")),
        "device.icd:32: SDO \"phsA\" has count 4000000");
    // The same type reached through several data objects and constraints is built alike each time.
    auto model = build(kDevice);
    ASSERT_TRUE(model.ok()) << model.error().message;
    const DataModel& m = **model;
    EXPECT_NE(m.find("IEDLD", "Q1GGIO1$MX$W$phsA$cVal$mag$f"), nullptr);
    EXPECT_NE(m.find("IEDLD", "Q1GGIO1$CF$W$phsB$units$SIUnit"), nullptr);
    EXPECT_EQ(m.find("IEDLD", "Q1GGIO1$ST$W"), nullptr) << "nothing of W is a status";
    EXPECT_EQ(m.find("IEDLD", "LLN0$MX"), nullptr);
}
