// Control objects of the client API: against the recorded control server (every command must match the
// recorded one field for field but for its time stamp, or the peer has no answer for it) and against
// the simulator (each control model, each refusal, time-outs and lost associations).

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "client_test_support.h"
#include "iec61850_client.h"
#include "scripted_peer.h"
#include "server/simulated_server.h"

namespace korvan::test {
namespace {

using iecstack::server::SimulatedServer;
using namespace std::chrono_literals;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";
const std::string kControlModel = std::string(KORVAN_TEST_DATA_DIR) + "/models/control.icd";

struct ControlDeleter {
    void operator()(sControlObjectClient* object) const { ControlObjectClient_destroy(object); }
};
using ControlPtr = std::unique_ptr<sControlObjectClient, ControlDeleter>;

struct Value {
    explicit Value(MmsValue* v) : value(v) {}
    ~Value() { MmsValue_delete(value); }
    MmsValue* value;
};

// Command terminations as the receive thread hands them over.
struct Terminations {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<LastApplError> seen;

    static void handler(void* parameter, ControlObjectClient object) {
        auto* self = static_cast<Terminations*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->seen.push_back(ControlObjectClient_getLastApplError(object));
        self->arrived.notify_all();
    }
    // The first `count` terminations; fails the test when they do not come.
    bool waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return seen.size() >= count; });
    }
};

ControlPtr control(IedConnection connection, const char* reference, const char* orIdent = "wire",
                   int orCat = 3) {
    ControlPtr object(ControlObjectClient_create(reference, connection));
    EXPECT_TRUE(object) << reference;
    if (object) {
        ControlObjectClient_setOrigin(object.get(), orIdent, orCat);
    }
    return object;
}

int64_t readInt(IedConnection connection, const char* reference, FunctionalConstraint fc) {
    IedClientError error = IED_ERROR_UNKNOWN;
    Value v(IedConnection_readObject(connection, &error, reference, fc));
    EXPECT_EQ(error, IED_ERROR_OK) << reference;
    if (v.value && MmsValue_getType(v.value) == MMS_BOOLEAN) {
        return MmsValue_getBoolean(v.value) ? 1 : 0;
    }
    return v.value ? MmsValue_toInt64(v.value) : -1;
}

// Position of a double point as an integer: 0 intermediate, 1 off, 2 on, 3 bad.
int positionOf(IedConnection connection, const char* reference) {
    IedClientError error = IED_ERROR_UNKNOWN;
    Value v(IedConnection_readObject(connection, &error, reference, IEC61850_FC_ST));
    if (!v.value || MmsValue_getType(v.value) != MMS_BIT_STRING) {
        return -1;
    }
    return (MmsValue_getBitStringBit(v.value, 0) ? 2 : 0) | (MmsValue_getBitStringBit(v.value, 1) ? 1 : 0);
}

// ---- recorded control server ------------------------------------------------------------------------

TEST(ControlRecordedTest, DirectAndSelectBeforeOperateSendTheRecordedCommands) {
    {
        ScriptedPeer peer("11-control-direct-normal.pcap");
        auto connection = connectTo(peer.port());
        auto object = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO1");
        ASSERT_TRUE(object);
        EXPECT_EQ(ControlObjectClient_getControlModel(object.get()), CONTROL_MODEL_DIRECT_NORMAL);
        Value on(MmsValue_newBoolean(true));
        EXPECT_TRUE(ControlObjectClient_operate(object.get(), on.value, 0));
        EXPECT_EQ(peer.requestsWithoutRecording(), 0);
    }
    {
        // Select, operate, select again and cancel: the control number counts per select.
        ScriptedPeer peer("12-control-sbo-normal.pcap");
        auto connection = connectTo(peer.port());
        auto object = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO2");
        ASSERT_TRUE(object);
        Value on(MmsValue_newBoolean(true));
        EXPECT_TRUE(ControlObjectClient_select(object.get()));
        EXPECT_TRUE(ControlObjectClient_operate(object.get(), on.value, 0));
        EXPECT_TRUE(ControlObjectClient_select(object.get()));
        EXPECT_TRUE(ControlObjectClient_cancel(object.get()));
        EXPECT_EQ(peer.requestsWithoutRecording(), 0);
    }
}

