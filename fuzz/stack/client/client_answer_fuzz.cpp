// The client API against a server whose answers are the fuzz input. A real association on the
// loopback interface carries them, so they reach the client as a device's would: the receive thread
// decodes and matches them, and the API call turns them into names, members or values.
//
// Input: one octet that picks the call, then the answers, each "length (2 octets, big-endian), kind,
// body". Kinds: 0 a confirmed response around the body (the service element), 1 a confirmed error
// around it, 2 the body as a whole PDU as it is, 3 an unconfirmed PDU (a report) around it, after which
// the next answer goes to the same request. Whatever the input, every request is finally met with a
// reject, so no call waits for its time-out. Reports with the report IDs of the captured blocks reach a
// handler that reads everything a report offers.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "iec61850_client.h"
#include "iso/responder.h"
#include "mms/codec.h"
#include "server/mms_services.h"

namespace {

using namespace iecstack;

struct Answer {
    uint8_t kind = 0;
    Bytes body;
};

// The answers for the call under way; the server takes them one per request.
struct Script {
    std::mutex mutex;
    std::deque<Answer> answers;

    bool next(Answer* answer) {
        std::lock_guard<std::mutex> lock(mutex);
        if (answers.empty()) {
            return false;
        }
        *answer = std::move(answers.front());
        answers.pop_front();
        return true;
    }
};

Script script;

void appendLength(Bytes& out, size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<uint8_t>(length));
        return;
    }
    uint8_t octets[4];
    int count = 0;
    for (size_t rest = length; rest != 0; rest >>= 8) {
        octets[count++] = static_cast<uint8_t>(rest & 0xff);
    }
    out.push_back(static_cast<uint8_t>(0x80 | count));
    while (count > 0) {
        out.push_back(octets[--count]);
    }
}

