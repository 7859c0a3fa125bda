#include "scripted_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "iso/responder.h"
#include "mms/codec.h"
#include "server/mms_services.h"

namespace korvan::fuzz {

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

}  // namespace

void setScript(const uint8_t* data, size_t size, size_t offset) {
    std::lock_guard<std::mutex> lock(script.mutex);
    script.answers.clear();
    size_t at = offset;
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

IedConnection connectToScriptedServer(uint32_t requestTimeoutMs) {
    const uint16_t port = scriptedServer().port();
    IedConnection connection = IedConnection_create();
    IedConnection_setRequestTimeout(connection, requestTimeoutMs);
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection, &error, "127.0.0.1", port);
    if (error != IED_ERROR_OK) {
        std::fprintf(stderr, "scripted server refused the association (%d)\n", error);
        std::abort();
    }
    return connection;
}

void finish(IedConnection connection) {
    IedConnection_destroy(connection);
    while (scriptedServer().activeConnections() != 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

}  // namespace korvan::fuzz
