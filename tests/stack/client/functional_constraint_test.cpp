#include "functional_constraint.h"

#include <gtest/gtest.h>

#include "iec61850_client.h"

namespace {

TEST(FunctionalConstraintTest, ReadsTheFirstTwoCharactersOnly) {
    EXPECT_EQ(FunctionalConstraint_fromString("ST"), IEC61850_FC_ST);
    EXPECT_EQ(FunctionalConstraint_fromString("GO"), IEC61850_FC_GO);
    EXPECT_EQ(FunctionalConstraint_fromString("MX]"), IEC61850_FC_MX);
    EXPECT_EQ(FunctionalConstraint_fromString("XX"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString("S"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString(nullptr), IEC61850_FC_NONE);
    EXPECT_STREQ(iecstack::client::functionalConstraintName(IEC61850_FC_BR), "BR");
    EXPECT_EQ(iecstack::client::functionalConstraintName(IEC61850_FC_ALL), nullptr);
}

}  // namespace
