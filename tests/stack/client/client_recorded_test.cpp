// The client API against a peer that answers with the recorded responses of the reference captures.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "client_test_support.h"
#include "iec61850_client.h"
#include "mms/codec.h"
#include "scripted_peer.h"

namespace korvan::test {
namespace {

using Names = std::vector<std::string>;

// The recorded confirmed requests as decoded PDUs.
std::vector<iecstack::mms::ConfirmedRequest> recordedRequests(const ScriptedPeer& peer) {
    std::vector<iecstack::mms::ConfirmedRequest> requests;
    for (const auto& bytes : peer.recordedRequests()) {
        auto pdu = iecstack::mms::decodePdu(bytes);
        requests.push_back(std::get<iecstack::mms::ConfirmedRequest>(*pdu));
    }
    return requests;
}

// The names the recorded server listed for `domain`, over all continuation rounds, in order.
Names recordedVariableNames(const std::string& capture, const std::string& domain) {
    Names names;
    for (const Conversation& conversation : readConversations(capture)) {
        std::vector<uint32_t> asked;
        for (const MmsRecord& record : conversation.pdus) {
            auto pdu = iecstack::mms::decodePdu(record.pdu);
            if (const auto* request = std::get_if<iecstack::mms::ConfirmedRequest>(&*pdu)) {
                const auto* gnl = std::get_if<iecstack::mms::GetNameListRequest>(&request->service);
                if (gnl && gnl->objectClass == iecstack::mms::ObjectClass::NamedVariable &&
                    gnl->domainId == domain) {
                    asked.push_back(request->invokeId);
                }
            } else if (const auto* response = std::get_if<iecstack::mms::ConfirmedResponse>(&*pdu)) {
                const auto* gnl = std::get_if<iecstack::mms::GetNameListResponse>(&response->service);
                if (gnl && std::find(asked.begin(), asked.end(), response->invokeId) != asked.end()) {
                    names.insert(names.end(), gnl->identifiers.begin(), gnl->identifiers.end());
                }
            }
        }
    }
    return names;
}

Names withoutDollar(const Names& names) {
    Names result;
    for (const auto& name : names) {
        if (name.find('$') == std::string::npos) {
            result.push_back(name);
        }
    }
    return result;
}

TEST(ClientRecordedTest, DirectoryListsComeInServerOrderAndAreFetchedOncePerAssociation) {
    ScriptedPeer peer("02-getnamelist.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;

    EXPECT_EQ(takeNames(IedConnection_getLogicalDeviceList(connection.get(), &error)),
              Names{"simpleIOGenericIO"});
    EXPECT_EQ(error, IED_ERROR_OK);
    const Names nodes =
        takeNames(IedConnection_getLogicalDeviceDirectory(connection.get(), &error, "simpleIOGenericIO"));
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(nodes, withoutDollar(recordedVariableNames("02-getnamelist.pcap", "simpleIOGenericIO")));
    EXPECT_EQ(nodes, (Names{"GGIO1", "LLN0", "LPHD1"}));
    const int asked = peer.requestsSeen();

    // Everything below is answered from what the first two requests brought.
    EXPECT_EQ(takeNames(IedConnection_getLogicalDeviceList(connection.get(), &error)),
              Names{"simpleIOGenericIO"});
    EXPECT_EQ(takeNames(IedConnection_getLogicalNodeDirectory(
                  connection.get(), &error, "simpleIOGenericIO/GGIO1", ACSI_CLASS_DATA_OBJECT)),
              (Names{"Mod", "SPCSO1", "SPCSO2", "SPCSO3", "SPCSO4", "NamPlt", "AnIn1", "AnIn2", "AnIn3",
                     "AnIn4", "Beh", "Health", "Ind1", "Ind2", "Ind3", "Ind4"}));
    EXPECT_EQ(takeNames(IedConnection_getLogicalNodeDirectory(connection.get(), &error,
                                                              "simpleIOGenericIO/LLN0", ACSI_CLASS_URCB)),
              (Names{"EventsIndexed01", "EventsIndexed02", "EventsIndexed03", "EventsRCBPreConf01",
                     "EventsRCB01"}));
    EXPECT_EQ(takeNames(IedConnection_getDataDirectoryFC(connection.get(), &error,
                                                         "simpleIOGenericIO/GGIO1.AnIn1")),
              (Names{"mag[MX]", "q[MX]", "t[MX]"}));
    EXPECT_EQ(takeNames(IedConnection_getDataDirectoryFC(connection.get(), &error,
                                                         "simpleIOGenericIO/GGIO1.AnIn1.q")),
              Names{});
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(peer.requestsSeen(), asked);

    // Data sets are asked for on every call.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(takeNames(IedConnection_getLogicalNodeDirectory(
                      connection.get(), &error, "simpleIOGenericIO/LLN0", ACSI_CLASS_DATA_SET)),
                  (Names{"Events", "Events2", "Measurements"}));
        EXPECT_EQ(error, IED_ERROR_OK);
    }
    EXPECT_EQ(peer.requestsSeen(), asked + 2);
}