// tag, length, [invokeTag] invoke ID, then the body as it is.
Bytes envelope(uint8_t tag, uint8_t invokeTag, uint32_t invokeId, const Bytes& body) {
    Bytes id;
    for (uint32_t rest = invokeId;; rest >>= 8) {
        id.insert(id.begin(), static_cast<uint8_t>(rest & 0xff));
        if (rest <= 0x7f) {
            break;
        }
    }
    if (id.front() & 0x80) {
        id.insert(id.begin(), 0);
    }
    Bytes content{invokeTag, static_cast<uint8_t>(id.size())};
    content.insert(content.end(), id.begin(), id.end());
    content.insert(content.end(), body.begin(), body.end());
    Bytes out{tag};
    appendLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

class ScriptedServer : public iso::ResponderHandler {
public:
    iso::AssociateDecision onAssociate(const iso::AssociateIndication& indication) override {
        iso::AssociateDecision decision;
        auto pdu = mms::decodePdu(indication.initiateRequest);
        const auto* request = pdu ? std::get_if<mms::InitiateRequest>(&*pdu) : nullptr;
        if (request == nullptr) {
            decision.accept = false;
            return decision;
        }
        decision.initiateResponse =
            mms::encodePdu(server::MmsServices::negotiate(request->parameters, 65000, 512));
        return decision;
    }

    void onPdu(iso::ResponderAssociation& association, ByteView bytes) override {
        auto pdu = mms::decodePdu(bytes);
        if (!pdu) {
            return;
        }
        if (std::holds_alternative<mms::ConcludeRequest>(*pdu)) {
            association.send(mms::encodePdu(mms::Pdu{mms::ConcludeResponse{}}));
            return;
        }
        const auto* request = std::get_if<mms::ConfirmedRequest>(&*pdu);
        if (request == nullptr) {
            return;
        }
        Answer answer;
        while (script.next(&answer)) {
            switch (answer.kind % 4) {
                case 0:
                    association.send(envelope(0xa1, 0x02, request->invokeId, answer.body));
                    break;
                case 1:
                    association.send(envelope(0xa2, 0x80, request->invokeId, answer.body));
                    break;
                case 2:
                    association.send(answer.body);
                    break;
                default: {
                    Bytes report{0xa3};
                    appendLength(report, answer.body.size());
                    report.insert(report.end(), answer.body.begin(), answer.body.end());
                    association.send(report);
                    continue;  // a report does not answer the request
                }
            }
            break;
        }
        mms::Reject reject;
        reject.originalInvokeId = request->invokeId;
        reject.rejectClass = mms::RejectClass::ConfirmedRequest;
        association.send(mms::encodePdu(mms::Pdu{reject}));
    }
};

iso::ResponderListener& scriptedServer() {
    static std::unique_ptr<iso::ResponderListener> listener = [] {
        iso::ListenerSettings settings;
        settings.bindAddress = "127.0.0.1";
        settings.port = 0;
        auto made = std::make_unique<iso::ResponderListener>(
            settings, [](const std::shared_ptr<iso::ResponderAssociation>&) {
                return std::make_unique<ScriptedServer>();
            });
        if (!made->start()) {
            std::fprintf(stderr, "scripted server did not start\n");
            std::abort();
        }
        return made;
    }();
    return *listener;
}

// Everything a report handler can ask of a report, as an engine would.
void readReport(void*, ClientReport report) {
    size_t seen = 0;
    auto look = [&seen](const char* text) { seen += text != nullptr ? std::strlen(text) : 0; };
    look(ClientReport_getRcbReference(report));
    look(ClientReport_getRptId(report));
    if (ClientReport_hasDataSetName(report)) {
        look(ClientReport_getDataSetName(report));
    }
    const MmsValue* values = ClientReport_getDataSetValues(report);
    const int members = values != nullptr ? static_cast<int>(MmsValue_getArraySize(values)) : 0;
    for (int i = 0; i < members; ++i) {
        const MmsValue* value = MmsValue_getElement(values, i);
        seen += value != nullptr ? static_cast<size_t>(MmsValue_getType(value)) : 0;
        if (ClientReport_hasDataReference(report)) {
            look(ClientReport_getDataReference(report, i));
        }
        if (ClientReport_hasReasonForInclusion(report)) {
            seen += static_cast<size_t>(ClientReport_getReasonForInclusion(report, i));
        }
    }
    seen += ClientReport_hasSeqNum(report) ? ClientReport_getSeqNum(report) : 0;
    seen += ClientReport_hasTimestamp(report) ? static_cast<size_t>(ClientReport_getTimestamp(report)) : 0;
    seen += ClientReport_hasConfRev(report) ? ClientReport_getConfRev(report) : 0;
    seen += ClientReport_hasBufOvfl(report) && ClientReport_getBufOvfl(report) ? 1 : 0;
    const MmsValue* entryId = ClientReport_getEntryId(report);
    seen += entryId != nullptr ? MmsValue_getArraySize(entryId) : 0;
    seen += ClientReport_hasSubSeqNum(report) ? ClientReport_getSubSeqNum(report) : 0;
    seen += ClientReport_getMoreSeqmentsFollow(report) ? 1 : 0;
    static std::atomic<size_t> sink{0};
    sink += seen;
}

void destroyNames(LinkedList list) {
    LinkedList_destroy(list);
}

void call(IedConnection connection, uint8_t which) {
    IedClientError error = IED_ERROR_OK;
    switch (which % 9) {
        case 0:
            destroyNames(IedConnection_getLogicalDeviceList(connection, &error));
            break;
        case 1:
            destroyNames(IedConnection_getLogicalDeviceDirectory(connection, &error, "simpleIOGenericIO"));
            break;
        case 2:
            destroyNames(IedConnection_getLogicalNodeDirectory(connection, &error, "simpleIOGenericIO/GGIO1",
                                                               ACSI_CLASS_DATA_OBJECT));
            break;
        case 3:
            destroyNames(IedConnection_getLogicalNodeDirectory(connection, &error, "simpleIOGenericIO/LLN0",
                                                               ACSI_CLASS_BRCB));
            break;
        case 4:
            destroyNames(IedConnection_getLogicalNodeDirectory(connection, &error, "simpleIOGenericIO/LLN0",
                                                               ACSI_CLASS_DATA_SET));
            break;
        case 5:
            destroyNames(
                IedConnection_getDataDirectoryFC(connection, &error, "simpleIOGenericIO/GGIO1.AnIn1"));
            break;
        case 6: {
            bool deletable = false;
            destroyNames(IedConnection_getDataSetDirectory(connection, &error,
                                                           "simpleIOGenericIO/LLN0.Events", &deletable));
            break;
        }
        case 7:
            MmsValue_delete(IedConnection_readObject(connection, &error, "simpleIOGenericIO/GGIO1.AnIn1",
                                                     IEC61850_FC_MX));
            break;
        default:
            MmsValue_delete(IedConnection_readObject(connection, &error,
                                                     "simpleIOGenericIO/GGIO1.SPCSO1.stVal", IEC61850_FC_ST));
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint16_t port = scriptedServer().port();
    {
        std::lock_guard<std::mutex> lock(script.mutex);
        script.answers.clear();
        size_t at = 1;
        while (at + 3 <= size) {
            const size_t length = static_cast<size_t>(data[at]) << 8 | data[at + 1];
            at += 2;
            const size_t take = length == 0 ? 0 : std::min(length, size - at);
            if (take == 0) {
                continue;
            }
            Answer answer;
            answer.kind = data[at];
            answer.body.assign(data + at + 1, data + at + take);
            script.answers.push_back(std::move(answer));
            at += take;
        }
    }
    // A fresh association each time: the client keeps directory answers for the association's life.
    IedConnection connection = IedConnection_create();
    IedConnection_setRequestTimeout(connection, 2000);
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection, &error, "127.0.0.1", port);
    if (error != IED_ERROR_OK) {
        std::fprintf(stderr, "scripted server refused the association (%d)\n", error);
        std::abort();
    }
    // The report IDs of the captured blocks, an unbuffered and a buffered one.
    IedConnection_installReportHandler(connection, "simpleIOGenericIO/LLN0.RP.EventsRCB01", "Events1",
                                       readReport, nullptr);
    IedConnection_installReportHandler(connection, "simpleIOGenericIO/LLN0.BR.Measurements01", "Measurements",
                                       readReport, nullptr);
    call(connection, data[0]);
    IedConnection_destroy(connection);
    // The server's side of the association is over too before the next input, so that nothing of this
    // one is still on its way when the leak check runs.
    while (scriptedServer().activeConnections() != 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return 0;
}