TEST(ControlRecordedTest, EnhancedSecurityDeliversPositiveAndNegativeTerminations) {
    ScriptedPeer peer("13-control-direct-enhanced.pcap");
    peer.setReports(ScriptedPeer::Reports::AfterAnswer);
    auto connection = connectTo(peer.port());
    Terminations terminations;
    auto good = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO3");
    auto failing = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO9");
    ASSERT_TRUE(good && failing);
    ControlObjectClient_setCommandTerminationHandler(good.get(), Terminations::handler, &terminations);
    ControlObjectClient_setCommandTerminationHandler(failing.get(), Terminations::handler, &terminations);
    Value on(MmsValue_newBoolean(true));
    EXPECT_TRUE(ControlObjectClient_operate(good.get(), on.value, 0));
    ASSERT_TRUE(terminations.waitFor(1));
    EXPECT_EQ(terminations.seen[0].error, CONTROL_ERROR_NO_ERROR);
    // The device's negative termination says "no error"; it is a failure all the same.
    EXPECT_TRUE(ControlObjectClient_operate(failing.get(), on.value, 0));
    ASSERT_TRUE(terminations.waitFor(2));
    EXPECT_NE(terminations.seen[1].error, CONTROL_ERROR_NO_ERROR);
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

TEST(ControlRecordedTest, SelectWithValueOperateAndCancel) {
    ScriptedPeer peer("14-control-sbow-enhanced.pcap");
    peer.setReports(ScriptedPeer::Reports::AfterAnswer);
    auto connection = connectTo(peer.port());
    Terminations terminations;
    auto object = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO4");
    ASSERT_TRUE(object);
    ControlObjectClient_setCommandTerminationHandler(object.get(), Terminations::handler, &terminations);
    Value on(MmsValue_newBoolean(true));
    EXPECT_TRUE(ControlObjectClient_selectWithValue(object.get(), on.value));
    EXPECT_TRUE(ControlObjectClient_operate(object.get(), on.value, 0));
    ASSERT_TRUE(terminations.waitFor(1));
    EXPECT_EQ(terminations.seen[0].error, CONTROL_ERROR_NO_ERROR);
    // Cancel repeats the value of the select it cancels.
    Value off(MmsValue_newBoolean(false));
    EXPECT_TRUE(ControlObjectClient_selectWithValue(object.get(), off.value));
    EXPECT_TRUE(ControlObjectClient_cancel(object.get()));
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

// The refusal report comes before the negative write response, so the cause is known when the call
// returns.
TEST(ControlRecordedTest, RefusalsKeepTheReportedCause) {
    ScriptedPeer peer("15-control-refused.pcap");
    peer.setReports(ScriptedPeer::Reports::AfterAnswer);
    auto first = connectTo(peer.port());
    auto second = connectTo(peer.port());
    auto mine = control(first.get(), "simpleIOGenericIO/GGIO1.SPCSO4");
    auto theirs = control(second.get(), "simpleIOGenericIO/GGIO1.SPCSO4", "other", 2);
    ASSERT_TRUE(mine && theirs);
    Value on(MmsValue_newBoolean(true));
    EXPECT_FALSE(ControlObjectClient_operate(mine.get(), on.value, 0));
    EXPECT_EQ(ControlObjectClient_getLastApplError(mine.get()).addCause, ADD_CAUSE_OBJECT_NOT_SELECTED);
    EXPECT_EQ(ControlObjectClient_getLastError(mine.get()), IED_ERROR_ACCESS_DENIED);
    EXPECT_TRUE(ControlObjectClient_selectWithValue(mine.get(), on.value));
    EXPECT_EQ(ControlObjectClient_getLastApplError(mine.get()).error, CONTROL_ERROR_NO_ERROR);
    EXPECT_FALSE(ControlObjectClient_selectWithValue(theirs.get(), on.value));
    EXPECT_EQ(ControlObjectClient_getLastApplError(theirs.get()).addCause, ADD_CAUSE_OBJECT_ALREADY_SELECTED);
    EXPECT_EQ(ControlObjectClient_getLastApplError(theirs.get()).ctlNum, 1);
    EXPECT_EQ(ControlObjectClient_getLastError(theirs.get()), IED_ERROR_TEMPORARILY_UNAVAILABLE);
    EXPECT_TRUE(ControlObjectClient_cancel(mine.get()));
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

TEST(ControlRecordedTest, SilentOrVanishingServerEndsTheCommandWithItsCause) {
    ScriptedPeer peer("11-control-direct-normal.pcap");
    auto connection = connectTo(peer.port(), 300);
    auto object = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO1");
    ASSERT_TRUE(object);
    Value on(MmsValue_newBoolean(true));
    peer.setBehaviour(ScriptedPeer::Behaviour::Silent);
    EXPECT_FALSE(ControlObjectClient_operate(object.get(), on.value, 0));
    EXPECT_EQ(ControlObjectClient_getLastError(object.get()), IED_ERROR_TIMEOUT);
    peer.setBehaviour(ScriptedPeer::Behaviour::CloseOnRequest);
    EXPECT_FALSE(ControlObjectClient_operate(object.get(), on.value, 0));
    const IedClientError lost = ControlObjectClient_getLastError(object.get());
    EXPECT_TRUE(lost == IED_ERROR_CONNECTION_LOST || lost == IED_ERROR_NOT_CONNECTED) << lost;
    // Once the association is gone every command fails at once.
    EXPECT_FALSE(ControlObjectClient_select(object.get()));
    EXPECT_FALSE(ControlObjectClient_cancel(object.get()));
}

TEST(ControlRecordedTest, ObjectsThatTakeNoCommandsAreNotCreated) {
    ScriptedPeer peer("11-control-direct-normal.pcap");
    auto connection = connectTo(peer.port());
    EXPECT_EQ(ControlObjectClient_create("simpleIOGenericIO/GGIO1.Nothing", connection.get()), nullptr);
    EXPECT_EQ(ControlObjectClient_create("no reference", connection.get()), nullptr);
    EXPECT_EQ(ControlObjectClient_create(nullptr, connection.get()), nullptr);
    EXPECT_FALSE(ControlObjectClient_operate(nullptr, nullptr, 0));
}

// ---- simulator ----------------------------------------------------------------------------------------

std::unique_ptr<SimulatedServer> startSimulator(const std::string& model = kSampleBay) {
    std::string error;
    auto server = SimulatedServer::start(model, {}, &error);
    EXPECT_TRUE(server) << error;
    return server;
}

TEST(ControlSimulatorTest, BreakerIsSelectedAndOperatedOpenAndClosed) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    Terminations terminations;
    auto breaker = control(connection.get(), "BAY1CTRL/CSWI1.Pos", "Korvan_client", 2);
    ASSERT_TRUE(breaker);
    ControlObjectClient_setInterlockCheck(breaker.get(), true);
    ControlObjectClient_setSynchroCheck(breaker.get(), true);
    ControlObjectClient_setCommandTerminationHandler(breaker.get(), Terminations::handler, &terminations);
    EXPECT_EQ(ControlObjectClient_getControlModel(breaker.get()), CONTROL_MODEL_SBO_ENHANCED);

    Value open(MmsValue_newBoolean(false));
    ASSERT_TRUE(ControlObjectClient_selectWithValue(breaker.get(), open.value));
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/CSWI1.Pos.stSeld", IEC61850_FC_ST), 1);
    ASSERT_TRUE(ControlObjectClient_operate(breaker.get(), open.value, 0));
    ASSERT_TRUE(terminations.waitFor(1));
    EXPECT_EQ(terminations.seen[0].error, CONTROL_ERROR_NO_ERROR);
    EXPECT_EQ(positionOf(connection.get(), "BAY1CTRL/CSWI1.Pos.stVal"), 1);
    EXPECT_EQ(positionOf(connection.get(), "BAY1CTRL/XCBR1.Pos.stVal"), 1);
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/CSWI1.Pos.stSeld", IEC61850_FC_ST), 0);

    Value close(MmsValue_newBoolean(true));
    ASSERT_TRUE(ControlObjectClient_selectWithValue(breaker.get(), close.value));
    ASSERT_TRUE(ControlObjectClient_operate(breaker.get(), close.value, 0));
    ASSERT_TRUE(terminations.waitFor(2));
    EXPECT_EQ(positionOf(connection.get(), "BAY1CTRL/CSWI1.Pos.stVal"), 2);
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/XCBR1.OpCnt.stVal", IEC61850_FC_ST), 1289);
    // The status names the last commander.
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/CSWI1.Pos.origin.orCat", IEC61850_FC_ST), 2);
}

TEST(ControlSimulatorTest, EnhancedRefusalsCarryTheirCause) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    auto other = connectTo(ied->port());
    auto breaker = control(connection.get(), "BAY1CTRL/CSWI1.Pos");
    auto competitor = control(other.get(), "BAY1CTRL/CSWI1.Pos", "other", 2);
    ASSERT_TRUE(breaker && competitor);
    Value open(MmsValue_newBoolean(false));
    Value close(MmsValue_newBoolean(true));
    auto cause = [&](ControlPtr& o) { return ControlObjectClient_getLastApplError(o.get()).addCause; };

    // Operate without a selection.
    EXPECT_FALSE(ControlObjectClient_operate(breaker.get(), open.value, 0));
    EXPECT_EQ(cause(breaker), ADD_CAUSE_OBJECT_NOT_SELECTED);
    // One client holds the selection; the other is refused, for select and operate alike.
    ASSERT_TRUE(ControlObjectClient_selectWithValue(breaker.get(), open.value));
    EXPECT_FALSE(ControlObjectClient_selectWithValue(competitor.get(), open.value));
    EXPECT_EQ(cause(competitor), ADD_CAUSE_OBJECT_ALREADY_SELECTED);
    EXPECT_FALSE(ControlObjectClient_operate(competitor.get(), open.value, 0));
    EXPECT_EQ(cause(competitor), ADD_CAUSE_LOCKED_BY_OTHER_CLIENT);
    // An operate with another value than the selected one is refused; the selection stays until
    // it is cancelled.
    EXPECT_FALSE(ControlObjectClient_operate(breaker.get(), close.value, 0));
    EXPECT_EQ(cause(breaker), ADD_CAUSE_INCONSISTENT_PARAMETERS);
    EXPECT_TRUE(ControlObjectClient_cancel(breaker.get()));
    EXPECT_FALSE(ControlObjectClient_cancel(breaker.get()));
    EXPECT_EQ(cause(breaker), ADD_CAUSE_OBJECT_NOT_SELECTED);
    // Closing a closed breaker.
    ASSERT_TRUE(ControlObjectClient_selectWithValue(breaker.get(), close.value));
    EXPECT_FALSE(ControlObjectClient_operate(breaker.get(), close.value, 0));
    EXPECT_EQ(cause(breaker), ADD_CAUSE_POSITION_REACHED);
    // Interlocking forbids opening while the request asks for the check.
    ASSERT_TRUE(ied->setValue("BAY1CTRL", "CILO1$ST$EnaOpn$stVal", ::MmsValue::boolean(false)));
    EXPECT_TRUE(ControlObjectClient_selectWithValue(breaker.get(), open.value));  // no check asked
    EXPECT_TRUE(ControlObjectClient_cancel(breaker.get()));
    ControlObjectClient_setInterlockCheck(breaker.get(), true);
    EXPECT_FALSE(ControlObjectClient_selectWithValue(breaker.get(), open.value));
    EXPECT_EQ(cause(breaker), ADD_CAUSE_BLOCKED_BY_INTERLOCKING);
    EXPECT_EQ(positionOf(connection.get(), "BAY1CTRL/CSWI1.Pos.stVal"), 2);
}

TEST(ControlSimulatorTest, OperateTimeoutShorterThanTheTravelEndsNegatively) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    ASSERT_TRUE(ied->setValue("BAY1CTRL", "CSWI1$CF$Pos$operTimeout", ::MmsValue::unsignedInteger(50)));
    auto connection = connectTo(ied->port());
    Terminations terminations;
    auto breaker = control(connection.get(), "BAY1CTRL/CSWI1.Pos");
    ASSERT_TRUE(breaker);
    ControlObjectClient_setCommandTerminationHandler(breaker.get(), Terminations::handler, &terminations);
    Value open(MmsValue_newBoolean(false));
    ASSERT_TRUE(ControlObjectClient_selectWithValue(breaker.get(), open.value));
    ASSERT_TRUE(ControlObjectClient_operate(breaker.get(), open.value, 0));
    ASSERT_TRUE(terminations.waitFor(1));
    EXPECT_NE(terminations.seen[0].error, CONTROL_ERROR_NO_ERROR);
    EXPECT_EQ(terminations.seen[0].addCause, ADD_CAUSE_TIME_LIMIT_OVER);
    EXPECT_EQ(positionOf(connection.get(), "BAY1CTRL/CSWI1.Pos.stVal"), 0);  // stuck between positions
}

