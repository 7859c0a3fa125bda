// Configuration files written by other tools load; broken ones are refused with the file, the line
// and the problem, never with a crash.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "scl/scl_loader.h"

using namespace iecstack::scl;

namespace {

const std::string kScl = std::string(KORVAN_TEST_DATA_DIR) + "/scl/";

std::string refusal(const std::string& text) {
    auto doc = loadSclText(text, "test.icd");
    return doc.ok() ? std::string("loaded") : doc.error().message;
}

const char* const kMinimal = R"(<?xml version="1.0"?>
<SCL xmlns="http://www.iec.ch/61850/2003/SCL">
  <IED name="X">
    <AccessPoint name="AP"><Server><LDevice inst="LD">
      <LN0 lnClass="LLN0" lnType="L0" inst="">
        <ReportControl name="R" datSet="" confRev="3" buffered="true" intgPd="500">
          <TrgOps dchg="true" gi="false"/><OptFields seqNum="true" entryID="true"/><RptEnabled max="4"/>
        </ReportControl>
        <DOI name="Mod"><SDI name="origin"><DAI name="orCat"><Val>remote-control</Val></DAI></SDI></DOI>
      </LN0>
    </LDevice></Server></AccessPoint>
  </IED>
  <DataTypeTemplates>
    <LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/></LNodeType>
    <DOType id="M" cdc="ENC">
      <DA name="stVal" bType="Enum" type="E" fc="ST"><Val>on</Val></DA>
      <SDO name="sub" type="S"/>
      <DA name="vals" bType="INT32" fc="CF" count="3"><Val>1</Val><Val>2</Val></DA>
    </DOType>
    <DOType id="S" cdc="X"><DA name="v" bType="FLOAT32" fc="MX"/></DOType>
    <EnumType id="E"><EnumVal ord="1">on</EnumVal><EnumVal ord="-2">neg</EnumVal></EnumType>
  </DataTypeTemplates>
</SCL>
)";

}  // namespace

TEST(SclLoader, ReadsTheElementsAServerNeeds) {
    auto doc = loadSclText(kMinimal, "minimal.icd");
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    ASSERT_EQ(doc->ieds.size(), 1u);
    const LogicalDevice& ld = doc->ieds[0].accessPoints.at(0).logicalDevices.at(0);
    EXPECT_EQ(ld.inst, "LD");
    ASSERT_EQ(ld.ln0.reportControls.size(), 1u);
    const ReportControl& rc = ld.ln0.reportControls[0];
    EXPECT_TRUE(rc.buffered);
    EXPECT_EQ(rc.confRev, 3u);
    EXPECT_EQ(rc.intgPd, 500u);
    EXPECT_EQ(rc.maxInstances, 4u);
    EXPECT_TRUE(rc.trgDchg);
    EXPECT_FALSE(rc.trgGi) << "an explicit gi=false wins over the default";
    EXPECT_TRUE(rc.optEntryId);
    ASSERT_EQ(ld.ln0.instanceValues.size(), 1u);
    EXPECT_EQ(ld.ln0.instanceValues[0].path, "Mod.origin.orCat");
    EXPECT_EQ(ld.ln0.instanceValues[0].line, 9) << "line numbers count from 1";
    const DoType& m = doc->templates.doTypes.at("M");
    ASSERT_EQ(m.children.size(), 3u);
    EXPECT_TRUE(m.children[1].isSdo);
    EXPECT_EQ(m.children[2].attribute.count, 3u);
    EXPECT_EQ(m.children[2].attribute.values, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(doc->templates.enumTypes.at("E").values.at(1).first, -2);
}

TEST(SclLoader, LoadsTheThirdPartyFiles) {
    for (const char* file :
         {"iec61850bean-sample-model.icd", "iec61850bean-sample01.icd", "iec61850bean-testModel.icd",
          "openscd-valid2003.scd", "openscd-valid2007B4.scd", "openscd-reportcontrol.scd"}) {
        auto doc = loadSclFile(kScl + file);
        EXPECT_TRUE(doc.ok()) << file << ": " << (doc.ok() ? "" : doc.error().message);
    }
}

TEST(SclLoader, RefusesBrokenFilesNamingFileAndLine) {
    auto noIed = loadSclFile(kScl + "openscd-invalid2007B.scd");
    ASSERT_FALSE(noIed.ok());
    EXPECT_EQ(noIed.error().message, kScl + "openscd-invalid2007B.scd:2: the file describes no IED");

    auto badTemplates = loadSclFile(kScl + "openscd-datatypetemplateerrors.scd");
    ASSERT_FALSE(badTemplates.ok());
    EXPECT_EQ(badTemplates.error().message,
              kScl + "openscd-datatypetemplateerrors.scd:66: <DO> has no type attribute");

    auto missing = loadSclFile(kScl + "no-such-file.icd");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("cannot open"), std::string::npos);
}

