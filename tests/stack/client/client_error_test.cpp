#include "client_error.h"

#include <gtest/gtest.h>

#include <set>

#include "ied_connection.h"

namespace {

using iecstack::client::ClientError;
using iecstack::client::iedClientError;

// An error added to the client but forgotten in the C interface's translation would reach C callers as
// IED_ERROR_UNKNOWN, or as another error's name.
TEST(ClientErrorTest, EveryErrorHasItsOwnNameInTheCInterface) {
    std::set<IedClientError> seen;
    for (int e = static_cast<int>(ClientError::Ok); e < static_cast<int>(ClientError::Unknown); ++e) {
        const IedClientError translated = iedClientError(static_cast<ClientError>(e));
        EXPECT_NE(translated, IED_ERROR_UNKNOWN) << e;
        EXPECT_TRUE(seen.insert(translated).second) << e;
    }
    EXPECT_EQ(iedClientError(ClientError::Ok), IED_ERROR_OK);
    EXPECT_EQ(iedClientError(ClientError::InvalidArgument), IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    EXPECT_EQ(iedClientError(ClientError::Unknown), IED_ERROR_UNKNOWN);
}

}  // namespace