TEST(ControlSimulatorTest, NormalSecuritySelectLapsesAndIsReleasedWithTheAssociation) {
    auto ied = startSimulator(kControlModel);
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    auto other = connectTo(ied->port());
    auto mine = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO2");
    auto theirs = control(other.get(), "simpleIOGenericIO/GGIO1.SPCSO2");
    ASSERT_TRUE(mine && theirs);
    Value on(MmsValue_newBoolean(true));
    EXPECT_FALSE(ControlObjectClient_operate(mine.get(), on.value, 0));
    EXPECT_EQ(ControlObjectClient_getLastApplError(mine.get()).addCause, ADD_CAUSE_OBJECT_NOT_SELECTED);
    ASSERT_TRUE(ControlObjectClient_select(mine.get()));
    // A select by read that is refused is answered with the empty string alone, without a cause.
    EXPECT_FALSE(ControlObjectClient_select(theirs.get()));
    EXPECT_NE(ControlObjectClient_getLastApplError(theirs.get()).addCause, ADD_CAUSE_OBJECT_ALREADY_SELECTED);
    EXPECT_TRUE(ControlObjectClient_operate(mine.get(), on.value, 0));
    EXPECT_EQ(readInt(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO2.stVal", IEC61850_FC_ST), 1);
    EXPECT_EQ(readInt(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO2.Oper.ctlNum", IEC61850_FC_CO), 1);

    // The selection lapses after sboTimeout (2 s in this model).
    ASSERT_TRUE(ControlObjectClient_select(mine.get()));
    bool lapsed = false;
    for (int i = 0; i < 100 && !lapsed; ++i) {
        std::this_thread::sleep_for(100ms);
        lapsed = ControlObjectClient_select(theirs.get());
    }
    EXPECT_TRUE(lapsed);
    // A client that goes away gives its selection up (SPCSO6 keeps a selection for 30 s otherwise).
    auto mine6 = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO6");
    auto theirs6 = control(other.get(), "simpleIOGenericIO/GGIO1.SPCSO6");
    ASSERT_TRUE(mine6 && theirs6);
    ASSERT_TRUE(ControlObjectClient_select(theirs6.get()));
    EXPECT_FALSE(ControlObjectClient_select(mine6.get()));
    theirs.reset();
    theirs6.reset();
    other.reset();
    // The server notices the end of the association on its own thread.
    bool released = false;
    for (int i = 0; i < 100 && !released; ++i) {
        released = ControlObjectClient_select(mine6.get());
        if (!released) {
            std::this_thread::sleep_for(50ms);
        }
    }
    EXPECT_TRUE(released);
    EXPECT_TRUE(ControlObjectClient_cancel(mine6.get()));
}

TEST(ControlSimulatorTest, DirectModelsAndTestMode) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    Terminations terminations;
    auto direct = control(connection.get(), "BAY1CTRL/GGIO1.SPCSO2");
    auto enhanced = control(connection.get(), "BAY1CTRL/GGIO1.SPCSO4");
    auto integer = control(connection.get(), "BAY1CTRL/GGIO1.ISCSO1");
    ASSERT_TRUE(direct && enhanced && integer);
    // A status-only object with Oper is created as libiec61850 creates it; the device refuses its commands.
    auto statusOnly = control(connection.get(), "BAY1CTRL/GGIO1.SPCSO1");
    ASSERT_TRUE(statusOnly);
    EXPECT_EQ(ControlObjectClient_getControlModel(statusOnly.get()), CONTROL_MODEL_STATUS_ONLY);
    EXPECT_FALSE(ControlObjectClient_operate(statusOnly.get(), Value(MmsValue_newBoolean(true)).value, 0));
    EXPECT_EQ(ControlObjectClient_getLastError(statusOnly.get()), IED_ERROR_ACCESS_DENIED);
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/GGIO1.SPCSO1.stVal", IEC61850_FC_ST), 0);
    // Without Oper there is nothing to command: no object.
    EXPECT_EQ(ControlObjectClient_create("BAY1CTRL/GGIO1.Ind1", connection.get()), nullptr);
    ControlObjectClient_setCommandTerminationHandler(enhanced.get(), Terminations::handler, &terminations);
    Value on(MmsValue_newBoolean(true));
    EXPECT_TRUE(ControlObjectClient_operate(direct.get(), on.value, 0));
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/GGIO1.SPCSO2.stVal", IEC61850_FC_ST), 1);
    EXPECT_TRUE(ControlObjectClient_operate(direct.get(), on.value, 0));
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/GGIO1.SPCSO2.Oper.ctlNum", IEC61850_FC_CO), 2);
    EXPECT_TRUE(ControlObjectClient_operate(enhanced.get(), on.value, 0));
    ASSERT_TRUE(terminations.waitFor(1));
    EXPECT_EQ(terminations.seen[0].error, CONTROL_ERROR_NO_ERROR);
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/GGIO1.SPCSO4.stVal", IEC61850_FC_ST), 1);
    Value three(MmsValue_newIntegerFromInt32(3));
    EXPECT_TRUE(ControlObjectClient_operate(integer.get(), three.value, 0));
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/GGIO1.ISCSO1.stVal", IEC61850_FC_ST), 3);
    Value wrongType(MmsValue_newBoolean(true));
    EXPECT_FALSE(ControlObjectClient_operate(integer.get(), wrongType.value, 0));
    EXPECT_EQ(ControlObjectClient_getLastError(integer.get()), IED_ERROR_TYPE_INCONSISTENT);
}

TEST(ControlSimulatorTest, AssociationLostDuringACommandEndsItWithoutAHang) {
    SimulatedServer::Options options;
    options.server.responseDelay = 300ms;
    std::string error;
    auto ied = SimulatedServer::start(kSampleBay, options, &error);
    ASSERT_TRUE(ied) << error;
    auto connection = connectTo(ied->port());
    auto direct = control(connection.get(), "BAY1CTRL/GGIO1.SPCSO2");
    ASSERT_TRUE(direct);
    Value on(MmsValue_newBoolean(true));
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        ied->stop();
    });
    EXPECT_FALSE(ControlObjectClient_operate(direct.get(), on.value, 0));
    stopper.join();
    const IedClientError lost = ControlObjectClient_getLastError(direct.get());
    EXPECT_TRUE(lost == IED_ERROR_CONNECTION_LOST || lost == IED_ERROR_NOT_CONNECTED) << lost;
}

}  // namespace
}  // namespace korvan::test

