// The simulator's control behaviour at the service level, for what a well-behaved client never sends:
// commands in test mode, parts of a command written on their own, and the order of a termination
// behind the operate's response.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "mms/codec.h"
#include "server/mms_services.h"
#include "server/model_builder.h"
#include "server/session.h"

using namespace iecstack;
using namespace iecstack::server;

namespace {

const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

struct Device {
    Device() {
        auto loaded = loadDataModel(kSample, "");
        EXPECT_TRUE(loaded.ok());
        model = std::move(*loaded);
        services = std::make_unique<MmsServices>(*model, ServerIdentity{});
    }
    // The write's outcome: empty for success.
    std::optional<mms::DataAccessError> write(Session& session, const std::string& item, MmsValue value) {
        mms::WriteRequest request;
        request.spec = mms::VariableAccessSpec::list(
            {mms::VariableAccess{mms::ObjectName::domain("BAY1CTRL", item), {}}});
        request.data.push_back(std::move(value));
        mms::Pdu answer = services->answer(mms::ConfirmedRequest{1, request}, session);
        const auto& response = std::get<mms::ConfirmedResponse>(answer);
        return std::get<mms::WriteResponse>(response.service).results.at(0);
    }
    MmsValue read(const std::string& item) { return read(*Session::detached(), item); }
    MmsValue read(Session& session, const std::string& item) {
        mms::ReadRequest request;
        request.spec = mms::VariableAccessSpec::list(
            {mms::VariableAccess{mms::ObjectName::domain("BAY1CTRL", item), {}}});
        mms::Pdu answer = services->answer(mms::ConfirmedRequest{2, request}, session);
        return std::get<mms::ReadResponse>(std::get<mms::ConfirmedResponse>(answer).service).results.at(0);
    }

    std::unique_ptr<DataModel> model;
    std::unique_ptr<MmsServices> services;
};

// An Oper or SBOw of the sample's double-point and single-point commands.
MmsValue command(bool ctlVal, bool test, uint64_t ctlNum = 1) {
    return MmsValue::structure({MmsValue::boolean(ctlVal),
                                MmsValue::structure({MmsValue::integer(3), MmsValue::octetString({'t'})}),
                                MmsValue::unsignedInteger(ctlNum), MmsValue::utcTimeFromMs(0, 0),
                                MmsValue::boolean(test), MmsValue::bitString(mms::BitString(2))});
}

TEST(ControlService, TestModeIsAcceptedWithoutMovingTheProcess) {
    Device device;
    auto session = Session::detached();
    const MmsValue closed = device.read("CSWI1$ST$Pos$stVal");
    EXPECT_FALSE(device.write(*session, "CSWI1$CO$Pos$SBOw", command(false, true)));
    EXPECT_FALSE(device.write(*session, "CSWI1$CO$Pos$Oper", command(false, true)));
    EXPECT_EQ(device.read("CSWI1$ST$Pos$stVal"), closed);
    // Direct control of a single point: accepted, nothing changes.
    EXPECT_FALSE(device.write(*session, "GGIO1$CO$SPCSO2$Oper", command(true, true)));
    EXPECT_FALSE(device.read("GGIO1$ST$SPCSO2$stVal").boolValue());
    EXPECT_FALSE(device.write(*session, "GGIO1$CO$SPCSO2$Oper", command(true, false)));
    EXPECT_TRUE(device.read("GGIO1$ST$SPCSO2$stVal").boolValue());
}

TEST(ControlService, PartsOfACommandAndStatusOnlyObjectsAreRefused) {
    Device device;
    auto session = Session::detached();
    EXPECT_EQ(device.write(*session, "GGIO1$CO$SPCSO2$Oper$ctlVal", MmsValue::boolean(true)),
              mms::DataAccessError::ObjectAccessDenied);
    EXPECT_EQ(device.write(*session, "GGIO1$CO$SPCSO1$Oper", command(true, false)),
              mms::DataAccessError::ObjectAccessDenied);
    EXPECT_FALSE(device.read("GGIO1$ST$SPCSO2$stVal").boolValue());
    EXPECT_FALSE(device.read("GGIO1$ST$SPCSO1$stVal").boolValue());
}

// A client whose select by read is refused gets the empty answer and nothing else; a select with value
// whose operate carries another value keeps the selection for the cancel that follows.
TEST(ControlService, RefusedSelectionsLeaveNoTraceBeyondTheirAnswer) {
    Device device;
    std::vector<uint8_t> toSecond;
    auto first = std::make_shared<Session>(1, "first", 65000, [](ByteView) { return true; });
    auto second = std::make_shared<Session>(2, "second", 65000, [&](ByteView pdu) {
        toSecond.push_back(pdu[0]);
        return true;
    });
    EXPECT_EQ(device.read(*first, "GGIO1$CO$SPCSO3$SBO").text(), "BAY1CTRL/GGIO1$CO$SPCSO3");
    EXPECT_EQ(device.read(*second, "GGIO1$CO$SPCSO3$SBO").text(), "");
    EXPECT_TRUE(toSecond.empty()) << "unsolicited PDU after a refused select by read";

    auto session = Session::detached();
    EXPECT_FALSE(device.write(*session, "GGIO1$CO$SPCSO5$SBOw", command(true, false)));
    EXPECT_EQ(device.write(*session, "GGIO1$CO$SPCSO5$Oper", command(false, false)),
              mms::DataAccessError::ObjectAccessDenied);
    const MmsValue withoutCheck = MmsValue::structure(
        {MmsValue::boolean(true), MmsValue::structure({MmsValue::integer(3), MmsValue::octetString({'t'})}),
         MmsValue::unsignedInteger(1), MmsValue::utcTimeFromMs(0, 0), MmsValue::boolean(false)});
    EXPECT_FALSE(device.write(*session, "GGIO1$CO$SPCSO5$Cancel", withoutCheck));
    EXPECT_EQ(device.write(*session, "GGIO1$CO$SPCSO5$Cancel", withoutCheck),
              mms::DataAccessError::ObjectAccessDenied);
}

// The positive termination of an enhanced operate that moves nothing is sent from another thread; the
// session keeps it behind the response of the request being answered.
TEST(ControlService, TerminationNeverOvertakesTheOperateResponse) {
    Device device;
    std::vector<uint8_t> wire;  // first octets: a1 response, a3 report
    std::mutex mutex;
    auto session = std::make_shared<Session>(1, "peer", 65000, [&](ByteView pdu) {
        std::lock_guard<std::mutex> lock(mutex);
        wire.push_back(pdu[0]);
        return true;
    });
    session->beginRequest();
    EXPECT_FALSE(device.write(*session, "GGIO1$CO$SPCSO4$Oper", command(true, false)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // give the termination every chance
    session->finishRequest(Bytes{0xa1});
    auto sent = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return wire.size();
    };
    for (int i = 0; i < 200 && sent() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(wire, (std::vector<uint8_t>{0xa1, 0xa3}));
}

}  // namespace