TEST(ClientRecordedTest, UnknownDeviceOrElementIsAnErrorAndNoList) {
    ScriptedPeer peer("02-getnamelist.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_OK;
    // The recorded server answers the data-set question for an unknown device with an access error.
    EXPECT_EQ(
        IedConnection_getLogicalNodeDirectory(connection.get(), &error, "NoSuchLD/LLN0", ACSI_CLASS_DATA_SET),
        nullptr);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);

    EXPECT_EQ(IedConnection_getDataDirectoryFC(connection.get(), &error, "simpleIOGenericIO/GGIO1.AnIn9"),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    EXPECT_EQ(IedConnection_getDataDirectoryFC(connection.get(), &error, "no reference"), nullptr);
    EXPECT_EQ(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

TEST(ClientRecordedTest, ContinuationCollectsEveryNameOfALargeDevice) {
    ScriptedPeer peer("03b-getnamelist-continuation-large-model.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    const Names recorded = recordedVariableNames("03b-getnamelist-continuation-large-model.pcap", "BIGLD0");
    ASSERT_EQ(recorded.size(), 8010u);  // three responses, the first two without "no more follow"

    EXPECT_EQ(takeNames(IedConnection_getLogicalDeviceList(connection.get(), &error)),
              (Names{"BIGLD0", "BIGLD1"}));
    const Names nodes =
        takeNames(IedConnection_getLogicalDeviceDirectory(connection.get(), &error, "BIGLD0"));
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(nodes, withoutDollar(recorded));
    EXPECT_EQ(nodes.size(), 401u);
    // Names from the second and the last response are there too.
    EXPECT_EQ(takeNames(IedConnection_getDataDirectoryFC(connection.get(), &error, "BIGLD0/GGIO26.AnIn1")),
              (Names{"mag[MX]", "q[MX]", "t[MX]"}));
    EXPECT_EQ(takeNames(IedConnection_getDataDirectoryFC(connection.get(), &error, "BIGLD0/GGIO60.Ind1")),
              (Names{"q[ST]", "stVal[ST]", "t[ST]"}));
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

// The answers of one asynchronous name list, as its handler saw them.
struct NameListAnswers {
    struct Answer {
        IedClientError error = IED_ERROR_UNKNOWN;
        LinkedList list = nullptr;
        Names names;
        bool moreFollows = false;
    };
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Answer> answers;

    static void onNames(uint32_t, void* parameter, IedClientError error, LinkedList list, bool moreFollows) {
        auto* self = static_cast<NameListAnswers*>(parameter);
        Answer answer{error, list, {}, moreFollows};
        for (LinkedList element = LinkedList_getNext(list); list && element;
             element = LinkedList_getNext(element)) {
            answer.names.emplace_back(static_cast<const char*>(LinkedList_getData(element)));
        }
        LinkedList_destroy(list);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->answers.push_back(std::move(answer));
        self->arrived.notify_all();
    }
    // The next answer; fails the test after 5 s without one.
    Answer next() {
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(5), [this] { return !answers.empty(); }));
        if (answers.empty()) {
            return {};
        }
        Answer answer = std::move(answers.front());
        answers.erase(answers.begin());
        return answer;
    }
    size_t pending() {
        std::lock_guard<std::mutex> lock(mutex);
        return answers.size();
    }
};

// Paging through a large device by hand: each answer's last name continues the list, exactly as the
// recorded client asked, and the pages together are every name the device listed.
TEST(ClientRecordedTest, AsynchronousNameListsComeOnePageAtATime) {
    ScriptedPeer peer("03b-getnamelist-continuation-large-model.pcap");
    auto connection = connectTo(peer.port());
    NameListAnswers handler;
    Names all;
    std::string continueAfter;
    int pages = 0;
    for (bool more = true; more && pages < 10; ++pages) {
        IedClientError error = IED_ERROR_UNKNOWN;
        const uint32_t invokeId = IedConnection_getLogicalDeviceVariablesAsync(
            connection.get(), &error, "BIGLD0", pages == 0 ? nullptr : continueAfter.c_str(), nullptr,
            &NameListAnswers::onNames, &handler);
        ASSERT_EQ(error, IED_ERROR_OK);
        EXPECT_NE(invokeId, 0u);
        NameListAnswers::Answer page = handler.next();
        ASSERT_EQ(page.error, IED_ERROR_OK);
        ASSERT_FALSE(page.names.empty());
        all.insert(all.end(), page.names.begin(), page.names.end());
        continueAfter = page.names.back();
        more = page.moreFollows;
    }
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(all, recordedVariableNames("03b-getnamelist-continuation-large-model.pcap", "BIGLD0"));
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);

    // The devices, and the names joining a list the caller already holds.
    LinkedList held = LinkedList_create();
    LinkedList_add(held, strdup("mine"));
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_getServerDirectoryAsync(connection.get(), &error, nullptr, held, &NameListAnswers::onNames,
                                          &handler);
    ASSERT_EQ(error, IED_ERROR_OK);
    const NameListAnswers::Answer devices = handler.next();
    EXPECT_EQ(devices.error, IED_ERROR_OK);
    EXPECT_EQ(devices.list, held);
    EXPECT_EQ(devices.names, (Names{"mine", "BIGLD0", "BIGLD1"}));
    EXPECT_FALSE(devices.moreFollows);
}

TEST(ClientRecordedTest, AsynchronousNameListsThatFail) {
    ScriptedPeer peer("02-getnamelist.pcap");
    auto connection = connectTo(peer.port());
    NameListAnswers handler;
    IedClientError error = IED_ERROR_OK;

    // Refused before anything is sent: the handler never runs.
    EXPECT_EQ(IedConnection_getLogicalDeviceDataSetsAsync(connection.get(), &error, nullptr, nullptr, nullptr,
                                                          &NameListAnswers::onNames, &handler),
              0u);
    EXPECT_EQ(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    EXPECT_EQ(IedConnection_getLogicalDeviceVariablesAsync(connection.get(), &error, "simpleIOGenericIO",
                                                           nullptr, nullptr, nullptr, nullptr),
              0u);
    EXPECT_EQ(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    EXPECT_EQ(peer.requestsSeen(), 0);

    // The data sets of the recorded device.
    IedConnection_getLogicalDeviceDataSetsAsync(connection.get(), &error, "simpleIOGenericIO", nullptr,
                                                nullptr, &NameListAnswers::onNames, &handler);
    ASSERT_EQ(error, IED_ERROR_OK);
    const NameListAnswers::Answer dataSets = handler.next();
    EXPECT_EQ(dataSets.error, IED_ERROR_OK);
    EXPECT_EQ(dataSets.names, (Names{"LLN0$Events", "LLN0$Events2", "LLN0$Measurements"}));

    // A device that is gone mid-call ends the call once, with the caller's list handed back.
    peer.setBehaviour(ScriptedPeer::Behaviour::Silent);
    LinkedList held = LinkedList_create();
    IedConnection_getLogicalDeviceVariablesAsync(connection.get(), &error, "simpleIOGenericIO", nullptr, held,
                                                 &NameListAnswers::onNames, &handler);
    ASSERT_EQ(error, IED_ERROR_OK);
    peer.dropConnections();
    const NameListAnswers::Answer lost = handler.next();
    EXPECT_EQ(lost.error, IED_ERROR_CONNECTION_LOST);
    EXPECT_EQ(lost.list, held);
    EXPECT_FALSE(lost.moreFollows);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(handler.pending(), 0u);

    // Without an association nothing is sent and the handler does not run.
    EXPECT_EQ(IedConnection_getServerDirectoryAsync(connection.get(), &error, nullptr, nullptr,
                                                    &NameListAnswers::onNames, &handler),
              0u);
    EXPECT_EQ(error, IED_ERROR_NOT_CONNECTED);
    EXPECT_EQ(handler.pending(), 0u);
}

TEST(ClientRecordedTest, ServerThatAlwaysSaysMoreFollowDoesNotKeepTheClientAsking) {
    ScriptedPeer peer("02-getnamelist.pcap");
    auto connection = connectTo(peer.port());
    peer.setBehaviour(ScriptedPeer::Behaviour::EndlessNames);
    IedClientError error = IED_ERROR_OK;
    EXPECT_EQ(IedConnection_getLogicalDeviceDirectory(connection.get(), &error, "simpleIOGenericIO"),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_UNEXPECTED_VALUE_RECEIVED);
    EXPECT_LE(peer.requestsSeen(), 2);
}

TEST(ClientRecordedTest, ContinuationUnderASmallNegotiatedPduSize) {
    ScriptedPeer peer("03a-getnamelist-continuation-small-pdu.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    const Names nodes =
        takeNames(IedConnection_getLogicalDeviceDirectory(connection.get(), &error, "simpleIOGenericIO"));
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(nodes, (Names{"GGIO1", "LLN0", "LPHD1"}));
    // The last response's names (after three continuations) are in the index.
    EXPECT_EQ(takeNames(IedConnection_getLogicalNodeDirectory(connection.get(), &error,
                                                              "simpleIOGenericIO/LLN0", ACSI_CLASS_URCB)),
              (Names{"EventsIndexed01", "EventsIndexed02", "EventsIndexed03", "EventsRCBPreConf01",
                     "EventsRCB01"}));
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

TEST(ClientRecordedTest, DataSetMembersAsReferencesWithTheirConstraint) {
    ScriptedPeer peer("07-data-set-directory.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    bool deletable = true;
    EXPECT_EQ(
        takeNames(IedConnection_getDataSetDirectory(connection.get(), &error, "simpleIOGenericIO/LLN0.Events",
                                                    &deletable)),
        (Names{"simpleIOGenericIO/GGIO1.SPCSO1.stVal[ST]", "simpleIOGenericIO/GGIO1.SPCSO2.stVal[ST]",
               "simpleIOGenericIO/GGIO1.SPCSO3.stVal[ST]", "simpleIOGenericIO/GGIO1.SPCSO4.stVal[ST]"}));
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_FALSE(deletable);
    const Names measurements = takeNames(IedConnection_getDataSetDirectory(
        connection.get(), &error, "simpleIOGenericIO/LLN0.Measurements", nullptr));
    ASSERT_EQ(measurements.size(), 8u);
    EXPECT_EQ(measurements[1], "simpleIOGenericIO/GGIO1.AnIn1.q[MX]");
    // A dynamically created one says it may be deleted; whole data objects are members too.
    EXPECT_EQ(takeNames(IedConnection_getDataSetDirectory(connection.get(), &error,
                                                          "simpleIOGenericIO/LLN0.MyDS", &deletable)),
              (Names{"simpleIOGenericIO/GGIO1.SPCSO1.stVal[ST]", "simpleIOGenericIO/GGIO1.AnIn1[MX]"}));
    EXPECT_TRUE(deletable);

    EXPECT_EQ(IedConnection_getDataSetDirectory(connection.get(), &error, "simpleIOGenericIO/LLN0.NoSuchDS",
                                                nullptr),
              nullptr);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
}

// "LN$FC$DO$DA" as the reference and constraint readObject takes.
std::string referenceOf(const std::string& domain, const std::string& item, FunctionalConstraint* fc) {
    const size_t first = item.find('$');
    const size_t second = item.find('$', first + 1);
    *fc = FunctionalConstraint_fromString(item.substr(first + 1, 2).c_str());
    std::string path = item.substr(0, first);
    if (second != std::string::npos) {
        path += item.substr(second);
    }
    for (char& c : path) {
        c = c == '$' ? '.' : c;
    }
    return domain + "/" + path;
}

TEST(ClientRecordedTest, EveryRecordedSingleReadGivesTheRecordedValueOrError) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port());
    int reads = 0;
    int failures = 0;
    for (const auto& request : recordedRequests(peer)) {
        const auto* read = std::get_if<iecstack::mms::ReadRequest>(&request.service);
        if (read == nullptr || read->spec.variables.size() != 1 || !read->spec.variables[0].path.empty() ||
            read->spec.variables[0].name.itemId.find('$') == std::string::npos) {
            continue;  // several variables, alternate access, or a whole logical node: not what readObject
                       // asks
        }
        const auto& name = read->spec.variables[0].name;
        FunctionalConstraint fc = IEC61850_FC_NONE;
        const std::string reference = referenceOf(name.domainId, name.itemId, &fc);
        IedClientError error = IED_ERROR_UNKNOWN;
        MmsValue* value = IedConnection_readObject(connection.get(), &error, reference.c_str(), fc);
        ++reads;
        EXPECT_EQ(error, IED_ERROR_OK) << reference;
        ASSERT_NE(value, nullptr) << reference;
        if (MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
            ++failures;
            EXPECT_EQ(MmsValue_getDataAccessError(value), 10) << reference;  // object-non-existent
        }
        MmsValue_delete(value);
    }
    EXPECT_EQ(reads, 20);    // all but the multi-variable, whole-LN and component reads
    EXPECT_EQ(failures, 3);  // TimeOfEntry in the wrong case, a missing DO, a missing device
    EXPECT_EQ(peer.requestsWithoutRecording(), 0);
}

// Every write of capture 08 sent through writeObject: the request must encode as the reference client's
// (the scripted peer answers only requests it recorded), and each refusal comes back as the device's
// data-access error, never as success.
TEST(ClientRecordedTest, EveryRecordedWriteGivesTheRecordedResult) {
    ScriptedPeer peer("08-write.pcap");
    auto connection = connectTo(peer.port());
    std::vector<IedClientError> results;
    for (const auto& request : recordedRequests(peer)) {
        const auto* write = std::get_if<iecstack::mms::WriteRequest>(&request.service);
        if (write == nullptr || write->spec.variables.size() != 1) {
            continue;
        }
        const auto& name = write->spec.variables[0].name;
        FunctionalConstraint fc = IEC61850_FC_NONE;
        const std::string reference = referenceOf(name.domainId, name.itemId, &fc);
        MmsValue value = write->data.at(0);
        IedClientError error = IED_ERROR_UNKNOWN;
        IedConnection_writeObject(connection.get(), &error, reference.c_str(), fc, &value);
        results.push_back(error);
    }
    EXPECT_EQ(peer.requestsWithoutRecording(), 0) << "a write encoded differently from the recorded one";
    EXPECT_EQ(results,
              (std::vector<IedClientError>{IED_ERROR_OK, IED_ERROR_OK, IED_ERROR_OK, IED_ERROR_OK,
                                           IED_ERROR_OK, IED_ERROR_ACCESS_DENIED, IED_ERROR_TYPE_INCONSISTENT,
                                           IED_ERROR_OBJECT_DOES_NOT_EXIST, IED_ERROR_ACCESS_DENIED}));
}

// A device that answers a write with something else than a write response, or not at all, gives a
// failure with the reason, and the call returns.
TEST(ClientRecordedTest, AWriteWithoutAProperAnswerFails) {
    ScriptedPeer peer("08-write.pcap");
    auto connection = connectTo(peer.port(), 1000);
    IedClientError error = IED_ERROR_OK;
    // Not recorded: the peer rejects it.
    IedConnection_writeBooleanValue(connection.get(), &error, "simpleIOGenericIO/LLN0.EventsRCB01.GI",
                                    IEC61850_FC_RP, true);
    EXPECT_NE(error, IED_ERROR_OK);
    peer.setBehaviour(ScriptedPeer::Behaviour::Silent);
    IedConnection_writeBooleanValue(connection.get(), &error, "simpleIOGenericIO/LLN0.EventsRCB01.RptEna",
                                    IEC61850_FC_RP, true);
    EXPECT_EQ(error, IED_ERROR_TIMEOUT);
}

TEST(ClientRecordedTest, ReadValuesOfEachType) {
    ScriptedPeer peer("05-read-types.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    auto read = [&](const char* reference, FunctionalConstraint fc) {
        MmsValue* value = IedConnection_readObject(connection.get(), &error, reference, fc);
        EXPECT_EQ(error, IED_ERROR_OK) << reference;
        return std::unique_ptr<MmsValue, void (*)(MmsValue*)>(value, MmsValue_delete);
    };
    auto boolean = read("simpleIOGenericIO/GGIO1.SPCSO1.stVal", IEC61850_FC_ST);
    ASSERT_TRUE(boolean);
    EXPECT_EQ(MmsValue_getType(boolean.get()), MMS_BOOLEAN);
    EXPECT_FALSE(MmsValue_getBoolean(boolean.get()));
    auto integer = read("simpleIOGenericIO/GGIO1.Mod.stVal", IEC61850_FC_ST);
    ASSERT_TRUE(integer);
    EXPECT_EQ(MmsValue_toInt64(integer.get()), 1);
    auto analogue = read("simpleIOGenericIO/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    ASSERT_TRUE(analogue);
    EXPECT_EQ(MmsValue_getType(analogue.get()), MMS_FLOAT);
    EXPECT_NEAR(MmsValue_toDouble(analogue.get()), -0.9161652, 1e-6);
    auto quality = read("simpleIOGenericIO/GGIO1.AnIn1.q", IEC61850_FC_MX);
    ASSERT_TRUE(quality);
    EXPECT_EQ(MmsValue_getBitStringSize(quality.get()), 13);
    auto intgPd = read("simpleIOGenericIO/LLN0.EventsRCB01.IntgPd", IEC61850_FC_RP);
    ASSERT_TRUE(intgPd);
    EXPECT_EQ(MmsValue_toUint32(intgPd.get()), 1000u);
    auto vendor = read("simpleIOGenericIO/LLN0.NamPlt.vendor", IEC61850_FC_DC);
    ASSERT_TRUE(vendor);
    EXPECT_STREQ(MmsValue_toString(vendor.get()), "MZ Automation");
    auto structure = read("simpleIOGenericIO/GGIO1.AnIn1", IEC61850_FC_MX);
    ASSERT_TRUE(structure);
    EXPECT_EQ(MmsValue_getType(structure.get()), MMS_STRUCTURE);
    EXPECT_EQ(MmsValue_getArraySize(structure.get()), 3u);

    auto missing = read("simpleIOGenericIO/LLN0.Measurements01.TimeOfEntry", IEC61850_FC_BR);
    ASSERT_TRUE(missing);
    EXPECT_EQ(MmsValue_getType(missing.get()), MMS_DATA_ACCESS_ERROR);
    EXPECT_EQ(MmsValue_getDataAccessError(missing.get()), 10);
    EXPECT_EQ(
        IedConnection_readObject(connection.get(), &error, "simpleIOGenericIO/GGIO1.AnIn1", IEC61850_FC_ALL),
        nullptr);
    EXPECT_EQ(error, IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
}

TEST(ClientRecordedTest, ArraysReadWhole) {
    ScriptedPeer peer("06-read-array.pcap");
    auto connection = connectTo(peer.port());
    IedClientError error = IED_ERROR_UNKNOWN;
    MmsValue* value = IedConnection_readObject(connection.get(), &error, "testComplexArray/MHAI1.HA.phsAHar",
                                               IEC61850_FC_MX);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(MmsValue_getType(value), MMS_ARRAY);
    EXPECT_EQ(MmsValue_getArraySize(value), 16u);
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(value, 15)), MMS_STRUCTURE);
    EXPECT_EQ(MmsValue_getElement(value, 16), nullptr);
    MmsValue_delete(value);
}

}  // namespace
}  // namespace korvan::test