// ---- asynchronous commands and feedback matching ------------------------------------------------------

namespace korvan::test {
namespace {

// What the asynchronous handler was told, once per command.
struct Answers {
    std::mutex mutex;
    std::condition_variable arrived;
    struct Answer {
        uint32_t invokeId;
        IedClientError error;
        ControlActionType type;
        bool success;
    };
    std::vector<Answer> seen;

    static void handler(uint32_t invokeId, void* parameter, IedClientError error, ControlActionType type,
                        bool success) {
        auto* self = static_cast<Answers*>(parameter);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->seen.push_back(Answer{invokeId, error, type, success});
        self->arrived.notify_all();
    }
    bool waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return seen.size() >= count; });
    }
};

TEST(ControlAsyncTest, CommandsAnswerThroughTheHandlerWithRefusalsAndTheirCause) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    Answers answers;
    auto breaker = control(connection.get(), "BAY1CTRL/CSWI1.Pos");
    ASSERT_TRUE(breaker);
    Value open(MmsValue_newBoolean(false));
    IedClientError error = IED_ERROR_UNKNOWN;

    // Operate without a selection: refused, with the device's cause already in place for the handler.
    const uint32_t refused =
        ControlObjectClient_operateAsync(breaker.get(), &error, open.value, 0, Answers::handler, &answers);
    EXPECT_EQ(error, IED_ERROR_OK);
    ASSERT_TRUE(answers.waitFor(1));
    EXPECT_EQ(answers.seen[0].invokeId, refused);
    EXPECT_EQ(answers.seen[0].type, CONTROL_ACTION_TYPE_OPERATE);
    EXPECT_FALSE(answers.seen[0].success);
    EXPECT_EQ(ControlObjectClient_getLastApplError(breaker.get()).addCause, ADD_CAUSE_OBJECT_NOT_SELECTED);

    ControlObjectClient_selectWithValueAsync(breaker.get(), &error, open.value, Answers::handler, &answers);
    ASSERT_TRUE(answers.waitFor(2));
    EXPECT_TRUE(answers.seen[1].success);
    EXPECT_EQ(answers.seen[1].type, CONTROL_ACTION_TYPE_SELECT);
    ControlObjectClient_cancelAsync(breaker.get(), &error, Answers::handler, &answers);
    ASSERT_TRUE(answers.waitFor(3));
    EXPECT_TRUE(answers.seen[2].success);
    EXPECT_EQ(answers.seen[2].type, CONTROL_ACTION_TYPE_CANCEL);
    EXPECT_EQ(readInt(connection.get(), "BAY1CTRL/CSWI1.Pos.stSeld", IEC61850_FC_ST), 0);

    EXPECT_EQ(ControlObjectClient_selectAsync(nullptr, &error, Answers::handler, &answers), 0u);
    EXPECT_EQ(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
}