// Files from some tools name one type with an empty id and refer to it with type="".
TEST(SclLoader, OneEmptyTypeIdPerKindLoadsWithAWarning) {
    std::string empty = kMinimal;
    empty.replace(empty.find("type=\"E\""), 8, "type=\"\"");
    empty.replace(empty.find("<EnumType id=\"E\">"), 17, "<EnumType id=\"\">");
    auto doc = loadSclText(empty, "test.icd");
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    EXPECT_EQ(doc->warnings,
              std::vector<std::string>{"test.icd:21: <EnumType> has an empty id; type=\"\" refers to it"});
    EXPECT_EQ(doc->templates.enumTypes.count(""), 1u);

    std::string two = empty;
    two.insert(two.find("  </DataTypeTemplates>"),
               "    <EnumType id=\"\"><EnumVal ord=\"0\">x</EnumVal></EnumType>\n");
    EXPECT_EQ(refusal(two), "test.icd:22: more than one <EnumType> has an empty id");
    // An empty id of another kind is no second one.
    std::string otherKind = empty;
    otherKind.insert(otherKind.find("  </DataTypeTemplates>"),
                     "    <DAType id=\"\"><BDA name=\"x\" bType=\"BOOLEAN\"/></DAType>\n");
    EXPECT_TRUE(loadSclText(otherKind, "test.icd").ok());
}

TEST(SclLoader, RefusesMalformedContentWithItsLine) {
    EXPECT_EQ(refusal("<SCL>\n<IED name=\"a\">\n</SCL>\n").substr(0, 11), "test.icd:3:");
    EXPECT_EQ(refusal(""), "test.icd:1: XML error: No document element found");
    EXPECT_EQ(refusal("<NotScl/>"), "test.icd:1: no SCL root element");

    std::string twice = kMinimal;
    twice.insert(twice.find("    <EnumType"), "    <EnumType id=\"E\"/>\n");
    EXPECT_EQ(refusal(twice), "test.icd:22: type id \"E\" is defined twice");

    // The same definition written twice loads, with a warning that names the copy.
    std::string copied = kMinimal;
    copied.insert(copied.find("  </DataTypeTemplates>"),
                  "    <DOType id=\"S\" cdc=\"X\"><DA name=\"v\" bType=\"FLOAT32\" fc=\"MX\"/></DOType>\n");
    auto doc = loadSclText(copied, "test.icd");
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    EXPECT_EQ(doc->warnings,
              std::vector<std::string>{
                  "test.icd:22: type id \"S\" is defined twice with the same content; the copy is ignored"});
    EXPECT_EQ(doc->templates.doTypes.count("S"), 1u);
    // One attribute more is another definition.
    std::string differing = kMinimal;
    differing.insert(
        differing.find("  </DataTypeTemplates>"),
        "    <DOType id=\"S\" cdc=\"X\"><DA name=\"v\" bType=\"FLOAT32\" fc=\"MX\" dchg=\"true\"/>"
        "</DOType>\n");
    EXPECT_EQ(refusal(differing), "test.icd:22: type id \"S\" is defined twice");
    EXPECT_TRUE(loadSclText(kMinimal, "test.icd")->warnings.empty());

    std::string badCount = kMinimal;
    badCount.replace(badCount.find("count=\"3\""), 9, "count=\"x\"");
    EXPECT_EQ(refusal(badCount), "test.icd:18: count=\"x\" is not an unsigned number");

    std::string tooMany = kMinimal;
    tooMany.replace(tooMany.find("max=\"4\""), 7, "max=\"500\"");
    EXPECT_EQ(refusal(tooMany), "test.icd:6: report control \"R\" asks for 500 instances (1 to 99 allowed)");
}

