// Control structures as both roles code them: what one side encodes the other decodes unchanged, and
// what a hostile peer sends is refused or read without losing the cause's number.

#include <gtest/gtest.h>

#include "mapping/control_structures.h"

namespace korvan::test {
namespace {

using namespace iecstack::mapping;
using iecstack::mms::InformationReport;
using iecstack::mms::ObjectName;
using iecstack::mms::VariableAccess;
using iecstack::mms::VariableAccessSpec;

const std::vector<std::string> kOper = {"ctlVal", "operTm", "origin", "ctlNum", "T", "Test", "Check"};
const std::vector<std::string> kCancel = {"ctlVal", "origin", "ctlNum", "T", "Test"};

ControlCommand sampleCommand(MmsValue ctlVal) {
    ControlCommand command;
    command.ctlVal = std::move(ctlVal);
    command.operTimeMs = 1700000000123;
    command.origin = Originator{3, {'K', 'o', 'r', 'v', 'a', 'n'}};
    command.ctlNum = 255;
    command.timeMs = 1700000000456;
    command.test = true;
    command.synchroCheck = false;
    command.interlockCheck = true;
    return command;
}

TEST(ControlCommandTest, RoundTripsInTheMemberOrderTheDeviceDeclares) {
    // An analogue set point: ctlVal is itself a structure, which must not be taken for the origin.
    const MmsValue analogue = MmsValue::structure({MmsValue::floatSingle(1.5f)});
    for (const auto& members : {kOper, kCancel}) {
        const ControlCommand sent = sampleCommand(analogue);
        const auto value = encodeCommand(members, sent);
        ASSERT_TRUE(value);
        ASSERT_EQ(value->elements().size(), members.size());
        const auto back = decodeCommand(members, *value);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->ctlVal, analogue);
        EXPECT_EQ(back->origin, sent.origin);
        EXPECT_EQ(back->ctlNum, 255u);
        EXPECT_EQ(back->timeMs, sent.timeMs);
        EXPECT_TRUE(back->test);
        if (members == kOper) {
            EXPECT_EQ(back->operTimeMs, sent.operTimeMs);
            EXPECT_TRUE(back->interlockCheck);
            EXPECT_FALSE(back->synchroCheck);
        }
    }
    // The check bits travel as the device reads them: synchrocheck first.
    const auto oper = encodeCommand(kOper, sampleCommand(MmsValue::boolean(true)));
    ASSERT_TRUE(oper);
    const MmsValue& check = oper->elements().back();
    EXPECT_FALSE(check.bit(0));
    EXPECT_TRUE(check.bit(1));
}

TEST(ControlCommandTest, UnknownOrMistypedMembersAreRefused) {
    EXPECT_FALSE(encodeCommand({"ctlVal", "Foo"}, sampleCommand(MmsValue::boolean(true))));
    auto value = *encodeCommand(kCancel, sampleCommand(MmsValue::boolean(true)));
    EXPECT_FALSE(decodeCommand(kOper, value)) << "fewer members than the structure has";
    value.elements()[1] = MmsValue::integer(3);  // origin not a structure
    EXPECT_FALSE(decodeCommand(kCancel, value));
    value = *encodeCommand(kCancel, sampleCommand(MmsValue::boolean(true)));
    value.elements()[2] = MmsValue::visibleString("7");  // ctlNum not a number
    EXPECT_FALSE(decodeCommand(kCancel, value));
    EXPECT_FALSE(decodeCommand(kCancel, MmsValue::boolean(true)));
}

TEST(LastApplErrorTest, RoundTripKeepsEveryFieldAndUnknownCauses) {
    for (int32_t cause : {0, 16, 27, 30, -4, 100000}) {
        LastApplErrorValue sent;
        sent.controlObject = "BAY1CTRL/CSWI1$CO$Pos$Oper";
        sent.error = ControlError::TimeoutTest;
        sent.origin = Originator{2, {1, 2, 3}};
        sent.ctlNum = 7;
        sent.addCause = static_cast<AddCause>(cause);
        const auto back = decodeLastApplError(encodeLastApplError(sent));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->controlObject, sent.controlObject);
        EXPECT_EQ(back->error, ControlError::TimeoutTest);
        EXPECT_EQ(back->origin, sent.origin);
        EXPECT_EQ(back->ctlNum, 7u);
        EXPECT_EQ(static_cast<int32_t>(back->addCause), cause);
    }
}