TEST(ControlAsyncTest, SilentDeviceTimesOutAndADestroyedObjectIsNeverCalledBack) {
    ScriptedPeer peer("11-control-direct-normal.pcap");
    auto connection = connectTo(peer.port(), 300);
    auto object = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO1");
    ASSERT_TRUE(object);
    // Made before the device falls silent; its command is still waiting when it goes, so its handler
    // must not run on freed memory (the sanitizer would say so), and is not run at all.
    auto second = control(connection.get(), "simpleIOGenericIO/GGIO1.SPCSO1");
    ASSERT_TRUE(second);
    peer.setBehaviour(ScriptedPeer::Behaviour::Silent);
    Answers answers;
    Value on(MmsValue_newBoolean(true));
    IedClientError error = IED_ERROR_UNKNOWN;
    ControlObjectClient_operateAsync(second.get(), &error, on.value, 0, Answers::handler, &answers);
    ASSERT_EQ(error, IED_ERROR_OK);
    second.reset();
    const uint32_t waited =
        ControlObjectClient_operateAsync(object.get(), &error, on.value, 0, Answers::handler, &answers);
    ASSERT_EQ(error, IED_ERROR_OK);
    ASSERT_TRUE(answers.waitFor(1));
    EXPECT_EQ(answers.seen[0].invokeId, waited);
    // Timed out itself, or failed with the association the other request's time-out gave up.
    EXPECT_TRUE(answers.seen[0].error == IED_ERROR_TIMEOUT || answers.seen[0].error == IED_ERROR_CONNECTION_LOST)
        << answers.seen[0].error;
    EXPECT_FALSE(answers.seen[0].success);
    std::this_thread::sleep_for(200ms);
    std::lock_guard<std::mutex> lock(answers.mutex);
    EXPECT_EQ(answers.seen.size(), 1u);
}