// A file is read whole, whatever it is: a regular file as its text, an empty one and a folder as
// refusals rather than a crash or a huge allocation.
TEST(SclLoader, ReadsAFileAsItsText) {
    const std::string dir = testing::TempDir();
    const std::string path = dir + "/scl_loader_test_minimal.icd";
    {
        std::ofstream out(path, std::ios::binary);
        out << kMinimal;
    }
    auto fromFile = loadSclFile(path);
    ASSERT_TRUE(fromFile.ok()) << fromFile.error().message;
    EXPECT_EQ(fromFile->fileName, path);
    auto fromText = loadSclText(kMinimal, path);
    ASSERT_TRUE(fromText.ok());
    EXPECT_EQ(fromFile->templates.doTypes.at("M").children.size(),
              fromText->templates.doTypes.at("M").children.size());
    EXPECT_EQ(fromFile->ieds.at(0).accessPoints.at(0).logicalDevices.at(0).ln0.instanceValues.at(0).line, 9);

    const std::string empty = dir + "/scl_loader_test_empty.icd";
    { std::ofstream out(empty, std::ios::binary); }
    auto nothing = loadSclFile(empty);
    ASSERT_FALSE(nothing.ok());
    EXPECT_EQ(nothing.error().message, empty + ":1: XML error: No document element found");

    auto folder = loadSclFile(dir);
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().message.rfind(dir, 0), 0u) << folder.error().message;
    std::remove(path.c_str());
    std::remove(empty.c_str());
}

// Report and log control blocks read their trigger options alike: what TrgOps sets, general
// interrogation on without it.
TEST(SclLoader, TriggerOptionsOfReportAndLogBlocksReadAlike) {
    std::string text = kMinimal;
    text.insert(
        text.find("        <DOI name=\"Mod\">"),
        "        <LogControl name=\"L1\" logName=\"Log\"><TrgOps qchg=\"true\" period=\"1\" gi=\"false\"/>"
        "</LogControl>\n        <LogControl name=\"L2\" logName=\"Log\"/>\n"
        "        <ReportControl name=\"R2\"/>\n");
    auto doc = loadSclText(text, "test.icd");
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    const LogicalNode& ln0 = doc->ieds.at(0).accessPoints.at(0).logicalDevices.at(0).ln0;
    ASSERT_EQ(ln0.logControls.size(), 2u);
    const LogControl& set = ln0.logControls[0];
    EXPECT_FALSE(set.trgDchg);
    EXPECT_TRUE(set.trgQchg);
    EXPECT_FALSE(set.trgDupd);
    EXPECT_TRUE(set.trgPeriod);
    EXPECT_FALSE(set.trgGi);
    const LogControl& unset = ln0.logControls[1];
    EXPECT_FALSE(unset.trgDchg || unset.trgQchg || unset.trgDupd || unset.trgPeriod);
    EXPECT_TRUE(unset.trgGi);
    ASSERT_EQ(ln0.reportControls.size(), 2u);
    const ReportControl& plain = ln0.reportControls[1];
    EXPECT_FALSE(plain.trgDchg || plain.trgQchg || plain.trgDupd || plain.trgPeriod);
    EXPECT_TRUE(plain.trgGi);
}