TEST(LastApplErrorTest, HostileValuesAreRefusedOrReadAsUnknown) {
    EXPECT_FALSE(decodeLastApplError(MmsValue::integer(1)));
    EXPECT_FALSE(decodeLastApplError(MmsValue::structure({MmsValue::visibleString("x")})));
    EXPECT_FALSE(decodeLastApplError(
        MmsValue::structure({MmsValue::integer(1), MmsValue::integer(0), MmsValue::integer(0),
                             MmsValue::integer(0), MmsValue::integer(0)})));
    // An error code beyond the known ones, and a cause that does not fit the type: read, never stored as
    // something the enumeration cannot hold.
    const auto odd = decodeLastApplError(MmsValue::structure(
        {MmsValue::visibleString("LD/LN$CO$DO$Oper"), MmsValue::integer(99), MmsValue::boolean(true),
         MmsValue::boolean(false), MmsValue::integer(int64_t(1) << 40)}));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->error, ControlError::Unknown);
    EXPECT_EQ(odd->addCause, AddCause::Unknown);
    EXPECT_EQ(odd->ctlNum, 0u);
}

TEST(ControlFeedbackTest, RefusalsAndTerminationsRoundTrip) {
    LastApplErrorValue error;
    error.controlObject = "BAY1CTRL/CSWI1$CO$Pos$Oper";
    error.ctlNum = 4;
    error.addCause = AddCause::TimeLimitOver;
    const MmsValue oper = *encodeCommand(kOper, sampleCommand(MmsValue::boolean(false)));

    const auto refusal = decodeControlFeedback(encodeRefusal(error));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->kind, ControlFeedback::Kind::Refusal);
    EXPECT_EQ(refusal->lastApplError->addCause, AddCause::TimeLimitOver);

    const auto positive = decodeControlFeedback(encodeTermination("BAY1CTRL", "CSWI1$CO$Pos", oper, nullptr));
    ASSERT_TRUE(positive);
    EXPECT_TRUE(positive->positiveTermination());
    EXPECT_EQ(positive->domain, "BAY1CTRL");
    EXPECT_EQ(positive->objectItem, "CSWI1$CO$Pos");
    EXPECT_EQ(positive->oper, oper);

    const auto negative = decodeControlFeedback(encodeTermination("BAY1CTRL", "CSWI1$CO$Pos", oper, &error));
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->kind, ControlFeedback::Kind::Termination);
    EXPECT_FALSE(negative->positiveTermination());
    EXPECT_EQ(negative->lastApplError->ctlNum, 4u);
    EXPECT_EQ(negative->objectItem, "CSWI1$CO$Pos");
}

TEST(ControlFeedbackTest, OtherReportsAreNotFeedback) {
    InformationReport report;
    report.spec = VariableAccessSpec::list({VariableAccess{ObjectName::domain("LD", "LLN0$RP$urcb"), {}}});
    report.results.push_back(MmsValue::boolean(true));
    EXPECT_FALSE(decodeControlFeedback(report)) << "a report, not an Oper";
    report.spec =
        VariableAccessSpec::list({VariableAccess{ObjectName::domain("LD", "GGIO1$CO$SPCSO1$Oper"), {}}});
    report.results.clear();
    EXPECT_FALSE(decodeControlFeedback(report)) << "names without values";
    report.spec = VariableAccessSpec::list({VariableAccess{ObjectName::vmd("LastApplError"), {}}});
    report.results.push_back(MmsValue::integer(3));
    EXPECT_FALSE(decodeControlFeedback(report)) << "a LastApplError that is none";
}

}  // namespace
}  // namespace korvan::test