// A LastApplError answers one command: the one with its control number. Another object of the same
// reference on the same association, busy with a command of its own, keeps its own outcome.
TEST(ControlFeedbackMatchingTest, RefusalOfAnotherCommandLeavesTheObjectsOwnOutcome) {
    auto ied = startSimulator();
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    auto selecting = control(connection.get(), "BAY1CTRL/CSWI1.Pos");
    auto stray = control(connection.get(), "BAY1CTRL/CSWI1.Pos");
    ASSERT_TRUE(selecting && stray);
    Value open(MmsValue_newBoolean(false));
    ASSERT_TRUE(ControlObjectClient_selectWithValue(selecting.get(), open.value));  // ctlNum 1
    // ctlNum 0, another value: refused as inconsistent with the selection.
    Value close(MmsValue_newBoolean(true));
    EXPECT_FALSE(ControlObjectClient_operate(stray.get(), close.value, 0));
    EXPECT_NE(ControlObjectClient_getLastApplError(stray.get()).addCause, ADD_CAUSE_UNKNOWN);
    EXPECT_EQ(ControlObjectClient_getLastApplError(selecting.get()).addCause, ADD_CAUSE_UNKNOWN);
    EXPECT_EQ(ControlObjectClient_getLastApplError(selecting.get()).error, CONTROL_ERROR_NO_ERROR);
}

}  // namespace
}  // namespace korvan::test
