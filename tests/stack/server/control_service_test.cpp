// The simulator's control behaviour at the service level, for what a well-behaved client never sends:
// commands in test mode, parts of a command written on their own, and the order of a termination
// behind the operate's response; and the checks a command asks for, each honoured on its own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "mapping/control_structures.h"
#include "mms/codec.h"
#include "server/mms_services.h"
#include "server/model_builder.h"
#include "server/session.h"

using namespace iecstack;
using namespace iecstack::server;

namespace {

const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

struct Device {
    explicit Device(const std::string& file = kSample) {
        auto loaded = loadDataModel(file, "");
        EXPECT_TRUE(loaded.ok());
        if (!loaded.ok()) {
            return;
        }
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
MmsValue command(bool ctlVal, bool test, uint64_t ctlNum = 1, bool synchroCheck = false,
                 bool interlockCheck = false) {
    mms::BitString check(2);
    check.setBit(0, synchroCheck);
    check.setBit(1, interlockCheck);
    return MmsValue::structure({MmsValue::boolean(ctlVal),
                                MmsValue::structure({MmsValue::integer(3), MmsValue::octetString({'t'})}),
                                MmsValue::unsignedInteger(ctlNum), MmsValue::utcTimeFromMs(0, 0),
                                MmsValue::boolean(test), MmsValue::bitString(check)});
}

void replaceOnce(std::string& text, const std::string& what, const std::string& with) {
    const size_t at = text.find(what);
    ASSERT_NE(at, std::string::npos) << what;
    text.replace(at, what.size(), with);
}

// The sample with the breaker controller's companions withholding what they decide about: the
// interlocking node does not enable closing, and a synchronism check node beside it does not release.
class BlockedBay {
public:
    BlockedBay() {
        std::ifstream in(kSample);
        std::stringstream read;
        read << in.rdbuf();
        std::string text = read.str();
        replaceOnce(text, R"(<DOI name="EnaCls"><DAI name="stVal"><Val>true</Val>)",
                    R"(<DOI name="EnaCls"><DAI name="stVal"><Val>false</Val>)");
        replaceOnce(text, R"(<LN lnClass="CSWI" lnType="BAY_CSWI" inst="1" prefix="">)",
                    R"(<LN lnClass="RSYN" lnType="BAY_RSYN" inst="1" prefix="">
                         <DOI name="Rel"><DAI name="stVal"><Val>false</Val></DAI></DOI>
                       </LN>
                       <LN lnClass="CSWI" lnType="BAY_CSWI" inst="1" prefix="">)");
        replaceOnce(text, R"(<LNodeType id="BAY_CSWI" lnClass="CSWI">)",
                    R"(<LNodeType id="BAY_RSYN" lnClass="RSYN">
                         <DO name="Beh" type="BAY_ENS_Beh"/>
                         <DO name="Rel" type="BAY_SPS"/>
                       </LNodeType>
                       <LNodeType id="BAY_CSWI" lnClass="CSWI">)");
        char name[] = "/tmp/korvan-blocked-bay-XXXXXX.icd";
        const int fd = mkstemps(name, 4);
        EXPECT_GE(fd, 0);
        if (fd >= 0) {
            close(fd);
            path_ = name;
            std::ofstream(path_) << text;
        }
    }
    ~BlockedBay() {
        if (!path_.empty()) {
            std::remove(path_.c_str());
        }
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The causes of the LastApplError reports a session was sent.
struct RefusalRecorder {
    std::shared_ptr<Session> session = std::make_shared<Session>(1, "peer", 65000, [this](ByteView pdu) {
        const auto decoded = mms::decodePdu(pdu);
        const auto* unconfirmed = decoded ? std::get_if<mms::UnconfirmedPdu>(&decoded.value()) : nullptr;
        const auto* report =
            unconfirmed ? std::get_if<mms::InformationReport>(&unconfirmed->service) : nullptr;
        const auto feedback = report ? mapping::decodeControlFeedback(*report) : std::nullopt;
        if (feedback && feedback->lastApplError) {
            causes.push_back(feedback->lastApplError->addCause);
        }
        return true;
    });
    std::vector<mapping::AddCause> causes;
};

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

// Each check bit asks for its own check only: a command that does not ask is carried out although the
// condition is not met, and the refusal names the check that failed. Opening needs no synchronism.
TEST(ControlService, EachCheckBitAsksForItsOwnCheck) {
    BlockedBay file;
    ASSERT_FALSE(file.path().empty());
    Device device(file.path());
    ASSERT_TRUE(device.model);
    RefusalRecorder peer;
    Session& session = *peer.session;
    using mapping::AddCause;
    const std::string sbow = "CSWI1$CO$Pos$SBOw";
    const auto select = [&](bool close, bool synchro, bool interlock) {
        return device.write(session, sbow, command(close, false, 1, synchro, interlock));
    };

    EXPECT_EQ(select(true, false, true), mms::DataAccessError::ObjectAccessDenied);
    EXPECT_EQ(select(true, true, false), mms::DataAccessError::ObjectAccessDenied);
    EXPECT_EQ(peer.causes,
              (std::vector<AddCause>{AddCause::BlockedByInterlocking, AddCause::BlockedBySynchrocheck}));
    // Both asked: interlocking is looked at first.
    EXPECT_EQ(select(true, true, true), mms::DataAccessError::ObjectAccessDenied);
    EXPECT_EQ(peer.causes.back(), AddCause::BlockedByInterlocking);

    // Without the checks, and opening with both, the selection is taken.
    EXPECT_FALSE(select(true, false, false));
    EXPECT_FALSE(device.write(
        session, "CSWI1$CO$Pos$Cancel",
        MmsValue::structure({MmsValue::boolean(true),
                             MmsValue::structure({MmsValue::integer(3), MmsValue::octetString({'t'})}),
                             MmsValue::unsignedInteger(1), MmsValue::utcTimeFromMs(0, 0),
                             MmsValue::boolean(false)})));
    EXPECT_FALSE(select(false, true, true));
    EXPECT_EQ(peer.causes.size(), 3u);

    EXPECT_FALSE(device.write(session, "CSWI1$CO$Pos$Oper", command(false, false, 1, true, true)));
    EXPECT_EQ(peer.causes.size(), 3u);
}

// The log line of a command says what it asked for and why it was refused.
TEST(ControlService, CommandsAreLoggedWithTheirChecks) {
    BlockedBay file;
    ASSERT_FALSE(file.path().empty());
    Device device(file.path());
    ASSERT_TRUE(device.model);
    RefusalRecorder peer;
    const auto logged = [&](const std::string& item, const MmsValue& value) {
        mms::WriteRequest request;
        request.spec = mms::VariableAccessSpec::list(
            {mms::VariableAccess{mms::ObjectName::domain("BAY1CTRL", item), {}}});
        request.data.push_back(value);
        std::string summary;
        device.services->answer(mms::ConfirmedRequest{1, request}, *peer.session, &summary);
        return summary;
    };
    EXPECT_EQ(logged("CSWI1$CO$Pos$SBOw", command(true, true, 1, true, false)),
              "write BAY1CTRL/CSWI1$CO$Pos$SBOw (ctlVal true, Test true, Check synchrocheck, refused with "
              "AddCause 11) -> object-access-denied");
    EXPECT_EQ(logged("GGIO1$CO$SPCSO2$Oper", command(true, false, 1, false, false)),
              "write BAY1CTRL/GGIO1$CO$SPCSO2$Oper (ctlVal true, Test false, Check none)");
    EXPECT_EQ(logged("GGIO1$ST$SPCSO2$stVal", MmsValue::boolean(true)),
              "write BAY1CTRL/GGIO1$ST$SPCSO2$stVal -> object-access-denied");
}

}  // namespace
